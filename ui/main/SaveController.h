#pragma once

#include "workflow/SavePipeline.h"
#include "workflow/WorkerThreads.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <mutex>

class CDHwpCtrl;
class CLoadingDlg;
class COptPanel;
class QWidget;

// What a save needs of the main window. Every function is called on the user-interface thread.
struct SaveWindow
{
    QWidget* window = nullptr; // owns the progress window, which is centred on it
    std::function<std::optional<Category>()> currentCategory;
    std::function<COptPanel*(Category)> panel;
    std::function<CDHwpCtrl*(DocumentSlot)> editor;
    std::function<CCommunicator*()> communicator;
    // Opens or shuts the window's controls to the user.
    std::function<void(bool interactive)> setInteractive;
    // The save has ended: the progress window is gone and the controls are open again.
    std::function<void(bool uploaded)> ended;
    QString workingFolder;
};

// Hosts the save for the main window: starts the worker, shows the progress window, answers the worker's
// calls on the user-interface thread, and finishes a save that runs when the program is asked to end.
//
// The worker reaches the user-interface thread in one way only: it resets the editor-done event, posts a call
// to this object and waits for the event, which is set once the call has run (or was dropped unrun). The
// event's own lock orders what the user-interface thread did before what the worker does next, which the
// thread sanitizer can see, unlike Qt's blocking connections.
class SaveController : public QObject, public ISaveHost
{
    Q_OBJECT

public:
    enum class StartResult
    {
        Started,
        AlreadyRunning,
        NoThread,
    };

    explicit SaveController(SaveWindow window, ThreadStarter starter = DefaultThreadStarter());
    // Only when no save is active: the worker is joined here.
    ~SaveController() override;

    StartResult Start();
    // From Start to the end of the save as the user sees it.
    bool IsActive() const { return m_active; }
    // No worker thread exists any more (it gives its slot back a moment after the save has ended).
    bool WorkerIdle() const { return !m_worker.IsRunning(); }
    // The program is asked to end: the open box is answered, and what the save asks from here on is
    // answered No, or OK, without being shown.
    void RequestStop();
    CLoadingDlg* ProgressDialog() const { return m_progress; }

    // ISaveHost: called by the worker.
    void SaveStarted(const SaveStage& first) override;
    void ReportStage(const SaveStage& stage) override;
    SaveAnswer Ask(const SaveQuestion& question) override;
    void SaveEnded(bool uploaded) override;
    std::optional<Category> CurrentCategory() override;
    std::optional<CMapStringToString> FieldMap(Category category) override;
    QString RunEditorStep(EditorStep step) override;
    QList<DocumentSlot> DocumentsPastFirstPage() override;
    CCommunicator* Communicator() override;
    QString WorkingFolder() const override { return m_window.workingFolder; }

protected:
    bool event(QEvent* event) override;

private:
    // Runs `work` on the user-interface thread and returns once it has run; `type` names the call.
    void runOnUiThread(int type, const std::function<void()>& work);
    QString OnRenderPageImages();
    void OnSaveHwp();

    const SaveWindow m_window;
    CLoadingDlg* m_progress; // owned by the window, as its child
    bool m_active = false;   // as the user-interface thread sees it
    std::atomic<bool> m_stopRequested{false};
    CManualResetEvent m_editorDone;
    // Held by the worker while it makes a call and by the user-interface thread before it runs one. The call goes
    // across in Qt's event queue, whose locking ThreadSanitizer cannot see; this lock shows it that the call was
    // made before it runs.
    std::mutex m_handOff;
    // Declared last: the worker is joined before anything it used goes away.
    CSaveWorker m_worker;
};
