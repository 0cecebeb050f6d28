#pragma once

#include "server/HttpsListener.h"
#include "server/LoginThrottle.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class QuestionStore;

// What the server allows before it refuses; tests make the waits short.
struct ServerLimits : ConnectionLimits
{
    // Wrong passwords for one account, and from one client address, before further logins are refused.
    int failuresPerAccount = 5;
    int failuresPerAddress = 20;
    std::chrono::milliseconds loginLockout = std::chrono::minutes(1);
    // Sessions kept at most; a new one beyond them drops the one unused longest.
    std::size_t maxSessions = 10000;
    // However busy, a session ends this long after it began.
    std::chrono::milliseconds sessionMaxAge = std::chrono::hours(12);
    // A question has fewer than 30 fields.
    std::size_t formFields = 64;
};

// The question bank's web interface as the desktop program sees it, over HTTPS, on top of a QuestionStore.
class QuestionBankServer
{
public:
    QuestionBankServer(QuestionStore& store, const std::string& certificatePath, const std::string& keyPath,
                       const ServerLimits& limits = {});
    ~QuestionBankServer();
    QuestionBankServer(const QuestionBankServer&) = delete;
    QuestionBankServer& operator=(const QuestionBankServer&) = delete;

    // False when the certificate or key cannot be used.
    bool IsValid() const;
    // Binds the address; port 0 picks a free one. Returns the port, or -1.
    int Bind(const std::string& address, int port);
    // Serves on a thread of its own until Stop().
    void Start();
    void Stop();
    std::uint64_t BytesReceived() const { return m_listener.BytesReceived(); }
    int OpenConnections() { return m_listener.OpenConnections(); }
    ByteBudget& Budget() { return m_listener.Budget(); }

    // The request handling without the network, as the listener runs it: first the head alone, then, unless
    // that refused it, the whole request.
    std::optional<HttpResponse> Screen(const HttpRequestHead& head, const std::string& address, std::size_t& bodyLimit);
    HttpResponse Answer(HttpRequest&& request, RequestContext& context);

private:
    struct Session
    {
        std::string token;
        std::string login; // empty until a login succeeds
        int permission = 0;
        std::string credentials; // the account's credential stamp at the login
        std::chrono::steady_clock::time_point created;
        std::chrono::steady_clock::time_point lastUse;
    };

    HttpResponse handleGet(const HttpRequest& req, const std::string& path);
    HttpResponse handlePost(const HttpRequest& req, const std::string& path, const std::string& address);
    std::string newSession();
    // The caller's session when its cookies and form token agree with one we issued.
    std::optional<Session> checkedSession(const HttpRequestHead& req, const std::string& formToken);
    void dropSession(const std::string& id);
    // Files the session under a new id in place of the old one; returns the new id.
    std::string replaceSession(const std::string& oldId, const Session& session);
    bool isOver(const Session& session, std::chrono::steady_clock::time_point now) const;

    QuestionStore& m_store;
    std::mutex m_sessionMutex;
    std::map<std::string, Session> m_sessions;
    const ServerLimits m_limits;
    LoginThrottle m_accountThrottle;
    LoginThrottle m_addressThrottle;
    // Last, so that it stops before what its requests use goes away.
    HttpsListener m_listener;
};
