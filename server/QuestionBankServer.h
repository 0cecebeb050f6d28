#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "server/LoginThrottle.h"

class QuestionStore;
namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

// What the server allows before it refuses; tests make the waits short.
struct ServerLimits
{
    // Wrong passwords for one account, and from one client address, before further logins are refused.
    int failuresPerAccount = 5;
    int failuresPerAddress = 20;
    std::chrono::milliseconds loginLockout = std::chrono::minutes(1);
    // Sessions kept at most; a new one beyond them drops the one unused longest.
    std::size_t maxSessions = 10000;
    // However busy, a session ends this long after it began.
    std::chrono::milliseconds sessionMaxAge = std::chrono::hours(12);
    // What one request may bring.
    std::size_t bodyBytes = 64u * 1024 * 1024;
    // A question has fewer than 30 fields.
    std::size_t formFields = 64;
    std::size_t headers = 100;
};

// The question bank's web interface as the desktop program sees it, over HTTPS, on top of a QuestionStore.
class QuestionBankServer
{
public:
    static constexpr std::size_t kMaxBodyBytes = ServerLimits().bodyBytes;

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

    // Answers the requests that are refused on their headers alone, before any body is read.
    bool refusedEarly(const httplib::Request& req, httplib::Response& res) const;
    void handleGet(const httplib::Request& req, httplib::Response& res);
    void handlePost(const httplib::Request& req, httplib::Response& res, const std::string& body);
    std::string newSession();
    // The caller's session when its cookies and form token agree with one we issued.
    std::optional<Session> checkedSession(const httplib::Request& req, const std::string& formToken);
    void dropSession(const std::string& id);
    // Files the session under a new id in place of the old one; returns the new id.
    std::string replaceSession(const std::string& oldId, const Session& session);
    std::string sessionId(const httplib::Request& req) const;
    bool isOver(const Session& session, std::chrono::steady_clock::time_point now) const;

    QuestionStore& m_store;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    std::mutex m_sessionMutex;
    std::map<std::string, Session> m_sessions;
    const ServerLimits m_limits;
    LoginThrottle m_accountThrottle;
    LoginThrottle m_addressThrottle;
};
