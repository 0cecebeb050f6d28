#include "workflow/SavePipeline.h"

#include "core/Messages.h"
#include "net/Communicator.h"
#include "workflow/PageImage.h"
#include "workflow/QuestionFiles.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

// How a run ends: with the registration confirmed, with an error box, or quietly (nothing was uploaded and
// there is nothing to say, as after a declined overwrite).
enum class Ending
{
    Uploaded,
    Failed,
    Quiet,
};

struct Outcome
{
    Ending ending;
    QString message;
};

Outcome failed(QString message)
{
    return {Ending::Failed, std::move(message)};
}

// The page images of the three documents, prepared at once. Whatever is not committed is removed when this
// goes, and no preparation outlives it.
class PreparedPages
{
public:
    explicit PreparedPages(const QString& folder)
    {
        for (DocumentSlot slot : kAllDocumentSlots) {
            const int index = SlotIndex(slot);
            m_pages[index] = std::make_unique<PreparedPageImage>(PageImagePath(folder, slot));
            m_threads[index] = DefaultThreadStarter()([page = m_pages[index].get()] { page->Prepare(); });
            // Without a thread of its own the page is prepared here: slower, the same result.
            if (!m_threads[index])
                m_pages[index]->Prepare();
        }
    }
    ~PreparedPages()
    {
        for (std::optional<WorkerThread>& thread : m_threads) {
            if (thread && thread->joinable())
                thread->join();
        }
    }
    PreparedPages(const PreparedPages&) = delete;
    PreparedPages& operator=(const PreparedPages&) = delete;

    // The slot's page once its preparation has ended.
    PreparedPageImage& Ready(DocumentSlot slot)
    {
        std::optional<WorkerThread>& thread = m_threads[SlotIndex(slot)];
        if (thread && thread->joinable())
            thread->join();
        return *m_pages[SlotIndex(slot)];
    }

private:
    std::array<std::unique_ptr<PreparedPageImage>, 3> m_pages;
    std::array<std::optional<WorkerThread>, 3> m_threads;
};

class SaveRun
{
public:
    explicit SaveRun(ISaveHost& host) : m_host(host), m_folder(host.WorkingFolder()) {}

