#include "tests/support/LocalQuestionBank.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestTls.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// All waits of one case share a deadline some seconds before QtTest's own limit for a test function, so that a
// case that waits in vain fails with the program's output and still ends its copies. Sanitizer builds start
// the program many times slower: the deadline only matters when something is wrong.
QDeadlineTimer caseDeadline()
{
    bool set = false;
    const int limit = qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT", &set);
    return QDeadlineTimer((set ? limit : 300000) - 10000);
}

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

QStringList filesUnder(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

// One copy of the real program in a home of its own, in unattended mode, so that it tells on its standard
// output what it shows.
class Program
{
public:
    Program(const QString& serverUrl, QDeadlineTimer deadline) : m_deadline(deadline)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELLORIN_UNATTENDED"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("VELLORIN_SERVER_URL"), serverUrl);
        environment.insert(QStringLiteral("SSL_CERT_FILE"), qEnvironmentVariable("SSL_CERT_FILE"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        m_process.setProcessEnvironment(environment);
        // Sanitizer reports and Qt's warnings go straight to the test's log.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Should the test itself be killed, no copy outlives it holding the machine-wide name.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral(VELLORIN_PROGRAM_PATH), {});
    }

    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QString configHome() const { return m_home.filePath(QStringLiteral(".config")); }
    QString dataHome() const { return m_home.filePath(QStringLiteral(".local/share")); }
    QString settingsFile() const { return configHome() + QStringLiteral("/Tarvix/Vellorin.conf"); }
    QProcess& process() { return m_process; }

    // Reads the output until `wanted` is a whole line of it; false when the program ends or the deadline
    // passes first.
    bool waitForLine(const QString& wanted)
    {
        for (;;) {
            if (readLines().contains(wanted))
                return true;
            if (m_process.state() == QProcess::NotRunning || m_deadline.hasExpired())
                return false;
            m_process.waitForReadyRead(int(m_deadline.remainingTime()));
        }
    }

    // Ended on its own, without a crash, with this exit code.
    bool endsWith(int exitCode)
    {
        const bool ended = m_process.waitForFinished(int(m_deadline.remainingTime()));
        readLines();
        return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == exitCode;
    }

    QStringList output() { return m_lines; }
    QByteArray transcript() const
    {
        QString text = QStringLiteral("program output:\n") + m_lines.join(u'\n');
        if (m_process.state() == QProcess::NotRunning) {
            text += m_process.exitStatus() == QProcess::NormalExit
                        ? QStringLiteral("\nexit code %1").arg(m_process.exitCode())
                        : QStringLiteral("\nended by a signal");
        }
        return text.toUtf8();
    }

private:
    // The lines that came since the last call, also kept for the transcript.
    QStringList readLines()
    {
        QStringList fresh;
        while (m_process.canReadLine())
            fresh.append(QString::fromUtf8(m_process.readLine()).chopped(1));
        m_lines += fresh;
        return fresh;
    }

    QDeadlineTimer m_deadline;
    QTemporaryDir m_home;
    QProcess m_process;
    QStringList m_lines;
};

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LocalQuestionBank> m_bank;
    QString m_url;
    std::vector<std::unique_ptr<Program>> m_started;
    QDeadlineTimer m_deadline;

    Program& start(const QString& serverUrl)
    {
        m_started.push_back(std::make_unique<Program>(serverUrl, m_deadline));
        return *m_started.back();
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
        m_deadline = caseDeadline();
        QVERIFY2(instanceNameFree(), "another copy of the program runs on this machine (or in this network namespace)");
    }

    void cleanup()
    {
        // Killed, and waited for, before the next case needs the name.
        m_started.clear();
    }

    void secondCopyLeavesTheFirstAlone()
    {
        Program& first = start(m_url);
        QVERIFY2(first.waitForLine(kLoginShown), first.transcript());

        Program& second = start(m_url);
        QVERIFY2(second.waitForLine(QStringLiteral("message box: Vellorin: Error: Already running.")),
                 second.transcript());
        QVERIFY2(second.endsWith(0), second.transcript());
        QCOMPARE(second.output(), QStringList{QStringLiteral("message box: Vellorin: Error: Already running.")});
        QCOMPARE(filesUnder(second.configHome()), QStringList());
        QCOMPARE(filesUnder(second.dataHome()), QStringList());

        QCOMPARE(first.process().state(), QProcess::Running);
        QVERIFY(!instanceNameFree());
        // What the second copy left alone, the first one has.
        QVERIFY(!filesUnder(first.configHome()).isEmpty());
        QVERIFY(!filesUnder(first.dataHome()).isEmpty());
    }

    // --version and --help answer without a display and without the running copy's lock.
    void versionAndHelpBesideARunningCopy()
    {
        Program& first = start(m_url);
        QVERIFY2(first.waitForLine(kLoginShown), first.transcript());
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
        for (const QString& line : {QStringLiteral("VELLORIN_SERVER_URL"), QStringLiteral("Server/BaseUrl"),
                                    home.path() + QStringLiteral("/.config/Tarvix/Vellorin.conf"),
                                    home.path() + QStringLiteral("/.local/share/Tarvix/Vellorin/work/")})
            QVERIFY2(help.contains(line), qPrintable(help));
        QCOMPARE(run(QStringLiteral("--no-such-option")).first, 2);
        QCOMPARE(filesUnder(home.path()), QStringList());
        QCOMPARE(first.process().state(), QProcess::Running);
    }

    void nameIsFreeRightAfterAKill()
    {
        Program& first = start(m_url);
        QVERIFY2(first.waitForLine(kLoginShown), first.transcript());
        first.process().kill();
        QVERIFY(first.process().waitForFinished());
        QVERIFY(instanceNameFree());

        Program& next = start(m_url);
        QVERIFY2(next.waitForLine(kLoginShown), next.transcript());
        QCOMPARE(next.output(), QStringList{kLoginShown});
    }

    void terminationEndsAsClosingDoes()
    {
        Program& program = start(m_url);
        QVERIFY2(program.waitForLine(kLoginShown), program.transcript());
        program.process().terminate();
        QVERIFY2(program.endsWith(0), program.transcript());
        QCOMPARE(program.output(), QStringList{kLoginShown});
        QSettings settings(program.settingsFile(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("CommonOpt/HotKeyOff")), QVariant(QStringLiteral("0")));
    }

    void noServerNoLogin()
    {
        Program& program = start(QStringLiteral("https://127.0.0.1:%1/").arg(ClosedLocalPort()));
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
