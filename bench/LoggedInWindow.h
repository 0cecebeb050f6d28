#pragma once

#include "ui/dialogs/CLoginDlg.h"
#include "ui/main/CTarvixDlg.h"

#include "net/Communicator.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

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
