#include "ui/main/CTarvixDlg.h"

#include "core/Messages.h"
#include "core/Permission.h"
#include "core/Settings.h"
#include "core/Shortcuts.h"
#include "editor/CDHwpCtrl.h"
#include "editor/PageView.h"
#include "net/Communicator.h"
#include "net/ServerAddress.h"
#include "options/COptDailyProjectDlg.h"
#include "options/COptEducationDlg.h"
#include "options/COptSchool2015Dlg.h"
#include "options/COptSchoolMidDlg.h"
#include "options/COptTimestoneDlg.h"
#include "ui/dialogs/CLoginDlg.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/main/CAboutDlg.h"
#include "ui/main/CLoadingDlg.h"
#include "workflow/QuestionFiles.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <memory>

namespace {

// A start-up step that failed; its message has been shown.
struct InitFailure
{
};

void initError(QWidget* owner, const QString& text)
{
    MessageBox::Show(owner, QMessageBox::Critical, QString::fromUtf16(Msg::kCaptionError), text);
    throw InitFailure{};
}

// The number at the start of a text, as the C library reads it: blanks, a sign, digits; 0 when there is none.
int leadingDecimal(const QString& text)
{
    return std::atoi(text.toLatin1().constData());
}

} // namespace

QString CTarvixDlg::DefaultRecoveryFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/recovery/unsaved-work");
}

CTarvixDlg::CTarvixDlg(MainWindowSetup setup, QWidget* parent)
    : QDialog(parent), m_setup(std::move(setup)), m_settings(*m_setup.settings)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf16(Msg::kMainWindowTitle));
    setWindowIcon(ProgramIcon());
    QFont windowFont(QStringLiteral("나눔고딕 Light"));
    windowFont.setPointSize(9);
    windowFont.setWeight(QFont::Light);
    setFont(windowFont);
    m_strWorkingFolder = m_setup.workingFolder.isEmpty() ? DefaultWorkingFolder() : m_setup.workingFolder;
    if (!m_strWorkingFolder.endsWith(u'/'))
        m_strWorkingFolder += u'/';
    m_homeLoopLevel = QThread::currentThread()->loopLevel();
}

CTarvixDlg::~CTarvixDlg()
{
    Shutdown();
}

