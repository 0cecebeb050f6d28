#include "server/LoginThrottle.h"

LoginThrottle::LoginThrottle(int maxFailures, std::chrono::milliseconds lockout)
    : m_maxFailures(maxFailures), m_lockout(lockout)
{
}

bool LoginThrottle::IsLocked(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || it->second.failures < m_maxFailures)
        return false;
    if (std::chrono::steady_clock::now() < it->second.lockedUntil)
        return true;
    // The lockout is over: the key starts afresh.
    m_entries.erase(it);
    return false;
}

void LoginThrottle::Failed(const std::string& key)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    if (m_entries.size() >= kMaxEntries && !m_entries.contains(key))
        std::erase_if(m_entries, [&](const auto& entry) { return entry.second.lockedUntil <= now; });
    Entry& entry = m_entries[key];
    if (++entry.failures >= m_maxFailures)
        entry.lockedUntil = now + m_lockout;
}

void LoginThrottle::Succeeded(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    m_entries.erase(key);
}
