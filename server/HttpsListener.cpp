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
    }

    ~Connection() { m_owner.release(m_address, BIO_number_read(SSL_get_rbio(m_stream.native_handle()))); }

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
        std::size_t bodyLimit = m_owner.m_limits.bodyBytes;
        if (std::optional<HttpResponse> refusal = m_owner.m_screen(head, m_address, bodyLimit)) {
            refuse(std::move(*refusal));
            return;
        }
        m_parser->body_limit(bodyLimit);
        if (m_parser->is_done()) {
            answer();
            return;
        }
        expireAfter(m_owner.m_limits.bodyDeadline);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code readError, std::size_t) {
                             if (readError)
                                 self->refuseAfterReadError(readError);
                             else
                                 self->answer();
                         });
    }

    void refuseAfterReadError(beast::error_code ec)
    {
        if (ec == http::error::header_limit)
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
        asio::post(*m_owner.m_workers, [self = shared_from_this(), request = m_parser->release()]() mutable {
            const bool keepAlive = request.keep_alive();
            HttpResponse response;
            RequestContext context{self->m_address, &self->m_owner.m_budget, self->m_owner.m_budget.Empty()};
            try {
                response = self->m_owner.m_handler(std::move(request), context);
            } catch (...) {
                response = HtmlAnswer(http::status::internal_server_error, "Internal Server Error");
            }
            response.keep_alive(keepAlive && response.keep_alive());
            asio::post(self->m_stream.get_executor(),
                       [self, response = std::move(response)]() mutable { self->write(std::move(response), false); });
        });
    }

    void refuse(HttpResponse response)
    {
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
