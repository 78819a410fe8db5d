#include "app/OstrelApp.h"

#include <QDir>
#include <QFileInfo>

#include <clocale>

#include "app/MainFrame.h"
#include "app/QtMessageBox.h"
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

bool COstrelApp::ChooseWorkingDirectory(const QString& appDir)
{
    if (HasRunTimeFiles(QDir::current()) || !HasRunTimeFiles(QDir(appDir)))
        return false;
    return QDir::setCurrent(appDir);
}

bool COstrelApp::InitInstance()
{
    InstallQtMessageBoxHandler();
    ChooseWorkingDirectory(m_strAppDir);
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
