#include "document/FormulaObject.h"
#include "document/PageLayout.h"
#include "document/hwp/HwpFile.h"
#include "core/Base64.h"
#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"
#include "ui/main/CLoadingDlg.h"
#include "workflow/QuestionFiles.h"

#include "tests/support/LocalQuestionBank.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestTables.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/MainWindowHarness.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QImage>
#include <QComboBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr char kFormula[] = "x = {-b +- sqrt {b^2 - 4ac}} over {2a}";

// Every position and status text that the progress window showed, in order.
struct ProgressLog
{
    explicit ProgressLog(CLoadingDlg* dialog)
    {
        QObject::connect(dialog, &CLoadingDlg::progressPosChanged, &context,
                         [this](int position) { entries.append(QString::number(position)); });
        QObject::connect(dialog, &CLoadingDlg::statusTextChanged, &context,
                         [this](const QString& status) { entries.append(status); });
    }
    QObject context; // ends the connections with the log
    QStringList entries;
};

} // namespace

class TestSavePipeline : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LocalQuestionBank> m_bank;
    std::unique_ptr<MainWindowHarness> m_harness;
    std::unique_ptr<CCommunicator> m_reader;

    CTarvixDlg& window() { return *m_harness->window; }

    bool choose(Category category)
    {
        auto* radio = m_harness->find<QRadioButton>(QStringLiteral("categoryRadio%1").arg(CategoryRadioId(category)));
        // On the button's circle: a wide button with a short label has no text at its centre.
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
        return radio->isChecked() && window().CurrentCategory() == category;
    }

    // The category chosen, and the question of `number` (the index in its list) in its panel.
    bool choose(Category category, int number)
    {
        auto* numbers = window().Panel(category)->findChild<QComboBox*>(QStringLiteral("numberCombo"));
        if (!numbers)
            return false;
        numbers->setCurrentIndex(number);
        return choose(category);
    }

    // The stored question as the search reads it, found by what the panel shows now.
    CMapStringToString stored(Category category)
    {
        CMapStringToString request;
        window().Panel(category)->GetFieldMap(request);
        return stored(category, request);
    }

    CMapStringToString stored(Category category, const CMapStringToString& request)
    {
        CMapStringToString record;
        if (!m_reader->GetQuestion(category, &request, &record))
            qWarning("get failed: %s", qPrintable(m_reader->GetLastErrorText()));
        return record;
    }

    QByteArray storedDocument(const CMapStringToString& record, const char* key)
    {
        return QByteArray::fromBase64(record.Value(QLatin1String(key)).toLatin1());
    }

    void click(const char* button)
    {
        QTest::mouseClick(m_harness->find<QPushButton>(QLatin1String(button)), Qt::LeftButton);
    }

    bool save()
    {
        click("saveButton");
        return window().IsSaveRunning() && m_harness->waitForSaveEnd();
    }

    void fillAllThree(const QString& tag, bool withFormula = false)
    {
        window().OnReset();
        m_harness->type(DocumentSlot::Question, QStringLiteral("문제 %1: 2 + 3 = ?").arg(tag));
        if (withFormula)
            window().Editor(DocumentSlot::Question)->InsertFormula(kFormula);
        m_harness->type(DocumentSlot::Answer, QStringLiteral("정답 %1: 5").arg(tag));
        m_harness->type(DocumentSlot::Explanation, QStringLiteral("해설 %1: 2 + 3 = 5").arg(tag));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bank = std::make_unique<LocalQuestionBank>();
        m_harness = std::make_unique<MainWindowHarness>(m_bank->baseUrl());
        QVERIFY(m_harness->start() && m_harness->logIn());
        // A box nobody expected is printed and refused instead of waiting for a click that never comes.
        qputenv("VELLORIN_UNATTENDED", "1");
        m_reader = std::make_unique<CCommunicator>(m_bank->baseUrl());
        QVERIFY(m_reader->StartSession());
        QVERIFY(m_reader->Login(QStringLiteral("demo"), QStringLiteral("demo1234")));
        MessageBox::TakeAnswered();
    }

    void cleanup()
    {
        if (!window().isVisible())
            return;
        // Whatever happened, the guard is free for the next save.
        QVERIFY(m_harness->waitForSaveEnd());
        QVERIFY(m_harness->find<QWidget>(QStringLiteral("mainBody"))->isEnabled());
        QVERIFY(!window().ProgressDialog()->isVisible());
        QVERIFY(!window().ProgressDialog()->IsBusy());
    }

    void cleanupTestCase()
    {
        m_reader.reset();
        m_harness.reset();
        m_bank.reset();
    }

    void fullSaveOfEachCategory_data()
    {
        QTest::addColumn<Category>("category");
        for (Category category : kAllCategories)
            QTest::addRow("%s", qPrintable(CategoryEndpointSuffix(category))) << category;
    }

    void fullSaveOfEachCategory()
    {
        QFETCH(Category, category);
        QVERIFY(choose(category));
        for (QLineEdit* school : window().Panel(category)->findChildren<QLineEdit*>(QStringLiteral("schoolEdit")))
            school->setText(QStringLiteral("수원한국고등학교"));
        // Every question is mathematics: the first category's carries a formula to the server and back.
        const bool withFormula = category == kAllCategories[0];
        fillAllThree(CategoryEndpointSuffix(category), withFormula);
        ProgressLog progress(window().ProgressDialog());

        QVERIFY(save());

        QCOMPARE(AnsweredTexts(), QStringList());
        QCOMPARE(progress.entries,
                 (QStringList{"0", MessageText(Msg::kStageDuplicateCheck), "10", MessageText(Msg::kStageRender), "20",
                              MessageText(Msg::kStageSaveDocuments), "30", MessageText(Msg::kStageTrim), "40", "50",
                              "60", MessageText(Msg::kStageConvert), "70", "80", "90", MessageText(Msg::kStageUpload),
                              "100", MessageText(Msg::kStageDone)}));

        const CMapStringToString record = stored(category);
        CMapStringToString metadata;
        window().Panel(category)->GetFieldMap(metadata);
        for (auto it = metadata.begin(); it != metadata.end(); ++it)
            QVERIFY2(record.Value(it.key()) == it.value(),
                     qPrintable(it.key() + u'=' + it.value() + u'/' + record.Value(it.key()) +
                                QString::number(record.GetCount())));
        // Once the progress window has gone the window says what was saved, and nothing is left unsaved.
        QStringList identity;
        for (const QString& key : CategoryIdentityFields(category))
            identity.append(metadata.Value(key));
        identity.removeAll(QString());
        const QRegularExpression shown(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d (저장함|불러옴): ") +
            QRegularExpression::escape(CategoryMessageLabel(category) + u' ' + identity.join(u' ')) + u'$');
        QVERIFY2(shown.match(window().LastActionText()).captured(1) == QStringLiteral("저장함"),
                 qPrintable(window().LastActionText()));
        QVERIFY(!window().HasUnsavedWork());
        const QString folder = m_harness->workingFolder();
        for (DocumentSlot slot : kAllDocumentSlots) {
            const QString letter = SlotFileLetter(slot);
            // The documents the editors saved, byte for byte, and the trimmed page images.
            const QByteArray hwp = ReadTestFile(HwpPath(folder, slot));
            QVERIFY(HwpFile::HasSignature(hwp));
            QCOMPARE(storedDocument(record, qPrintable(letter + "_hwp")), hwp);
            const QByteArray png = ReadTestFile(PngPath(folder, slot));
            QCOMPARE(storedDocument(record, qPrintable(letter + "_png")), png);
            const QImage image = QImage::fromData(png, "PNG");
            QVERIFY(!image.isNull());
            QVERIFY(image.width() < 4000 && image.height() < 5000);
            QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));
            // The bitmaps are gone once converted.
            QVERIFY(!QFile::exists(PageImagePath(folder, slot)));
        }

        // Back from the server through the window: the same panel finds it, and the screen shows what was saved.
        QStringList texts;
        for (DocumentSlot slot : kAllDocumentSlots)
            texts.append(m_harness->text(slot));
        click("searchButton");
        QCOMPARE(AnsweredTexts(), QStringList());
        CMapStringToString loaded;
        window().Panel(category)->GetFieldMap(loaded);
        QCOMPARE(loaded, metadata);
        QVERIFY2(shown.match(window().LastActionText()).captured(1) == QStringLiteral("불러옴"),
                 qPrintable(window().LastActionText()));
        const QList<int> formulas = FormulaObject::Positions(*window().Editor(DocumentSlot::Question)->Document());
        QCOMPARE(formulas.size(), withFormula ? 1 : 0);
        if (withFormula)
            QCOMPARE(FormulaObject::Script(FormulaObject::FormatAt(*window().Editor(DocumentSlot::Question)->Document(),
                                                                   formulas.front())),
                     QString::fromUtf8(kFormula));
        for (DocumentSlot slot : kAllDocumentSlots) {
            QCOMPARE(m_harness->text(slot), texts[SlotIndex(slot)]);
            const QString downloaded = DownloadedDocumentPath(folder, slot, QStringLiteral("hwp"));
            QCOMPARE(ReadTestFile(downloaded), ReadTestFile(HwpPath(folder, slot)));
        }
    }

    void emptyDocuments()
    {
        QVERIFY(choose(Category::DailyProject));
        auto* volume = window().Panel(Category::DailyProject)->findChild<QComboBox*>(QStringLiteral("volumeCombo"));
        QVERIFY(volume);
        volume->setCurrentIndex(3);
        const QString folder = m_harness->workingFolder();

        // An empty question stops after the editors have written their files; nothing is uploaded.
        window().OnReset();
        m_harness->type(DocumentSlot::Answer, QStringLiteral("정답만 있음"));
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        ProgressLog progress(window().ProgressDialog());
        QVERIFY(save());
        QCOMPARE(AnsweredTexts(), QStringList{"Error|" + MessageText(Msg::kQuestionEmpty)});
        QVERIFY(!progress.entries.contains(MessageText(Msg::kStageUpload)));
        QVERIFY(!progress.entries.contains(MessageText(Msg::kStageDone)));
        QVERIFY(QFile::exists(HwpPath(folder, DocumentSlot::Answer)));
        QVERIFY(stored(Category::DailyProject).Value("q_hwp").isEmpty());

        // An empty answer is left out of the upload, but its page image is still made.
        window().OnReset();
        m_harness->type(DocumentSlot::Question, QStringLiteral("문제"));
        m_harness->type(DocumentSlot::Explanation, QStringLiteral("해설"));
        QVERIFY(save());
        QCOMPARE(AnsweredTexts(), QStringList());
        const CMapStringToString record = stored(Category::DailyProject);
        QCOMPARE(storedDocument(record, "q_hwp"), ReadTestFile(HwpPath(folder, DocumentSlot::Question)));
        QCOMPARE(storedDocument(record, "d_png"), ReadTestFile(PngPath(folder, DocumentSlot::Explanation)));
        QVERIFY(record.Value("a_hwp").isEmpty());
        QVERIFY(record.Value("a_png").isEmpty());
        QVERIFY(QFile::exists(PngPath(folder, DocumentSlot::Answer)));
    }

    void overwriteQuestion()
    {
        // Another question than the one of the first test.
        QVERIFY(choose(Category::Timestone, 2));
        fillAllThree(QStringLiteral("first"));
        QVERIFY(save());
        QCOMPARE(AnsweredTexts(), QStringList());
        const QByteArray first = storedDocument(stored(Category::Timestone), "q_hwp");
        QVERIFY(!first.isEmpty());

        // Declined: nothing is uploaded, and no success is claimed.
        fillAllThree(QStringLiteral("second"));
        MessageBox::SetNextAnswer(QMessageBox::No);
        ProgressLog declined(window().ProgressDialog());
        QVERIFY(save());
        QCOMPARE(AnsweredTexts(), QStringList{"Confirm|" + MessageText(Msg::kOverwriteQuestion)});
        QCOMPARE(declined.entries, (QStringList{"0", MessageText(Msg::kStageDuplicateCheck)}));
        QCOMPARE(storedDocument(stored(Category::Timestone), "q_hwp"), first);

        MessageBox::SetNextAnswer(QMessageBox::Yes);
        QVERIFY(save());
        QCOMPARE(AnsweredTexts(), QStringList{"Confirm|" + MessageText(Msg::kOverwriteQuestion)});
        const QByteArray second = storedDocument(stored(Category::Timestone), "q_hwp");
        QVERIFY(second != first);
        QCOMPARE(second, ReadTestFile(HwpPath(m_harness->workingFolder(), DocumentSlot::Question)));
    }

    // A question that another program registered holds the word processor's own files: the search shows them.
    void questionRegisteredElsewhere()
    {
        QVERIFY(choose(Category::Timestone, 7));
        CMapStringToString metadata;
        window().Panel(Category::Timestone)->GetFieldMap(metadata);
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("q.png"));
        QImage(40, 20, QImage::Format_RGB32).save(png);
        CMapStringToString hwpFiles{{"q_hwp", SamplePath(QStringLiteral("example.hwp"))},
                                    {"a_hwp", SamplePath(QStringLiteral("latex.hwp"))}};
        CMapStringToString pngFiles{{"q_png", png}, {"a_png", png}};
        QVERIFY2(m_reader->InsertQuestion(Category::Timestone, &metadata, &hwpFiles, &pngFiles),
                 qPrintable(m_reader->GetLastErrorText()));

        click("searchButton");
        QCOMPARE(AnsweredTexts(), QStringList());
        QVERIFY(m_harness->text(DocumentSlot::Question)
                    .contains(QStringLiteral("군위신강: 임금과 신하 사이에 마땅히 지켜야 할 도리")));
        QCOMPARE(FormulaObject::Positions(*window().Editor(DocumentSlot::Answer)->Document()).size(), 20);
        QVERIFY(m_harness->text(DocumentSlot::Explanation).isEmpty());
        // The question of the earlier tests again, for the last one.
        window().Panel(Category::Timestone)->findChild<QComboBox*>(QStringLiteral("numberCombo"))->setCurrentIndex(2);
    }

    void whileASaveRuns()
    {
        QVERIFY(choose(Category::Education2022, 5));
        fillAllThree(QStringLiteral("busy"));
        CLoadingDlg* progress = window().ProgressDialog();
        click("saveButton");
        QVERIFY(QTest::qWaitFor([progress] { return progress->isVisible(); }, 10000));
        // The worker needs this thread for its next step, so the save cannot end while the test pokes at it.
        QVERIFY(!m_harness->find<QWidget>(QStringLiteral("mainBody"))->isEnabled());
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(progress, Qt::Key(key));
        QVERIFY(!progress->close());
        QVERIFY(progress->isVisible() && progress->IsBusy());

        MessageBox::SetNextAnswer(QMessageBox::Ok);
        window().OnSave();
        QCOMPARE(AnsweredTexts(), QStringList{"Error|" + MessageText(Msg::kSaveAlreadyRunning)});
        QVERIFY(m_harness->waitForSaveEnd());
        QCOMPARE(AnsweredTexts(), QStringList());
        QVERIFY(!storedDocument(stored(Category::Education2022), "q_png").isEmpty());
    }

    // An explanation as long as writers make them: pages of formulas and tables. Its page image is painted in
    // bands on several threads, and the layout of a long document is still running when the bands begin.
    void longExplanationSavedThreeTimes()
    {
        // Qt's word for a timer used on a thread that has no event dispatcher, which crashed such saves later.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QBasicTimer|Timers cannot")));
        QVERIFY(choose(Category::Education2022, 8));
        fillAllThree(QStringLiteral("long"));
        CDHwpCtrl* explanation = window().Editor(DocumentSlot::Explanation);
        for (int copy = 0; copy < 3; ++copy) {
            for (const char* sample : {"latex.hwp", "table.hwp", "table-caption.hwp"})
                QVERIFY(explanation->InsertFile(SamplePath(QLatin1String(sample))));
        }
        QTextDocument* document = explanation->Document();
        QVERIFY(FormulaObject::Positions(*document).size() >= 60);
        QVERIFY(PageLayout::PageStarts(document, explanation->Page()).size() >= 3);
        const QString folder = m_harness->workingFolder();
        QByteArray lastPng;
        for (int save = 1; save <= 3; ++save) {
            if (save > 1)
                MessageBox::SetNextAnswer(QMessageBox::Yes);
            QVERIFY(this->save());
            QStringList asked = AnsweredTexts();
            asked.removeAll("Confirm|" + MessageText(Msg::kOverwriteQuestion));
            QCOMPARE(asked, QStringList());
            const QByteArray png = ReadTestFile(PngPath(folder, DocumentSlot::Explanation));
            QCOMPARE(storedDocument(stored(Category::Education2022), "d_png"), png);
            // Painted alike each time, whichever thread painted which band.
            if (save > 1)
                QVERIFY(png == lastPng);
            lastPng = png;
            for (DocumentSlot slot : kAllDocumentSlots)
                QVERIFY(!QFile::exists(PageImagePath(folder, slot)));
        }

        // Only the first page reaches the bank: asked, with No as the default, No uploads nothing. (Unattended,
        // as above, the save went on without a question.)
        explanation->View()->setTextCursor(QTextCursor(document));
        m_harness->type(DocumentSlot::Explanation, QStringLiteral("고친 해설"));
        ProgressLog progress(window().ProgressDialog());
        MessageBox::SetNextAnswer(QMessageBox::Yes);
        MessageBox::SetNextAnswer(QMessageBox::No);
        QVERIFY(this->save());
        const QStringList shown = ShownBoxes();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(
            shown[1],
            QStringLiteral("Question|Confirm|해설 내용이 첫 쪽을 넘습니다. 첫 쪽만 등록됩니다. 저장하시겠습니까?|No"));
        QVERIFY(!progress.entries.contains(MessageText(Msg::kStageRender)));
        QVERIFY(!progress.entries.contains(MessageText(Msg::kStageDone)));
        QCOMPARE(storedDocument(stored(Category::Education2022), "d_png"), lastPng);
        QVERIFY(window().HasUnsavedWork());
    }

    void unreadableFilesUploadNothing()
    {
        QVERIFY(choose(Category::Education2015, 6));
        const QString folder = m_harness->workingFolder();
        // Something that is no file stands where a page image or a document must go.
        for (const QString& path :
             {PngPath(folder, DocumentSlot::Answer), HwpPath(folder, DocumentSlot::Explanation)}) {
            QFile::remove(path);
            QVERIFY(QDir().mkpath(path));
            fillAllThree(QStringLiteral("files"));
            MessageBox::SetNextAnswer(QMessageBox::Ok);
            QVERIFY(save());
            const QStringList shown = ShownBoxes();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].startsWith(QLatin1String("Critical|Error|")) && shown[0].contains(path),
                     qPrintable(shown[0]));
            if (path.endsWith(QLatin1String(".hwp")))
                QCOMPARE(shown[0], "Critical|Error|" +
                                       MessageText(Msg::kFileUnreadable).arg(QStringLiteral("해설"), path) + "|Ok");
            QVERIFY(stored(Category::Education2015).Value("q_hwp").isEmpty());
            QVERIFY(QDir(path).removeRecursively());
        }
    }

    void nothingFromAnEarlierRun()
    {
        // An editor that cannot write its document: the file of an earlier run must not go in its place.
        struct SilentEditor : CDHwpCtrl
        {
            bool SaveDocument(const QString&, const QString&, const QString&) override { return false; }
        };
        MainWindowHarness harness(m_bank->baseUrl());
        harness.makeEditor = [](DocumentSlot slot) {
            return slot == DocumentSlot::Question ? new SilentEditor : new CDHwpCtrl;
        };
        QVERIFY(harness.start() && harness.logIn());
        harness.window->Panel(Category::Education2015)->findChild<QComboBox*>("numberCombo")->setCurrentIndex(9);
        const QString stale = WriteTestFile(HwpPath(harness.workingFolder(), DocumentSlot::Question), "earlier run");
        harness.type(DocumentSlot::Question, QStringLiteral("문제"));
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(harness.find<QPushButton>(QStringLiteral("saveButton")), Qt::LeftButton);
        QVERIFY(harness.waitForSaveEnd());
        QCOMPARE(AnsweredTexts(),
                 QStringList{"Error|" + MessageText(Msg::kFileUnreadable).arg(QStringLiteral("문제"), stale)});
        CMapStringToString request;
        harness.window->Panel(Category::Education2015)->GetFieldMap(request);
        QVERIFY(stored(Category::Education2015, request).Value("q_hwp").isEmpty());
    }

    void failedSaves_data()
    {
        QTest::addColumn<QString>("failure");
        for (const char* failure : {"no thread", "duplicate check", "insert"})
            QTest::newRow(failure) << QString::fromLatin1(failure);
    }

    // The system refuses the save its thread, or the server fails a step: the writer is told, the window stays
    // open to the user (its close button does nothing while the save runs), and the next save is not refused
    // as if one were running.
    void failedSaves()
    {
        QFETCH(QString, failure);
        const bool noThread = failure == QLatin1String("no thread");
        const bool duplicateCheck = failure == QLatin1String("duplicate check");
        ScriptedServer server;
        ScriptStartAndLogin(server, "16384");
        if (duplicateCheck)
            server.setJson("/qb/js_bank/get/chapter_mid", "{}", 500);
        else
            server.setJson("/qb/js_bank/get/chapter_mid", R"({"result_code":0,"result_message":"none","result":null})");
        server.setJson("/qb/js_bank/insert/chapter_mid", R"({"result_code":3,"result_message":"DB error"})");
        MainWindowHarness harness(server.baseUrl());
        int refused = 0;
        if (noThread) {
            harness.startSaveThread = [&refused](std::function<void()>) -> std::optional<WorkerThread> {
                ++refused;
                return std::nullopt;
            };
        }
        QVERIFY(harness.start() && harness.logIn(QStringLiteral("mid"), QStringLiteral("pw")));
        QCOMPARE(harness.window->CurrentCategory(), Category::SchoolMid);
        harness.type(DocumentSlot::Question, QStringLiteral("문제"));
        CCommunicator* client = harness.window->Communicator();
        QSignalSpy finished(harness.window.get(), &QDialog::finished);
        for (int attempt = 1; attempt <= 2; ++attempt) {
            MessageBox::SetNextAnswer(QMessageBox::Ok);
            QTest::keyClick(harness.window.get(), Qt::Key_S, Qt::ControlModifier);
            QCOMPARE(refused, noThread ? attempt : 0);
            if (!noThread) {
                QVERIFY(harness.window->IsSaveRunning());
                QVERIFY(!harness.window->close());
                QVERIFY(harness.waitForSaveEnd());
            }
            const QString expected = noThread
                                         ? MessageText(Msg::kSaveNotStarted)
                                         : MessageText(duplicateCheck ? Msg::kDuplicateCheckFailed : Msg::kInsertFailed)
                                                   .arg(QStringLiteral("중등 내신기출")) +
                                               client->GetLastErrorText();
            const QStringList texts = AnsweredTexts();
            QCOMPARE(texts, QStringList{"Error|" + expected});
            if (failure == QLatin1String("insert")) {
                QVERIFY(texts[0].startsWith(QStringLiteral(
                    "Error|중등 내신기출 문제 등록에 실패했습니다. \r\nError: Invalid result code. (Code: 3")));
                QVERIFY(texts[0].endsWith(QStringLiteral("DB error")));
            }
            QVERIFY(!harness.window->IsSaveRunning());
            QVERIFY(harness.find<QWidget>(QStringLiteral("mainBody"))->isEnabled());
            QVERIFY(!harness.window->ProgressDialog()->isVisible());
        }
        QTest::qWait(50);
        QVERIFY(finished.isEmpty());
        QVERIFY(harness.window->isVisible());
    }

    // Last: it ends the window.
    void quitWhileAskingEndsAfterTheSave()
    {
        QVERIFY(choose(Category::Timestone));
        CMapStringToString question;
        window().Panel(Category::Timestone)->GetFieldMap(question);
        const QByteArray before = storedDocument(stored(Category::Timestone, question), "q_hwp");
        QVERIFY(!before.isEmpty());
        fillAllThree(QStringLiteral("quit"));
        bool asked = false;
        // The overwrite question is a real box this time; the request to end arrives while it is open.
        qunsetenv("VELLORIN_UNATTENDED");
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) && !asked) {
                asked = true;
                window().RequestQuit();
            }
        });
        poll.start(20);
        QSignalSpy finished(&window(), &QDialog::finished);
        click("saveButton");
        QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 60000));
        QVERIFY(asked);
        QVERIFY(!window().IsSaveRunning());
        QVERIFY(!window().isVisible());
        // Answered No: the stored question is the one of the earlier save.
        QCOMPARE(storedDocument(stored(Category::Timestone, question), "q_hwp"), before);
        QVERIFY(m_harness->waitForSaveEnd());

        // Asked to end before the save has anything to say: its error box is never shown.
        MainWindowHarness harness(m_bank->baseUrl());
        QVERIFY(harness.start() && harness.logIn());
        QSignalSpy ended(harness.window.get(), &QDialog::finished);
        QTest::mouseClick(harness.find<QPushButton>(QStringLiteral("saveButton")), Qt::LeftButton);
        harness.window->RequestQuit();
        QVERIFY(harness.window->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 60000));
        QVERIFY(harness.waitForSaveEnd());
    }
};

QTEST_MAIN(TestSavePipeline)
#include "tst_savepipeline.moc"
