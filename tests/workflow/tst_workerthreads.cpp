#include "workflow/WorkerThreads.h"

#include <QTest>

#include <atomic>

class TestWorkerThreads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eventReleasesEveryWaiterUntilReset()
    {
        CManualResetEvent event;
        QVERIFY(!event.IsSet());
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&] {
                event.Wait();
                ++released;
            });
        event.Set();
        for (auto& waiter : waiters)
            waiter.join();
        QCOMPARE(released.load(), 3);

        // Manual reset: it stays set, so a later wait returns at once...
        event.Wait();
        QVERIFY(event.IsSet());
        // ...until it is reset.
        event.Reset();
        QVERIFY(!event.IsSet());
    }

    // Once reset, a wait holds until the event is set again: each step of a save waits so for the window's
    // thread to have done its part.
    void waitHoldsUntilSet()
    {
        CManualResetEvent done;
        std::atomic<bool> returned{false};
        std::thread waiter([&] {
            done.Wait();
            returned = true;
        });
        QTest::qWait(100);
        const bool early = returned.load();
        done.Set();
        waiter.join();
        QVERIFY(!early && returned.load());
    }

    void oneSaveAtATime()
    {
        CSaveWorker worker;
        QCOMPARE(worker.Handle(), CSaveWorker::kNoWorker);

        CManualResetEvent release;
        std::atomic<void*> seen{nullptr};
        int window = 0;
        QVERIFY(worker.Start(
            [&](void* mainWindow) {
                seen = mainWindow;
                release.Wait();
            },
            &window));
        QVERIFY(worker.IsRunning());
        QVERIFY(!worker.Start([](void*) {}, &window));

        release.Set();
        QTRY_VERIFY(!worker.IsRunning());
        QCOMPARE(seen.load(), static_cast<void*>(&window));

        std::atomic<bool> second{false};
        QVERIFY(worker.Start([&](void*) { second = true; }, &window));
        QTRY_VERIFY(second.load() && !worker.IsRunning());
    }

    void noMainWindowRunsNothing()
    {
        CSaveWorker worker;
        std::atomic<bool> ran{false};
        QVERIFY(worker.Start([&](void*) { ran = true; }, nullptr));
        QTRY_VERIFY(!worker.IsRunning());
        QVERIFY(!ran.load());
    }

    void threadThatCannotStartLeavesNoWorker()
    {
        CSaveWorker worker([](std::function<void()>) -> std::optional<WorkerThread> { return std::nullopt; });
        int window = 0;
        QVERIFY(!worker.Start([](void*) {}, &window));
        QCOMPARE(worker.Handle(), CSaveWorker::kNoWorker);
        QVERIFY(!worker.Start([](void*) {}, &window));
        QCOMPARE(worker.Handle(), CSaveWorker::kNoWorker);
    }
};

QTEST_GUILESS_MAIN(TestWorkerThreads)
#include "tst_workerthreads.moc"
