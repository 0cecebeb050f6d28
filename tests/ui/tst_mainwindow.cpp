#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"
#include "ui/main/CLoadingDlg.h"

#include "document/DocumentFile.h"

#include "workflow/QuestionFiles.h"

#include "tests/support/FocusChain.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestTables.h"
#include "tests/ui/MainWindowHarness.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QToolBar>
#include <QLineEdit>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>

#include <chrono>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <tuple>

namespace {

// Every text starts with its expected prefix, in order.
bool startsEach(const QStringList& texts, const QStringList& prefixes)
{
    return texts.size() == prefixes.size() &&
           std::equal(texts.begin(), texts.end(), prefixes.begin(),
                      [](const QString& text, const QString& prefix) { return text.startsWith(prefix); });
}

QByteArray nativeDocument(const QString& text)
{
    QTemporaryDir dir;
    QTextDocument document;
    document.setPlainText(text);
    const QString path = dir.filePath("doc.hwp");
    return DocumentFile::SaveNative(document, PageGeometry(), path) ? ReadTestFile(path) : QByteArray();
}

// What a document in the editor's own format says, or "(unreadable)".
QString nativeText(const QByteArray& bytes)
{
    QTextDocument document;
    PageGeometry page;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return DocumentFile::ReadNative(document, page, buffer) ? document.toPlainText() : "(unreadable)";
}

// An HWP XML document of one paragraph: the text, then `after` (markup such as a picture).
QByteArray hwpml(const QString& text, const QString& after = {})
{
    return (R"(<?xml version="1.0" encoding="UTF-8"?><HWPML Version="2.8"><HEAD SecCnt="1"/><BODY><SECTION Id="0">)"
            "<P><TEXT><CHAR>" +
            text + "</CHAR>" + after + "</TEXT></P></SECTION></BODY><TAIL/></HWPML>")
        .toUtf8();
}

// A successful get reply whose record holds the given values.
QByteArray getReply(const QList<QPair<QString, QByteArray>>& record)
{
    QString json = QStringLiteral(R"({"result_code":0,"result_message":"ok","result":{"level":"2학년")");
    for (const auto& [key, value] : record)
        json += QStringLiteral(R"(,"%1":"%2")").arg(key, QString::fromLatin1(value));
    return (json + "}}").toUtf8();
}

// An editor of an older release than the program needs.
class OldEditor : public CDHwpCtrl
{
public:
    qint32 ControlVersion() const override { return 0x07000000; }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    ScriptedServer m_server;
    std::unique_ptr<MainWindowHarness> m_harness;

    const std::string m_get = "/qb/js_bank/get/" + CategoryEndpointSuffix(Category::Education2015).toStdString();

    // A window not yet started, against a server that logs in with the given permission.
    void prepare(const std::string& permission = "32768")
    {
        m_server.reset();
        ScriptStartAndLogin(m_server, permission);
        m_harness = std::make_unique<MainWindowHarness>(m_server.baseUrl());
    }

    // The search at `get` finds a question of the given document.
    void offer(const QByteArray& question, const std::string& get)
    {
        m_server.setJson(get, getReply({{"q_hwp", question.toBase64()}}).toStdString());
    }

    CTarvixDlg& window() { return *m_harness->window; }

    template <typename T> T* find(const QString& name) { return m_harness->find<T>(name); }

    QRadioButton* radio(Category category)
    {
        return find<QRadioButton>(QStringLiteral("categoryRadio%1").arg(CategoryRadioId(category)));
    }

    int requestsTo(const std::string& path)
    {
        const std::vector<ScriptedServer::Request> all = m_server.requests();
        return int(std::count_if(all.begin(), all.end(), [&](const auto& request) { return request.path == path; }));
    }

    // Up and logged in with the given permission, after `setUp` on the window not yet started.
    bool startLoggedIn(const std::string& permission = "32768", const std::function<void()>& setUp = {})
    {
        prepare(permission);
        if (setUp)
            setUp();
        return m_harness->start() && m_harness->logIn();
    }

    QComboBox* combo(Category category, const char* name)
    {
        return window().Panel(category)->findChild<QComboBox*>(QLatin1String(name));
    }

    // What the three editors hold, in tab order.
    QStringList texts()
    {
        QStringList all;
        for (DocumentSlot slot : kAllDocumentSlots)
            all.append(m_harness->text(slot));
        return all;
    }

