#pragma once

#include "server/HttpsListener.h"
#include "server/LoginThrottle.h"
#include "server/SessionTable.h"

#include <chrono>
#include <optional>
#include <string>

class FormData;
class QuestionStore;

// What the server allows before it refuses; tests make the waits short.
struct ServerLimits : ConnectionLimits
{
    // Wrong passwords for one account, and from one client address, before further logins are refused.
    int failuresPerAccount = 5;
    int failuresPerAddress = 20;
    std::chrono::milliseconds loginLockout = std::chrono::minutes(1);
    // Sessions kept at most; a new one beyond them drops the one not logged in that was unused longest.
    std::size_t maxSessions = 10000;
    // Sessions not logged in that one client address may hold; its oldest makes room for a new one.
    std::size_t anonymousSessionsPerAddress = 256;
    // What a session that has not logged in may send: a login is a few hundred bytes.
    std::size_t anonymousBodyBytes = 16 * 1024;
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
    SessionTable& Sessions() { return m_sessions; }
    LoginThrottle& AccountThrottle() { return m_accountThrottle; }

    // The request handling without the network, as the listener runs it: first the head alone on a network
    // thread, which must never wait for the store; then, unless that refused it, the whole request on a
    // worker.
    std::optional<HttpResponse> Screen(const HttpRequestHead& head, const std::string& address, std::size_t& bodyLimit);
    HttpResponse Answer(HttpRequest&& request, RequestContext& context);

private:
    // A form posted by a session, with what the routes need of it.
    struct Post
    {
        const HttpRequest& request;
        const FormData& form;
        SessionTable::Session& session;
        RequestContext& context;
    };

    // One function a route.
    HttpResponse startSession(const std::string& address);
    HttpResponse logout(const HttpRequest& request);
    HttpResponse login(const Post& post);
    HttpResponse getPermission(const Post& post);
    HttpResponse searchSchools(const Post& post);
    // The question routes share their checks: the category, the login, the permission and the identity.
    HttpResponse questionRoute(const Post& post, const std::string& path);
    HttpResponse getQuestion(const Post& post, const std::string& category, const std::string& identity);
    HttpResponse deleteQuestion(const std::string& category, const std::string& identity);
    HttpResponse insertQuestion(const Post& post, const std::string& category, const std::string& identity);

    // The caller's session when its cookies and form token agree with one we issued, and its account's
    // password and permission are those it logged in with.
    std::optional<SessionTable::Session> checkedSession(const HttpRequestHead& req, const std::string& formToken);

    QuestionStore& m_store;
    const ServerLimits m_limits;
    SessionTable m_sessions;
    LoginThrottle m_accountThrottle;
    LoginThrottle m_addressThrottle;
    // Last, so that it stops before what its requests use goes away.
    HttpsListener m_listener;
};
