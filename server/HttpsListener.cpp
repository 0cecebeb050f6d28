#include "server/HttpsListener.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// After a refusal the client may still be sending its body: read a little of it, so that the refusal reaches
// the client before the connection closes, but no more.
constexpr std::size_t kLingerBytes = 64 * 1024;
constexpr auto kLingerTime = std::chrono::seconds(1);
// Requests answered at once; the rest wait in a queue.
constexpr std::size_t kWorkers = 16;
// What one read of a body asks of TLS: a record's worth.
constexpr std::size_t kBodyReadBytes = 16 * 1024;
// Seconds a client refused for want of memory is asked to wait.
constexpr const char* kRetryAfter = "5";

bool isToken(std::string_view text)
{
    static constexpr std::string_view kTokenPunctuation = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               kTokenPunctuation.find(c) != std::string_view::npos;
    });
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The refusal of a request whose body we cannot delimit as every other reader on its way would. A body is
// either of a declared length or chunked, and chunked alone: with any other coding, Beast reads no body or
// one that another reader splits elsewhere, and the bytes after it become a request nobody meant to send.
std::optional<HttpResponse> framingRefusal(const HttpRequestHead& head, std::uint64_t declaredLength)
{
    const auto [begin, end] = head.equal_range(http::field::transfer_encoding);
    const bool coded = begin != end;
    const bool declaresLength = head.count(http::field::content_length) > 0;
    if (coded && declaresLength)
        return HtmlAnswer(http::status::bad_request, "Bad Request");
    int codings = 0;
    bool unknown = false;
    for (auto field = begin; field != end; ++field) {
        std::string_view list = field->value();
        for (;;) {
            const std::size_t comma = list.find(',');
            const std::string_view coding = trimmed(list.substr(0, comma));
            if (!isToken(coding))
                return HtmlAnswer(http::status::bad_request, "Bad Request");
            unknown = unknown || !beast::iequals(coding, "chunked");
            ++codings;
            if (comma == std::string_view::npos)
                break;
            list.remove_prefix(comma + 1);
        }
    }
    if (unknown)
        return HtmlAnswer(http::status::not_implemented, "Not Implemented");
    // Chunked twice, in one field or in two.
    if (codings > 1)
        return HtmlAnswer(http::status::bad_request, "Bad Request");
    // Nothing we serve reads a body on GET or HEAD, and what a reader does with one differs from one to the next.
    const http::verb method = head.method();
    if ((method == http::verb::get || method == http::verb::head) && (coded || declaredLength > 0))
        return HtmlAnswer(http::status::bad_request, "Bad Request");
    return std::nullopt;
}

HttpResponse busyAnswer()
{
    HttpResponse response = HtmlAnswer(http::status::service_unavailable, "Service Unavailable");
    response.set(http::field::retry_after, kRetryAfter);
    return response;
}

} // namespace

HttpResponse HtmlAnswer(http::status status, const char* title)
{
    HttpResponse response(status, 11);
    response.set(http::field::content_type, "text/html; charset=utf-8");
    response.body() = std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") + title +
                      "</title></head><body><h1>" + title + "</h1></body></html>";
    return response;
}

