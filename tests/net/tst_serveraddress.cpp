#include "net/ServerAddress.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestServerAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void precedence_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("url");

        const auto row = [](const char* name, const char* environment, const char* setting, const char* url) {
            QTest::newRow(name) << QString::fromLatin1(environment) << QString::fromLatin1(setting)
                                << QString::fromLatin1(url);
        };
        row("built-in", "", "", "https://127.0.0.1:8443/");
        row("setting", "", "https://qb.example.kr/", "https://qb.example.kr/");
        row("environment wins", "https://10.0.0.5:9443/", "https://qb.example.kr/", "https://10.0.0.5:9443/");
        row("slash added", "", "https://qb.example.kr/bank", "https://qb.example.kr/bank/");
        row("blank environment is unset", "  ", "https://qb.example.kr/", "https://qb.example.kr/");
    }

    void precedence()
    {
        QFETCH(QString, environment);
        QFETCH(QString, setting);
        QFETCH(QString, url);

        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        if (!setting.isEmpty())
            settings.setValue(QStringLiteral("Server/BaseUrl"), setting);
        if (environment.isEmpty())
            qunsetenv("VELLORIN_SERVER_URL");
        else
            qputenv("VELLORIN_SERVER_URL", environment.toUtf8());
        QCOMPARE(ServerBaseUrl(settings), url);
        qunsetenv("VELLORIN_SERVER_URL");
    }
};

QTEST_GUILESS_MAIN(TestServerAddress)
#include "tst_serveraddress.moc"