bool CTarvixDlg::OnInitDialog()
{
    // What the editors tell and ask the writer goes through the program's boxes, as everything else does.
    CDHwpCtrl::SetAsker(&MessageBox::Show);
    buildLayout();

    // No system menu of our own on Linux desktops: the items live on the window's context menu.
    auto* searchQuestion = new QAction(QString::fromUtf16(Msg::kSearchQuestionItem), this);
    searchQuestion->setObjectName(QStringLiteral("searchQuestionAction"));
    searchQuestion->setEnabled(false);
    auto* about = new QAction(QString::fromUtf16(Msg::kAboutItem), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &CTarvixDlg::OnAbout);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    m_body->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_body->addActions({searchQuestion, separator, about});
    addAction(about);

    QDir().mkpath(m_strWorkingFolder);
    RegisterSecurityModulePath(m_strWorkingFolder);

    for (Category category : kAllCategories) {
        COptPanel* panel = nullptr;
        switch (category) {
        case Category::Education2015:
            panel = new COptEducation2015Dlg(&m_settings, m_panelArea);
            break;
        case Category::Education2022:
            panel = new COptEducation2022Dlg(&m_settings, m_panelArea);
            break;
        case Category::School2015:
            panel = new COptSchool2015Dlg(&m_settings, nullptr, m_panelArea);
            break;
        case Category::SchoolMid:
            panel = new COptSchoolMidDlg(&m_settings, nullptr, m_panelArea);
            break;
        case Category::Timestone:
            panel = new COptTimestoneDlg(&m_settings, m_panelArea);
            break;
        case Category::DailyProject:
            panel = new COptDailyProjectDlg(&m_settings, m_panelArea);
            break;
        }
        static_cast<QGridLayout*>(m_panelArea->layout())->addWidget(panel, 0, 0);
        panel->setVisible(category == Category::Education2015);
        m_panels[std::size_t(category)] = panel;
    }

    SaveWindow saveWindow;
    saveWindow.window = this;
    saveWindow.currentCategory = [this] { return CurrentCategory(); };
    saveWindow.panel = [this](Category category) { return Panel(category); };
    saveWindow.editor = [this](DocumentSlot slot) { return Editor(slot); };
    saveWindow.communicator = [this] { return m_pCommunicator.get(); };
    saveWindow.setInteractive = [this](bool interactive) { m_body->setEnabled(interactive); };
    saveWindow.ended = [this](bool uploaded) { OnSaveEnded(uploaded); };
    saveWindow.workingFolder = m_strWorkingFolder;
    m_save = std::make_unique<SaveController>(std::move(saveWindow), m_setup.startSaveThread ? m_setup.startSaveThread
                                                                                             : DefaultThreadStarter());

    try {
        if (!createEditors())
            throw InitFailure{};
        SetupToolbars(m_editors);
        for (DocumentSlot slot : kAllDocumentSlots)
            Editor(slot)->setVisible(slot == DocumentSlot::Question);
        RegisterSecurityModule(m_editors);
        PrepareEditors(m_editors);
        orderTabStops();
        radio(Category::Education2015)->setChecked(true);

        m_pCommunicator = m_setup.makeCommunicator ? m_setup.makeCommunicator()
                                                   : std::make_unique<CCommunicator>(ServerBaseUrl(m_settings));
        if (!m_pCommunicator)
            initError(this, QString::fromUtf16(Msg::kCommunicatorInstanceFailed));
        for (COptPanel* panel : m_panels)
            panel->SetCommunicator(m_pCommunicator.get());
        if (!checkServerVersion())
            initError(this, QString::fromUtf16(Msg::kCommunicatorVersionFailed));
    } catch (const InitFailure&) {
        // The window never comes up; nothing of this run is worth remembering.
        QDialog::done(QDialog::Rejected);
        return false;
    }

    m_recovery = std::make_unique<CRecoveryFile>(
        m_setup.recoveryFile.isEmpty() ? DefaultRecoveryFile() : m_setup.recoveryFile,
        [this](bool ok, const QString& error) {
            if (MessageBox::Reporting())
                MessageBox::Report(ok ? QStringLiteral("recovery: written")
                                      : QStringLiteral("recovery: not written: ") + error);
            // A writer who relies on the copy must know when there is none (a full disk, a folder that
            // cannot be written); the window says so until a copy is written again.
            QMetaObject::invokeMethod(
                this,
                [this, ok, error] {
                    m_lblLastAction->setText(ok ? m_lastAction
                                                : QString::fromUtf16(Msg::kRecoveryNotWritten).arg(error));
                    m_lblLastAction->setToolTip(m_lblLastAction->text());
                },
                Qt::QueuedConnection);
        });
    // Not at every key: a few seconds after a change, while the writer goes on, and at most that often.
    m_autosave = new QTimer(this);
    m_autosave->setSingleShot(true);
    m_autosave->setInterval(m_setup.autosaveDelayMs);
    connect(m_autosave, &QTimer::timeout, this, [this] {
        if (!m_recoveryResolved || m_shutDown)
            return;
        if (HasUnsavedWork())
            m_recovery->WriteLater(unsavedWork());
        else
            m_recovery->RemoveLater();
    });
    for (CDHwpCtrl* editor : m_editors)
        connect(editor, &CDHwpCtrl::documentChanged, this, &CTarvixDlg::onDocumentChanged);

    qApp->installEventFilter(this);
    m_bHotKeyOff = ReadSetting(m_settings, Setting::HotKeyOff).toInt() != 0;
    m_chkHotKeyOff->setChecked(m_bHotKeyOff);
    m_initialised = true;
    QCoreApplication::postEvent(this, new MainWindowMessage(UM_LOGIN));
    return true;
}