    // The shown editor is that of the slot, and it has the keyboard focus.
    bool onlyEditorShown(DocumentSlot shown)
    {
        for (DocumentSlot slot : kAllDocumentSlots) {
            if (window().Editor(slot)->isVisible() != (slot == shown))
                return false;
        }
        return find<QTabBar>("documentTabs")->currentIndex() == SlotIndex(shown) &&
               QTest::qWaitFor([&] { return window().Editor(shown)->View()->hasFocus(); }, 5000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A box nobody expected is printed and refused instead of waiting for a click that never comes.
        qputenv("VELLORIN_UNATTENDED", "1");
    }

    void cleanup()
    {
        m_harness.reset();
        QCOMPARE(AnsweredTexts(), QStringList());
    }

    // Each permission level: the categories it may use, the one checked at the start (0: none), and whether
    // the question commands are on.
    void permission()
    {
        for (const auto& [permission, enabledRadios, checkedRadio, commands] :
             {std::tuple{"32768", QList<int>{1201, 1202, 1203, 1204, 1205, 1206}, 1201, true},
              std::tuple{"16384", QList<int>{1204}, 1204, true}, std::tuple{"4096", QList<int>{}, 0, false},
              std::tuple{"abc", QList<int>{}, 1201, false}}) {
            prepare(permission);
            QVERIFY(m_harness->start());
            QCOMPARE(window().windowTitle(), MessageText(Msg::kMainWindowTitle));
            QCOMPARE(window().CurrentCategory(), Category::Education2015);
            QVERIFY(!find<QPushButton>("saveButton")->isEnabled());
            QVERIFY(m_harness->loginDialog()->isModal());
            QVERIFY(m_harness->logIn("editor", "pw"));
            QCOMPARE(m_harness->settings->value("Account/UserID").toString(), "editor");

            for (Category category : kAllCategories) {
                const int id = CategoryRadioId(category);
                QCOMPARE(radio(category)->isEnabled(), enabledRadios.contains(id));
                QCOMPARE(radio(category)->isChecked(), id == checkedRadio);
                // The panel of the checked category is the one shown; with none checked the first stays.
                QCOMPARE(window().Panel(category)->isVisible(), id == (checkedRadio ? checkedRadio : 1201));
            }
            for (const char* name : {"searchButton", "saveButton", "deleteButton"})
                QCOMPARE(find<QPushButton>(QLatin1String(name))->isEnabled(), commands);
            QVERIFY(find<QPushButton>("resetButton")->isEnabled());
            QVERIFY(find<QCheckBox>("hotKeyOffCheck")->isEnabled());
            QVERIFY(onlyEditorShown(DocumentSlot::Question));
            // The window's menu holds its search item greyed at every level (the search button is the one to
            // use), and F1 opens the about box.
            QStringList items;
            for (const QAction* action : find<QWidget>("mainBody")->actions()) {
                if (!action->isSeparator())
                    items.append(action->text() + (action->isEnabled() ? "" : " (disabled)"));
            }
            QCOMPARE(items, (QStringList{"&Search Question... (disabled)", "&About Vellorin..."}));
            QTest::keyClick(&window(), Qt::Key_F1);
            QDialog* about = nullptr;
            QVERIFY(QTest::qWaitFor([&] { return (about = window().findChild<QDialog*>("aboutDialog")); }, 5000));
            QCOMPARE(about->windowTitle(), "About Vellorin");
            QCOMPARE(about->findChild<QLabel*>("aboutText")->text(), "Vellorin, Version 1.0");
            QTest::mouseClick(about->findChild<QPushButton*>("okButton"), Qt::LeftButton);
            QTRY_VERIFY(!window().findChild<QDialog*>("aboutDialog"));

            // The save shortcut follows the save button.
            if (commands)
                MessageBox::SetNextAnswer(QMessageBox::Ok); // the scripted server has no question operations
            QTest::keyClick(window().Editor(DocumentSlot::Question)->View(), Qt::Key_S, Qt::ControlModifier);
            QCOMPARE(window().IsSaveRunning(), commands);
            if (commands) {
                QVERIFY(m_harness->waitForSaveEnd());
                QCOMPARE(AnsweredTexts().size(), 1);
            }
            // Started anyway without a category, a save has nothing to do and ends cleanly, asking nothing.
            if (!checkedRadio) {
                window().OnSave();
                QVERIFY(window().IsSaveRunning());
                QVERIFY(m_harness->waitForSaveEnd());
                QVERIFY(find<QWidget>("mainBody")->isEnabled());
                QVERIFY(!window().ProgressDialog()->isVisible());
                QCOMPARE(requestsTo(m_get), 0);
            }
            cleanup();
        }
    }

    void cancelledLogin()
    {
        prepare();
        QVERIFY(m_harness->start());
        // Until the login has been answered, the window behind takes no keys, not even in its editors.
        QVERIFY(m_harness->loginDialog());
        window().Editor(DocumentSlot::Question)->View()->setFocus();
        QTest::keyClick(window().windowHandle(), Qt::Key_A);
        QTest::keyClick(window().windowHandle(), Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(m_harness->text(DocumentSlot::Question), QString());
        QCOMPARE(window().Editor(DocumentSlot::Question)->Zoom(), 120);
        QSignalSpy finished(&window(), &QDialog::finished);
        QTest::mouseClick(m_harness->loginDialog()->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), int(QDialog::Rejected));
        QVERIFY(!window().isVisible());
        QCOMPARE(requestsTo("/qb/js_user/login"), 0);
        QCOMPARE(requestsTo("/qb/js_user/getpermission"), 0);
        QVERIFY(!m_harness->settings->contains("Account/UserID"));
        // The session the server opened for the dialog ends with the program, as after a login.
        QCOMPARE(requestsTo("/qb/js_user/logout"), 1);
        QCOMPARE(m_server.lastRequest().path, std::string("/qb/js_user/logout"));
    }

    // A server that takes the logout and never answers holds the end of the program up for the client's
    // limit, and no longer.
    void endWhileTheServerKeepsTheLogout()
    {
        ScriptedServer server(ScriptedServer::Closing::Silently);
        ScriptStartAndLogin(server, "32768");
        server.setUnanswered("/qb/js_user/logout");
        m_harness = std::make_unique<MainWindowHarness>(server.baseUrl());
        QVERIFY(m_harness->start() && m_harness->logIn());
        QSignalSpy finished(&window(), &QDialog::finished);
        QElapsedTimer timer;
        // Meanwhile the window is already off the screen.
        qint64 hiddenAt = -1;
        QObject watch;
        connect(window().windowHandle(), &QWindow::visibleChanged, &watch,
                [&](bool visible) { hiddenAt = visible ? hiddenAt : timer.elapsed(); });
        timer.start();
        window().close();
        QTRY_COMPARE(finished.size(), 1);
        const auto waited = std::chrono::milliseconds(timer.elapsed());
        QVERIFY2(waited >= CCommunicator::kLogoutLimit &&
                     waited < CCommunicator::kLogoutLimit + std::chrono::seconds(2),
                 qPrintable(QString::number(waited.count())));
        QVERIFY2(hiddenAt >= 0 && hiddenAt < 500, qPrintable(QString::number(hiddenAt)));
        QCOMPARE(server.lastRequest().path, std::string("/qb/js_user/logout"));
    }

    // Before the login the start checks the editors, the server client and the program's version; a newer
    // version on the server is only a warning, and the start goes on to the login. Each row: the part that
    // fails (0: the answer editor, 1: an old editor, 2: the server client), the version reply and its status,
    // the box shown and whether the start goes on.
    void start()
    {
        const QString update =
            "Warning|새로운 업데이트가 있습니다. https://example.org/vellorin.tar.gz 에서 다운로드 받으세요.";
        const QString versionFailed = "Error|" + MessageText(Msg::kCommunicatorVersionFailed);
        const std::tuple<int, QByteArray, int, QString, bool> rows[] = {
            {-1, R"({"version":45})", 200, {}, true},
            {-1, R"({"version":46})", 200, update, true},
            {-1, "{}", 200, update, true},
            {0, {}, 200, "Error|HWP Init failed. #Memory 정답", false},
            {1, {}, 200, "Error|" + MessageText(Msg::kEditorMissing), false},
            {2, {}, 200, "Error|" + MessageText(Msg::kCommunicatorInstanceFailed), false},
            {-1, "{}", 503, versionFailed, false},
            {-1, R"({"version":"45 "})", 200, versionFailed, false},
        };
        for (const auto& [failure, version, status, box, starts] : rows) {
            prepare();
            m_harness->settings->setValue("CommonOpt/HotKeyOff", 5);
            m_harness->settings->setValue("Server/DownloadUrl", "https://example.org/vellorin.tar.gz");
            if (failure == 0)
                m_harness->makeEditor = [](DocumentSlot slot) {
                    return slot == DocumentSlot::Answer ? nullptr : new CDHwpCtrl;
                };
            if (failure == 1)
                m_harness->makeEditor = [](DocumentSlot) -> CDHwpCtrl* { return new OldEditor; };
            if (failure == 2)
                m_harness->makeCommunicator = [] { return std::unique_ptr<CCommunicator>(); };
            if (!version.isEmpty())
                m_server.setJson("/qb/js_bank/tarvix_app_version", version.toStdString(), status);

            if (!box.isEmpty())
                MessageBox::SetNextAnswer(QMessageBox::Ok);
            QCOMPARE(m_harness->start(), starts);
            QCOMPARE(AnsweredTexts(), box.isEmpty() ? QStringList() : QStringList{box});
            if (starts) {
                QVERIFY(m_harness->loginDialog());
            } else {
                QVERIFY(!window().LoginDialog());
                QCoreApplication::processEvents();
                QVERIFY(!window().LoginDialog());
                m_harness->window.reset();
                // A start that failed does not overwrite the stored shortcut choice.
                QCOMPARE(m_harness->settings->value("CommonOpt/HotKeyOff").toInt(), 5);
            }
            cleanup();
        }
    }

    // The numbers and names the program is known by outside itself: support staff find an error text by its
    // line number, the editor control knows the editors by their ids and the security module by its name.
    // Each check holds what the program gives beside the value it must have.
    void fixedValues()
    {
        prepare();
        QVERIFY(m_harness->start());
        const char* const editorNames[] = {"editor900", "editor901", "editor902"};
        for (DocumentSlot slot : kAllDocumentSlots) {
            const CDHwpCtrl* editor = window().Editor(slot);
            QCOMPARE(editor->objectName(), editorNames[SlotIndex(slot)]);
            QCOMPARE(editor->RegisteredModules(), QStringList{"FilePathCheckDLL=FilePathCheckerModule"});
        }
        QCOMPARE(window().Editor(DocumentSlot::Question)->ControlVersion() >> 24, 8);
        QCOMPARE(QSettings("HNC", "HwpCtrl").value("Modules/FilePathCheckerModule"),
                 QVariant(m_harness->workingFolder() + "FilePathCheckerModuleExample.dll"));
        m_harness.reset();

        // The lines after a reply that is not JSON, one with result code 5, and a 404; 0 where none is due.
        struct Probe
        {
            QString what;
            std::function<bool(CCommunicator&)> call;
            int broken, refused, missing;
        };
        QString text;
        CMapStringToString request, reply;
        std::vector<Probe> probes = {
            {"version check", [&](CCommunicator& c) { return c.GetVersion(text); }, 129, 0, 0},
            {"login", [](CCommunicator& c) { return c.Login("id", "pw"); }, 177, 183, 0},
            {"permission", [&](CCommunicator& c) { return c.GetPermission("id", text); }, 229, 0, 0},
            {"school search", [](CCommunicator& c) { return c.FindSchools("a", nullptr); }, 347, 0, 0},
        };
        // Get, duplication check (0: none) and delete as receive / result; insert as not OK / receive / result.
        const struct
        {
            Category category;
            int get[2], duplication[2], del[2], insert[3];
        } kQuestionLines[] = {
            {Category::Education2015, {457, 463}, {561, 567}, {637, 643}, {788, 810, 816}},
            {Category::Education2022, {914, 920}, {1018, 1024}, {1094, 1100}, {1245, 1267, 1273}},
            {Category::School2015, {1371, 1377}, {0, 0}, {1442, 1448}, {1593, 1615, 1621}},
            {Category::SchoolMid, {1719, 1725}, {0, 0}, {1790, 1796}, {1941, 1963, 1969}},
            {Category::Timestone, {2067, 2073}, {0, 0}, {2144, 2150}, {2295, 2317, 2323}},
            {Category::DailyProject, {2421, 2427}, {0, 0}, {2498, 2504}, {2649, 2671, 2677}},
        };
        for (const auto& l : kQuestionLines) {
            const Category k = l.category;
            const QString suffix = u' ' + CategoryEndpointSuffix(k);
            probes.push_back({"get" + suffix, [&, k](CCommunicator& c) { return c.GetQuestion(k, &request, &reply); },
                              l.get[0], l.get[1], 0});
            if (l.duplication[0])
                probes.push_back({"duplication" + suffix,
                                  [&, k](CCommunicator& c) { return c.CheckDuplicate(k, &request, &reply); },
                                  l.duplication[0], l.duplication[1], 0});
            probes.push_back({"delete" + suffix, [&, k](CCommunicator& c) { return c.DeleteQuestion(k, &request); },
                              l.del[0], l.del[1], 0});
            probes.push_back({"insert" + suffix,
                              [&, k](CCommunicator& c) { return c.InsertQuestion(k, &request, nullptr, nullptr); },
                              l.insert[1], l.insert[2], l.insert[0]});
        }
        for (const Probe& probe : probes) {
            const auto lineAfter = [&](const char* answer) {
                if (answer)
                    m_server.setJson(m_server.lastRequest().path, answer);
                CCommunicator client(m_server.baseUrl());
                probe.call(client);
                static const QRegularExpression line("Line: (\\d+)");
                return line.match(client.GetLastErrorText()).captured(1).toInt();
            };
            m_server.reset();
            const int lines[] = {lineAfter(nullptr), lineAfter("not JSON"),
                                 lineAfter(R"({"result_code":5,"result_message":""})")};
            for (const auto& [kind, fixed, given] :
                 {std::tuple{"receive", probe.broken, lines[1]}, std::tuple{"result", probe.refused, lines[2]},
                  std::tuple{"not OK", probe.missing, lines[0]}})
                // The probe and the kind go with the line, to tell which one failed.
                if (fixed)
                    QCOMPARE(std::pair(probe.what + kind, given), std::pair(probe.what + kind, fixed));
        }
    }

    void categoriesAndTabs()
    {
        QVERIFY(startLoggedIn());
        m_harness->type(DocumentSlot::Question, "문제 본문");
        m_harness->type(DocumentSlot::Answer, "정답 본문");

        // A tab click shows its editor and moves the focus into it.
        auto* tabs = find<QTabBar>("documentTabs");
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QVERIFY(onlyEditorShown(DocumentSlot::Answer));

        // Another category keeps the documents and the tab; only the panel changes.
        QComboBox* level = combo(Category::Education2015, "levelCombo");
        level->setCurrentIndex(1);
        QTest::mouseClick(radio(Category::Timestone), Qt::LeftButton, {},
                          {6, radio(Category::Timestone)->height() / 2});
        QCOMPARE(window().CurrentCategory(), Category::Timestone);
        QVERIFY(window().Panel(Category::Timestone)->isVisible());
        QVERIFY(!window().Panel(Category::Education2015)->isVisible());
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(texts(), (QStringList{"문제 본문", "정답 본문", ""}));

        // The tab shortcuts work from wherever the focus is: an editor, a panel list, the tabs.
        QWidget* answer = window().Editor(DocumentSlot::Answer)->View();
        QComboBox* type = combo(Category::Timestone, "typeCombo");
        for (const auto& [from, key, shown] :
             {std::tuple<QWidget*, Qt::Key, DocumentSlot>{answer, Qt::Key_3, DocumentSlot::Explanation},
              {type, Qt::Key_2, DocumentSlot::Answer},
              {answer, Qt::Key_1, DocumentSlot::Question},
              {tabs, Qt::Key_2, DocumentSlot::Answer}}) {
            from->setFocus();
            QTest::keyClick(from, key, Qt::ControlModifier);
            QVERIFY(onlyEditorShown(shown));
        }

        // A reset empties the editors; the panels keep their values.
        QTest::keyClick(answer, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(texts(), QStringList(3, QString()));
        QCOMPARE(level->currentIndex(), 1);
        QCOMPARE(window().CurrentCategory(), Category::Timestone);
    }

    // Tab goes round the window in reading order: the categories, the document tabs, the shown editor, the
    // category's panel, the commands. In the editor Tab types a tab and Ctrl+Tab leaves. Every stop has a
    // name that a screen reader can say.
    void keyboardOrderAndNames()
    {
        QVERIFY(startLoggedIn());
        const QList<QWidget*> walked = TabWalk(&window(), radio(Category::Education2015));
        // Of the category radio buttons only the checked one is a stop; the arrow keys go along them. Every
        // command of the editor's rows is a stop; at this width the last of the format row (the colour, the
        // symbols and the zoom box) are behind the row's extension button, which is one too.
        const auto suffixed = [](const QString& suffix, std::initializer_list<const char*> names) {
            QStringList list;
            for (const char* name : names)
                list.append(QLatin1String(name) + suffix);
            return list;
        };
        const QStringList expected =
            QStringList{"categoryRadio1201", "documentTabs", "fileMenuButton", "editMenuButton"} +
            suffixed("ActionButton", {"undo", "redo", "cut", "copy", "paste"}) + QStringList{"tableMenuButton"} +
            suffixed("ActionButton", {"insertPicture", "insertFormula", "numbering", "bullet", "paragraph"}) +
            QStringList{"fontCombo", "sizeCombo"} +
            suffixed("ActionButton", {"bold", "italic", "underline", "superscript", "subscript", "alignLeft",
                                      "alignCenter", "alignRight", "alignJustify", "colour"}) +
            QStringList{"qt_toolbar_ext_button", "pageView", "idEdit"} +
            suffixed("Combo", {"type", "prob", "year", "month", "level", "department", "number", "score"}) +
            QStringList{"unitTree", "hotKeyOffCheck", "searchButton", "saveButton", "deleteButton", "resetButton"};
        QCOMPARE(ObjectNames(walked), expected);
        QCOMPARE(walked.size(), TabStops(&window()).size());
        QCOMPARE(m_harness->text(DocumentSlot::Question), "\t");
        QCOMPARE(Unnamed(walked), QStringList());
        const QStringList editorNames = {"문제 편집기", "정답 편집기", "해설 편집기"};
        for (DocumentSlot slot : kAllDocumentSlots)
            QCOMPARE(SpokenName(window().Editor(slot)->View()), editorNames[SlotIndex(slot)]);
        QTest::keyClick(radio(Category::Education2015), Qt::Key_Down);
        QCOMPARE(window().focusWidget(), radio(Category::Education2022));
        QCOMPARE(window().CurrentCategory(), Category::Education2022);
    }

    void shortcutsOff()
    {
        QVERIFY(startLoggedIn("32768", [this] { m_harness->settings->setValue("CommonOpt/HotKeyOff", 5); }));
        auto* check = find<QCheckBox>("hotKeyOffCheck");
        QVERIFY(check->isChecked());
        QVERIFY(window().HotKeyOff());

        // Off: the keys go to the editor; no save starts, nothing is emptied, the tab stays.
        QWidget* editor = window().Editor(DocumentSlot::Question)->View();
        m_harness->type(DocumentSlot::Question, "그대로");
        for (Qt::Key key : {Qt::Key_S, Qt::Key_R, Qt::Key_2})
            QTest::keyClick(editor, key, Qt::ControlModifier);
        QVERIFY(!window().IsSaveRunning());
        QCOMPARE(m_harness->text(DocumentSlot::Question), "그대로");
        QCOMPARE(find<QTabBar>("documentTabs")->currentIndex(), 0);

        // A panel passes them on all the same.
        QComboBox* number = combo(Category::Education2015, "numberCombo");
        number->setFocus();
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::keyClick(number, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(window().IsSaveRunning());
        QVERIFY(m_harness->waitForSaveEnd());
        QCOMPARE(AnsweredTexts().size(), 1);

        // Escape on a button or the tabs never ends the window.
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(!window().HotKeyOff());
        QSignalSpy finished(&window(), &QDialog::finished);
        for (const char* name : {"resetButton", "documentTabs", "hotKeyOffCheck"})
            QTest::keyClick(find<QWidget>(QLatin1String(name)), Qt::Key_Escape);
        QTest::keyClick(&window(), Qt::Key_Escape);
        QCOMPARE(finished.size(), 0);
        QVERIFY(window().isVisible());

        // Written back at the end, as 0 or 1.
        QTest::mouseClick(check, Qt::LeftButton);
        window().close();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(m_harness->settings->value("CommonOpt/HotKeyOff").toInt(), 1);
        QCOMPARE(requestsTo("/qb/js_user/logout"), 1);
    }

    // Each row: the reply to the search, whether a folder is in the way of the downloaded question, what the
    // editors then hold, the files downloaded and the boxes shown.
    void searchReplies()
    {
        // As mail wraps it: 76 characters a line.
        const QByteArray plain = hwpml("줄바꿈 문제").toBase64();
        QByteArray wrapped;
        for (qsizetype at = 0; at < plain.size(); at += 76)
            wrapped += plain.mid(at, 76) + "\\r\\n";
        const QByteArray failed = R"({"result_code":7,"result_message":"no such unit"})";
        const std::tuple<QByteArray, bool, QStringList, QStringList, QStringList> rows[] = {
            // HWP before HWP XML.
            {getReply({{"q_hwp", nativeDocument("문제 A").toBase64()},
                       {"q_hml", hwpml("다른 문제").toBase64()},
                       {"a_hwp", ""},
                       {"a_hml", hwpml("정답 B").toBase64()}}),
             false,
             {"문제 A", "정답 B", ""},
             {"d_a.hml", "d_q.hwp"},
             {}},
            // HWP XML only, with line breaks.
            {getReply({{"q_hwp", ""}, {"q_hml", wrapped}, {"d_hwp", nativeDocument("해설 C").toBase64()}}),
             false,
             {"줄바꿈 문제", "", "해설 C"},
             {"d_d.hwp", "d_q.hml"},
             {}},
            {getReply({{"q_hml", hwpml("식", "<PICTURE><SHAPEOBJECT/></PICTURE>").toBase64()}}),
             false,
             {"식", "", ""},
             {"d_q.hml"},
             {"Warning|Warning|문제 문서에 이 편집기가 보여 줄 수 없는 개체(그림 1개)가 있어 빼고 열었습니다. 이 "
              "화면을 "
              "저장하면 저장된 문제 문서에서도 빠집니다."}},
            {getReply({{"a_hwp", nativeDocument("정답만").toBase64()}}),
             false,
             {"", "", ""},
             {},
             {"Critical|Information|검색된 문제가 없습니다."}},
            // An answer the editor cannot open.
            {getReply(
                 {{"q_hwp", nativeDocument("문제 D").toBase64()}, {"a_hwp", QByteArray("not a document").toBase64()}}),
             false,
             {"문제 D", "", ""},
             {"d_a.hwp", "d_q.hwp"},
             {"Critical|Error|정답 문서를 열 수 없습니다. 이 화면을 저장하면 저장된 정답 문서가 지워집니다.\r\n"
              "HWP 문서가 아닙니다."}},
            {failed,
             false,
             {"", "", ""},
             {},
             {"Critical|Error|교육청/평가원 (2015 개정) 문제 검색에 실패했습니다. \r\nError: "}},
            // A folder in the way of the downloaded file: the load ends there, before any editor is touched, and
            // leaves no partial file behind.
            {getReply({{"q_hwp", nativeDocument("문제 E").toBase64()}, {"a_hwp", nativeDocument("정답 E").toBase64()}}),
             true,
             {"", "", ""},
             {},
             {"Critical|Error|"}},
        };
        for (const auto& [reply, questionFileBlocked, editorTexts, files, boxes] : rows) {
            QVERIFY(startLoggedIn());
            m_server.setJson(m_get, reply.toStdString());
            const QDir folder(m_harness->workingFolder());
            if (questionFileBlocked)
                QVERIFY(folder.mkpath("d_q.hwp/inside"));
            // Whatever was on screen goes first.
            for (DocumentSlot slot : kAllDocumentSlots)
                m_harness->type(slot, "이전 문서");
            window().SelectDocumentTab(2);
            combo(Category::Education2015, "levelCombo")->setCurrentIndex(0);
            for (int i = 0; i < boxes.size(); ++i)
                MessageBox::SetNextAnswer(QMessageBox::Ok);

            QTest::mouseClick(find<QPushButton>("searchButton"), Qt::LeftButton);

            const QStringList shown = ShownBoxes();
            QVERIFY2(startsEach(shown, boxes), qPrintable(shown.join(u'/')));
            QCOMPARE(requestsTo(m_get), 1);
            QCOMPARE(texts(), editorTexts);
            QCOMPARE(folder.entryList({"d_*"}, QDir::Files, QDir::Name), files);
            QVERIFY(onlyEditorShown(DocumentSlot::Question));
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            if (files.contains("d_q.hwp"))
                QCOMPARE(ReadTestFile(folder.filePath("d_q.hwp")), nativeDocument(editorTexts[0]));
            // The panel shows the reply's metadata whenever the server answered.
            if (reply != failed)
                QCOMPARE(combo(Category::Education2015, "levelCombo")->currentText(), "2학년");
            cleanup();
        }
    }

    void filesThatCannotBeWritten_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("a file where the working folder goes") << false;
        QTest::newRow("a full disk") << true;
    }

    // A regular file where the working folder goes, which stops root as well, or a full disk, made with a file
    // size limit in a second run of this test (the limit holds for a whole process): the load and the save
    // stop with the system's reason, leave no part of a file under its name, upload nothing, and the program
    // lives on.
    void filesThatCannotBeWritten()
    {
        QFETCH(bool, fullDisk);
        constexpr char kLimit[] = "VELLORIN_TEST_FILE_LIMIT";
        if (fullDisk && !qEnvironmentVariableIsSet(kLimit)) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QLatin1String(kLimit), "65536");
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), {"filesThatCannotBeWritten:a full disk"});
            QVERIFY(child.waitForFinished(240000));
            const QByteArray output = child.readAll();
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
            QVERIFY2(output.contains("PASS   : TestMainWindow::filesThatCannotBeWritten(a full disk)"),
                     output.constData());
            return;
        }

