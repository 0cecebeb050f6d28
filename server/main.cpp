// vellorin-devserver: a local question-bank server for training, demonstrations and offline work.

#include "core/Permission.h"
#include "net/AnsiCodepage.h"
#include "server/QuestionBankServer.h"
#include "server/QuestionStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <arpa/inet.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

QString defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Vellorin/devserver.sqlite3");
}

int fail(const QString& message)
{
    std::fprintf(stderr, "vellorin-devserver: %s\n", qPrintable(message));
    return 1;
}

bool isLoopback(const std::string& address)
{
    if (address == "localhost")
        return true;
    unsigned char bytes[16];
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1)
        return bytes[0] == 127;
    static const unsigned char loopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return inet_pton(AF_INET6, address.c_str(), bytes) == 1 && std::equal(bytes, bytes + 16, loopback6);
}

// The characters of `text` that do not survive the trip through code page 949.
QString missingFromCodepage(const QString& text)
{
    QStringList missing;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        const std::optional<QByteArray> bytes = ToKoreanCodepage(one);
        if (bytes && FromKoreanCodepage(*bytes) != one && !missing.contains(one))
            missing.append(one);
    }
    return missing.join(QLatin1Char(' '));
}

} // namespace

int main(int argc, char* argv[])
{
    // Block the stop signals before any thread starts, so that only the main thread receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellorin-devserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local question-bank server for Vellorin (HTTPS only)."));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Address to listen on."),
                                     QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on."), QStringLiteral("port"),
                                  QStringLiteral("8443"));
    const QCommandLineOption cert(QStringLiteral("cert"), QStringLiteral("Server certificate (PEM)."),
                                  QStringLiteral("file"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("Private key of the certificate (PEM)."),
                                 QStringLiteral("file"));
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("Database file, created on first use."),
                                QStringLiteral("file"), defaultDatabasePath());
    const QCommandLineOption addUser(QStringLiteral("add-user"),
                                     QStringLiteral("Add an account, or change its password and permission, with "
                                                    "the password read from standard input; then exit."),
                                     QStringLiteral("login"));
    const QCommandLineOption permission(QStringLiteral("permission"),
                                        QStringLiteral("Permission of --add-user: %1 (all categories), %2 "
                                                       "(middle-school exams only) or %3 (none).")
                                            .arg(Permission::kAll)
                                            .arg(Permission::kMiddleSchool)
                                            .arg(Permission::kNone),
                                        QStringLiteral("level"), QString::number(Permission::kAll));
    const QCommandLineOption listUsers(QStringLiteral("list-users"), QStringLiteral("List the accounts; then exit."));
    parser.addOptions({address, port, cert, key, db, addUser, permission, listUsers});
    parser.process(app);

    const QString dbPath = parser.value(db);
    QDir().mkpath(QFileInfo(dbPath).absolutePath());
    QuestionStore store(QFile::encodeName(dbPath).toStdString());
    if (!store.IsOpen())
        return fail(
            QStringLiteral("cannot open the database %1: %2").arg(dbPath, QString::fromStdString(store.OpenError())));

    if (parser.isSet(listUsers)) {
        for (const QuestionStore::User& user : store.Users())
            std::printf("%s\t%d\n", user.login.c_str(), user.permission);
        return 0;
    }
    if (parser.isSet(addUser)) {
        bool ok = false;
        const int level = parser.value(permission).toInt(&ok);
        if (!ok || !IsPermissionLevel(level))
            return fail(QStringLiteral("the permission must be %1, %2 or %3")
                            .arg(Permission::kAll)
                            .arg(Permission::kMiddleSchool)
                            .arg(Permission::kNone));
        std::string password;
        if (!std::getline(std::cin, password) || password.empty())
            return fail(QStringLiteral("no password on standard input"));
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        // Passwords are checked on their bytes in the Korean Windows code page, as the program sends them.
        const QString text = QString::fromUtf8(password);
        const std::optional<QByteArray> bytes = ToKoreanCodepage(text);
        if (!bytes)
            return fail(QStringLiteral("this system has no converter for the Korean code page 949"));
        // The conversion turns what the code page lacks into "?", and "????" would then be the password.
        if (FromKoreanCodepage(*bytes) != text)
            return fail(QStringLiteral("the password has characters that the Korean code page 949 lacks (%1); "
                                       "the program could not send them: choose another password")
                            .arg(missingFromCodepage(text)));
        if (!store.AddUser(parser.value(addUser).toStdString(), bytes->toStdString(), level))
            return fail(QStringLiteral("cannot store the account"));
        std::printf("account %s stored with permission %d\n", qPrintable(parser.value(addUser)), level);
        return 0;
    }

    if (!parser.isSet(cert) || !parser.isSet(key))
        return fail(QStringLiteral("--cert and --key are required: the server speaks HTTPS only"));
    bool portOk = false;
    const int portNumber = parser.value(port).toInt(&portOk);
    if (!portOk || portNumber < 0 || portNumber > 65535)
        return fail(QStringLiteral("invalid port %1").arg(parser.value(port)));

    QuestionBankServer server(store, QFile::encodeName(parser.value(cert)).toStdString(),
                              QFile::encodeName(parser.value(key)).toStdString());
    if (!server.IsValid())
        return fail(
            QStringLiteral("cannot use the certificate %1 with the key %2").arg(parser.value(cert), parser.value(key)));
    const int bound = server.Bind(parser.value(address).toStdString(), portNumber);
    if (bound < 0)
        return fail(QStringLiteral("cannot listen on %1:%2").arg(parser.value(address)).arg(portNumber));
    // The demo account's password is in the program's documentation: only a server that no other machine
    // can reach gets it.
    if (!isLoopback(parser.value(address).toStdString()))
        std::fprintf(stderr, "vellorin-devserver: listening beyond loopback, so no demo account is created; add "
                             "accounts with --add-user\n");
    else if (store.AddDemoAccountIfEmpty())
        std::fprintf(stderr, "vellorin-devserver: created the demo account %s / %s (listening on loopback only)\n",
                     QuestionStore::kDemoLogin, QuestionStore::kDemoPassword);
    server.Start();
    std::printf("vellorin-devserver: listening on https://%s:%d/ (database %s)\n", qPrintable(parser.value(address)),
                bound, qPrintable(dbPath));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    std::printf("vellorin-devserver: stopped\n");
    return 0;
}
