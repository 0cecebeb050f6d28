#include "app/CTarvixApp.h"
#include "app/CommandLine.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (const auto answered = AnswerCommandLine(argc, argv, stdout, stderr))
        return *answered;
    QApplication application(argc, argv);
    CTarvixApp app;
    app.InitInstance();
    return app.ExitInstance();
}