    void Run()
    {
        m_host.SaveStarted({0, QString::fromUtf16(Msg::kStageDuplicateCheck)});

        const Outcome outcome = runSteps();

        if (outcome.ending == Ending::Failed) {
            m_host.Ask({.kind = SaveQuestion::Kind::Error,
                        .caption = QString::fromUtf16(Msg::kCaptionError),
                        .text = outcome.message});
        } else if (outcome.ending == Ending::Uploaded) {
            stage(100, Msg::kStageDone);
            // Long enough to read the confirmation.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        m_host.SaveEnded(outcome.ending == Ending::Uploaded);
    }

private:
    Outcome runSteps()
    {
        const std::optional<Category> category = m_host.CurrentCategory();
        // Without a category there is no metadata and no server operation: nothing to save.
        if (!category)
            return {Ending::Quiet, {}};
        const QString label = CategoryMessageLabel(*category);
        CCommunicator* communicator = m_host.Communicator();
        std::optional<CMapStringToString> request = communicator ? m_host.FieldMap(*category) : std::nullopt;
        if (!request)
            return {Ending::Quiet, {}};

        CMapStringToString reply;
        if (!communicator->CheckDuplicate(*category, &*request, &reply))
            return failed(QString::fromUtf16(Msg::kDuplicateCheckFailed).arg(label) + communicator->GetLastErrorText());
        int stored = 0;
        for (const char* key : {"q_hwp", "q_hml"}) {
            if (!reply.Value(QLatin1String(key)).isEmpty())
                ++stored;
        }
        if (stored != 0 && m_host.Ask({.kind = SaveQuestion::Kind::YesOrNo,
                                       .caption = QString::fromUtf16(Msg::kCaptionConfirm),
                                       .text = QString::fromUtf16(Msg::kOverwriteQuestion)}) != SaveAnswer::Yes)
            return {Ending::Quiet, {}};
        // The bank's readers see the first page of each document only: a writer whose text runs on must know.
        if (const QList<DocumentSlot> past = m_host.DocumentsPastFirstPage(); !past.isEmpty()) {
            QStringList labels;
            for (DocumentSlot slot : past)
                labels.append(SlotTabLabel(slot));
            const QString note = QString::fromUtf16(Msg::kPastFirstPage).arg(labels.join(QStringLiteral(", ")));
            if (m_host.Ask({.kind = SaveQuestion::Kind::YesOrNo,
                            .caption = QString::fromUtf16(Msg::kCaptionConfirm),
                            .text = note + QString::fromUtf16(Msg::kPastFirstPageQuestion),
                            .defaultAnswer = SaveAnswer::No,
                            .unattendedNote = note}) != SaveAnswer::Yes)
                return {Ending::Quiet, {}};
        }

        // Without the folder every file below fails, and the first failure would look like an empty question.
        QString folderError;
        if (!MakeWorkingFolder(m_folder, &folderError))
            return failed(QString::fromUtf16(Msg::kWorkingFolderUnusable).arg(m_folder, folderError));
        // Nothing left from an earlier run may be taken for this run's output.
        for (DocumentSlot slot : kAllDocumentSlots) {
            for (const QString& path :
                 {PageImagePath(m_folder, slot), PngPath(m_folder, slot), HwpPath(m_folder, slot)}) {
                if (QFileInfo(path).isFile() && !QFile::remove(path))
                    return failed(QString::fromUtf16(Msg::kFileNotRemovable).arg(path));
            }
        }

        stage(10, Msg::kStageRender);
        // A page image that was not written would pass for an empty page, and an answer or explanation would
        // then go up as nothing, replacing the stored one.
        const QString renderError = m_host.RunEditorStep(EditorStep::RenderPageImages);
        if (!renderError.isEmpty())
            return failed(QString::fromUtf16(Msg::kPageImageNotWritten).arg(renderError));
        stage(20, Msg::kStageSaveDocuments);
        m_host.RunEditorStep(EditorStep::SaveDocuments);

        stage(30, Msg::kStageTrim);
        // The three pages are trimmed and converted at once, each on a thread of its own; the steps below
        // commit the results in their order and with their reports.
        PreparedPages pages(m_folder);
        if (!pages.Ready(DocumentSlot::Question).CommitTrim())
            return failed(QString::fromUtf16(Msg::kQuestionEmpty));
        bool present[3] = {true, true, true};
        stage(40);
        present[1] = pages.Ready(DocumentSlot::Answer).CommitTrim();
        stage(50);
        present[2] = pages.Ready(DocumentSlot::Explanation).CommitTrim();

        int position = 60;
        for (DocumentSlot slot : kAllDocumentSlots) {
            if (slot == DocumentSlot::Question)
                stage(position, Msg::kStageConvert);
            else
                stage(position);
            position += 10;
            QString pngPath;
            QString error;
            // An empty answer or explanation is converted too, but it is not uploaded, so its failure is
            // no reason to stop.
            if (!pages.Ready(slot).CommitPng(pngPath, &error) && present[SlotIndex(slot)])
                return failed(error);
        }

        CMapStringToString hwpFiles;
        CMapStringToString pngFiles;
        for (DocumentSlot slot : kAllDocumentSlots) {
            if (!present[SlotIndex(slot)])
                continue;
            const QChar letter = SlotFileLetter(slot);
            for (const QString& path : {HwpPath(m_folder, slot), PngPath(m_folder, slot)}) {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    return failed(QString::fromUtf16(Msg::kFileUnreadable).arg(SlotTabLabel(slot), path));
            }
            hwpFiles.SetAt(letter + QStringLiteral("_hwp"), HwpPath(m_folder, slot));
            pngFiles.SetAt(letter + QStringLiteral("_png"), PngPath(m_folder, slot));
        }
        stage(90, Msg::kStageUpload);

        std::optional<CMapStringToString> metadata = m_host.FieldMap(*category);
        if (!metadata)
            return {Ending::Quiet, {}};
        if (!communicator->InsertQuestion(*category, &*metadata, &hwpFiles, &pngFiles))
            return failed(QString::fromUtf16(Msg::kInsertFailed).arg(label) + communicator->GetLastErrorText());
        return {Ending::Uploaded, {}};
    }

    void stage(int position, const char16_t* status = nullptr)
    {
        m_host.ReportStage({position, status ? QString::fromUtf16(status) : QString()});
    }

    ISaveHost& m_host;
    const QString m_folder;
};

} // namespace

void RunSavePipeline(ISaveHost& host)
{
    SaveRun(host).Run();
}
