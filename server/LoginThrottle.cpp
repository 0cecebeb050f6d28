#include "server/LoginThrottle.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

LoginThrottle::LoginThrottle(int maxFailures, std::chrono::milliseconds lockout, Attempts attempts)
    : m_maxFailures(maxFailures), m_lockout(lockout), m_attempts(attempts)
{
}

LoginThrottle::Digest LoginThrottle::digestOf(std::string_view key)
{
    // A cryptographic digest: names chosen to collide with an account's would lock it out.
    unsigned char full[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(key.data(), key.size(), full, &length, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("no digest");
    Digest digest;
    std::memcpy(digest.data(), full, digest.size());
    return digest;
}

bool LoginThrottle::isQuiet(const Entry& entry, Clock::time_point now) const
{
    return entry.underway == 0 && now >= entry.lockedUntil && now - entry.lastFailure >= m_lockout;
}

void LoginThrottle::forgetQuietKeys(Clock::time_point now)
{
    std::erase_if(m_entries, [&](const auto& entry) { return isQuiet(entry.second, now); });
    m_lastSweep = now;
}

bool LoginThrottle::Begin(std::string_view key)
{
    const Digest digest = digestOf(key);
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto now = Clock::now();
        if (now - m_lastSweep >= m_lockout)
            forgetQuietKeys(now);
        auto it = m_entries.find(digest);
        if (it == m_entries.end()) {
            if (m_entries.size() >= kMaxEntries)
                forgetQuietKeys(now);
            // Still full of keys under way or locked: refusing one more guess is safer than forgetting a lockout.
            if (m_entries.size() >= kMaxEntries)
                return false;
            it = m_entries.emplace(digest, Entry{}).first;
        }
        Entry& entry = it->second;
        // The lockout is over: the key starts afresh.
        if (entry.failures >= m_maxFailures && now >= entry.lockedUntil)
            entry.failures = 0;
        if (entry.failures + (m_attempts == Attempts::CountedAhead ? entry.underway : 0) >= m_maxFailures)
            return false;
        if (m_attempts == Attempts::CountedAhead || entry.underway == 0) {
            ++entry.underway;
            return true;
        }
        m_finished.wait(lock);
    }
}

void LoginThrottle::Finished(std::string_view key, Outcome outcome)
{
    const Digest digest = digestOf(key);
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(digest);
    if (it == m_entries.end())
        return;
    Entry& entry = it->second;
    --entry.underway;
    if (outcome == Outcome::Succeeded) {
        entry.failures = 0;
    } else if (outcome == Outcome::Failed) {
        entry.lastFailure = now;
        if (++entry.failures >= m_maxFailures)
            entry.lockedUntil = now + m_lockout;
    }
    if (entry.underway == 0 && entry.failures == 0)
        m_entries.erase(it);
    m_finished.notify_all();
}

std::size_t LoginThrottle::Size()
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}
