#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/prctl.h>

#include <csignal>

// All waits of one test function share a deadline some seconds before QtTest's own limit for it, so that a
// case that waits in vain fails with the program's output and still ends its copies. Sanitizer builds start
// the program many times slower: the deadline only matters when something is wrong.
inline QDeadlineTimer CaseDeadline()
{
    bool set = false;
    const int limit = qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT", &set);
    return QDeadlineTimer((set ? limit : 300000) - 10000);
}

// One copy of the real program in a home of its own, against `serverUrl`, telling on its standard output what
// it shows: in unattended mode on the offscreen platform (boxes answered for the user), or in report mode
// (boxes wait for an answer) on the offscreen platform or on the X server of DISPLAY. `environment` adds
// NAME=value entries. Killed, and waited for, when it goes out of scope.
class ProgramProcess
{
public:
    enum class Mode
    {
        UnattendedOffscreen,
        ReportingOffscreen,
        ReportingOnX
    };

    ProgramProcess(const QString& program, const QString& serverUrl, QDeadlineTimer deadline,
                   Mode mode = Mode::UnattendedOffscreen, const QStringList& extraEnvironment = {})
        : m_deadline(deadline)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(mode == Mode::UnattendedOffscreen ? QStringLiteral("VELLORIN_UNATTENDED")
                                                             : QStringLiteral("VELLORIN_REPORT"),
                           QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           mode == Mode::ReportingOnX ? QStringLiteral("xcb") : QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("VELLORIN_SERVER_URL"), serverUrl);
        environment.insert(QStringLiteral("SSL_CERT_FILE"), qEnvironmentVariable("SSL_CERT_FILE"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        // Last: a test may give the home of an earlier copy, to start where that one ended.
        for (const QString& entry : extraEnvironment)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        m_process.setProcessEnvironment(environment);
        // Sanitizer reports and Qt's warnings go straight to the test's log.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Should the test itself be killed, no copy outlives it holding the machine-wide name.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(program, {});
    }

    ~ProgramProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QString home() const { return m_home.path(); }
    QString configHome() const { return m_home.filePath(QStringLiteral(".config")); }
    QString dataHome() const { return m_home.filePath(QStringLiteral(".local/share")); }
    QString settingsFile() const { return configHome() + QStringLiteral("/Tarvix/Vellorin.conf"); }
    QProcess& process() { return m_process; }

    // Reads the output until `wanted` is a whole line of it, and no further, so that the next wait sees what
    // came after it; false when the program ends or the deadline passes first.
    bool waitForLine(const QString& wanted)
    {
        for (;;) {
            while (m_process.canReadLine()) {
                m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
                if (m_lines.last() == wanted)
                    return true;
            }
            if (m_process.state() == QProcess::NotRunning || m_deadline.hasExpired())
                return false;
            m_process.waitForReadyRead(int(qMin<qint64>(m_deadline.remainingTime(), 1000)));
        }
    }

    // Ended on its own, without a crash, with this exit code.
    bool endsWith(int exitCode)
    {
        const bool ended = m_process.waitForFinished(int(m_deadline.remainingTime()));
        while (m_process.canReadLine())
            m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
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
    QDeadlineTimer m_deadline;
    QTemporaryDir m_home;
    QProcess m_process;
    QStringList m_lines;
};

// Every file and folder below `folder`, sorted.
inline QStringList FilesUnder(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    found.sort();
    return found;
}
