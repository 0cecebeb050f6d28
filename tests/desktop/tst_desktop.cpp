// The real program on a real X server, driven by keystrokes as a person drives it: run under xvfb-run with
// xdotool on the PATH. VELLORIN_PROGRAM names the program to start (the build's, or one unpacked from the
// package); report mode makes it tell on its standard output which windows and boxes it shows, so the test
// knows when to go on without guessing at times.

#include "document/hwp/HwpFile.h"
#include "net/Communicator.h"
#include "tests/support/LocalQuestionBank.h"
#include "tests/support/ProgramProcess.h"

#include <QProcess>
#include <QTest>
#include <QTextDocument>

#include <memory>

namespace {

const QString kLoginTitle = QStringLiteral("^Vellorin 로그인$");
const QString kMainTitle = QStringLiteral("^문제관리 시스템$");
const QString kProgressTitle = QStringLiteral("^Vellorin 진행 상황$");
const QString kQuestionEditorFocused = QStringLiteral("focus: 문제 편집기");

QString programPath()
{
    const QString path = qEnvironmentVariable("VELLORIN_PROGRAM");
    return path.isEmpty() ? QStringLiteral(VELLORIN_PROGRAM_PATH) : path;
}

// One xdotool command; its standard output, or a null string when it failed or did not end in time.
QString xdotool(const QStringList& arguments, int timeoutMs = 30000)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        qWarning("xdotool %s did not end", qPrintable(arguments.join(u' ')));
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("xdotool %s: %s", qPrintable(arguments.join(u' ')), process.readAllStandardError().constData());
        return {};
    }
    const QString out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return out.isNull() ? QStringLiteral("") : out;
}

// The window of `pid` (any process when 0) whose title matches, once it is visible; focused for the keys.
QString focusWindow(const QString& title, qint64 pid = 0)
{
    QStringList search{QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible")};
    if (pid)
        search << QStringLiteral("--pid") << QString::number(pid);
    const QString found = xdotool(search << QStringLiteral("--name") << title);
    if (found.isEmpty())
        return {};
    const QString window = found.split(u'\n').last();
    return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}).isNull() ? QString() : window;
}

bool visibleWindowTitled(const QString& title)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title});
    process.waitForFinished(10000);
    return process.exitCode() == 0 && !process.readAllStandardOutput().trimmed().isEmpty();
}

// Text as typed on a keyboard: without a delay xdotool drops Korean syllables now and then.
bool type(const QString& text)
{
    return !xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("100"), text}).isNull();
}

