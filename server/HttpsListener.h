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
    // A chunk's size line with its extensions, and a chunked body's trailer fields together.
    std::size_t chunkHeaderBytes = 4 * 1024;
    // Request bodies and replies held in memory at once, over all connections: past it a request is refused
    // with 503 rather than read.
    std::size_t bytesInFlight = 256u * 1024 * 1024;
    // From the connection (or the end of the previous reply) to the last line of the request head: a client that
    // sends a byte now and then cannot hold a connection open.
    std::chrono::milliseconds headDeadline = std::chrono::seconds(10);
    // For the body, and again for the reply.
    std::chrono::milliseconds bodyDeadline = std::chrono::minutes(2);
    // Open connections from one address, and in all.
    int connectionsPerAddress = 32;
    int connections = 1024;
};

// Bytes that requests and replies hold in memory, counted over all connections against one capacity.
class ByteBudget
{
public:
    // A share of the budget, given back when it is destroyed.
    class Hold
    {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        std::size_t Size() const { return m_size; }
        // Takes `more` bytes besides those held, if the budget has them.
        bool Grow(std::size_t more);
        // Holds exactly `size` bytes, even past the capacity: for memory that is already taken.
        void Resize(std::size_t size);
        void Release();

    private:
        friend class ByteBudget;
        ByteBudget* m_budget = nullptr;
        std::size_t m_size = 0;
    };

    explicit ByteBudget(std::size_t capacity) : m_capacity(capacity) {}
    ByteBudget(const ByteBudget&) = delete;
    ByteBudget& operator=(const ByteBudget&) = delete;

    // A hold of `bytes`, or nothing when the budget does not have them.
    std::optional<Hold> Reserve(std::size_t bytes);
    // An empty hold on this budget, to grow later.
    Hold Empty();
    std::size_t InUse() const { return m_inUse.load(); }
    std::size_t Capacity() const { return m_capacity; }

private:
    bool take(std::size_t bytes, bool evenPastCapacity);
    void give(std::size_t bytes);

    const std::size_t m_capacity;
    std::atomic<std::size_t> m_inUse{0};
};

// What the handler of one request knows besides the request, and what it may leave for the reply.
struct RequestContext
{
    std::string address;
    ByteBudget* budget = nullptr;
    // The memory the reply is going to take, reserved by the handler before it builds a large reply. The
    // listener makes it match the reply's body and keeps it until the reply is written.
    ByteBudget::Hold replyHold;
};

// An HTTPS/1.1 server that keeps every limit itself: the size and the time of the request head, the number of
// header fields, the body, and the connections per client. Slow clients cost a socket, not a thread.
class HttpsListener
{
public:
    // Looks at a request head before its body is read; an answer refuses the request. It may lower
    // `bodyLimit` (the limits' bodyBytes when it is called) for this request.
    using Screen = std::function<std::optional<HttpResponse>(const HttpRequestHead&, const std::string& address,
                                                             std::size_t& bodyLimit)>;
    using Handler = std::function<HttpResponse(HttpRequest&&, RequestContext&)>;

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
    ByteBudget& Budget() { return m_budget; }

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
    ByteBudget m_budget;
    // Destroyed before the members above: closing the io_context destroys the connections it still holds.
    std::unique_ptr<boost::asio::io_context> m_io;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> m_acceptor;
    std::unique_ptr<boost::asio::steady_timer> m_acceptPause;
    std::unique_ptr<boost::asio::thread_pool> m_workers;
    std::vector<std::thread> m_threads;
};
