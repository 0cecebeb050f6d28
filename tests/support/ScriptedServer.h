#pragma once

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct TestTls;

namespace httplib {
class SSLServer;
}

// A real HTTPS server on 127.0.0.1 that answers what the test tells it and records every request as it
// arrived on the wire.
class ScriptedServer
{
public:
    struct Request
    {
        std::string method;
        std::string path;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;

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

    std::vector<Request> requests() const;
    Request lastRequest() const;
    void clearRequests();
    // Forgets every reply and request, so that one server can serve many test functions.
    void reset();

private:
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::map<std::string, Reply> m_replies;
    std::map<std::string, std::size_t> m_cuts;
    std::vector<Request> m_requests;
};

// A port on 127.0.0.1 on which nothing listens.
int ClosedLocalPort();
