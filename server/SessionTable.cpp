#include "server/SessionTable.h"

#include <openssl/rand.h>

#include <stdexcept>

namespace {

std::string randomHex(int bytes)
{
    std::string raw(std::size_t(bytes), '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), bytes) != 1)
        throw std::runtime_error("no random bytes");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(raw.size() * 2);
    for (const char c : raw) {
        hex += kHex[static_cast<unsigned char>(c) >> 4];
        hex += kHex[static_cast<unsigned char>(c) & 0xf];
    }
    return hex;
}

} // namespace

bool SessionTable::isOver(const Session& session, Clock::time_point now) const
{
    return now - session.lastUse > m_limits.idleLifetime || now - session.created > m_limits.maxAge;
}

void SessionTable::erase(Table::iterator it)
{
    if (!it->second.LoggedIn()) {
        const auto count = m_anonymousPerAddress.find(it->second.address);
        if (count != m_anonymousPerAddress.end() && --count->second == 0)
            m_anonymousPerAddress.erase(count);
    }
    m_sessions.erase(it);
}

SessionTable::Table::iterator SessionTable::oldestAnonymous(const std::string* address)
{
    auto oldest = m_sessions.end();
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
        if (it->second.LoggedIn() || (address && it->second.address != *address))
            continue;
        if (oldest == m_sessions.end() || it->second.lastUse < oldest->second.lastUse)
            oldest = it;
    }
    return oldest;
}

SessionTable::Table::iterator SessionTable::insert(std::string id, Session session)
{
    if (!session.LoggedIn())
        ++m_anonymousPerAddress[session.address];
    return m_sessions.insert_or_assign(std::move(id), std::move(session)).first;
}

std::optional<SessionTable::Started> SessionTable::Start(const std::string& address)
{
    const auto now = Clock::now();
    Session session;
    session.token = randomHex(16);
    session.address = address;
    session.created = now;
    session.lastUse = now;
    Started started{randomHex(24), session.token};

    std::lock_guard lock(m_mutex);
    if (const auto count = m_anonymousPerAddress.find(address);
        count != m_anonymousPerAddress.end() && count->second >= m_limits.anonymousPerAddress) {
        if (const auto oldest = oldestAnonymous(&address); oldest != m_sessions.end())
            erase(oldest);
    }
    if (m_sessions.size() >= m_limits.maxSessions) {
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            const auto next = std::next(it);
            if (isOver(it->second, now))
                erase(it);
            it = next;
        }
    }
    while (!m_sessions.empty() && m_sessions.size() >= m_limits.maxSessions) {
        const auto oldest = oldestAnonymous(nullptr);
        if (oldest == m_sessions.end())
            return std::nullopt;
        erase(oldest);
    }
    insert(started.id, std::move(session));
    return started;
}

std::optional<SessionTable::Session> SessionTable::Find(const std::string& id, const std::string& token)
{
    if (id.empty() || token.empty())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second.token != token)
        return std::nullopt;
    const auto now = Clock::now();
    if (isOver(it->second, now)) {
        erase(it);
        return std::nullopt;
    }
    it->second.lastUse = now;
    return it->second;
}

std::string SessionTable::LogIn(const std::string& oldId, Session session)
{
    std::string id = randomHex(24);
    session.lastUse = Clock::now();
    std::lock_guard lock(m_mutex);
    if (const auto old = m_sessions.find(oldId); old != m_sessions.end())
        erase(old);
    // The old session may have made room for others meanwhile; the login still needs its place.
    while (m_sessions.size() >= m_limits.maxSessions) {
        const auto oldest = oldestAnonymous(nullptr);
        if (oldest == m_sessions.end())
            break;
        erase(oldest);
    }
    insert(id, std::move(session));
    return id;
}

void SessionTable::Drop(const std::string& id)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_sessions.find(id); it != m_sessions.end())
        erase(it);
}

std::size_t SessionTable::Size()
{
    std::lock_guard lock(m_mutex);
    return m_sessions.size();
}

std::size_t SessionTable::AnonymousFrom(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_anonymousPerAddress.find(address);
    return it == m_anonymousPerAddress.end() ? 0 : it->second;
}
