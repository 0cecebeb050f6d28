#include "tests/support/LocalQuestionBank.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestTls.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QHash>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString kLoginShown = QStringLiteral("window: loginDialog");

// Whether the machine-wide name the program holds while it runs is free now: tried as the program does,
// with a socket bound to it in the abstract namespace, and let go at once.
bool instanceNameFree()
{
    static const char name[] = "Tarvix_{BBE0EAA9-9FEA-4CF2-8495-7D7F03799418}";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name, sizeof name - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address),
                                         socklen_t(offsetof(sockaddr_un, sun_path) + sizeof name)) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LocalQuestionBank> m_bank;
    QString m_url;
    std::vector<std::unique_ptr<ProgramProcess>> m_started;
    QDeadlineTimer m_deadline;

    ProgramProcess& start(const QString& serverUrl,
                          ProgramProcess::Mode mode = ProgramProcess::Mode::UnattendedOffscreen,
                          const QStringList& environment = {})
    {
        m_started.push_back(std::make_unique<ProgramProcess>(QStringLiteral(VELLORIN_PROGRAM_PATH), serverUrl,
                                                             m_deadline, mode, environment));
        return *m_started.back();
    }

    // The program with the test driver, which opens `place` and reports what it finds there.
    ProgramProcess& startDriven(const ScriptedServer& server, const QString& place, const QStringList& more = {})
    {
        return start(server.baseUrl(), ProgramProcess::Mode::ReportingOffscreen,
                     QStringList{QStringLiteral("QT_PLUGIN_PATH=" VELLORIN_DRIVER_PLUGINS),
                                 QStringLiteral("QT_QPA_GENERIC_PLUGINS=vellorindriver:") + place} +
                         more);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bank = std::make_unique<LocalQuestionBank>();
        m_url = m_bank->baseUrl();
    }

    void cleanupTestCase() { m_bank.reset(); }

    void init()
    {
        m_deadline = CaseDeadline();
        QVERIFY2(instanceNameFree(), "another copy of the program runs on this machine (or in this network namespace)");
    }

    void cleanup()
    {
        // Killed, and waited for, before the next case needs the name.
        m_started.clear();
    }

    // A second copy says so and ends, and leaves the running one and its files alone.
    void besideARunningCopy()
    {
        ProgramProcess& first = start(m_url);
        QVERIFY2(first.waitForLine(kLoginShown), first.transcript());

        ProgramProcess& second = start(m_url);
        QVERIFY2(second.endsWith(0), second.transcript());
        QCOMPARE(second.output(), QStringList{QStringLiteral("message box: Vellorin: Error: Already running.")});
        QCOMPARE(FilesUnder(second.home()), QStringList());

        QCOMPARE(first.process().state(), QProcess::Running);
        QVERIFY(!instanceNameFree());
        // What the second copy left alone, the first one has.
        QVERIFY(!FilesUnder(first.configHome()).isEmpty());
        QVERIFY(!FilesUnder(first.dataHome()).isEmpty());

        // --version and --help answer beside it, without a display and without the running copy's lock.
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("HOME"), home.path());
        const auto run = [&environment](const QString& option) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(QStringLiteral(VELLORIN_PROGRAM_PATH), {option});
            process.waitForFinished(20000);
            return std::pair{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
        };
        QCOMPARE(run(QStringLiteral("--version")), (std::pair{0, QStringLiteral("vellorin 2.0.0\n")}));
        const auto [code, help] = run(QStringLiteral("--help"));
        QCOMPARE(code, 0);
        for (const QString& line :
             {QStringLiteral("VELLORIN_SERVER_URL"), QStringLiteral("Server/BaseUrl"),
              home.path() + QStringLiteral("/.config/Tarvix/Vellorin.conf"),
              home.path() + QStringLiteral("/.local/share/Tarvix/Vellorin/work/"),
              home.path() + QStringLiteral("/.local/share/Tarvix/Vellorin/recovery/unsaved-work")})
            QVERIFY2(help.contains(line), qPrintable(help));
        QCOMPARE(run(QStringLiteral("--no-such-option")).first, 2);
        QCOMPARE(FilesUnder(home.path()), QStringList());
        QCOMPARE(first.process().state(), QProcess::Running);
    }

    // Killed, the program leaves its name free for the next start at once; told to end, the next one ends as
    // closing its window does: with 0, and with its settings written.
    void endedByAKillOrASignal()
    {
        ProgramProcess& first = start(m_url);
        QVERIFY2(first.waitForLine(kLoginShown), first.transcript());
        first.process().kill();
        QVERIFY(first.process().waitForFinished());
        QVERIFY(instanceNameFree());

        ProgramProcess& next = start(m_url);
        QVERIFY2(next.waitForLine(kLoginShown), next.transcript());
        next.process().terminate();
        QVERIFY2(next.endsWith(0), next.transcript());
        QCOMPARE(next.output(), QStringList{kLoginShown});
        QSettings settings(next.settingsFile(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("CommonOpt/HotKeyOff")), QVariant(QStringLiteral("0")));
    }

    void endingFromAnyLoop_data()
    {
        QTest::addColumn<QString>("place");
        for (const char* place :
             {"versionWarning",    "sessionFailed",   "loginFailed",        "schoolSearch",     "schoolSearchError",
              "overwriteQuestion", "saveFailed",      "deleteQuestion",     "deleteResult",     "loadFailed",
              "formulaDialog",     "tableDialog",     "paragraphDialog",    "colourDialog",     "pictureFileDialog",
              "pictureMenu",       "discardQuestion", "documentFileDialog", "saveAsFileDialog", "pageMenu"})
            QTest::newRow(place) << QString::fromLatin1(place);
    }

    // Told to end while a box, a dialog or a menu runs an event loop of its own (with the objects of the code
    // that opened it on the stack below): the loop is closed as if cancelled and returns, and only then do the
    // windows go. The program logs out and ends with 0, and a sanitizer build finds nothing.
    void endingFromAnyLoop()
    {
        QFETCH(QString, place);
        ScriptedServer server;
        ScriptStartAndLogin(server, "16384");
        server.setJson("/qb/js_user/login", R"({"result_code":0,"result_message":"ok"})");
        if (place == QLatin1String("versionWarning"))
            server.setJson("/qb/js_bank/tarvix_app_version", R"({"version":44})");
        if (place == QLatin1String("sessionFailed"))
            server.setReply("/qb", {404, "", "text/html", {}});
        if (place == QLatin1String("loginFailed"))
            server.setJson("/qb/js_user/login", R"({"result_code":1,"result_message":"wrong password"})");
        if (place == QLatin1String("overwriteQuestion"))
            server.setJson("/qb/js_bank/get/chapter_mid",
                           R"({"result_code":0,"result_message":"ok","result":{"q_hwp":"SFdQ"}})");
        ProgramProcess& program = startDriven(server, place);
        QVERIFY2(program.waitForLine(QStringLiteral("driver: open ") + place), program.transcript());
        // Qt's standard buttons read in Korean, as the program's own texts do.
        const QHash<QString, QString> buttons{{QStringLiteral("discardQuestion"), QStringLiteral("예(&Y)|아니요(&N)")},
                                              {QStringLiteral("saveFailed"), QStringLiteral("확인")},
                                              {QStringLiteral("pictureFileDialog"), QStringLiteral("열기(&O)|취소")}};
        if (buttons.contains(place))
            QVERIFY2(program.output().contains(QStringLiteral("driver: buttons ") + buttons[place]),
                     program.transcript());
        program.process().terminate();
        QVERIFY2(program.endsWith(0), program.transcript());
        const auto requests = server.requests();
        QVERIFY(!requests.empty());
        QCOMPARE(requests.back().path, std::string("/qb/js_user/logout"));
        // Closed as if cancelled: the overwrite question and the delete confirmation answered No.
        for (const ScriptedServer::Request& request : requests) {
            QVERIFY2(request.path.find("/insert/") == std::string::npos, request.path.c_str());
            if (place != QLatin1String("deleteResult"))
                QVERIFY2(request.path.find("/delete/") == std::string::npos, request.path.c_str());
        }
    }

    // Killed a few seconds after the writer typed, the program loses nothing: the next start offers the
    // work back, and Yes puts exactly what was typed into the three editors and the panel's choice back into
    // the panel. The work stays offered until it is saved or declined; No lets it go.
    void unsavedWorkSurvivesAKill()
    {
        ScriptedServer server;
        ScriptStartAndLogin(server, "16384");
        const QString recoveryQuestion = QStringLiteral("message box: Confirm: 저장하지 않은 작업을 복구하시겠습니까?");

        ProgramProcess& writer = startDriven(server, QStringLiteral("typeWork"));
        QVERIFY2(writer.waitForLine(QStringLiteral("driver: open typeWork")), writer.transcript());
        QVERIFY2(writer.waitForLine(QStringLiteral("recovery: written")), writer.transcript());
        writer.process().kill();
        QVERIFY(writer.process().waitForFinished());
        QVERIFY(!writer.output().contains(recoveryQuestion));
        const QString copy = writer.dataHome() + QStringLiteral("/Tarvix/Vellorin/recovery/unsaved-work");
        QVERIFY(QFile::exists(copy));
        const QStringList sameHome{QStringLiteral("HOME=") + writer.home(),
                                   QStringLiteral("XDG_CONFIG_HOME=") + writer.configHome(),
                                   QStringLiteral("XDG_DATA_HOME=") + writer.dataHome()};

        ProgramProcess& recovered = startDriven(server, QStringLiteral("recoverWork"), sameHome);
        QVERIFY2(recovered.waitForLine(recoveryQuestion), recovered.transcript());
        QVERIFY2(recovered.waitForLine(QStringLiteral("driver: open recoverWork")), recovered.transcript());
        const QStringList typed{QStringLiteral("문제: 방정식 x^2-1=0의 양의 근은?\n① 1 ② 2"), QStringLiteral("정답 ①"),
                                QStringLiteral("해설: (x-1)(x+1)=0\n따라서 x=1")};
        for (int i = 0; i < 3; ++i) {
            const QString prefix = QStringLiteral("driver: text editor%1 ").arg(900 + i);
            const QStringList lines = recovered.output().filter(prefix);
            QCOMPARE(lines.size(), 1);
            QCOMPARE(QByteArray::fromBase64(lines[0].mid(prefix.size()).toLatin1()), typed[i].toUtf8());
        }
        QVERIFY2(recovered.output().contains(QStringLiteral("driver: field number 3")), recovered.transcript());
        // Still not saved: ended by a signal, the program keeps the copy for the next start.
        recovered.process().terminate();
        QVERIFY2(recovered.endsWith(0), recovered.transcript());
        QVERIFY(QFile::exists(copy));

        // Told to end while the offer waits for an answer: it was not answered, so the work stays offered.
        ProgramProcess& unanswered = startDriven(server, QStringLiteral("recoveryOffer"), sameHome);
        QVERIFY2(unanswered.waitForLine(QStringLiteral("driver: open recoveryOffer")), unanswered.transcript());
        unanswered.process().terminate();
        QVERIFY2(unanswered.endsWith(0), unanswered.transcript());
        QVERIFY(unanswered.output().contains(recoveryQuestion));
        QVERIFY(QFile::exists(copy));

        ProgramProcess& declined = startDriven(server, QStringLiteral("declineWork"), sameHome);
        QVERIFY2(declined.waitForLine(recoveryQuestion), declined.transcript());
        QVERIFY2(declined.waitForLine(QStringLiteral("driver: open declineWork")), declined.transcript());
        QVERIFY(declined.output().contains(QStringLiteral("driver: text editor900 ")));
        declined.process().terminate();
        QVERIFY2(declined.endsWith(0), declined.transcript());
        QVERIFY(!QFile::exists(copy));
        QCOMPARE(FilesUnder(writer.dataHome() + QStringLiteral("/Tarvix/Vellorin/recovery")), QStringList());
    }

    void noServerNoLogin()
    {
        ProgramProcess& program = start(QStringLiteral("https://127.0.0.1:%1/").arg(ClosedLocalPort()));
        QVERIFY2(program.waitForLine(QStringLiteral("message box: Error: Communicator version failed.")),
                 program.transcript());
        QVERIFY2(program.endsWith(0), program.transcript());
        QVERIFY(!program.output().contains(kLoginShown));
        QSettings settings(program.settingsFile(), QSettings::IniFormat);
        QVERIFY(!settings.contains(QStringLiteral("CommonOpt/HotKeyOff")));
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
