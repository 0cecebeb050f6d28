#include "tests/support/ScriptedServer.h"

#include "tests/support/RawHttpsPeer.h"
#include "tests/support/TestTls.h"

#include <QFile>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <strings.h>

std::vector<std::string> ScriptedServer::Request::headerValues(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            values.push_back(value);
    }
    return values;
}

std::string ScriptedServer::Request::header(const std::string& name) const
{
    const auto values = headerValues(name);
    return values.empty() ? std::string() : values.front();
}

ScriptedServer::Answer ScriptedServer::take(Request&& request)
{
    Answer answer;
    bool found = false;
    {
        std::lock_guard lock(m_mutex);
        const std::string path = request.path;
        m_requests.push_back(std::move(request));
        const auto it = m_replies.find(path);
        if (it != m_replies.end()) {
            answer.reply = it->second;
            found = true;
        }
        if (const auto c = m_cuts.find(path); c != m_cuts.end())
            answer.cut = c->second;
        answer.unanswered = m_unanswered.count(path) > 0;
    }
    if (!found) {
        answer.reply.status = 404;
        answer.reply.body = "<html><body>Not Found</body></html>";
        answer.reply.contentType = "text/html";
    }
    return answer;
}

ScriptedServer::ScriptedServer(const TestTls* ownTls)
{
    startHttplib(ownTls ? *ownTls : TestTls::instance());
}

ScriptedServer::ScriptedServer(Closing closing)
{
    const TestTls& tls = TestTls::instance();
    if (closing == Closing::SaysSo) {
        startHttplib(tls);
        return;
    }
    const auto idleLimit = closing == Closing::WhenIdle ? std::optional(std::chrono::milliseconds(200)) : std::nullopt;
    m_peer = std::make_unique<RawHttpsPeer>(
        QFile::encodeName(tls.certificatePath).toStdString(), QFile::encodeName(tls.keyPath).toStdString(), idleLimit,
        [this](Request&& request) -> std::optional<Reply> {
            Answer answer = take(std::move(request));
            if (answer.unanswered)
                return std::nullopt;
            if (answer.cut)
                throw std::logic_error("scripted server: cut replies need the SaysSo server");
            return std::move(answer.reply);
        });
    m_port = m_peer->port();
}

void ScriptedServer::startHttplib(const TestTls& tls)
{
    m_server = std::make_unique<httplib::SSLServer>(QFile::encodeName(tls.certificatePath).constData(),
                                                    QFile::encodeName(tls.keyPath).constData());
    if (!m_server->is_valid())
        throw std::runtime_error("scripted server: TLS setup failed");

    auto handler = [this](const httplib::Request& req, httplib::Response& res, std::string body) {
        Request recorded;
        recorded.method = req.method;
        recorded.path = req.path;
        recorded.target = req.target;
        recorded.version = req.version;
        recorded.body = std::move(body);
        // The library files the addresses of the connection among the header fields; they were not sent.
        for (const auto& header : req.headers) {
            if (!header.first.starts_with("REMOTE_") && !header.first.starts_with("LOCAL_"))
                recorded.headers.emplace_back(header.first, header.second);
        }
        {
            std::lock_guard lock(m_mutex);
            const std::string client = req.remote_addr + ':' + std::to_string(req.remote_port);
            const auto known = m_connections.emplace(client, int(m_connections.size()) + 1).first;
            recorded.connection = known->second;
        }

        const Answer answer = take(std::move(recorded));
        if (answer.unanswered)
            throw std::logic_error("scripted server: unanswered requests need a raw server");
        const Reply& reply = answer.reply;
        res.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            res.headers.emplace(name, value);
        if (!answer.cut) {
            res.set_content(reply.body, reply.contentType.c_str());
            return;
        }
        const std::size_t sent = std::min(*answer.cut, reply.body.size());
        res.set_content_provider(reply.body.size(), reply.contentType,
                                 [body = reply.body, sent](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     if (sent > 0)
                                         sink.write(body.data(), sent);
                                     return false; // the library then drops the connection
                                 });
    };
    // Headers and body leave in two writes; without this each reply waits for a delayed ACK.
    m_server->set_tcp_nodelay(true);
    // Real servers drop an idle connection after a few seconds; this one soon, so that tests can see a client
    // that relies on a connection the server has closed.
    m_server->set_keep_alive_timeout(1);
    m_server->Get(".*", [handler](const httplib::Request& req, httplib::Response& res) { handler(req, res, {}); });
    // Reading the body through a content reader: the library's plain handlers refuse form bodies over 8 KiB.
    m_server->Post(
        ".*", [handler](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
            std::string body;
            reader([&](const char* data, std::size_t length) {
                body.append(data, length);
                return true;
            });
            handler(req, res, std::move(body));
        });

    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        throw std::runtime_error("scripted server: cannot bind");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() does nothing until the accept loop runs, so a server stopped too early would never end.
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ScriptedServer::~ScriptedServer()
{
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

QString ScriptedServer::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1/").arg(m_port);
}

void ScriptedServer::setReply(const std::string& path, Reply reply)
{
    std::lock_guard lock(m_mutex);
    m_replies[path] = std::move(reply);
    m_cuts.erase(path);
    m_unanswered.erase(path);
}

void ScriptedServer::setCutReply(const std::string& path, Reply reply, std::size_t sentBytes)
{
    std::lock_guard lock(m_mutex);
    m_replies[path] = std::move(reply);
    m_cuts[path] = sentBytes;
}

void ScriptedServer::setUnanswered(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_unanswered.insert(path);
}

void ScriptedServer::setSessionStart(const std::string& setCookie)
{
    setReply("/qb", Reply{200, "<html></html>", "text/html", {{"Set-Cookie", setCookie}}});
}

void ScriptedServer::setJson(const std::string& path, const std::string& json, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = json;
    setReply(path, std::move(reply));
}

std::vector<ScriptedServer::Request> ScriptedServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

ScriptedServer::Request ScriptedServer::lastRequest() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.empty() ? Request{} : m_requests.back();
}

void ScriptedServer::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

void ScriptedServer::reset()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_replies.clear();
    m_cuts.clear();
    m_unanswered.clear();
}

int ClosedLocalPort()
{
    // Bind a port, note it and let it go: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

void ScriptStartAndLogin(ScriptedServer& server, const std::string& permission)
{
    server.setSessionStart("_csrf_token_value=tok; Path=/");
    server.setJson("/qb/js_bank/tarvix_app_version", R"({"version":45})");
    server.setJson("/qb/js_user/login", R"({"result_code":0,"result_message":"ok"})");
    server.setJson("/qb/js_user/getpermission", R"({"permission":")" + permission + R"("})");
    server.setJson("/qb/js_user/logout", "{}");
}