        prepare("16384");
        const QString folder = m_harness->workingFolder();
        const QString downloaded = DownloadedDocumentPath(folder, DocumentSlot::Question, "hwp");
        const QByteArray earlier = nativeDocument("이전 문서");
        if (!fullDisk)
            WriteTestFile(folder.chopped(1), "not a folder");
        QVERIFY(m_harness->start() && m_harness->logIn());
        const std::string get = "/qb/js_bank/get/chapter_mid";
        const QString reason = fullDisk ? "File too large" : "Not a directory";
        const auto all = QDir::Files | QDir::Hidden | QDir::System;
        if (fullDisk) {
            WriteTestFile(downloaded, earlier);
            offer(RandomBytes(200000, 5), get);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(qEnvironmentVariableIntValue(kLimit));
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
            std::signal(SIGXFSZ, SIG_IGN);
        } else {
            offer(earlier, get);
        }

        MessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(find<QPushButton>("searchButton"), Qt::LeftButton);
        QCOMPARE(AnsweredTexts(),
                 QStringList{"Error|" + MessageText(Msg::kDownloadNotWritten).arg(downloaded, reason)});
        QVERIFY(m_harness->text(DocumentSlot::Question).isEmpty());
        if (fullDisk) {
            QCOMPARE(ReadTestFile(downloaded), earlier);
            QCOMPARE(QDir(folder).entryList(all), QStringList{"d_q.hwp"});
        }