bool CTarvixDlg::createEditors()
{
    for (DocumentSlot slot : kAllDocumentSlots) {
        CDHwpCtrl* editor = m_setup.makeEditor ? m_setup.makeEditor(slot) : new (std::nothrow) CDHwpCtrl;
        if (!editor)
            initError(this, QString::fromUtf16(Msg::kEditorAllocationFailed).arg(SlotTabLabel(slot)));
        m_editors[std::size_t(SlotIndex(slot))] = editor;
    }
    auto* grid = static_cast<QGridLayout*>(m_editorArea->layout());
    for (DocumentSlot slot : kAllDocumentSlots) {
        CDHwpCtrl* editor = Editor(slot);
        if (!editor->Create(m_editorArea->rect(), m_editorArea, SlotEditorControlId(slot))) {
            if (slot == DocumentSlot::Question)
                initError(this, QString::fromUtf16(Msg::kEditorMissing));
            return false;
        }
        grid->addWidget(editor, 0, 0);
        // The view takes the keyboard, so it is what a screen reader announces; the editor says the same.
        editor->setAccessibleName(SlotEditorName(slot));
        editor->View()->setAccessibleName(SlotEditorName(slot));
    }
    if ((Editor(DocumentSlot::Question)->ControlVersion() >> 24) < 8)
        initError(this, QString::fromUtf16(Msg::kEditorMissing));
    return true;
}

bool CTarvixDlg::checkServerVersion()
{
    QString version;
    if (!m_pCommunicator->GetVersion(version))
        return false;
    if (version.compare(QLatin1String("45"), Qt::CaseInsensitive) != 0) {
        const QVariant stored = ReadSetting(m_settings, Setting::DownloadUrl);
        const QString address =
            stored.isNull() ? ServerBaseUrl(m_settings) + QStringLiteral("download") : stored.toString();
        MessageBox::Show(this, QMessageBox::Critical, QString::fromUtf16(Msg::kCaptionWarning),
                         QString::fromUtf16(Msg::kUpdateAvailable).arg(address));
    }
    return true;
}

void CTarvixDlg::OnLogin()
{
    // Modal for the whole program, but without an event loop of its own: the answer arrives as `finished`.
    // Shown, not opened: open() would make it modal to its parent window only, and it has none, so the main
    // window behind would take keys and clicks before anyone has logged in.
    m_loginDlg = std::make_unique<CLoginDlg>(m_settings);
    m_loginDlg->SetCommunicator(m_pCommunicator.get());
    m_loginDlg->setWindowModality(Qt::ApplicationModal);
    connect(m_loginDlg.get(), &QDialog::finished, this, &CTarvixDlg::OnLoginFinished);
    m_loginDlg->show();
    // The keyboard goes to the dialog even where no window manager hands it the focus.
    m_loginDlg->raise();
    m_loginDlg->activateWindow();
}

void CTarvixDlg::OnLoginFinished(int result)
{
    if (m_loginDlg)
        m_loginDlg->deleteLater();
    m_loginDlg.release();
    if (result != QDialog::Accepted) {
        done(QDialog::Rejected);
        return;
    }
    ApplyPermission();
    SelectDocumentTab(0);
    offerRecovery();
}

void CTarvixDlg::offerRecovery()
{
    if (!m_recovery->Exists()) {
        m_recoveryResolved = true;
        return;
    }
    QString error;
    const std::optional<UnsavedWork> work = m_recovery->Read(&error);
    if (!work) {
        // Asked about at every start, a file that cannot be read would stand in the way of the next copy.
        const QString path = QDir::toNativeSeparators(m_recovery->Path());
        const QString aside = m_recovery->SetAside();
        m_recoveryResolved = !aside.isEmpty();
        MessageBox::Error(this, QString::fromUtf16(Msg::kRecoveryUnreadable)
                                    .arg(path, error, QDir::toNativeSeparators(aside.isEmpty() ? path : aside)));
        return;
    }
    const QMessageBox::StandardButton answer =
        MessageBox::Show(this, QMessageBox::Question, QString::fromUtf16(Msg::kCaptionConfirm),
                         QString::fromUtf16(Msg::kRecoverQuestion), QMessageBox::Yes | QMessageBox::No,
                         QMessageBox::Yes);
    // Told to end while the question waited: it was not answered, and the next start asks again.
    if (m_endDeferred || m_quitRequested || m_shutDown)
        return;
    m_recoveryResolved = true;
    if (answer == QMessageBox::Yes)
        restore(*work);
    else
        m_recovery->RemoveLater();
}