ByteBudget::Hold::Hold(Hold&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

ByteBudget::Hold& ByteBudget::Hold::operator=(Hold&& other) noexcept
{
    if (this != &other) {
        Release();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ByteBudget::Hold::~Hold()
{
    Release();
}

bool ByteBudget::Hold::Grow(std::size_t more)
{
    if (!m_budget || !m_budget->take(more, false))
        return false;
    m_size += more;
    return true;
}

void ByteBudget::Hold::Resize(std::size_t size)
{
    if (!m_budget)
        return;
    if (size > m_size)
        m_budget->take(size - m_size, true);
    else
        m_budget->give(m_size - size);
    m_size = size;
}

void ByteBudget::Hold::Release()
{
    if (m_budget)
        m_budget->give(m_size);
    m_size = 0;
}

std::optional<ByteBudget::Hold> ByteBudget::Reserve(std::size_t bytes)
{
    Hold hold = Empty();
    if (!hold.Grow(bytes))
        return std::nullopt;
    return hold;
}

ByteBudget::Hold ByteBudget::Empty()
{
    Hold hold;
    hold.m_budget = this;
    return hold;
}

bool ByteBudget::take(std::size_t bytes, bool evenPastCapacity)
{
    std::size_t used = m_inUse.load();
    do {
        if (!evenPastCapacity && (bytes > m_capacity || used > m_capacity - bytes))
            return false;
    } while (!m_inUse.compare_exchange_weak(used, used + bytes));
    return true;
}

void ByteBudget::give(std::size_t bytes)
{
    m_inUse -= bytes;
}

class HttpsListener::Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(HttpsListener& owner, tcp::socket socket, std::string address)
        : m_owner(owner), m_stream(std::move(socket), owner.m_tls), m_address(std::move(address))
    {
        // A chunk's memory is taken from the budget when its size is known, before its bytes arrive.
        m_onChunkHeader = [this](std::uint64_t size, beast::string_view, beast::error_code& ec) {
            if (!m_bodyHold.Grow(std::size_t(size))) {
                m_overBudget = true;
                ec = http::error::body_limit;
            }
        };
    }

    ~Connection()
    {
        // Given back before the connection stops counting as open, so that a closed connection holds nothing.
        m_bodyHold.Release();
        m_replyHold.Release();
        m_owner.release(m_address, BIO_number_read(SSL_get_rbio(m_stream.native_handle())));
    }

    void Start()
    {
        expireAfter(m_owner.m_limits.headDeadline);
        m_stream.async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](beast::error_code ec) {
            if (!ec)
                self->readHead();
        });
    }

private:
    void expireAfter(std::chrono::milliseconds time) { beast::get_lowest_layer(m_stream).expires_after(time); }

    void readHead()
    {
        const ConnectionLimits& limits = m_owner.m_limits;
        m_parser.emplace();
        m_parser->header_limit(std::uint32_t(std::min<std::size_t>(limits.headBytes, UINT32_MAX)));
        m_parser->body_limit(limits.bodyBytes);
        m_parser->on_chunk_header(m_onChunkHeader);
        m_overBudget = false;
        expireAfter(limits.headDeadline);
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onHead(ec); });
    }

    void onHead(beast::error_code ec)
    {
        if (ec) {
            refuseAfterReadError(ec);
            return;
        }
        const HttpRequestHead& head = m_parser->get().base();
        if (std::size_t(std::distance(head.begin(), head.end())) > m_owner.m_limits.headers) {
            refuse(HtmlAnswer(http::status::request_header_fields_too_large, "Request Header Fields Too Large"));
            return;
        }
        const std::uint64_t declaredLength = m_parser->content_length().value_or(0);
        if (std::optional<HttpResponse> refusal = framingRefusal(head, declaredLength)) {
            refuse(std::move(*refusal));
            return;
        }
        std::size_t bodyLimit = m_owner.m_limits.bodyBytes;
        if (std::optional<HttpResponse> refusal = m_owner.m_screen(head, m_address, bodyLimit)) {
            refuse(std::move(*refusal));
            return;
        }
        // Beast weighs a declared length against the limit only as the head ends, before the screen lowered it.
        if (declaredLength > bodyLimit) {
            refuse(HtmlAnswer(http::status::payload_too_large, "Payload Too Large"));
            return;
        }
        m_parser->body_limit(bodyLimit);
        if (m_parser->is_done()) {
            answer();
            return;
        }
        // A declared length is taken whole now; chunks take their share as their sizes arrive.
        m_bodyHold = m_owner.m_budget.Empty();
        if (!m_bodyHold.Grow(std::size_t(declaredLength))) {
            refuse(busyAnswer());
            return;
        }
        expireAfter(m_owner.m_limits.bodyDeadline);
        readBody();
    }

    // Reads the body a record at a time. The string body takes the chunks' data as it comes, so what stays in
    // the buffer is only a chunk's size line or the trailer fields, waiting for their end: past
    // chunkHeaderBytes the request is refused, and the buffer never holds more than that and one read.
    void readBody()
    {
        beast::error_code ec;
        while (m_buffer.size() > 0 && !m_parser->is_done()) {
            const std::size_t used = m_parser->put(m_buffer.data(), ec);
            m_buffer.consume(used);
            if (ec || used == 0)
                break;
        }
        if (ec == http::error::need_more)
            ec = {};
        if (ec) {
            refuseAfterReadError(ec);
            return;
        }
        const ConnectionLimits& limits = m_owner.m_limits;
        if (m_parser->is_done()) {
            // Trailer fields join the head's in the message, and count with them.
            const HttpRequestHead& message = m_parser->get().base();
            if (std::size_t(std::distance(message.begin(), message.end())) > limits.headers)
                refuse(HtmlAnswer(http::status::request_header_fields_too_large, "Request Header Fields Too Large"));
            else
                answer();
            return;
        }
        if (m_buffer.size() > limits.chunkHeaderBytes) {
            if (waitsForTrailers())
                refuse(HtmlAnswer(http::status::request_header_fields_too_large, "Request Header Fields Too Large"));
            else
                refuse(HtmlAnswer(http::status::bad_request, "Bad Request"));
            return;
        }
        m_stream.async_read_some(m_buffer.prepare(kBodyReadBytes),
                                 [self = shared_from_this()](beast::error_code readError, std::size_t length) {
                                     // An unfinished body leaves nobody to answer: the client left, or its
                                     // time ran out.
                                     if (readError)
                                         return;
                                     self->m_buffer.commit(length);
                                     self->readBody();
                                 });
    }

    // Whether the unparsed bytes are the last chunk's complete size line and its trailer fields: a line of any
    // other chunk would have been parsed once complete.
    bool waitsForTrailers() const
    {
        std::string_view pending(static_cast<const char*>(m_buffer.data().data()), m_buffer.size());
        if (pending.substr(0, 2) == "\r\n")
            pending.remove_prefix(2);
        return pending.find("\r\n") != std::string_view::npos;
    }

    void refuseAfterReadError(beast::error_code ec)
    {
        if (m_overBudget)
            refuse(busyAnswer());
        else if (ec == http::error::header_limit)
            refuse(HtmlAnswer(http::status::request_header_fields_too_large, "Request Header Fields Too Large"));
        else if (ec == http::error::body_limit)
            refuse(HtmlAnswer(http::status::payload_too_large, "Payload Too Large"));
        else if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
                 ec != http::error::end_of_stream && ec != http::error::partial_message)
            refuse(HtmlAnswer(http::status::bad_request, "Bad Request"));
        // Anything else is the network or the deadline: there is nobody left to answer.
    }

    // The handler runs on a worker, since the store may keep it waiting; the network threads meanwhile serve
    // the other connections.
    void answer()
    {
        asio::post(*m_owner.m_workers, [self = shared_from_this(), request = m_parser->release(),
                                        bodyHold = std::move(m_bodyHold)]() mutable {
            const bool keepAlive = request.keep_alive();
            HttpResponse response;
            RequestContext context{self->m_address, &self->m_owner.m_budget, self->m_owner.m_budget.Empty()};
            try {
                response = self->m_owner.m_handler(std::move(request), context);
            } catch (...) {
                response = HtmlAnswer(http::status::internal_server_error, "Internal Server Error");
            }
            // The handler may have left the body where it was: it is done with it either way.
            request = {};
            bodyHold.Release();
            // The reply's memory is taken already, so it counts even past the capacity.
            context.replyHold.Resize(response.body().size());
            response.keep_alive(keepAlive && response.keep_alive());
            asio::post(self->m_stream.get_executor(),
                       [self, response = std::move(response), replyHold = std::move(context.replyHold)]() mutable {
                           self->m_replyHold = std::move(replyHold);
                           self->write(std::move(response), false);
                       });
        });
    }

    void refuse(HttpResponse response)
    {
        m_bodyHold.Release();
        // Whatever of the request is left unread, the connection cannot carry another one.
        response.keep_alive(false);
        write(std::move(response), !m_parser->is_done());
    }

    void write(HttpResponse response, bool unread)
    {
        m_response = std::move(response);
        m_response.version(11);
        m_response.prepare_payload();
        expireAfter(m_owner.m_limits.bodyDeadline);
        http::async_write(m_stream, m_response, [self = shared_from_this(), unread](beast::error_code ec, std::size_t) {
            self->m_replyHold.Release();
            if (ec)
                return;
            if (unread)
                self->linger();
            else if (self->m_response.keep_alive())
                self->readHead();
            else
                self->shutdown();
        });
    }

    void linger()
    {
        // The end of our side tells the client that the answer is complete while it may still be sending.
        beast::error_code ec;
        beast::get_lowest_layer(m_stream).socket().shutdown(tcp::socket::shutdown_send, ec);
        expireAfter(std::min<std::chrono::milliseconds>(kLingerTime, m_owner.m_limits.headDeadline));
        m_lingerBuffer.resize(16 * 1024);
        lingerMore();
    }

    void lingerMore()
    {
        m_stream.async_read_some(asio::buffer(m_lingerBuffer),
                                 [self = shared_from_this()](beast::error_code ec, std::size_t length) {
                                     self->m_lingered += length;
                                     if (!ec && self->m_lingered < kLingerBytes)
                                         self->lingerMore();
                                 });
    }

    void shutdown()
    {
        expireAfter(std::min<std::chrono::milliseconds>(kLingerTime, m_owner.m_limits.headDeadline));
        m_stream.async_shutdown([self = shared_from_this()](beast::error_code) {});
    }

    HttpsListener& m_owner;
    beast::ssl_stream<beast::tcp_stream> m_stream;
    const std::string m_address;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::function<void(std::uint64_t, beast::string_view, beast::error_code&)> m_onChunkHeader;
    // The request's body, from its head until its handler is done with it.
    ByteBudget::Hold m_bodyHold;
    bool m_overBudget = false;
    // The reply's, until it is written.
    ByteBudget::Hold m_replyHold;
    HttpResponse m_response;
    std::string m_lingerBuffer;
    std::size_t m_lingered = 0;
};

