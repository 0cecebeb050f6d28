#include "tests/support/RawHttpsPeer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <stdexcept>
#include <thread>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// Long enough for any client of the tests to send its first request, even under a sanitizer.
constexpr std::chrono::seconds kFirstRequestLimit{20};

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, asio::ssl::context& tls, int id, std::optional<std::chrono::milliseconds> idleLimit,
            const RawHttpsPeer::Handler& handler)
        : m_stream(std::move(socket), tls), m_id(id), m_idleLimit(idleLimit), m_handler(handler)
    {
    }

    void start()
    {
        beast::get_lowest_layer(m_stream).expires_after(kFirstRequestLimit);
        m_stream.async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](beast::error_code ec) {
            if (!ec)
                self->read(kFirstRequestLimit);
        });
    }

private:
    void read(std::optional<std::chrono::milliseconds> limit)
    {
        m_request = {};
        if (limit)
            beast::get_lowest_layer(m_stream).expires_after(*limit);
        else
            beast::get_lowest_layer(m_stream).expires_never();
        // On an error (the client closed, or the limit passed and the stream closed the socket) the session
        // ends with the last handler that holds it.
        http::async_read(m_stream, m_buffer, m_request, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (!ec)
                self->answer();
        });
    }

    void answer()
    {
        ScriptedServer::Request request;
        request.method = std::string(m_request.method_string());
        request.target = std::string(m_request.target());
        request.path = request.target.substr(0, request.target.find('?'));
        request.version =
            "HTTP/" + std::to_string(m_request.version() / 10) + "." + std::to_string(m_request.version() % 10);
        for (const auto& field : m_request)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.body = std::move(m_request.body());
        request.connection = m_id;

        const std::optional<ScriptedServer::Reply> answer = m_handler(std::move(request));
        if (!answer) {
            // Wait for whatever comes next, which is the client giving up.
            read(std::nullopt);
            return;
        }
        m_response = {};
        m_response.version(11);
        m_response.result(unsigned(answer->status));
        for (const auto& [name, value] : answer->headers)
            m_response.insert(name, value);
        if (!answer->contentType.empty())
            m_response.set(http::field::content_type, answer->contentType);
        m_response.body() = answer->body;
        // Content-Length, and nothing about the connection.
        m_response.prepare_payload();
        beast::get_lowest_layer(m_stream).expires_after(kFirstRequestLimit);
        http::async_write(m_stream, m_response, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec)
                return;
            if (self->m_idleLimit)
                self->read(self->m_idleLimit);
            else
                self->close();
        });
    }

    // At once, as a server may once the reply is complete: its length was in the header, so nothing is lost
    // without TLS's closing alert, and waiting for the client's would leave the connection open for a while.
    void close()
    {
        beast::error_code ignored;
        beast::get_lowest_layer(m_stream).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(m_stream).close();
    }

    beast::ssl_stream<beast::tcp_stream> m_stream;
    beast::flat_buffer m_buffer;
    http::request<http::string_body> m_request;
    http::response<http::string_body> m_response;
    const int m_id;
    const std::optional<std::chrono::milliseconds> m_idleLimit;
    const RawHttpsPeer::Handler& m_handler;
};

} // namespace

struct RawHttpsPeer::State
{
    State(std::optional<std::chrono::milliseconds> limit, Handler h)
        : tls(asio::ssl::context::tls_server), acceptor(io), idleLimit(limit), handler(std::move(h))
    {
    }

    void accept()
    {
        acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
            if (ec)
                return;
            std::make_shared<Session>(std::move(socket), tls, ++connections, idleLimit, handler)->start();
            accept();
        });
    }

    asio::io_context io;
    asio::ssl::context tls;
    tcp::acceptor acceptor;
    const std::optional<std::chrono::milliseconds> idleLimit;
    const Handler handler;
    int connections = 0; // only on the server's thread
    int port = 0;
    std::thread thread;
};

RawHttpsPeer::RawHttpsPeer(const std::string& certificatePath, const std::string& keyPath,
                           std::optional<std::chrono::milliseconds> idleLimit, Handler handler)
    : m_state(std::make_unique<State>(idleLimit, std::move(handler)))
{
    m_state->tls.use_certificate_chain_file(certificatePath);
    m_state->tls.use_private_key_file(keyPath, asio::ssl::context::pem);
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    m_state->acceptor.open(endpoint.protocol());
    m_state->acceptor.bind(endpoint);
    m_state->acceptor.listen();
    m_state->port = m_state->acceptor.local_endpoint().port();
    m_state->accept();
    m_state->thread = std::thread([state = m_state.get()] { state->io.run(); });
}

RawHttpsPeer::~RawHttpsPeer()
{
    // Stopping the loop and then destroying it drops every session with the handlers that hold it.
    m_state->io.stop();
    m_state->thread.join();
}

int RawHttpsPeer::port() const
{
    return m_state->port;
}
