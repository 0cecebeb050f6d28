#include "workflow/SavePipeline.h"

#include "core/Messages.h"
#include "net/Communicator.h"
#include "workflow/QuestionFiles.h"

#include "tests/support/LocalQuestionBank.h"
#include "tests/support/TestFiles.h"
#include "tests/workflow/BmpFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString text(const char16_t* message)
{
    return QString::fromUtf16(message);
}

// A host as small as the save allows: no window, no editor and no panel. It writes what the editors would,
// answers what it is asked from a script, and keeps a line for every call in the order the save made them.
class ScriptedHost : public ISaveHost
{
public:
    ScriptedHost(CCommunicator* communicator, QString folder)
        : m_communicator(communicator), m_folder(std::move(folder))
    {
    }

    std::optional<Category> category = Category::DailyProject;
    std::optional<CMapStringToString> fields;
    // What each slot's page shows: a dark block somewhere in it, or nothing.
    std::array<bool, 3> pageHasContent = {true, true, false};
    QByteArray documentTag = "first";
    QString renderError;
    SaveAnswer overwriteAnswer = SaveAnswer::Yes;
    QStringList calls;

    void SaveStarted(const SaveStage& first) override { calls.append(stageLine(QStringLiteral("started"), first)); }
    void ReportStage(const SaveStage& stage) override { calls.append(stageLine(QStringLiteral("stage"), stage)); }
    SaveAnswer Ask(const SaveQuestion& question) override
    {
        const bool yesOrNo = question.kind == SaveQuestion::Kind::YesOrNo;
        calls.append(QStringLiteral("ask %1 %2: %3").arg(yesOrNo ? "yes/no" : "ok", question.caption, question.text));
        questions.append(question);
        return yesOrNo ? overwriteAnswer : SaveAnswer::Ok;
    }
    void SaveEnded(bool uploaded) override { calls.append(uploaded ? "ended: uploaded" : "ended: nothing uploaded"); }
    std::optional<Category> CurrentCategory() override
    {
        calls.append(QStringLiteral("category"));
        return category;
    }
    std::optional<CMapStringToString> FieldMap(Category) override
    {
        calls.append(QStringLiteral("fields"));
        return fields;
    }
    QString RunEditorStep(EditorStep step) override
    {
        if (step == EditorStep::RenderPageImages) {
            calls.append(QStringLiteral("editors: page images"));
            for (DocumentSlot slot : kAllDocumentSlots) {
                BmpFile page{400, 300};
                if (pageHasContent[std::size_t(SlotIndex(slot))])
                    page.pixel = [](int x, int y) {
                        return x > 100 && x < 200 && y > 50 && y < 90 ? QColor(0, 0, 0) : QColor(255, 255, 255);
                    };
                page.write(PageImagePath(m_folder, slot));
            }
            return renderError;
        }
        calls.append(QStringLiteral("editors: documents"));
        for (DocumentSlot slot : kAllDocumentSlots)
            WriteTestFile(HwpPath(m_folder, slot), documentTag + SlotFileLetter(slot).toLatin1());
        return {};
    }
    QList<DocumentSlot> DocumentsPastFirstPage() override { return pastFirstPage; }
    CCommunicator* Communicator() override { return m_communicator; }
    QString WorkingFolder() const override { return m_folder; }

    QList<DocumentSlot> pastFirstPage;
    QList<SaveQuestion> questions;

private:
    static QString stageLine(const QString& what, const SaveStage& stage)
    {
        return stage.status.isEmpty() ? QStringLiteral("%1 %2").arg(what).arg(stage.position)
                                      : QStringLiteral("%1 %2 %3").arg(what).arg(stage.position).arg(stage.status);
    }

    CCommunicator* m_communicator;
    QString m_folder;
};

CMapStringToString dailyFields(const QString& prob)
{
    return CMapStringToString{{"volume", "1권"}, {"prob", prob}};
}

// The host's line for a stage that the save reports, with its status text where it has one.
QString stage(int position, const char16_t* status = nullptr)
{
    const QString line = QStringLiteral("stage %1").arg(position);
    return status ? line + u' ' + text(status) : line;
}

