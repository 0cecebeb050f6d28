#pragma once

#include <functional>
#include <memory>
#include <optional>

// A thread for the program's own work, run by a QThread. A Qt object made or used there (a file, a document
// and its layout, whose timers start and stop as it lays out) finds the event dispatcher of its thread, as Qt
// requires. A plain std::thread has none: a timer started there is refused, and one stopped there is given up
// without leaving the dispatcher that started it, which later fires it at an object that is gone.
class WorkerThread
{
public:
    // Runs `work` on a new thread; nothing when the system cannot start one.
    static std::optional<WorkerThread> Start(std::function<void()> work);

    WorkerThread(WorkerThread&& other) noexcept;
    WorkerThread& operator=(WorkerThread&& other) noexcept;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Waits for the work to end: a thread is never left running behind its handle.
    ~WorkerThread();

    bool joinable() const { return m_state != nullptr; }
    // Waits for the work to end; everything it did is seen by the caller afterwards.
    void join();

private:
    struct State;
    explicit WorkerThread(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
