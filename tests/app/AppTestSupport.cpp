#include "AppTestSupport.h"

#include <QApplication>

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
