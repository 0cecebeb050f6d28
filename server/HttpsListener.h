#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using HttpRequest = boost::beast::http::request<boost::beast::http::string_body>;
using HttpRequestHead = boost::beast::http::request_header<>;
using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;

// A small HTML page that says what went wrong, as browsers and the client's error texts expect.
HttpResponse HtmlAnswer(boost::beast::http::status status, const char* title);

// What one client may take of the server before it is cut off.
struct ConnectionLimits
{
    std::size_t headBytes = 64 * 1024;
    std::size_t headers = 100;
    std::size_t bodyBytes = 64u * 1024 * 1024;
    // From the connection (or the end of the previous reply) to the last line of the request head: a client that
    // sends a byte now and then cannot hold a connection open.
    std::chrono::milliseconds headDeadline = std::chrono::seconds(10);
    // For the body, and again for the reply.
    std::chrono::milliseconds bodyDeadline = std::chrono::minutes(2);
    // Open connections from one address, and in all.
    int connectionsPerAddress = 32;
    int connections = 1024;
};

// An HTTPS/1.1 server that keeps every limit itself: the size and the time of the request head, the number of
// header fields, the body, and the connections per client. Slow clients cost a socket, not a thread.
class HttpsListener
{
public:
    // Looks at a request head before its body is read; an answer refuses the request.
    using Screen = std::function<std::optional<HttpResponse>(const HttpRequestHead&, const std::string& address)>;
    using Handler = std::function<HttpResponse(HttpRequest&&, const std::string& address)>;

    HttpsListener(const std::string& certificatePath, const std::string& keyPath, const ConnectionLimits& limits,
                  Screen screen, Handler handler);
    ~HttpsListener();
    HttpsListener(const HttpsListener&) = delete;
    HttpsListener& operator=(const HttpsListener&) = delete;

    bool IsValid() const { return m_valid; }
    int Bind(const std::string& address, int port);
    void Start();
    // Returns at once, whatever the clients are doing: their connections are closed.
    void Stop();

    // Bytes that TLS took from the network over all closed connections, so that tests can see how much of a
    // refused request was read.
    std::uint64_t BytesReceived() const { return m_bytesReceived.load(); }
    int OpenConnections();

private:
    class Connection;

    void accept();
    bool admit(const std::string& address);
    void release(const std::string& address, std::uint64_t bytesReceived);

    const ConnectionLimits m_limits;
    const Screen m_screen;
    const Handler m_handler;
    boost::asio::ssl::context m_tls;
    bool m_valid = false;
    std::mutex m_countMutex;
    std::map<std::string, int> m_perAddress;
    int m_open = 0;
    std::atomic<std::uint64_t> m_bytesReceived{0};
    // Destroyed before the members above: closing the io_context destroys the connections it still holds.
    std::unique_ptr<boost::asio::io_context> m_io;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> m_acceptor;
    std::unique_ptr<boost::asio::steady_timer> m_acceptPause;
    std::unique_ptr<boost::asio::thread_pool> m_workers;
    std::vector<std::thread> m_threads;
};
