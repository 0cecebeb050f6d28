#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// The server's sessions, with a lock of their own so that finding one never waits for the store.
//
// Anyone may start a session, so the table is bounded twice: each client address keeps at most a few sessions
// that have not logged in (its oldest go first), and when the table is full, a new session takes the place of
// the one unused longest among those not logged in. A session that has logged in is never dropped to make
// room for one that has not; it ends when it is left unused or grows too old.
class SessionTable
{
public:
    using Clock = std::chrono::steady_clock;

    struct Limits
    {
        std::size_t maxSessions = 10000;
        std::size_t anonymousPerAddress = 256;
        std::chrono::milliseconds idleLifetime = std::chrono::hours(8);
        std::chrono::milliseconds maxAge = std::chrono::hours(12);
    };

    struct Session
    {
        std::string token;
        std::string address;
        std::string login; // empty until a login succeeds
        int permission = 0;
        std::string credentials; // the account's credential stamp at the login
        Clock::time_point created;
        Clock::time_point lastUse;

        bool LoggedIn() const { return !login.empty(); }
    };

    struct Started
    {
        std::string id;
        std::string token;
    };

    explicit SessionTable(const Limits& limits) : m_limits(limits) {}

    // A new session that has not logged in; nothing when the table is full of logged-in sessions.
    std::optional<Started> Start(const std::string& address);
    // The session with this id when the token is its own, marked as used.
    std::optional<Session> Find(const std::string& id, const std::string& token);
    // Files the logged-in session under a new id in place of the old one; returns the new id.
    std::string LogIn(const std::string& oldId, Session session);
    void Drop(const std::string& id);

    std::size_t Size();
    std::size_t AnonymousFrom(const std::string& address);

private:
    using Table = std::unordered_map<std::string, Session>;

    bool isOver(const Session& session, Clock::time_point now) const;
    void erase(Table::iterator it);
    // The session not logged in that was used longest ago, of one address or of all; end() when none.
    Table::iterator oldestAnonymous(const std::string* address);
    Table::iterator insert(std::string id, Session session);

    const Limits m_limits;
    std::mutex m_mutex;
    Table m_sessions;
    std::map<std::string, std::size_t> m_anonymousPerAddress;
};
