#include "workflow/WorkerThreads.h"

ThreadStarter DefaultThreadStarter()
{
    return [](std::function<void()> work) { return WorkerThread::Start(std::move(work)); };
}

void CManualResetEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_set = false;
}

void CManualResetEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_condition.notify_all();
}

void CManualResetEvent::Wait()
{
    std::unique_lock lock(m_mutex);
    m_condition.wait(lock, [this] { return m_set; });
}

bool CManualResetEvent::IsSet() const
{
    std::lock_guard lock(m_mutex);
    return m_set;
}

CSaveWorker::CSaveWorker(ThreadStarter starter) : m_starter(std::move(starter)) {}

CSaveWorker::~CSaveWorker()
{
    JoinEnded();
}

void CSaveWorker::JoinEnded()
{
    m_thread.reset();
}

bool CSaveWorker::Start(Routine routine, void* pMainWindow)
{
    long long expected = kNoWorker;
    const long long handle = m_nextHandle++;
    // Claim the slot first, so that two quick save commands cannot both start a worker.
    if (!m_hSaveWorker->compare_exchange_strong(expected, handle))
        return false;
    // The previous worker has already given the slot back; all that is left of it is its return.
    m_thread.reset();
    std::optional<WorkerThread> thread = m_starter([slot = m_hSaveWorker, routine = std::move(routine), pMainWindow] {
        if (pMainWindow)
            routine(pMainWindow);
        slot->store(kNoWorker);
    });
    if (!thread) {
        m_hSaveWorker->store(kNoWorker);
        return false;
    }
    m_thread = std::move(thread);
    return true;
}
