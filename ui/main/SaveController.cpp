#include "ui/main/SaveController.h"

#include "core/Messages.h"
#include "editor/CDHwpCtrl.h"
#include "editor/PageView.h"
#include "options/OptPanel.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/main/CLoadingDlg.h"
#include "ui/main/WindowVocabulary.h"
#include "workflow/QuestionFiles.h"

#include <QCoreApplication>
#include <QThread>

namespace {

// A call of the worker, posted to the user-interface thread. It sets the worker's event when it goes: after it
// has run, or unrun when its receiver went away first, so the worker never waits for a call that cannot come.
class WorkerCall : public QEvent
{
public:
    WorkerCall(int type, const std::function<void()>& work, CManualResetEvent& done)
        : QEvent(static_cast<QEvent::Type>(type)), m_work(work), m_done(done)
    {
    }
    ~WorkerCall() override { m_done.Set(); }
    WorkerCall(const WorkerCall&) = delete;
    WorkerCall& operator=(const WorkerCall&) = delete;

    void Run() const { m_work(); }

private:
    const std::function<void()>& m_work; // on the stack of the worker, which waits
    CManualResetEvent& m_done;
};

bool isWorkerCall(int type)
{
    return type == UM_SAVE_CALL || type == UM_RENDER_PAGE_IMAGES || type == UM_SAVE_HWP;
}

} // namespace

SaveController::SaveController(SaveWindow window, ThreadStarter starter)
    : m_window(std::move(window)), m_progress(new CLoadingDlg(m_window.window)), m_worker(std::move(starter))
{
    m_progress->hide();
}

SaveController::~SaveController()
{
    m_worker.JoinEnded();
    delete m_progress;
}

SaveController::StartResult SaveController::Start()
{
    if (m_active)
        return StartResult::AlreadyRunning;
    // The last save has ended as far as the user can see; its thread may not have returned yet.
    m_worker.JoinEnded();
    if (!m_worker.Start([](void* host) { RunSavePipeline(*static_cast<SaveController*>(host)); }, this))
        return m_worker.IsRunning() ? StartResult::AlreadyRunning : StartResult::NoThread;
    m_active = true;
    return StartResult::Started;
}

void SaveController::RequestStop()
{
    m_stopRequested = true;
    MessageBox::DismissOpen();
}

void SaveController::runOnUiThread(int type, const std::function<void()>& work)
{
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    m_editorDone.Reset();
    WorkerCall* call = nullptr;
    {
        const std::lock_guard<std::mutex> made(m_handOff);
        call = new WorkerCall(type, work, m_editorDone);
    }
    QCoreApplication::postEvent(this, call);
    m_editorDone.Wait();
}

bool SaveController::event(QEvent* event)
{
    if (isWorkerCall(event->type())) {
        {
            const std::lock_guard<std::mutex> arrived(m_handOff);
        }
        static_cast<WorkerCall*>(event)->Run();
        return true;
    }
    return QObject::event(event);
}

void SaveController::SaveStarted(const SaveStage& first)
{
    runOnUiThread(UM_SAVE_CALL, [this, &first] {
        m_progress->SetBusy(1);
        m_progress->SetProgressPos(first.position);
        m_progress->SetStatusText(first.status);
        m_progress->CenterOn(m_window.window);
        m_progress->show();
        m_window.setInteractive(false);
    });
}

void SaveController::ReportStage(const SaveStage& stage)
{
    runOnUiThread(UM_SAVE_CALL, [this, &stage] {
        m_progress->SetProgressPos(stage.position);
        if (!stage.status.isEmpty())
            m_progress->SetStatusText(stage.status);
    });
}

SaveAnswer SaveController::Ask(const SaveQuestion& question)
{
    const bool yesOrNo = question.kind == SaveQuestion::Kind::YesOrNo;
    SaveAnswer answer = yesOrNo ? SaveAnswer::No : SaveAnswer::Ok;
    runOnUiThread(UM_SAVE_CALL, [&] {
        if (m_stopRequested)
            return;
        // A script that runs the program unattended gets the note on its output, and the save goes on.
        if (!question.unattendedNote.isEmpty() && MessageBox::Unattended() && !MessageBox::HasNextAnswer()) {
            MessageBox::Report(QStringLiteral("save: ") + question.unattendedNote);
            answer = SaveAnswer::Yes;
            return;
        }
        const QMessageBox::StandardButton button =
            MessageBox::Show(m_progress, yesOrNo ? QMessageBox::Question : QMessageBox::Critical, question.caption,
                             question.text, yesOrNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                             !yesOrNo                                   ? QMessageBox::Ok
                             : question.defaultAnswer == SaveAnswer::No ? QMessageBox::No
                                                                        : QMessageBox::Yes);
        if (yesOrNo)
            answer = button == QMessageBox::Yes ? SaveAnswer::Yes : SaveAnswer::No;
    });
    return answer;
}

void SaveController::SaveEnded(bool uploaded)
{
    runOnUiThread(UM_SAVE_CALL, [this, uploaded] {
        m_progress->SetBusy(0);
        m_progress->hide();
        m_window.setInteractive(true);
        m_active = false;
        m_window.ended(uploaded);
    });
}

std::optional<Category> SaveController::CurrentCategory()
{
    std::optional<Category> category;
    runOnUiThread(UM_SAVE_CALL, [&] { category = m_window.currentCategory(); });
    return category;
}

std::optional<CMapStringToString> SaveController::FieldMap(Category category)
{
    std::optional<CMapStringToString> fields;
    runOnUiThread(UM_SAVE_CALL, [&] {
        if (COptPanel* panel = m_window.panel(category)) {
            fields.emplace();
            panel->GetFieldMap(*fields);
        }
    });
    return fields;
}

CCommunicator* SaveController::Communicator()
{
    CCommunicator* communicator = nullptr;
    runOnUiThread(UM_SAVE_CALL, [&] { communicator = m_window.communicator(); });
    return communicator;
}

QString SaveController::RunEditorStep(EditorStep step)
{
    QString error;
    if (step == EditorStep::RenderPageImages)
        runOnUiThread(UM_RENDER_PAGE_IMAGES, [&] { error = OnRenderPageImages(); });
    else
        runOnUiThread(UM_SAVE_HWP, [&] { OnSaveHwp(); });
    return error;
}

QList<DocumentSlot> SaveController::DocumentsPastFirstPage()
{
    QList<DocumentSlot> past;
    runOnUiThread(UM_SAVE_CALL, [&] {
        for (DocumentSlot slot : kAllDocumentSlots) {
            if (m_window.editor(slot)->View()->physicalPageCount() > 1)
                past.append(slot);
        }
    });
    return past;
}

QString SaveController::OnRenderPageImages()
{
    const QString& folder = m_window.workingFolder;
    QStringList failures;
    for (DocumentSlot slot : kAllDocumentSlots) {
        CDHwpCtrl* editor = m_window.editor(slot);
        if (!editor->RenderPageImage(PageImageBase(folder, slot), 0, 500, 24, QStringLiteral("BMP")))
            failures.append(QString::fromUtf16(Msg::kPageImageLine)
                                .arg(SlotTabLabel(slot), PageImagePath(folder, slot), editor->LastRenderError()));
    }
    return failures.join(QStringLiteral("\r\n"));
}

void SaveController::OnSaveHwp()
{
    // A file that could not be written is found by the save before anything is uploaded.
    for (DocumentSlot slot : kAllDocumentSlots)
        m_window.editor(slot)->SaveDocument(HwpPath(m_window.workingFolder, slot), QStringLiteral("HWP"), QString());
}
