#include "core/WorkerThread.h"

#include <QThread>

#include <condition_variable>
#include <mutex>

struct WorkerThread::State
{
    std::function<void()> work;
    std::unique_ptr<QThread> thread;
    // Qt's own wait synchronises inside a library that the thread sanitizer cannot see into; the end of the
    // work is told through a lock of ours as well, so that what it wrote is ordered before the join.
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

std::optional<WorkerThread> WorkerThread::Start(std::function<void()> work)
{
    auto state = std::make_unique<State>();
    state->work = std::move(work);
    State* shared = state.get();
    state->thread.reset(QThread::create([shared] {
        shared->work();
        shared->work = nullptr;
        const std::lock_guard lock(shared->mutex);
        shared->done = true;
        shared->ended.notify_all();
    }));
    state->thread->start();
    // A thread that could not be created is neither running nor finished.
    if (!state->thread->isRunning() && !state->thread->isFinished())
        return std::nullopt;
    return WorkerThread(std::move(state));
}

WorkerThread::WorkerThread(std::unique_ptr<State> state) : m_state(std::move(state)) {}

WorkerThread::WorkerThread(WorkerThread&& other) noexcept = default;

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept
{
    if (this != &other) {
        join();
        m_state = std::move(other.m_state);
    }
    return *this;
}

WorkerThread::~WorkerThread()
{
    join();
}

void WorkerThread::join()
{
    if (!m_state)
        return;
    {
        std::unique_lock lock(m_state->mutex);
        m_state->ended.wait(lock, [this] { return m_state->done; });
    }
    m_state->thread->wait();
    m_state.reset();
}
