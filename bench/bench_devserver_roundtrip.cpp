// Insert and get back a question with three 5 MB documents through the client, against the local server
// running in a child process; prints the round trip time and the server's peak memory.

#include "bench/ProcessStatus.h"
#include "bench/ServerProcess.h"
#include "net/Communicator.h"
#include "tests/support/TestTls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

int main()
{
    TestTls::instance();
    QTemporaryDir dir;
    QuestionBankProcess server;
    if (!server.IsRunning())
        return 1;
    const long serverBefore = ProcessStatusKiB("VmHWM:", server.Pid());

    constexpr qint64 kDocumentSize = 5 * 1000 * 1000;
    QRandomGenerator generator(11);
    CMapStringToString hwp;
    QList<QByteArray> contents;
    for (const char* key : {"q_hwp", "a_hwp", "d_hwp"}) {
        QByteArray bytes(kDocumentSize, Qt::Uninitialized);
        generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), kDocumentSize / 4);
        const QString path = dir.filePath(QLatin1String(key));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        hwp.SetAt(QLatin1String(key), path);
        contents.append(bytes);
    }

    CCommunicator client(server.BaseUrl());
    if (!client.StartSession() ||
        !client.Login(QLatin1String(QuestionStore::kDemoLogin), QLatin1String(QuestionStore::kDemoPassword))) {
        std::fprintf(stderr, "cannot log in: %s\n", qPrintable(client.GetLastErrorText()));
        return 1;
    }
    const CMapStringToString request{{"type", "기출"},   {"year", "2026년"},     {"month", "6월"},
                                     {"level", "3학년"}, {"department", "공통"}, {"number", "30번"}};
    const CMapStringToString png;

    double best = 1e9;
    bool identical = true;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        CMapStringToString reply;
        bool ok = client.InsertEducation2015(&request, &hwp, &png);
        const double insertSeconds = double(timer.nsecsElapsed()) / 1e9;
        ok = ok && client.GetEducation2015(&request, &reply);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!ok) {
            std::fprintf(stderr, "round trip failed: %s\n", qPrintable(client.GetLastErrorText()));
            return 1;
        }
        identical = identical &&
                    QByteArray::fromBase64(reply.Value(QStringLiteral("q_hwp")).toLatin1()) == contents[0] &&
                    QByteArray::fromBase64(reply.Value(QStringLiteral("d_hwp")).toLatin1()) == contents[2];
        best = std::min(best, seconds);
        std::printf("round %d: insert + get of 3 x 5 MB: %.0f ms (insert %.0f ms, get %.0f ms)\n", round + 1,
                    seconds * 1e3, insertSeconds * 1e3, (seconds - insertSeconds) * 1e3);
    }
    const long serverPeak = ProcessStatusKiB("VmHWM:", server.Pid());

    std::printf("best round trip: %.0f ms (target under 1000 ms); documents came back %s\n", best * 1e3,
                identical ? "byte-identical" : "DIFFERENT");
    std::printf("server peak resident size: %.1f MiB (%.1f MiB before the first request)\n",
                double(serverPeak) / 1024.0, double(serverBefore) / 1024.0);
    return identical ? 0 : 1;
}
