#pragma once

#include "editor/EditorPreparation.h"
#include "ui/main/SaveController.h"
#include "ui/main/WindowVocabulary.h"
#include "workflow/RecoveryFile.h"

#include <QDialog>
#include <QPointer>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CCommunicator;
class CMapStringToString;
class CDHwpCtrl;
class CLoadingDlg;
class CLoginDlg;
class COptPanel;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSettings;
class QTabBar;
class QTimer;

// What the main window is built from. Tests replace the parts that reach outside the process.
struct MainWindowSetup
{
    QSettings* settings = nullptr; // the program's settings; must outlive the window
    QString workingFolder;         // empty: DefaultWorkingFolder()
    // Makes the server client; empty: one for ServerBaseUrl(). Giving nothing back fails the start.
    std::function<std::unique_ptr<CCommunicator>()> makeCommunicator;
    // Makes the editor of a slot; empty: the program's own editor. Giving nothing back fails the start.
    std::function<CDHwpCtrl*(DocumentSlot)> makeEditor;
    // Where the copy of unsaved work is kept; empty: DefaultRecoveryFile().
    QString recoveryFile;
    // How long after a change the copy is written.
    int autosaveDelayMs = 3000;
    // Starts the save's thread; empty: a new thread of the system.
    ThreadStarter startSaveThread;
};

// The program's only top-level window: the category choice, the option panel of the category, the commands,
// and the three document editors under their tabs. It owns the server client, the editors, the panels and
// the save's controller, logs in after it has come up, and enables what the user's permission allows.
class CTarvixDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CTarvixDlg(MainWindowSetup setup, QWidget* parent = nullptr);
    ~CTarvixDlg() override;

    // Builds the window's contents, checks the editors and the server version and posts the login. False
    // when a step failed: its message has been shown and the window has ended with Rejected.
    bool OnInitDialog();

    void ApplyPermission();
    // Shows the panel of the category with that radio id; other ids are ignored.
    void SwitchCategory(int radioId);
    // Selects the document tab as a click would: the slot's editor is shown and gets the keyboard focus.
    void SelectDocumentTab(int index);
    // Empties the three editors and shows the first tab, without asking.
    void OnReset();
    // The reset command: asks first when something was written since the last save or load.
    void OnResetCommand();
    // Whether an editor holds changes made since the last save, load or reset.
    bool HasUnsavedWork() const;
    // Before the screen is emptied: true when nothing would be lost, or the user said to go on.
    bool ConfirmDiscard();
    // What the window says of the last save or load.
    QString LastActionText() const;
    // Empties the screen, then fetches the question that the current panel identifies and shows it: its
    // metadata in the panel, its documents in the editors.
    void OnSearch();
    // Writes the documents of a search reply to the working folder and opens them in their editors. False
    // when the reply had no question or a document could not be written.
    bool LoadQuestionDocuments(const CMapStringToString& reply);
    // Deletes the question that the current panel identifies, after the user has confirmed it.
    void OnDelete();
    // Starts the save unless one runs.
    void OnSave();
    // The program is asked to end (a signal, or the window closed while no save runs). A running save is
    // finished first: its open box is answered, and the window closes when the save has ended. A box, dialog,
    // menu or drag that runs an event loop of its own is closed as if cancelled, and the window goes once
    // every such loop has returned.
    void RequestQuit();
    // The level of the event loop that runs the window: a level above it is a loop that a box, dialog, menu
    // or drag opened, which still has the window's objects on its stack. The loop level when the window was
    // made, unless its owner runs a loop of its own for it.
    void SetHomeLoopLevel(int level) { m_homeLoopLevel = level; }

    std::optional<Category> CurrentCategory();
    COptPanel* Panel(Category category);
    bool IsSaveRunning() const { return m_save && m_save->IsActive(); }
    // No save worker thread exists any more (it gives its slot back a moment after the save has ended).
    bool SaveWorkerIdle() const { return !m_save || m_save->WorkerIdle(); }
    CLoadingDlg* ProgressDialog() const { return m_save ? m_save->ProgressDialog() : nullptr; }
    bool HotKeyOff() const { return m_bHotKeyOff; }
    CDHwpCtrl* Editor(DocumentSlot slot) const { return m_editors[std::size_t(SlotIndex(slot))]; }
    EditorSet Editors() const { return m_editors; }
    CLoginDlg* LoginDialog() const { return m_loginDlg.get(); }

    QString WorkingFolder() const { return m_strWorkingFolder; }
    CCommunicator* Communicator() const { return m_pCommunicator.get(); }

    static QString DefaultRecoveryFile();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void buildLayout();
    bool createEditors();
    void orderTabStops();
    bool checkServerVersion();
    void OnLogin();
    void OnLoginFinished(int result);
    void OnTabChanged(int index);
    void OnCommand(int id);
    void OnSaveEnded(bool uploaded);
    void OnAbout();
    void Shutdown();
    bool insideNestedLoop() const;
    void closeNestedLoops();
    bool isInsideEditor(const QObject* object) const;
    // The editors' documents are what was last saved, loaded or reset: no copy of them is needed any more.
    void markClean();
    void onDocumentChanged();
    UnsavedWork unsavedWork();
    // After the login: the work a run that ended without saving left behind, offered back.
    void offerRecovery();
    void restore(const UnsavedWork& work);
    void showLastAction(const char16_t* format, Category category);
    QRadioButton* radio(Category category) const { return m_radios[std::size_t(category)]; }

    MainWindowSetup m_setup;
    QSettings& m_settings;
    std::unique_ptr<CCommunicator> m_pCommunicator;
    QWidget* m_body = nullptr;
    QWidget* m_panelArea = nullptr;
    QWidget* m_editorArea = nullptr;
    QCheckBox* m_chkHotKeyOff = nullptr;
    QTabBar* m_ctlTab = nullptr;
    QPushButton* m_btnSearch = nullptr;
    QPushButton* m_btnSave = nullptr;
    QPushButton* m_btnDelete = nullptr;
    QPushButton* m_btnReset = nullptr;
    QLabel* m_lblLastAction = nullptr;
    QString m_lastAction; // what the label says of the last save or load
    QButtonGroup* m_radioGroup = nullptr;
    std::array<QRadioButton*, 6> m_radios{};
    EditorSet m_editors{};
    std::array<COptPanel*, 6> m_panels{};
    std::unique_ptr<CLoginDlg> m_loginDlg;
    QPointer<QDialog> m_aboutDlg;
    bool m_bHotKeyOff = false;
    QString m_strWorkingFolder;

    bool m_initialised = false;
    bool m_shutDown = false;
    bool m_quitRequested = false;
    bool m_endDeferred = false; // done() waits for the nested loops to return
    int m_homeLoopLevel = 0;
    std::unique_ptr<CRecoveryFile> m_recovery;
    // Off until a copy left by an earlier run has been offered back: until then it is not overwritten.
    bool m_recoveryResolved = false;
    QTimer* m_autosave = nullptr;
    std::unique_ptr<SaveController> m_save;
};
