#pragma once

#include "core/Vocabulary.h"

#include <QString>

#include <functional>
#include <optional>

class CCommunicator;
class CLoadingDlg;
class COptPanel;
class QWidget;

// What the editors do for a save, on the user-interface thread: render each document's page image, then
// write each document.
enum class EditorStep
{
    RenderPageImages,
    SaveDocuments,
};

// What a save needs of the main window. The save runs on its own thread: everything that touches a window
// goes through RunOnUiThread, which the main window's thread carries out while the worker waits.
class ISaveHost
{
public:
    virtual ~ISaveHost() = default;

    // Runs `work` on the user-interface thread and returns once it has run.
    virtual void RunOnUiThread(const std::function<void()>& work) = 0;

    // User-interface thread only.
    virtual CLoadingDlg* ProgressDialog() = 0;
    virtual QWidget* MainWindow() = 0;
    // Enables or disables the main window's controls.
    virtual void SetInteractive(bool interactive) = 0;
    // The category whose radio button is checked, if any.
    virtual std::optional<Category> CurrentCategory() = 0;
    // The save has ended and shown everything it had to show; `uploaded` when the question was registered.
    virtual void SaveEnded(bool uploaded) = 0;

    // Any thread: the panel's GetFieldMap reads its controls on their own thread.
    virtual COptPanel* Panel(Category category) = 0;
    // Worker only; the main window makes no server call while a save runs.
    virtual CCommunicator* Communicator() = 0;
    // Has the user-interface thread run the editors' step and returns
    // when it has: what went wrong, one line per editor that could not do its part, or nothing. A document
    // that was not written is also found later, when the save reads it.
    virtual QString RunEditorStep(EditorStep step) = 0;
    virtual QString WorkingFolder() const = 0;
    // The program is asked to end: questions are answered No and messages OK without being shown.
    virtual bool StopRequested() const = 0;
};

// Registers the question on screen: duplicate check and overwrite question, page images and documents from
// the editors, trim and PNG conversion, upload, and the outcome. Runs on the save worker.
void RunSavePipeline(ISaveHost& host);