HttpsListener::HttpsListener(const std::string& certificatePath, const std::string& keyPath,
                             const ConnectionLimits& limits, Screen screen, Handler handler)
    : m_limits(limits), m_screen(std::move(screen)), m_handler(std::move(handler)),
      m_tls(asio::ssl::context::tls_server), m_budget(limits.bytesInFlight)
{
    SSL_CTX* context = m_tls.native_handle();
    // TLS 1.2 and 1.3 only, and under 1.2 only suites with forward secrecy and authenticated encryption
    // (every 1.3 suite has both).
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    beast::error_code ec;
    m_valid = SSL_CTX_set_cipher_list(context, "ECDHE+AESGCM:ECDHE+CHACHA20") == 1;
    m_tls.use_certificate_chain_file(certificatePath, ec);
    m_valid = m_valid && !ec;
    m_tls.use_private_key_file(keyPath, asio::ssl::context::pem, ec);
    m_valid = m_valid && !ec && SSL_CTX_check_private_key(context) == 1;
    m_io = std::make_unique<asio::io_context>();
}

HttpsListener::~HttpsListener()
{
    Stop();
}

int HttpsListener::Bind(const std::string& address, int port)
{
    beast::error_code ec;
    tcp::resolver resolver(*m_io);
    const auto endpoints = resolver.resolve(address, std::to_string(port), tcp::resolver::passive, ec);
    if (ec || endpoints.empty())
        return -1;
    auto acceptor = std::make_unique<tcp::acceptor>(*m_io);
    const tcp::endpoint endpoint = endpoints.begin()->endpoint();
    acceptor->open(endpoint.protocol(), ec);
    if (!ec)
        acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor->bind(endpoint, ec);
    if (!ec)
        acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        return -1;
    m_acceptor = std::move(acceptor);
    return m_acceptor->local_endpoint().port();
}