void CTarvixDlg::restore(const UnsavedWork& work)
{
    QStringList unopened;
    for (DocumentSlot slot : kAllDocumentSlots) {
        CDHwpCtrl* editor = Editor(slot);
        const QByteArray& document = work.documents[std::size_t(SlotIndex(slot))];
        // Nothing kept for an editor that could not give its document: it stays as the start left it.
        if (!document.isEmpty() && !editor->OpenNativeData(document))
            unopened.append(
                QString::fromUtf16(Msg::kRecoveredDocumentNotOpened).arg(SlotTabLabel(slot), editor->LastOpenError()));
        // Still not saved: a close asks, and the copy stays until a save.
        editor->SetModified(true);
    }
    if (const std::optional<Category> category = CategoryFromRadioId(work.categoryRadioId)) {
        // A category the user may no longer choose keeps its fields in its panel, out of sight.
        if (radio(*category)->isEnabled()) {
            radio(*category)->setChecked(true);
            SwitchCategory(work.categoryRadioId);
        }
        CMapStringToString fields = work.fields;
        Panel(*category)->SetFieldMap(fields);
    }
    SelectDocumentTab(0);
    if (!unopened.isEmpty())
        MessageBox::Error(this, unopened.join(QStringLiteral("\r\n\r\n")));
}

UnsavedWork CTarvixDlg::unsavedWork()
{
    UnsavedWork work;
    for (DocumentSlot slot : kAllDocumentSlots)
        work.documents[std::size_t(SlotIndex(slot))] = Editor(slot)->NativeData();
    if (const std::optional<Category> category = CurrentCategory()) {
        work.categoryRadioId = CategoryRadioId(*category);
        Panel(*category)->GetFieldMap(work.fields);
    }
    return work;
}

bool CTarvixDlg::HasUnsavedWork() const
{
    return std::any_of(m_editors.begin(), m_editors.end(),
                       [](const CDHwpCtrl* editor) { return editor && editor->IsModified(); });
}

bool CTarvixDlg::ConfirmDiscard()
{
    // Unattended runs keep the flow without questions; scripts rely on it.
    if (!HasUnsavedWork() || MessageBox::Unattended())
        return true;
    const QMessageBox::StandardButton answer =
        MessageBox::Show(this, QMessageBox::Question, QString::fromUtf16(Msg::kCaptionConfirm),
                         QString::fromUtf16(Msg::kDiscardUnsaved), QMessageBox::Yes | QMessageBox::No,
                         QMessageBox::No);
    return answer == QMessageBox::Yes && !m_endDeferred && !m_quitRequested && !m_shutDown;
}

void CTarvixDlg::markClean()
{
    for (CDHwpCtrl* editor : m_editors) {
        if (editor)
            editor->SetModified(false);
    }
    if (m_autosave)
        m_autosave->stop();
    if (m_recovery && m_recoveryResolved)
        m_recovery->RemoveLater();
}

void CTarvixDlg::onDocumentChanged()
{
    if (m_recoveryResolved && !m_shutDown && !m_autosave->isActive())
        m_autosave->start();
}

