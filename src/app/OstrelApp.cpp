#include "app/OstrelApp.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "app/InstallLayout.h"
#include "app/MainFrame.h"
#include "ui/QtMessageBox.h"
#include "export/HistoryFile.h"
#include "live/PowerCurveView.h"
#include "platform/CommLog.h"

namespace {

// Read from the working directory at run time.
const char* const kRunTimeFiles[] = {"2.bmp", "datacfg-sp.xls"};

bool HasRunTimeFiles(const QDir& dir)
{
    for (const char* name : kRunTimeFiles)
        if (!QFileInfo::exists(dir.filePath(QString::fromLatin1(name))))
            return false;
    return true;
}

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

COstrelApp::COstrelApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // Qt sets the locale from the environment; numbers are written and read
    // with the C decimal point whatever the user's language.
    std::setlocale(LC_NUMERIC, "C");
    m_strAppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    setApplicationName(QStringLiteral("Zelvan"));
}

COstrelApp::~COstrelApp() = default;

// The working directory, then the program's own folder, then the folder an
// installation keeps the files in (<prefix>/share/zelvan).
bool COstrelApp::ChooseWorkingDirectory(const QString& appDir)
{
    if (HasRunTimeFiles(QDir::current()))
        return false;
    for (const QString& folder : {appDir, InstalledFilesDir(appDir)}) {
        if (HasRunTimeFiles(QDir(folder)))
            return QDir::setCurrent(QDir(folder).canonicalPath());
    }
    return false;
}

void COstrelApp::WatchTerminationSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* pNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(pNotifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        // The day's samples are written and every thread joined.
        if (CMainFrame* pFrame = m_pFrame.get()) {
            if (pFrame->PowerView() != nullptr)
                pFrame->PowerView()->Shutdown();
        }
        exit(0); // not quit(): that would close the window and ask the exit question
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

bool COstrelApp::InitInstance()
{
    InstallQtMessageBoxHandler();
    WatchTerminationSignals();
    ChooseWorkingDirectory(m_strAppDir);
    platform::CommLog("start", "files in " + QDir::currentPath().toStdString());
    platform::CommLog("start", "history in " + HistoryFolderFor(m_strAppDir.toStdString()));
    m_pFrame = std::make_unique<CMainFrame>();
    m_pFrame->OnCreateClient();
    m_pFrame->show();
    return true;
}

int COstrelApp::ExitInstance()
{
    m_pFrame.reset(); // stops the poll thread and closes the port
    platform::StopCommLog();
    return 0;
}