void HttpsListener::Start()
{
    if (!m_acceptor || !m_threads.empty())
        return;
    m_acceptPause = std::make_unique<asio::steady_timer>(m_acceptor->get_executor());
    accept();
    m_workers = std::make_unique<asio::thread_pool>(kWorkers);
    const unsigned count = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < count; ++i)
        m_threads.emplace_back([this] { m_io->run(); });
}

void HttpsListener::Stop()
{
    if (m_threads.empty())
        return;
    m_io->stop();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    // Requests not begun are dropped; those under way end first, as the store needs them to.
    m_workers->stop();
    m_workers->join();
    // Destroying the io_context destroys every connection it still holds, and so closes their sockets.
    m_acceptPause.reset();
    m_acceptor.reset();
    m_io.reset();
    m_io = std::make_unique<asio::io_context>();
}

void HttpsListener::accept()
{
    m_acceptor->async_accept(asio::make_strand(*m_io), [this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec) {
            beast::error_code peerError;
            const tcp::endpoint peer = socket.remote_endpoint(peerError);
            const std::string address = peerError ? std::string() : peer.address().to_string();
            socket.set_option(tcp::no_delay(true), peerError);
            // Over the cap the socket is closed unanswered, before any TLS work is spent on it.
            if (admit(address))
                std::make_shared<Connection>(*this, std::move(socket), address)->Start();
            accept();
            return;
        }
        // Out of file descriptors, say: trying again at once would only spin until some connection ends.
        m_acceptPause->expires_after(std::chrono::milliseconds(50));
        m_acceptPause->async_wait([this](beast::error_code waitError) {
            if (!waitError)
                accept();
        });
    });
}

int HttpsListener::OpenConnections()
{
    std::lock_guard lock(m_countMutex);
    return m_open;
}

bool HttpsListener::admit(const std::string& address)
{
    std::lock_guard lock(m_countMutex);
    int& count = m_perAddress[address];
    if (count >= m_limits.connectionsPerAddress || m_open >= m_limits.connections) {
        if (count == 0)
            m_perAddress.erase(address);
        return false;
    }
    ++count;
    ++m_open;
    return true;
}

void HttpsListener::release(const std::string& address, std::uint64_t bytesReceived)
{
    m_bytesReceived += bytesReceived;
    std::lock_guard lock(m_countMutex);
    if (--m_perAddress[address] <= 0)
        m_perAddress.erase(address);
    --m_open;
}
