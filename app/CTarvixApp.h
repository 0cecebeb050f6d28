#pragma once

#include "app/SingleInstance.h"

#include <QSettings>

#include <memory>

class CTarvixDlg;
class QSocketNotifier;

// The life of the process: the single-instance guard, the main window run to its end, the guard given back.
// A termination request (SIGTERM, SIGINT, SIGHUP) ends the program as closing its window does: a running save
// is finished first, and an open box, dialog or menu is closed as if cancelled before the windows go.
class CTarvixApp
{
public:
    CTarvixApp();
    ~CTarvixApp();

    // Always false: either the start failed, or the main window has run and closed.
    bool InitInstance();
    int ExitInstance();

private:
    void watchTerminationSignals();

    CSingleInstance m_instance;
    std::unique_ptr<QSettings> m_settings;
    CTarvixDlg* m_mainWindow = nullptr;
    QSocketNotifier* m_signalNotifier = nullptr;
};
