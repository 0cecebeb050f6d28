#pragma once

#include "ui/dialogs/CLoginDlg.h"
#include "ui/main/CLoadingDlg.h"
#include "ui/main/CTarvixDlg.h"

#include "net/Communicator.h"

#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// What a benchmark's main window is made of: the settings in `settings`, the working folder "work/" in
// `folder`, the server at `baseUrl`.
inline MainWindowSetup BenchWindowSetup(QSettings& settings, const QString& folder, const QString& baseUrl)
{
    MainWindowSetup setup;
    setup.settings = &settings;
    setup.workingFolder = folder + QStringLiteral("/work/");
    setup.recoveryFile = folder + QStringLiteral("/recovery/unsaved-work");
    setup.makeCommunicator = [baseUrl] { return std::make_unique<CCommunicator>(baseUrl); };
    return setup;
}

// Brings the main window up and logs in as the local server's demo user through the login dialog, as a
// person would. False when a step did not happen within ten seconds.
inline bool StartLoggedIn(CTarvixDlg& window)
{
    if (!window.OnInitDialog())
        return false;
    window.show();
    if (!QTest::qWaitFor([&] { return window.LoginDialog() && window.LoginDialog()->isVisible(); }, 10000))
        return false;
    window.LoginDialog()->findChild<QLineEdit*>(QStringLiteral("idEdit"))->setText(QStringLiteral("demo"));
    window.LoginDialog()->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("demo1234"));
    window.LoginDialog()->findChild<QPushButton*>(QStringLiteral("loginButton"))->click();
    return QTest::qWaitFor([&] { return !window.LoginDialog(); }, 10000);
}

// Runs the event loop, as the program does, until the save's progress window goes away, which is where the
// save ends for the user. QTest::qWaitFor would look at the events only every 10 ms, and a save calls on the
// user-interface thread fourteen times. Then waits for the save's thread to return. False after two minutes.
inline bool RunUntilSaveEnds(CTarvixDlg& window, const std::function<void()>& ended = {})
{
    class HideWatch : public QObject
    {
    public:
        explicit HideWatch(QEventLoop& loop) : m_loop(loop) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Hide)
                m_loop.quit();
            return false;
        }

    private:
        QEventLoop& m_loop;
    };
    QEventLoop loop;
    HideWatch watch(loop);
    window.ProgressDialog()->installEventFilter(&watch);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (window.IsSaveRunning())
        loop.exec();
    window.ProgressDialog()->removeEventFilter(&watch);
    if (ended)
        ended();
    return QTest::qWaitFor([&] { return !window.IsSaveRunning(); }, 120000);
}
