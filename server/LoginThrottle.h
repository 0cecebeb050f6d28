#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

// Counts wrong passwords per key (an account, a client address) and refuses further attempts for a while
// once there have been too many, so that passwords cannot be guessed at the speed of the network.
class LoginThrottle
{
public:
    LoginThrottle(int maxFailures, std::chrono::milliseconds lockout);

    // Whether attempts under this key are refused for now.
    bool IsLocked(const std::string& key);
    void Failed(const std::string& key);
    void Succeeded(const std::string& key);

private:
    struct Entry
    {
        int failures = 0;
        std::chrono::steady_clock::time_point lockedUntil;
    };

    // Guessed names would otherwise grow the table without end.
    static constexpr std::size_t kMaxEntries = 10000;

    const int m_maxFailures;
    const std::chrono::milliseconds m_lockout;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};
