#pragma once

// The threads of a save: the save worker, the event by which it waits for the user-interface thread, and a
// starter that tests can replace to see what happens when the system cannot start a thread.

#include "core/WorkerThread.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Starts `work` on a new thread; nothing when the system cannot start one.
using ThreadStarter = std::function<std::optional<WorkerThread>(std::function<void()> work)>;
ThreadStarter DefaultThreadStarter();

// A manual-reset event: once set it stays set, releasing every waiter, until it is reset. The save worker
// resets it, posts a step to the user-interface thread and waits; the step's handler sets it.
class CManualResetEvent
{
public:
    void Reset();
    void Set();
    // Waits without time-out until the event is set.
    void Wait();
    bool IsSet() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_set = false;
};

// At most one save runs at a time. The handle is kNoWorker while none runs; it is set when the worker thread
// has started and goes back to kNoWorker when the routine returns. Nobody waits for a running save: the
// finished thread is only joined by the next start or by the destructor, which the owner reaches only after
// the routine has told it that it ended, so that no thread outlives the process's objects.
class CSaveWorker
{
public:
    using Routine = std::function<void(void* pMainWindow)>;
    static constexpr long long kNoWorker = -1;

    explicit CSaveWorker(ThreadStarter starter = DefaultThreadStarter());
    ~CSaveWorker();
    CSaveWorker(const CSaveWorker&) = delete;
    CSaveWorker& operator=(const CSaveWorker&) = delete;

    // Runs `routine(pMainWindow)` on a new thread. False when a save is already running or the thread cannot
    // be started; the handle then stays as it was.
    bool Start(Routine routine, void* pMainWindow);
    long long Handle() const { return m_hSaveWorker->load(); }
    // Waits for the thread of the last save to end. Only for a save that has said it ended: all that is
    // left of it then is its return.
    void JoinEnded();
    bool IsRunning() const { return Handle() != kNoWorker; }

private:
    ThreadStarter m_starter;
    // Shared with the running worker, which may outlive this object: shutdown does not wait for it.
    std::shared_ptr<std::atomic<long long>> m_hSaveWorker = std::make_shared<std::atomic<long long>>(kNoWorker);
    long long m_nextHandle = 1;
    std::optional<WorkerThread> m_thread;
};
