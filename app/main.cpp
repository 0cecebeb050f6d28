#include "app/CTarvixApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    CTarvixApp app;
    app.InitInstance();
    return app.ExitInstance();
}