void CTarvixDlg::showLastAction(const char16_t* format, Category category)
{
    CMapStringToString fields;
    Panel(category)->GetFieldMap(fields);
    QStringList identity;
    for (const QString& key : CategoryIdentityFields(category)) {
        const QString value = fields.Value(key).trimmed();
        if (!value.isEmpty())
            identity.append(value);
    }
    m_lastAction = QString::fromUtf16(format).arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                                                  CategoryMessageLabel(category), identity.join(u' '));
    m_lblLastAction->setText(m_lastAction);
    m_lblLastAction->setToolTip(m_lastAction);
    for (DocumentSlot slot : kAllDocumentSlots)
        Editor(slot)->SetFileNameHint(identity.join(u' ') + u' ' + SlotTabLabel(slot));
}

QString CTarvixDlg::LastActionText() const
{
    return m_lblLastAction ? m_lblLastAction->text() : QString();
}

void CTarvixDlg::ApplyPermission()
{
    const QString id = ReadSetting(m_settings, Setting::LastLogin).toString();
    QString permission;
    const int level =
        m_pCommunicator && m_pCommunicator->GetPermission(id, permission) ? leadingDecimal(permission) : 0;

    // A level the server does not know opens nothing and changes nothing.
    if (IsPermissionLevel(level)) {
        std::optional<Category> firstAllowed;
        for (Category category : kAllCategories) {
            if (!PermissionAllows(level, category))
                continue;
            radio(category)->setEnabled(true);
            if (!firstAllowed)
                firstAllowed = category;
        }
        for (QPushButton* button : {m_btnSearch, m_btnSave, m_btnDelete})
            button->setEnabled(firstAllowed.has_value());
        // The category chosen before the login stays, unless the account may not use it.
        const std::optional<Category> shown = CurrentCategory();
        if (shown && !PermissionAllows(level, *shown)) {
            m_radioGroup->setExclusive(false);
            radio(*shown)->setChecked(false);
            m_radioGroup->setExclusive(true);
            if (firstAllowed) {
                radio(*firstAllowed)->setChecked(true);
                SwitchCategory(CategoryRadioId(*firstAllowed));
            }
        }
    }
    m_btnReset->setEnabled(true);
    m_chkHotKeyOff->setEnabled(true);
}

std::optional<Category> CTarvixDlg::CurrentCategory()
{
    for (Category category : kAllCategories) {
        if (radio(category)->isChecked())
            return category;
    }
    return std::nullopt;
}

void CTarvixDlg::SwitchCategory(int radioId)
{
    const std::optional<Category> shown = CategoryFromRadioId(radioId);
    if (!shown)
        return;
    for (Category category : kAllCategories)
        m_panels[std::size_t(category)]->setVisible(category == *shown);
}

COptPanel* CTarvixDlg::Panel(Category category)
{
    return m_panels[std::size_t(category)];
}

void CTarvixDlg::SelectDocumentTab(int index)
{
    // Setting the index only notifies on a change; the editor must be shown and focused either way.
    const bool changes = m_ctlTab->currentIndex() != index;
    m_ctlTab->setCurrentIndex(index);
    if (!changes)
        OnTabChanged(index);
}

void CTarvixDlg::OnTabChanged(int index)
{
    for (DocumentSlot slot : kAllDocumentSlots)
        Editor(slot)->setVisible(SlotIndex(slot) == index);
    // After the click has been handled, so that the tab does not take the focus back.
    QCoreApplication::postEvent(this, new MainWindowMessage(UM_FOCUS_EDITOR, index));
}

void CTarvixDlg::OnReset()
{
    PrepareEditors(m_editors);
    markClean();
    SelectDocumentTab(0);
}

void CTarvixDlg::OnResetCommand()
{
    if (ConfirmDiscard())
        OnReset();
}

void CTarvixDlg::OnSave()
{
    if (!m_save)
        return;
    switch (m_save->Start()) {
    case SaveController::StartResult::Started:
        break;
    case SaveController::StartResult::AlreadyRunning:
        MessageBox::Error(this, QString::fromUtf16(Msg::kSaveAlreadyRunning));
        break;
    case SaveController::StartResult::NoThread:
        MessageBox::Error(this, QString::fromUtf16(Msg::kSaveNotStarted));
        break;
    }
}

