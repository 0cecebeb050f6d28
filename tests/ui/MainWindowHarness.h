#pragma once

#include "editor/CDHwpCtrl.h"
#include "editor/PageView.h"
#include "net/Communicator.h"
#include "options/OptPanel.h"
#include "ui/dialogs/CLoginDlg.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/main/CTarvixDlg.h"

#include "tests/support/ScriptedServer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <memory>

// A message of the program's text table as a QString.
inline QString MessageText(const char16_t* message)
{
    return QString::fromUtf16(message);
}

// The boxes answered in advance so far, as "caption|text", and forgotten.
inline QStringList AnsweredTexts()
{
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::TakeAnswered())
        texts.append(shown.caption + u'|' + shown.text);
    return texts;
}

// A main window against a server at `baseUrl`, with a settings file and a working folder of its own.
class MainWindowHarness
{
public:
    explicit MainWindowHarness(QString baseUrl) : m_baseUrl(std::move(baseUrl))
    {
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("Vellorin.conf")), QSettings::IniFormat);
    }

    // A test that failed half-way may leave a save running: let it end rather than pull the window from
    // under it.
    ~MainWindowHarness()
    {
        if (window && window->IsSaveRunning())
            waitForSaveEnd(60000);
    }

    QString workingFolder() const { return dir.filePath(QStringLiteral("work/")); }
    QString recoveryFile() const { return dir.filePath(QStringLiteral("recovery/unsaved-work")); }

    // Builds the window and runs its initialisation; shows it when that succeeded.
    bool start()
    {
        MainWindowSetup setup;
        setup.settings = settings.get();
        setup.workingFolder = workingFolder();
        setup.recoveryFile = recoveryFile();
        setup.autosaveDelayMs = autosaveDelayMs;
        setup.makeCommunicator =
            makeCommunicator ? makeCommunicator : [url = m_baseUrl] { return std::make_unique<CCommunicator>(url); };
        setup.makeEditor = makeEditor;
        setup.startSaveThread = startSaveThread;
        window = std::make_unique<CTarvixDlg>(setup);
        if (!window->OnInitDialog())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // The login dialog once it is on screen, or nothing.
    CLoginDlg* loginDialog()
    {
        if (!QTest::qWaitFor([this] { return window->LoginDialog() && window->LoginDialog()->isVisible(); }, 10000))
            return nullptr;
        return window->LoginDialog();
    }

    // Logs in through the dialog and waits until the permission has been applied.
    bool logIn(const QString& id = QStringLiteral("demo"), const QString& password = QStringLiteral("demo1234"))
    {
        CLoginDlg* dialog = loginDialog();
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>(QStringLiteral("idEdit"))->setText(id);
        dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(password);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("loginButton")), Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return !window->LoginDialog(); }, 10000))
            return false;
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <typename T> T* find(const QString& name) const { return window->findChild<T*>(name); }

    void type(DocumentSlot slot, const QString& text)
    {
        QTextCursor cursor(window->Editor(slot)->Document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }

    QString text(DocumentSlot slot) const { return window->Editor(slot)->Document()->toPlainText(); }

    // Waits until a save has ended and its worker is gone.
    bool waitForSaveEnd(int milliseconds = 240000)
    {
        return QTest::qWaitFor([this] { return !window->IsSaveRunning() && window->SaveWorkerIdle(); }, milliseconds);
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::function<std::unique_ptr<CCommunicator>()> makeCommunicator;
    std::function<CDHwpCtrl*(DocumentSlot)> makeEditor;
    ThreadStarter startSaveThread;
    int autosaveDelayMs = 3000;
    std::unique_ptr<CTarvixDlg> window;

private:
    QString m_baseUrl;
};
