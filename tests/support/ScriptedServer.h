#pragma once

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct TestTls;
class RawHttpsPeer;

namespace httplib {
class SSLServer;
}

// A real HTTPS server on 127.0.0.1 that answers what the test tells it and records every request as it
// arrived on the wire.
class ScriptedServer
{
public:
    // What the server does with a connection once it has answered; HTTP allows all three.
    enum class Closing
    {
        // Keeps it for the next request, unless the request said "close": then it answers "Connection: close"
        // and closes (cpp-httplib; an idle connection is dropped after a second).
        SaysSo,
        // Closes it after every reply, saying nothing.
        Silently,
        // Keeps it whatever the request said, and drops it when no request has begun 0.2 s after a reply.
        WhenIdle,
    };

    struct Request
    {
        std::string method;
        std::string path;
        std::string target;  // the request line's target, query included
        std::string version; // "HTTP/1.1"
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers; // in arrival order, except under SaysSo
        int connection = 0;                                       // the same number for requests on the same connection

        // Every value of a header (names compare without case), in arrival order.
        std::vector<std::string> headerValues(const std::string& name) const;
        std::string header(const std::string& name) const;
        bool hasHeader(const std::string& name) const { return !headerValues(name).empty(); }
    };

    struct Reply
    {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::vector<std::pair<std::string, std::string>> headers;
    };

    // Serves with the process's trusted test certificate, or with the one given.
    explicit ScriptedServer(const TestTls* tls = nullptr);
    explicit ScriptedServer(Closing closing);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    QString baseUrl() const;
    int port() const { return m_port; }

    // The reply for every later request to `path`; paths without one get 404.
    void setReply(const std::string& path, Reply reply);
    void setJson(const std::string& path, const std::string& json, int status = 200);
    // A reply cut short: the Content-Length of the whole body, then only its first `sentBytes` bytes, and the
    // connection closes.
    void setCutReply(const std::string& path, Reply reply, std::size_t sentBytes);
    // GET /qb answers a page with this Set-Cookie header, as the session start expects.
    void setSessionStart(const std::string& setCookie);
    // Requests to `path` are read and recorded, and never answered (not under SaysSo).
    void setUnanswered(const std::string& path);

    std::vector<Request> requests() const;
    Request lastRequest() const;
    void clearRequests();
    // Forgets every reply and request, so that one server can serve many test functions.
    void reset();

private:
    struct Answer
    {
        Reply reply;
        std::optional<std::size_t> cut;
        bool unanswered = false;
    };
    // Records the request and finds what to do with it.
    Answer take(Request&& request);
    void startHttplib(const TestTls& tls);

    std::unique_ptr<httplib::SSLServer> m_server;
    std::unique_ptr<RawHttpsPeer> m_peer;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::map<std::string, Reply> m_replies;
    std::map<std::string, std::size_t> m_cuts;
    std::set<std::string> m_unanswered;
    std::map<std::string, int> m_connections; // cpp-httplib's clients by address and port
    std::vector<Request> m_requests;
};

// The replies the program needs to come up and log in, with the given permission level.
void ScriptStartAndLogin(ScriptedServer& server, const std::string& permission);

// A port on 127.0.0.1 on which nothing listens.
int ClosedLocalPort();
