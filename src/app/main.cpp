#include "app/OstrelApp.h"

int main(int argc, char** argv)
{
    COstrelApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    const int result = app.exec();
    app.ExitInstance();
    return result;
}
