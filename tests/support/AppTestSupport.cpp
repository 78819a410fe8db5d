#include "support/AppTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <clocale>
#include <cstdlib>

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* pApp = [] {
        if (!std::getenv("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* app = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        return app;
    }();
    (void)pApp;
}

void Settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

CProgramFolder::CProgramFolder() : m_strOldDir(QDir::currentPath())
{
    QDir::setCurrent(QStringLiteral(ZELVAN_BINARY_DIR "/bin"));
}

CProgramFolder::~CProgramFolder()
{
    QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/hisdata")).removeRecursively();
    QDir::setCurrent(m_strOldDir);
    ::unsetenv("ZELVAN_SERIAL_PORTS");
}
