#include "app/CTarvixApp.h"

#include "ui/dialogs/MessageBox.h"
#include "ui/main/CAboutDlg.h"
#include "ui/main/CTarvixDlg.h"
#include "core/Messages.h"
#include "core/Vocabulary.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QThread>
#include <QTranslator>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end.
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

CTarvixApp::CTarvixApp()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    // Ties the windows to the desktop entry, so that docks and window lists show its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tarvix.Vellorin"));
    QApplication::setWindowIcon(ProgramIcon());
    // Qt's own texts (the standard buttons, the file dialog) in the language of the program's own. Without
    // the file they stay in English, which is no reason not to start.
    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_ko"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

CTarvixApp::~CTarvixApp()
{
    ExitInstance();
}

bool CTarvixApp::InitInstance()
{
    const QString caption = QString::fromLatin1(kApplicationName);
    switch (m_instance.Acquire()) {
    case CSingleInstance::Result::Acquired:
        break;
    case CSingleInstance::Result::AlreadyRunning:
        MessageBox::Show(nullptr, QMessageBox::Critical, caption, QString::fromUtf16(Msg::kAlreadyRunning));
        return false;
    case CSingleInstance::Result::Failed:
        MessageBox::Show(nullptr, QMessageBox::Critical, caption,
                         QString::fromUtf16(Msg::kMutexCreateFailed).arg(m_instance.Error()));
        return false;
    }

    // Only the running copy opens the settings: a second copy touches nothing of the first one's.
    m_settings = std::make_unique<QSettings>();
    MainWindowSetup setup;
    setup.settings = m_settings.get();
    CTarvixDlg mainWindow(setup);
    m_mainWindow = &mainWindow;
    watchTerminationSignals();
    if (mainWindow.OnInitDialog()) {
        QApplication::setQuitOnLastWindowClosed(false);
        QObject::connect(&mainWindow, &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        mainWindow.show();
        // From here on the window runs in the application's loop; a loop above it is a box's or a dialog's.
        mainWindow.SetHomeLoopLevel(QThread::currentThread()->loopLevel() + 1);
        QApplication::exec();
    }
    m_mainWindow = nullptr;
    delete m_signalNotifier;
    m_signalNotifier = nullptr;
    return false;
}

void CTarvixApp::watchTerminationSignals()
{
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    m_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_signalNotifier, &QSocketNotifier::activated, m_signalNotifier, [this] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
        if (m_mainWindow)
            m_mainWindow->RequestQuit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int CTarvixApp::ExitInstance()
{
    m_instance.Release();
    m_settings.reset();
    return 0;
}
