// Insert and get back a question with three 5 MB documents through the client, against the local server
// running in a child process; prints the round trip time and the server's peak memory. First, what a small
// request costs on a connection of its own (as the client sends every request), beside the same request on
// a connection kept open, and the time from the session start to the permission, as after a login.

#include "bench/Median.h"
#include "bench/ProcessStatus.h"
#include "bench/ServerProcess.h"
#include "net/Communicator.h"
#include "tests/support/TestTls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cpprest/http_client.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr int kSmallRounds = 40;

double millisecondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The version check, each on a connection of its own.
bool timeFreshConnections(CCommunicator& client, std::vector<double>& times)
{
    for (int i = 0; i < kSmallRounds; ++i) {
        QString version;
        QElapsedTimer timer;
        timer.start();
        if (!client.GetVersion(version))
            return false;
        times.push_back(millisecondsSince(timer));
    }
    return true;
}

// The same request through one client of the library that keeps its connection, for comparison.
bool timeKeptConnection(const QString& baseUrl, std::vector<double>& times)
{
    try {
        web::http::client::http_client client(web::uri(baseUrl.toStdString()));
        for (int i = 0; i <= kSmallRounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            auto response = client.request(web::http::methods::GET, "/qb/js_bank/tarvix_app_version").get();
            response.extract_utf8string(true).get();
            if (response.status_code() != web::http::status_codes::OK)
                return false;
            // The first round opens the connection.
            if (i > 0)
                times.push_back(millisecondsSince(timer));
        }
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kept connection: %s\n", e.what());
        return false;
    }
}

} // namespace

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
    std::vector<double> fresh, kept, loginToPermission;
    if (!timeFreshConnections(client, fresh) || !timeKeptConnection(server.BaseUrl(), kept)) {
        std::fprintf(stderr, "version check failed: %s\n", qPrintable(client.GetLastErrorText()));
        return 1;
    }
    std::printf("version check, median of %d: %.2f ms on a connection of its own, %.2f ms on one kept open: "
                "%.2f ms a request for the new connection\n",
                kSmallRounds, Median(fresh), Median(kept), Median(fresh) - Median(kept));
    for (int round = 0; round < 10; ++round) {
        CCommunicator user(server.BaseUrl());
        QString permission;
        QElapsedTimer timer;
        timer.start();
        if (!user.StartSession() ||
            !user.Login(QLatin1String(QuestionStore::kDemoLogin), QLatin1String(QuestionStore::kDemoPassword)) ||
            !user.GetPermission(QLatin1String(QuestionStore::kDemoLogin), permission)) {
            std::fprintf(stderr, "cannot log in: %s\n", qPrintable(user.GetLastErrorText()));
            return 1;
        }
        loginToPermission.push_back(millisecondsSince(timer));
    }
    std::printf("session start, login and permission, median of 10: %.1f ms\n", Median(loginToPermission));

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
