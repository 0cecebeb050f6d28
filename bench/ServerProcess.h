#pragma once

#include "server/QuestionBankServer.h"
#include "server/QuestionStore.h"
#include "tests/support/TestTls.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// Runs a server in a child process, so that what it receives and keeps does not count in the benchmark's own
// memory. `serve` starts the server and reports its port (or -1) through the callback it is given, which
// keeps the child, and so the server, alive until it is killed. Call before any thread starts: fork() copies
// only the calling thread.
inline pid_t StartServerProcess(const std::function<void(const std::function<void(int)>& ready)>& serve, int* port)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        close(fds[0]);
        serve([&fds](int p) {
            if (write(fds[1], &p, sizeof p) != sizeof p)
                _exit(1);
            close(fds[1]);
            for (;;)
                pause();
        });
        _exit(1);
    }
    close(fds[1]);
    const bool ok = read(fds[0], port, sizeof *port) == sizeof *port && *port > 0;
    close(fds[0]);
    if (!ok) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

// The local question-bank server with a database at `dbPath`, in a child process, with the test certificate
// (which this process then trusts).
inline pid_t StartQuestionBankProcess(const QString& dbPath, int* port)
{
    TestTls::instance();
    return StartServerProcess(
        [&dbPath](const std::function<void(int)>& ready) {
            const TestTls& tls = TestTls::instance();
            QuestionStore store(QFile::encodeName(dbPath).toStdString());
            store.AddDemoAccountIfEmpty();
            QuestionBankServer server(store, QFile::encodeName(tls.certificatePath).toStdString(),
                                      QFile::encodeName(tls.keyPath).toStdString());
            const int p = store.IsOpen() && server.IsValid() ? server.Bind("127.0.0.1", 0) : -1;
            if (p > 0)
                server.Start();
            ready(p);
        },
        port);
}

// The local question-bank server in a child process for the length of a benchmark, with a new database in a
// folder of its own; the process is ended with this object. Make it before any thread starts.
class QuestionBankProcess
{
public:
    QuestionBankProcess() : m_pid(StartQuestionBankProcess(DatabasePath(), &m_port))
    {
        if (m_pid < 0)
            std::fprintf(stderr, "cannot start the server process\n");
    }
    ~QuestionBankProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    QuestionBankProcess(const QuestionBankProcess&) = delete;
    QuestionBankProcess& operator=(const QuestionBankProcess&) = delete;

    bool IsRunning() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    QString BaseUrl() const { return QStringLiteral("https://127.0.0.1:%1/").arg(m_port); }
    QString DatabasePath() const { return m_dir.filePath(QStringLiteral("bench.sqlite3")); }

private:
    QTemporaryDir m_dir;
    int m_port = 0;
    pid_t m_pid;
};
