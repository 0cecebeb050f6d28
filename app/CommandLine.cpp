#include "app/CommandLine.h"

#include "net/ServerAddress.h"

#include <QDir>
#include <QStandardPaths>
#include <QString>

#include <cstring>

namespace {

// The locations the program uses, as the desktop conventions place them for this user.
QString settingsFile()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                    QStringLiteral("/Tarvix/Vellorin.conf"));
}

QString unsavedWorkCopy()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                    QStringLiteral("/Tarvix/Vellorin/recovery/unsaved-work"));
}

QString workingFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                    QStringLiteral("/Tarvix/Vellorin/work/"));
}

void printHelp(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: vellorin [--version] [--help]\n"
                 "\n"
                 "Vellorin: write mathematics questions and register them on the question bank's server.\n"
                 "\n"
                 "Options:\n"
                 "  --version  print the version and exit\n"
                 "  --help     print this help and exit\n"
                 "\n"
                 "Server address: the environment variable VELLORIN_SERVER_URL when set, else the setting\n"
                 "Server/BaseUrl in the settings file, else %s\n"
                 "Settings file:  %s\n"
                 "Working folder: %s\n"
                 "Unsaved work:   %s (kept while you write, offered back at the next start)\n"
                 "\n"
                 "One copy runs at a time on this machine; a second start says \"Error: Already running.\"\n",
                 kDefaultServerBaseUrl, qPrintable(settingsFile()), qPrintable(workingFolder()),
                 qPrintable(unsavedWorkCopy()));
}

} // namespace

std::optional<int> AnswerCommandLine(int argc, char* argv[], std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fprintf(out, "vellorin %s\n", VELLORIN_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp(out);
            return 0;
        }
    }
    // Qt's own options (-platform, -style, …) go through to the application object.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0) {
            std::fprintf(err, "vellorin: unknown option %s\nTry 'vellorin --help'.\n", argv[i]);
            return 2;
        }
    }
    return std::nullopt;
}