// The calls of a save that starts with the duplicate check, asks for the category, makes the calls `then` and
// ends, with nothing uploaded unless `uploaded`.
QStringList stoppedAfter(const QStringList& then, bool uploaded = false)
{
    return QStringList{QStringLiteral("started 0 ") + text(Msg::kStageDuplicateCheck), QStringLiteral("category")} +
           then + QStringList{uploaded ? QStringLiteral("ended: uploaded") : QStringLiteral("ended: nothing uploaded")};
}

// The calls after the category up to the documents written by the editors, for a category with metadata.
QStringList callsUpToTheDocuments()
{
    return {QStringLiteral("fields"), stage(10, Msg::kStageRender), QStringLiteral("editors: page images"),
            stage(20, Msg::kStageSaveDocuments), QStringLiteral("editors: documents")};
}

} // namespace

class TestSaveRun : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LocalQuestionBank> m_bank;
    std::unique_ptr<CCommunicator> m_client;
    QTemporaryDir m_folder;

    QString folder() const { return m_folder.path() + u'/'; }

    CMapStringToString stored(const QString& prob)
    {
        const CMapStringToString request = dailyFields(prob);
        CMapStringToString record;
        if (!m_client->GetQuestion(Category::DailyProject, &request, &record))
            qWarning("get failed: %s", qPrintable(m_client->GetLastErrorText()));
        return record;
    }

    QByteArray storedQuestionDocument(const QString& prob)
    {
        return QByteArray::fromBase64(stored(prob).Value("q_hwp").toLatin1());
    }

    // A save of the question `prob` whose documents say `tag`, answering `answer` to the yes/no question.
    std::unique_ptr<ScriptedHost> save(const QString& prob, const QByteArray& tag = "first",
                                       SaveAnswer answer = SaveAnswer::Yes,
                                       const QList<DocumentSlot>& pastFirstPage = {})
    {
        auto host = std::make_unique<ScriptedHost>(m_client.get(), folder());
        host->fields = dailyFields(prob);
        host->documentTag = tag;
        host->overwriteAnswer = answer;
        host->pastFirstPage = pastFirstPage;
        RunSavePipeline(*host);
        return host;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bank = std::make_unique<LocalQuestionBank>();
        m_client = std::make_unique<CCommunicator>(m_bank->baseUrl());
        QVERIFY(m_client->StartSession());
        QVERIFY(m_client->Login(QStringLiteral("demo"), QStringLiteral("demo1234")));
        QVERIFY(m_folder.isValid());
    }

    // The stages in the order the user is shown them, the metadata read again just before the upload, and
    // the empty explanation left out of the upload but still converted.
    void uploadsInTheOrderOfItsStages()
    {
        const QStringList expected =
            stoppedAfter(callsUpToTheDocuments() + QStringList{stage(30, Msg::kStageTrim), stage(40), stage(50),
                                                               stage(60, Msg::kStageConvert), stage(70), stage(80),
                                                               stage(90, Msg::kStageUpload), QStringLiteral("fields"),
                                                               stage(100, Msg::kStageDone)},
                         true);
        QCOMPARE(save(QStringLiteral("순서"))->calls, expected);

        const CMapStringToString record = stored(QStringLiteral("순서"));
        QCOMPARE(QByteArray::fromBase64(record.Value("q_hwp").toLatin1()), QByteArray("firstq"));
        QCOMPARE(QByteArray::fromBase64(record.Value("a_hwp").toLatin1()), QByteArray("firsta"));
        QVERIFY(record.Value("d_hwp").isEmpty());
        QVERIFY(!record.Value("q_png").isEmpty());
        QVERIFY(record.Value("d_png").isEmpty());
        // Converted all the same, and the bitmaps are gone once their PNG is written.
        for (DocumentSlot slot : kAllDocumentSlots) {
            QVERIFY2(QFileInfo::exists(PngPath(folder(), slot)), qPrintable(PngPath(folder(), slot)));
            QVERIFY(!QFileInfo::exists(PageImagePath(folder(), slot)));
        }
    }

    // A question that is stored already is overwritten only on Yes; No ends the save before the editors
    // are asked for anything, and the stored question stays as it was.
    void overwritesOnlyOnYes()
    {
        const QString overwriteLine =
            QStringLiteral("ask yes/no %1: %2").arg(text(Msg::kCaptionConfirm), text(Msg::kOverwriteQuestion));
        const QString prob = QStringLiteral("덮어쓰기");
        const QStringList first = save(prob)->calls;
        QVERIFY(!first.contains(overwriteLine));
        QCOMPARE(first.last(), QStringLiteral("ended: uploaded"));

        QCOMPARE(save(prob, "second", SaveAnswer::No)->calls, stoppedAfter({QStringLiteral("fields"), overwriteLine}));
        QCOMPARE(storedQuestionDocument(prob), QByteArray("firstq"));

        const QStringList third = save(prob, "third")->calls;
        QCOMPARE(third.value(3), overwriteLine);
        QCOMPARE(third.last(), QStringLiteral("ended: uploaded"));
        QCOMPARE(storedQuestionDocument(prob), QByteArray("thirdq"));
    }

    // A document that runs past its first page reaches the bank as that page only: the writer is asked first,
    // with No as the default, and No uploads nothing and claims nothing.
    void asksWhenADocumentRunsPastItsFirstPage()
    {
        const QString note = QStringLiteral("문제, 해설 내용이 첫 쪽을 넘습니다. 첫 쪽만 등록됩니다.");
        const QString asked = QStringLiteral("ask yes/no Confirm: ") + note + QStringLiteral(" 저장하시겠습니까?");
        for (const SaveAnswer answer : {SaveAnswer::No, SaveAnswer::Yes}) {
            const auto host =
                save(QStringLiteral("첫 쪽"), "first", answer, {DocumentSlot::Question, DocumentSlot::Explanation});
            if (answer == SaveAnswer::No) {
                QCOMPARE(host->calls, stoppedAfter({QStringLiteral("fields"), asked}));
                QVERIFY(stored(QStringLiteral("첫 쪽")).Value("q_hwp").isEmpty());
            } else {
                QCOMPARE(host->calls.value(3), asked);
                QCOMPARE(host->calls.last(), QStringLiteral("ended: uploaded"));
            }
            QCOMPARE(host->questions.first().defaultAnswer, SaveAnswer::No);
            QCOMPARE(host->questions.first().unattendedNote, note);
        }
    }

    // Each way a save stops: what the user is told, that the host is told the save ended with nothing
    // uploaded, and that nothing reached the server.
    void stopsWithoutUploading_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("calls");
        const QString error = QStringLiteral("ask ok %1: ").arg(text(Msg::kCaptionError));
        QTest::newRow("no category") << "no category" << stoppedAfter({});
        QTest::newRow("no metadata") << "no metadata" << stoppedAfter({QStringLiteral("fields")});
        QTest::newRow("unreachable server")
            << "unreachable server"
            << stoppedAfter({QStringLiteral("fields"),
                             error +
                                 text(Msg::kDuplicateCheckFailed).arg(CategoryMessageLabel(Category::DailyProject)) +
                                 QStringLiteral("<last error>")});
        QTest::newRow("page image not written")
            << "page image not written"
            << stoppedAfter({QStringLiteral("fields"), stage(10, Msg::kStageRender),
                             QStringLiteral("editors: page images"),
                             error + text(Msg::kPageImageNotWritten).arg(QStringLiteral("답안: disk full"))});
        QTest::newRow("empty question") << "empty question"
                                        << stoppedAfter(callsUpToTheDocuments() +
                                                        QStringList{stage(30, Msg::kStageTrim),
                                                                    error + text(Msg::kQuestionEmpty)});
    }

    void stopsWithoutUploading()
    {
        QFETCH(QString, failure);
        QFETCH(QStringList, calls);
        CCommunicator unreachable(QStringLiteral("https://127.0.0.1:1/"));
        ScriptedHost host(failure == "unreachable server" ? &unreachable : m_client.get(), folder());
        const QString prob = QStringLiteral("실패 ") + failure;
        host.fields = dailyFields(prob);
        if (failure == "no category")
            host.category.reset();
        if (failure == "no metadata")
            host.fields.reset();
        if (failure == "page image not written")
            host.renderError = QStringLiteral("답안: disk full");
        if (failure == "empty question")
            host.pageHasContent = {false, true, true};

        RunSavePipeline(host);
        if (failure == "unreachable server")
            host.calls[3].replace(unreachable.GetLastErrorText(), QStringLiteral("<last error>"));
        QCOMPARE(host.calls, calls);
        QVERIFY(stored(prob).Value("q_hwp").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSaveRun)
#include "tst_saverun.moc"
