// Peak heap memory of one insert of three 5 MB documents, sent over HTTPS to a server in a child process,
// beyond what the process held before. Target: at most four times the documents' size.

#include "bench/HeapCounter.h"
#include "bench/ProcessStatus.h"
#include "bench/ServerProcess.h"
#include "net/Communicator.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestTls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The server runs in its own process, so that the body it receives does not count here.
pid_t startServer(int* port)
{
    return StartServerProcess(
        [](const std::function<void(int)>& ready) {
            ScriptedServer server;
            ScriptedServer::Reply session;
            session.headers = {{"Set-Cookie", "_csrf_token_value=bench; path=/"}};
            server.setReply("/qb", session);
            server.setJson("/qb/js_bank/insert/education2015", R"({"result_code":0,"result_message":"ok"})");
            ready(server.port());
        },
        port);
}

} // namespace

int main()
{
    // The child must exist before any thread does: fork() copies only the calling thread.
    TestTls::instance(); // both processes use and trust the same throwaway certificate
    int port = 0;
    const pid_t server = startServer(&port);
    if (server < 0) {
        std::fprintf(stderr, "cannot start the server process\n");
        return 1;
    }

    QTemporaryDir dir;
    constexpr qint64 kDocumentSize = 5 * 1024 * 1024;
    CMapStringToString hwp;
    QRandomGenerator generator(5);
    for (const char* key : {"q_hwp", "a_hwp", "d_hwp"}) {
        QByteArray bytes(kDocumentSize, Qt::Uninitialized);
        generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), kDocumentSize / 4);
        const QString path = dir.filePath(QLatin1String(key) + QStringLiteral(".hwp"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        hwp.SetAt(QLatin1String(key), path);
    }

    CCommunicator client(QStringLiteral("https://127.0.0.1:%1/").arg(port));
    if (!client.StartSession()) {
        std::fprintf(stderr, "no session with the server\n");
        kill(server, SIGTERM);
        return 1;
    }
    const CMapStringToString request{{"year", "2026"}, {"month", "6"}, {"number", "21"}};
    const CMapStringToString png;

    const std::size_t before = HeapCounter::Current();
    HeapCounter::ResetPeak();
    const long rssBefore = ProcessStatusKiB("VmHWM:");
    QElapsedTimer timer;
    timer.start();
    const bool ok = client.InsertEducation2015(&request, &hwp, &png);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const std::size_t peak = HeapCounter::Peak() - before;
    const long rssAfter = ProcessStatusKiB("VmHWM:");

    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);

    const double documents = 3.0 * double(kDocumentSize);
    std::printf("Insert of three 5 MiB documents over HTTPS: %s in %.0f ms\n", ok ? "accepted" : "FAILED", ms);
    std::printf("  documents: %.1f MiB; peak heap beyond the state before: %.1f MiB = %.2f x the documents "
                "(target at most 4 x)\n",
                documents / 1048576.0, double(peak) / 1048576.0, double(peak) / documents);
    if (rssBefore >= 0 && rssAfter >= 0)
        std::printf("  process peak resident size grew by %.1f MiB\n", double(rssAfter - rssBefore) / 1024.0);
    if (!ok)
        std::printf("  error: %s\n", qPrintable(client.GetLastErrorText()));
    return ok ? 0 : 1;
}