        m_server.setJson(get, R"({"result_code":0,"result_message":"none","result":null})");
        m_harness->type(DocumentSlot::Question, "문제");
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::keyClick(m_harness->window.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(m_harness->waitForSaveEnd());
        const QStringList shown = AnsweredTexts();
        const QString expected =
            "Error|" + (fullDisk ? MessageText(Msg::kPageImageNotWritten)
                                       .arg(MessageText(Msg::kPageImageLine)
                                                .arg(SlotTabLabel(DocumentSlot::Question),
                                                     PageImagePath(folder, DocumentSlot::Question), reason))
                                 : MessageText(Msg::kWorkingFolderUnusable).arg(folder, reason));
        QVERIFY2(shown.size() == 1 && (fullDisk ? shown[0].startsWith(expected) : shown[0] == expected),
                 qPrintable(shown.join(u'/')));
        if (fullDisk)
            QCOMPARE(QDir(folder).entryList(all), QStringList{"d_q.hwp"});
        QCOMPARE(requestsTo("/qb/js_bank/insert/chapter_mid"), 0);
    }

    // Enter stays in the editor whatever has the focus there (the zoom box, any toolbar button): the window's
    // default button, 불러오기, never takes it, and no question is fetched over the writer's work. On a button
    // Enter does what Space does.
    void enterStaysInTheEditor()
    {
        QVERIFY(startLoggedIn());
        offer(nativeDocument("서버의 문제"), m_get);
        CDHwpCtrl* editor = window().Editor(DocumentSlot::Question);
        QVERIFY(find<QPushButton>("searchButton")->isDefault());
        // A screen with nothing to lose: a load that Enter set off would not even ask first.
        const auto nothingToLose = [this] {
            for (DocumentSlot slot : kAllDocumentSlots)
                window().Editor(slot)->SetModified(false);
        };
        // Whatever a key opened is closed, as a user would: a menu, a dialog, Qt's file and colour dialogs.
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [this] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
            else if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != &window())
                qobject_cast<QDialog*>(modal) ? qobject_cast<QDialog*>(modal)->reject() : void(modal->close());
        });
        closer.start(20);

        auto* zoom = editor->findChild<QComboBox*>("zoomCombo");
        zoom->setFocus();
        zoom->lineEdit()->setText("200");
        QTest::keyClick(zoom, Qt::Key_Return);
        QCOMPARE(editor->Zoom(), 200);

        QAction* bold = editor->findChild<QAction*>("boldAction");
        QWidget* boldButton = editor->findChild<QToolBar*>("TOOLBAR_FORMAT")->widgetForAction(bold);
        QStringList pressed;
        const QList<QAbstractButton*> buttons = editor->findChildren<QAbstractButton*>();
        for (QAbstractButton* button : buttons) {
            if (!button->isVisible() || !button->isEnabled())
                continue;
            if (button == boldButton) {
                // A word to make bold, selected.
                QTextCursor word(editor->Document());
                word.movePosition(QTextCursor::End);
                word.insertText("굵게");
                word.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, 2);
                editor->View()->setTextCursor(word);
            }
            nothingToLose();
            // Back from a dialog the window is active again, as a window manager makes it. On a slow machine
            // what the last button opened may still be closing, and a popup keeps the keyboard until it has.
            QVERIFY(QTest::qWaitFor(
                [this, button] {
                    if (QApplication::activePopupWidget())
                        return false;
                    window().activateWindow();
                    button->setFocus();
                    return button->hasFocus();
                },
                10000));
            const bool boldBefore = bold->isChecked();
            QTest::keyClick(button, Qt::Key_Return);
            if (button == boldButton)
                QCOMPARE(bold->isChecked(), !boldBefore);
            // The editor's tool windows stay open without a loop of their own.
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top != &window() && top->isVisible() && qobject_cast<QDialog*>(top))
                    top->hide();
            }
            pressed.append(button->text());
            QVERIFY2(requestsTo(m_get) == 0, qPrintable(pressed.join(u',')));
        }
        QVERIFY2(pressed.size() >= 20, qPrintable(pressed.join(u',')));
        QVERIFY(pressed.contains("표") && pressed.contains(bold->text()));
        // Escape does not end anything either.
        QTest::keyClick(editor->View(), Qt::Key_Escape);
        QVERIFY(window().isVisible());
        QCOMPARE(requestsTo(m_get), 0);
        // Outside the editor Enter still reaches the default button.
        nothingToLose();
        find<QWidget>("documentTabs")->setFocus();
        QTest::keyClick(find<QWidget>("documentTabs"), Qt::Key_Return);
        QCOMPARE(requestsTo(m_get), 1);
        QCOMPARE(m_harness->text(DocumentSlot::Question), "서버의 문제");
    }

    // A reset, a load or a close after the writer changed something asks before the work goes; No leaves
    // everything as it was, and so does Enter in the real box. Nothing is asked when nothing changed, or when the
    // program runs unattended. The copy kept for a crash goes with the work, and stays while the work does.
    void unsavedWorkAsksFirst()
    {
        for (const QString action : {"resetButton", "Ctrl+R", "searchButton", "close"}) {
            for (const QString state : {"unchanged", "No", "Yes", "Enter", "unattended"}) {
                cleanup();
                const bool changed = state != "unchanged", asked = state == "Yes" || state == "No",
                           enters = state == "Enter";
                const bool goesOn = state != "No" && !enters, closes = action == "close";
                QVERIFY(startLoggedIn("32768", [this] { m_harness->autosaveDelayMs = 20; }));
                offer(nativeDocument("서버의 문제"), m_get);
                QSignalSpy finished(&window(), &QDialog::finished);
                const QString copy = m_harness->recoveryFile();
                if (changed) {
                    // Any one editor with a change is work to lose.
                    window().SelectDocumentTab(1);
                    QTest::keyClicks(window().Editor(DocumentSlot::Answer)->View(), "answer 3");
                    QVERIFY(QTest::qWaitFor([&] { return QFile::exists(copy); }, 10000));
                }
                QVERIFY(window().HasUnsavedWork() == changed);
                if (state != "unattended")
                    qunsetenv("VELLORIN_UNATTENDED");
                if (asked)
                    MessageBox::SetNextAnswer(state == "Yes" ? QMessageBox::Yes : QMessageBox::No);
                QString enterText;
                QTimer enter;
                connect(&enter, &QTimer::timeout, this, [&] {
                    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                        enterText = box->text();
                        QTest::keyClick(box, Qt::Key_Return);
                    }
                });
                if (enters)
                    enter.start(20);

                if (action == "Ctrl+R")
                    QTest::keyClick(window().Editor(DocumentSlot::Answer)->View(), Qt::Key_R, Qt::ControlModifier);
                else if (closes)
                    window().close();
                else
                    QTest::mouseClick(find<QPushButton>(action), Qt::LeftButton);
                qputenv("VELLORIN_UNATTENDED", "1");
                enter.stop();

                const QString question =
                    "저장하지 않은 내용이 있습니다. 계속하면 작성 중인 내용이 사라집니다. 계속하시겠습니까?";
                QCOMPARE(ShownBoxes(), asked ? QStringList{"Question|Confirm|" + question + "|No"} : QStringList());
                QCOMPARE(enterText, enters ? question : QString());
                if (closes) {
                    QCOMPARE(finished.size(), goesOn ? 1 : 0);
                    QCOMPARE(window().isVisible(), !goesOn);
                } else {
                    QCOMPARE(requestsTo(m_get), action == "searchButton" && goesOn ? 1 : 0);
                }
                if (!goesOn) {
                    QCOMPARE(m_harness->text(DocumentSlot::Answer), "answer 3");
                } else if (!closes) {
                    QCOMPARE(texts(), (QStringList{action == "searchButton" ? "서버의 문제" : "", "", ""}));
                    QVERIFY(onlyEditorShown(DocumentSlot::Question));
                    QVERIFY(!window().HasUnsavedWork());
                }
                // The copy goes when the writer let the work go, or it was replaced by a load or a reset; a close
                // without a question keeps it for the next start.
                const bool kept = changed && (!goesOn || (closes && state == "unattended"));
                QVERIFY(QTest::qWaitFor([&] { return QFile::exists(copy) == kept; }, 10000));
                m_harness->window.reset();
                QCOMPARE(QFile::exists(copy), kept);
            }
        }
    }

    // A copy that cannot be written (here a file stands where its folder goes) is said so in the window, and
    // the work goes on.
    void copyThatCannotBeWritten()
    {
        QVERIFY(startLoggedIn("32768", [this] {
            m_harness->autosaveDelayMs = 20;
            WriteTestFile(QFileInfo(m_harness->recoveryFile()).absolutePath(), "in the way");
        }));
        QTest::keyClicks(window().Editor(DocumentSlot::Question)->View(), "x");
        QTRY_VERIFY(window().LastActionText().startsWith("작성 중인 내용의 복구용 사본을 저장하지 못했습니다: "));
        QCOMPARE(m_harness->text(DocumentSlot::Question), "x");
    }

    // Work a run left unsaved is offered back after the login: Yes puts the documents into the editors and
    // the fields into their category's panel, and keeps the copy until a save; No removes it. A copy that
    // cannot be read is said so and put aside, never offered again.
    void unsavedWorkOfferedBack()
    {
        for (const QString answer : {"Yes", "No", "damaged"}) {
            cleanup();
            prepare();
            UnsavedWork work;
            work.categoryRadioId = CategoryRadioId(Category::Timestone);
            work.fields.SetAt("type", "Level2");
            work.documents = {nativeDocument("복구된 문제"), nativeDocument("복구된 정답"), QByteArray()};
            const QString copy = m_harness->recoveryFile();
            QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
            QByteArray bytes = CRecoveryFile::Encode(work);
            const bool yes = answer == "Yes", damaged = answer == "damaged";
            if (damaged)
                bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
            WriteTestFile(copy, bytes);

            qunsetenv("VELLORIN_UNATTENDED");
            MessageBox::SetNextAnswer(yes ? QMessageBox::Yes : damaged ? QMessageBox::Ok : QMessageBox::No);
            const bool started = m_harness->start() && m_harness->logIn();
            qputenv("VELLORIN_UNATTENDED", "1");
            QVERIFY(started);
            const QStringList shown = ShownBoxes();
            const QStringList folder = QDir(QFileInfo(copy).absolutePath()).entryList(QDir::Files);
            if (damaged) {
                QVERIFY2(startsEach(shown, {"Critical|Error|저장하지 않은 작업의 복구 파일을 읽을 수 없습니다.\r\n" +
                                            copy + "\r\n파일이 끝까지 쓰이지 않았거나 손상되었습니다.\r\n파일은 " +
                                            copy + ".damaged-"}),
                         qPrintable(shown.join(u'/')));
                QCOMPARE(folder.size(), 1);
                QVERIFY(folder[0].startsWith("unsaved-work.damaged-"));
                QVERIFY(!window().HasUnsavedWork());
                continue;
            }
            QCOMPARE(shown, QStringList{"Question|Confirm|저장하지 않은 작업을 복구하시겠습니까?|Yes"});
            QCOMPARE(texts(), (yes ? QStringList{"복구된 문제", "복구된 정답", ""} : QStringList(3, QString())));
            QCOMPARE(window().CurrentCategory(), yes ? Category::Timestone : Category::Education2015);
            if (yes) {
                QVERIFY(window().Panel(Category::Timestone)->isVisible());
                QCOMPARE(combo(Category::Timestone, "typeCombo")->currentText(), "Level2");
            }
            QCOMPARE(window().HasUnsavedWork(), yes);
            QVERIFY(onlyEditorShown(DocumentSlot::Question));
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(copy) == yes; }, 10000));
            // Still unsaved when the window ends: the copy stays, with what the editors hold.
            m_harness->window.reset();
            QCOMPARE(QFile::exists(copy), yes);
            if (!yes)
                continue;
            const std::optional<UnsavedWork> kept = CRecoveryFile(copy).Read();
            QVERIFY(kept);
            QCOMPARE(kept->categoryRadioId, work.categoryRadioId);
            QCOMPARE(kept->fields.Value("type"), "Level2");
            QStringList texts;
            for (const QByteArray& keptDocument : kept->documents)
                texts.append(nativeText(keptDocument));
            QCOMPARE(texts, (QStringList{"복구된 문제", "복구된 정답", ""}));
        }
    }

    void deleteAsksFirst()
    {
        QVERIFY(startLoggedIn());
        const std::string path = "/qb/js_bank/delete/" + CategoryEndpointSuffix(Category::Education2015).toStdString();
        m_server.setJson(path, R"({"result_code":0,"result_message":"ok"})");
        for (DocumentSlot slot : kAllDocumentSlots)
            m_harness->type(slot, "남는 문서");

        window().SelectDocumentTab(2);
        auto* button = find<QPushButton>("deleteButton");

        MessageBox::SetNextAnswer(QMessageBox::No);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(ShownBoxes(), QStringList{"Question|Confirm|정말로 삭제하시겠습니까?"});
        QCOMPARE(requestsTo(path), 0);

        MessageBox::SetNextAnswer(QMessageBox::Yes);
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(ShownBoxes(), (QStringList{"Question|Confirm|정말로 삭제하시겠습니까?",
                                            "Information|Information|정상적으로 삭제되었습니다."}));
        QCOMPARE(requestsTo(path), 1);
        // The question deleted is the one the panel describes.
        CMapStringToString fields;
        window().Panel(Category::Education2015)->GetFieldMap(fields);
        // Each field between two "&", the last one before the "&" added here.
        const QByteArray body = QByteArray::fromStdString(m_server.lastRequest().body) + '&';
        for (auto it = fields.begin(); it != fields.end(); ++it)
            QVERIFY2(body.contains('&' + it.key().toUtf8() + '=' + QUrl::toPercentEncoding(it.value()) + '&'),
                     body.constData());
        // What was deleted stays on screen, where it was.
        QCOMPARE(texts(), QStringList(3, "남는 문서"));
        QCOMPARE(find<QTabBar>("documentTabs")->currentIndex(), 2);

        m_server.setJson(path, R"({"result_code":3,"result_message":"locked"})");
        MessageBox::SetNextAnswer(QMessageBox::Yes);
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(button, Qt::LeftButton);
        const QStringList shown = ShownBoxes();
        QVERIFY2(startsEach(shown, {"Question|Confirm|",
                                    "Critical|Error|교육청/평가원 (2015 개정) 문제 삭제에 실패했습니다. \r\nError: "}),
                 qPrintable(shown.join(u'/')));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
