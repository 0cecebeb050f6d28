#include "ui/main/CTarvixDlg.h"

#include "core/Shortcuts.h"
#include "editor/CDHwpCtrl.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/CLoginDlg.h"
#include "ui/main/CLoadingDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>

// The window's keys and its ending: the shortcut table before any control sees a key, Escape that never
// ends the window, and a close or quit that waits for a running save and for every loop a box, dialog, menu
// or drag runs of its own.

bool CTarvixDlg::isInsideEditor(const QObject* object) const
{
    for (const CDHwpCtrl* editor : m_editors) {
        const auto* widget = qobject_cast<const QWidget*>(object);
        if (editor && widget && (widget == editor || editor->isAncestorOf(widget)))
            return true;
    }
    return false;
}

bool CTarvixDlg::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // Keys of this window only: boxes, dialogs and pop-up lists keep theirs.
    if (!widget || widget->window() != this)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // Before the focused control sees the key, so the editors never get the table's keys while it is on.
    if (const auto command = ShortcutCommand(key->key(), key->modifiers()); command && !m_bHotKeyOff) {
        event->accept();
        if (type == QEvent::KeyPress)
            OnCommand(*command);
        return true;
    }
    // Escape never ends the main window; inside an editor it is the editor's key.
    if (type == QEvent::KeyPress && key->key() == Qt::Key_Escape && !isInsideEditor(watched))
        return true;
    return false;
}

void CTarvixDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTarvixDlg::RequestQuit()
{
    if (IsSaveRunning()) {
        // Finish the save first: it may be waiting for this thread, so the event loop must go on.
        m_quitRequested = true;
        m_save->RequestStop();
        return;
    }
    done(QDialog::Rejected);
}

void CTarvixDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    // The window is shut to the user while a save runs, its close button too, as the progress window's own
    // is: the save goes on, and its boxes are shown.
    if (IsSaveRunning() || !ConfirmDiscard())
        return;
    // The writer chose to let the work go: no copy of it is offered at the next start.
    if (HasUnsavedWork() && !MessageBox::Unattended())
        markClean();
    RequestQuit();
}

void CTarvixDlg::done(int result)
{
    if (IsSaveRunning()) {
        RequestQuit();
        return;
    }
    // A box, dialog, menu or drag with an event loop of its own has the code that opened it on the stack
    // below: deleting the windows now would pull its objects from under it. Each loop is closed as if
    // cancelled, and the window goes when they have all returned.
    if (insideNestedLoop()) {
        closeNestedLoops();
        if (!m_endDeferred) {
            m_endDeferred = true;
            // What the cancelled code asks next is answered unseen rather than flashed on the way out.
            MessageBox::AnswerUnseen(true);
            auto* retry = new QTimer(this);
            retry->setInterval(10);
            connect(retry, &QTimer::timeout, this, [this, retry, result] {
                if (insideNestedLoop()) {
                    closeNestedLoops();
                    return;
                }
                retry->stop();
                retry->deleteLater();
                m_endDeferred = false;
                done(result);
            });
            retry->start();
        }
        return;
    }
    Shutdown();
    QDialog::done(result);
}

bool CTarvixDlg::insideNestedLoop() const
{
    return QThread::currentThread()->loopLevel() > m_homeLoopLevel;
}

void CTarvixDlg::closeNestedLoops()
{
    MessageBox::DismissOpen();
    // A submenu stands on its menu: close from the top.
    for (int i = 0; i < 16; ++i) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            break;
        popup->close();
    }
    QDrag::cancel();
    // The login and progress windows run no loop of their own: they go with this window. Closing one dialog
    // may delete another.
    QList<QPointer<QDialog>> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != this && dialog != m_loginDlg.get() && dialog != ProgressDialog() &&
            dialog->isVisible() && dialog->isModal())
            dialogs.append(dialog);
    }
    for (const QPointer<QDialog>& dialog : std::as_const(dialogs)) {
        if (dialog)
            dialog->reject();
    }
}
