#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string_view>

// Counts wrong passwords per key (an account, a client address) and refuses further attempts for a while
// once there have been too many, so that passwords cannot be guessed at the speed of the network.
//
// An attempt counts from the moment it begins, before its slow password check, so many attempts sent at once
// get no more checks than the same attempts sent one after another: either each waits for the key's attempt
// before it (an account: its right password, sent by several people at once, still gets through), or each one
// under way counts as a failure to come (an address, whose many users should not wait for one another). Keys
// are kept as fixed-size digests, so long names cost no memory, and a key's count is forgotten once it has been
// quiet for the lockout's time.
class LoginThrottle
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Attempts
    {
        OneAtATime,
        CountedAhead,
    };

    LoginThrottle(int maxFailures, std::chrono::milliseconds lockout, Attempts attempts);

    enum class Outcome
    {
        Failed,
        // Right, but the key's earlier failures still count (an address that also guesses other accounts).
        Passed,
        // Right, and the key's failures are forgiven (the account itself).
        Succeeded,
    };

    // Counts an attempt under this key and returns true, or returns false when attempts are refused for now.
    // Every true is followed by Finished().
    bool Begin(std::string_view key);
    void Finished(std::string_view key, Outcome outcome);

    // Keys the throttle remembers; for the tests.
    std::size_t Size();

private:
    using Digest = std::array<unsigned char, 16>;
    struct Entry
    {
        int failures = 0;
        int underway = 0;
        Clock::time_point lastFailure;
        Clock::time_point lockedUntil;
    };

    static Digest digestOf(std::string_view key);
    bool isQuiet(const Entry& entry, Clock::time_point now) const;
    void forgetQuietKeys(Clock::time_point now);

    // However many keys are guessed, the table stays this small: past it, keys with a lockout running are kept
    // and the quiet ones are forgotten first.
    static constexpr std::size_t kMaxEntries = 10000;

    const int m_maxFailures;
    const std::chrono::milliseconds m_lockout;
    const Attempts m_attempts;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::map<Digest, Entry> m_entries;
    Clock::time_point m_lastSweep;
};