bool keys(const QStringList& sequence)
{
    return !xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("150")} + sequence)
                .isNull();
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LocalQuestionBank> m_bank;
    QDeadlineTimer m_deadline;

    // The question stored under the values the journey picks; empty when there is none.
    CMapStringToString storedQuestion()
    {
        CMapStringToString request;
        const std::pair<const char*, const char*> fields[] = {{"type", "변형2"},      {"year", "2019년"},
                                                              {"month", "9월"},       {"level", "2학년"},
                                                              {"department", "이과"}, {"number", "12번"}};
        for (const auto& [key, value] : fields)
            request.SetAt(QString::fromUtf8(key), QString::fromUtf8(value));
        CCommunicator reader(m_bank->baseUrl());
        CMapStringToString record;
        if (!reader.StartSession() || !reader.Login(QStringLiteral("demo"), QStringLiteral("demo1234")) ||
            !reader.GetQuestion(Category::Education2015, &request, &record))
            qWarning("cannot read the question back: %s", qPrintable(reader.GetLastErrorText()));
        return record;
    }

    static QString questionText(const CMapStringToString& record)
    {
        QTextDocument document;
        PageGeometry page;
        QString error;
        if (!HwpFile::Read(document, page, QByteArray::fromBase64(record.Value(QStringLiteral("q_hwp")).toLatin1()),
                           &error))
            return QStringLiteral("unreadable: ") + error;
        return document.toPlainText().trimmed();
    }

    // Ctrl+Tab leaves the page for the panel, whose fields come in reading order; a list is picked by typing
    // the start of an entry, as on any list.
    bool pickEducationValues()
    {
        if (!keys({QStringLiteral("ctrl+Tab")}) || !type(QStringLiteral("K-2019-09-12")))
            return false;
        for (const char* entry : {"변형2", "단답", "2019", "9", "2", "이과", "12", "4", "수학(하"}) {
            if (!keys({QStringLiteral("Tab")}) || !type(QString::fromUtf8(entry)))
                return false;
        }
        // The first unit of that subject.
        return keys({QStringLiteral("Right"), QStringLiteral("Down")});
    }

    // The login dialog, once shown, answered with the demo account and `password`.
    static bool logInAsDemo(ProgramProcess& program, const QString& password)
    {
        return program.waitForLine("window: loginDialog") && !focusWindow(kLoginTitle).isEmpty() && type("demo") &&
               keys({"Tab"}) && type(password) && keys({"Return"});
    }

    // Back in the main window, the question's editor has the keyboard again (Ctrl+1), and `text` is typed
    // at the end of the question.
    static bool appendToQuestion(ProgramProcess& program, const QString& text)
    {
        return !focusWindow(kMainTitle).isEmpty() && keys({"ctrl+1"}) && program.waitForLine(kQuestionEditorFocused) &&
               keys({"ctrl+End"}) && type(text);
    }

    // Ctrl+S, Yes on the overwrite box when there is one, and the end of the save.
    bool saveByKeyboard(ProgramProcess& program, bool expectOverwriteBox)
    {
        // The progress window shows for half a second at least, after the upload.
        if (!keys({"ctrl+s"}) || !program.waitForLine("window: loadingDialog") ||
            xdotool({"search", "--sync", "--onlyvisible", "--name", kProgressTitle}).isEmpty())
            return false;
        if (expectOverwriteBox) {
            if (!program.waitForLine("message box: Confirm: 이미 등록된 문제 입니다. 덮어쓰시겠습니까?"))
                return false;
            // Enter takes the box's default answer, Yes.
            if (focusWindow(QStringLiteral("^Confirm$"), program.process().processId()).isEmpty() ||
                !keys({QStringLiteral("Return")}))
                return false;
        }
        return program.waitForLine(QStringLiteral("window hidden: loadingDialog")) &&
               !visibleWindowTitled(kProgressTitle);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under xvfb-run: no X server");
        QVERIFY2(!xdotool({QStringLiteral("version")}).isNull(), "xdotool is missing");
        QVERIFY2(QFileInfo(programPath()).isExecutable(), qPrintable(programPath()));
        m_bank = std::make_unique<LocalQuestionBank>();
    }

    void cleanupTestCase() { m_bank.reset(); }

    void init() { m_deadline = CaseDeadline(); }

    // A mistyped password, and the program told to end while its box waits for the user: the box goes as if
    // answered, then the windows, and the program ends with 0.
    void endWhileTheLoginFailureShows()
    {
        ProgramProcess program(programPath(), m_bank->baseUrl(), m_deadline, ProgramProcess::Mode::ReportingOnX);
        QVERIFY2(logInAsDemo(program, "wrong"), program.transcript());
        QVERIFY2(program.waitForLine("message box: Vellorin: 로그인 실패 (아이디와 비밀번호를 확인해주세요)"),
                 program.transcript());
        QVERIFY(!focusWindow(QStringLiteral("^Vellorin$"), program.process().processId()).isEmpty());
        program.process().terminate();
        QVERIFY2(program.endsWith(0), program.transcript());
    }

    // Log in, write a question, describe it in the Education 2015 panel and save it; then change it and save
    // again, which asks before it overwrites; a second start meanwhile is refused.
    void questionWrittenAndSavedByKeyboard()
    {
        const QString programFolder = QFileInfo(programPath()).absolutePath();
        const QStringList installed = FilesUnder(programFolder);

        ProgramProcess program(programPath(), m_bank->baseUrl(), m_deadline, ProgramProcess::Mode::ReportingOnX);
        QVERIFY2(logInAsDemo(program, "demo1234"), program.transcript());

        // After the login the question's editor has the keyboard.
        QVERIFY2(program.waitForLine(kQuestionEditorFocused), program.transcript());
        QVERIFY2(!focusWindow(kMainTitle).isEmpty(), program.transcript());
        const QString question = QStringLiteral("이차방정식 x^2-5x+6=0의 두 근의 합은?");
        QVERIFY(type(question));
        QVERIFY(pickEducationValues());
        QVERIFY2(saveByKeyboard(program, false), program.transcript());

        CMapStringToString record = storedQuestion();
        QCOMPARE(record.Value(QStringLiteral("id")), QStringLiteral("K-2019-09-12"));
        QCOMPARE(record.Value(QStringLiteral("prob")), QStringLiteral("단답형"));
        QCOMPARE(record.Value(QStringLiteral("score")), QStringLiteral("4점"));
        QCOMPARE(record.Value(QStringLiteral("unit")), QStringLiteral("집합의 뜻과 표현"));
        QCOMPARE(questionText(record), question);
        QVERIFY(!record.Value(QStringLiteral("q_png")).isEmpty());

        // The same question once more, with a word added: the program asks before it replaces the stored one.
        QVERIFY2(appendToQuestion(program, " (단, 실근)"), program.transcript());
        QVERIFY2(saveByKeyboard(program, true), program.transcript());
        QCOMPARE(questionText(storedQuestion()), question + QStringLiteral(" (단, 실근)"));

        // More writing, then Ctrl+R by reflex: the program asks first, Escape answers No and keeps the work,
        // and the next save stores it.
        QVERIFY2(appendToQuestion(program, " 답: 5"), program.transcript());
        QVERIFY(keys({QStringLiteral("ctrl+r")}));
        QVERIFY2(program.waitForLine("message box: Confirm: 저장하지 않은 내용이 있습니다. 계속하면 작성 중인 "
                                     "내용이 사라집니다. 계속하시겠습니까?"),
                 program.transcript());
        QVERIFY(!focusWindow(QStringLiteral("^Confirm$"), program.process().processId()).isEmpty());
        QVERIFY(keys({QStringLiteral("Escape")}));
        QVERIFY(!focusWindow(kMainTitle).isEmpty());
        QVERIFY2(saveByKeyboard(program, true), program.transcript());
        QCOMPARE(questionText(storedQuestion()), question + QStringLiteral(" (단, 실근) 답: 5"));

        // A second start while the first runs: its box says so, Enter closes it and the copy ends.
        ProgramProcess second(programPath(), m_bank->baseUrl(), m_deadline, ProgramProcess::Mode::ReportingOnX);
        QVERIFY2(second.waitForLine("message box: Vellorin: Error: Already running."), second.transcript());
        QVERIFY(!focusWindow(QStringLiteral("^Vellorin$"), second.process().processId()).isEmpty());
        QVERIFY(keys({QStringLiteral("Return")}));
        QVERIFY2(second.endsWith(0), second.transcript());
        QCOMPARE(FilesUnder(second.home()), QStringList());
        QCOMPARE(program.process().state(), QProcess::Running);

        program.process().terminate();
        QVERIFY2(program.endsWith(0), program.transcript());
        // Settings and working files went to the user's folders, nothing beside the program.
        QVERIFY(QFileInfo::exists(program.home() + QStringLiteral("/.config/Tarvix/Vellorin.conf")));
        QVERIFY(QFileInfo(program.home() + QStringLiteral("/.local/share/Tarvix/Vellorin/work")).isDir());
        QCOMPARE(FilesUnder(programFolder), installed);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
