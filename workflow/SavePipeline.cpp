#include "workflow/SavePipeline.h"

#include "net/Communicator.h"
#include "options/OptPanel.h"
#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"
#include "workflow/CLoadingDlg.h"
#include "workflow/PageImage.h"
#include "workflow/QuestionFiles.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
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

class SaveRun
{
public:
    explicit SaveRun(ISaveHost& host) : m_host(host), m_folder(host.WorkingFolder()) {}

    void Run()
    {
        m_host.RunOnUiThread([this] {
            CLoadingDlg* progress = m_host.ProgressDialog();
            progress->SetBusy(1);
            progress->SetProgressPos(0);
            progress->SetStatusText(QString::fromUtf16(Msg::kStageDuplicateCheck));
            progress->CenterOn(m_host.MainWindow());
            progress->show();
            m_host.SetInteractive(false);
        });

        const Outcome outcome = runSteps();

        if (outcome.ending == Ending::Failed) {
            showBox(QMessageBox::Critical, QString::fromUtf16(Msg::kCaptionError), outcome.message, QMessageBox::Ok);
        } else if (outcome.ending == Ending::Uploaded) {
            stage(100, Msg::kStageDone);
            // Long enough to read the confirmation.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        m_host.RunOnUiThread([this, uploaded = outcome.ending == Ending::Uploaded] {
            CLoadingDlg* progress = m_host.ProgressDialog();
            progress->SetBusy(0);
            progress->hide();
            m_host.SetInteractive(true);
            m_host.SaveEnded(uploaded);
        });
    }

private:
    Outcome runSteps()
    {
        std::optional<Category> category;
        m_host.RunOnUiThread([&] { category = m_host.CurrentCategory(); });
        // Without a category there is no panel and no server operation: nothing to save.
        if (!category)
            return {Ending::Quiet, {}};
        const QString label = CategoryMessageLabel(*category);
        COptPanel* panel = m_host.Panel(*category);
        CCommunicator* communicator = m_host.Communicator();
        if (!panel || !communicator)
            return {Ending::Quiet, {}};

        CMapStringToString request;
        CMapStringToString reply;
        panel->GetFieldMap(request);
        if (!communicator->CheckDuplicate(*category, &request, &reply))
            return failed(QString::fromUtf16(Msg::kDuplicateCheckFailed).arg(label) + communicator->GetLastErrorText());
        int stored = 0;
        for (const char* key : {"q_hwp", "q_hml"}) {
            if (!reply.Value(QLatin1String(key)).isEmpty())
                ++stored;
        }
        if (stored != 0 && showBox(QMessageBox::Question, QString::fromUtf16(Msg::kCaptionConfirm),
                                   QString::fromUtf16(Msg::kOverwriteQuestion),
                                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return {Ending::Quiet, {}};

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
        if (!TrimPageImage(PageImagePath(m_folder, DocumentSlot::Question)))
            return failed(QString::fromUtf16(Msg::kQuestionEmpty));
        bool present[3] = {true, true, true};
        stage(40);
        present[1] = TrimPageImage(PageImagePath(m_folder, DocumentSlot::Answer));
        stage(50);
        present[2] = TrimPageImage(PageImagePath(m_folder, DocumentSlot::Explanation));

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
            if (!ConvertPageImageToPng(PageImagePath(m_folder, slot), pngPath, &error) && present[SlotIndex(slot)])
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

        CMapStringToString metadata;
        panel->GetFieldMap(metadata);
        if (!communicator->InsertQuestion(*category, &metadata, &hwpFiles, &pngFiles))
            return failed(QString::fromUtf16(Msg::kInsertFailed).arg(label) + communicator->GetLastErrorText());
        return {Ending::Uploaded, {}};
    }

    // The position first, then the status text; without a text the previous one stays.
    void stage(int position, const char16_t* status = nullptr)
    {
        m_host.RunOnUiThread([this, position, status] {
            CLoadingDlg* progress = m_host.ProgressDialog();
            progress->SetProgressPos(position);
            if (status)
                progress->SetStatusText(QString::fromUtf16(status));
        });
    }

    QMessageBox::StandardButton showBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons)
    {
        QMessageBox::StandardButton answer = (buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
        m_host.RunOnUiThread([&] {
            if (!m_host.StopRequested())
                answer = MessageBox::Show(m_host.ProgressDialog(), icon, caption, text, buttons);
        });
        return answer;
    }

    ISaveHost& m_host;
    const QString m_folder;
};

} // namespace

void RunSavePipeline(ISaveHost& host)
{
    SaveRun(host).Run();
}