void CTarvixDlg::OnCommand(int id)
{
    // While a save runs only the save command answers (that one is running); switching or emptying the
    // editors now would change what is being saved.
    if (IsSaveRunning() && id != ID_SAVE)
        return;
    switch (id) {
    case ID_SAVE:
        // The shortcut follows the button: nothing when the user's permission leaves the save disabled.
        if (m_btnSave->isEnabledTo(m_body))
            OnSave();
        break;
    case ID_SHOW_QUESTION:
    case ID_SHOW_ANSWER:
    case ID_SHOW_EXPLANATION:
        SelectDocumentTab(id - ID_SHOW_QUESTION);
        break;
    case ID_RESET:
        OnResetCommand();
        break;
    default:
        break;
    }
}

void CTarvixDlg::OnSaveEnded(bool uploaded)
{
    // The window was shut to the user throughout: what was registered is what the editors hold.
    if (uploaded) {
        markClean();
        if (const std::optional<Category> category = CurrentCategory())
            showLastAction(Msg::kLastSaved, *category);
    }
    QCoreApplication::postEvent(this, new MainWindowMessage(UM_FOCUS_MAIN));
    if (m_quitRequested)
        QMetaObject::invokeMethod(
            this, [this] { done(QDialog::Rejected); }, Qt::QueuedConnection);
}

void CTarvixDlg::OnAbout()
{
    if (m_aboutDlg)
        return;
    m_aboutDlg = new CAboutDlg(this);
    m_aboutDlg->setAttribute(Qt::WA_DeleteOnClose);
    m_aboutDlg->open();
}

bool CTarvixDlg::event(QEvent* event)
{
    const int type = event->type();
    if (type == CommandEvent::kType) {
        OnCommand(static_cast<CommandEvent*>(event)->Id());
        return true;
    }
    switch (type) {
    case UM_LOGIN:
        OnLogin();
        return true;
    case UM_FOCUS_EDITOR:
        if (const auto slot = SlotFromIndex(static_cast<MainWindowMessage*>(event)->Param())) {
            Editor(*slot)->setFocus(Qt::OtherFocusReason);
            // From here on typed keys reach the editor: a script that types waits for this.
            if (MessageBox::Reporting())
                MessageBox::Report(QStringLiteral("focus: %1").arg(SlotEditorName(*slot)));
        }
        return true;
    case UM_FOCUS_MAIN:
        activateWindow();
        setFocus(Qt::OtherFocusReason);
        return true;
    default:
        return QDialog::event(event);
    }
}

void CTarvixDlg::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    qApp->removeEventFilter(this);
    // Ended without a save, by a signal or a session's end: the copy of the work is brought up to date
    // before the editors go, so that the next start offers all of it.
    if (m_recovery) {
        if (m_recoveryResolved) {
            if (HasUnsavedWork())
                m_recovery->WriteLater(unsavedWork());
            else
                m_recovery->RemoveLater();
        }
        m_recovery->Flush();
    }
    if (m_loginDlg) {
        m_loginDlg->disconnect(this);
        m_loginDlg.reset();
    }
    // A start that failed never read the setting, so it does not write it either.
    if (m_initialised)
        WriteSetting(m_settings, Setting::HotKeyOff, m_chkHotKeyOff->isChecked() ? 1 : 0);
    // Also after a login that was cancelled or never asked for: a session the server opened for an attempt
    // ends here too. The client bounds how long a server that does not answer holds the exit up, and the
    // window is gone meanwhile rather than standing still.
    if (m_pCommunicator) {
        hide();
        m_pCommunicator->Logout();
    }
    m_save.reset();
    // Each panel writes its settings as it goes.
    for (COptPanel*& panel : m_panels) {
        delete panel;
        panel = nullptr;
    }
    for (CDHwpCtrl*& editor : m_editors) {
        delete editor;
        editor = nullptr;
    }
    m_settings.sync();
    MessageBox::AnswerUnseen(false);
}
