#include "net/Communicator.h"
#include "ui/dialogs/CLoginDlg.h"
#include "ui/dialogs/MessageBox.h"

#include "tests/support/FocusChain.h"
#include "tests/support/LocalQuestionBank.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestTables.h"
#include "tests/support/TestTls.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The one box of each failure, as ShownBoxes gives it: an error of the program.
const QString kLoginFailed = QStringLiteral("Critical|Vellorin|로그인 실패 (아이디와 비밀번호를 확인해주세요)");
const QString kSessionFailed = QStringLiteral("Critical|Vellorin|서버통신 실패 (네트워크 연결을 확인해주세요)");
const char kLoginAccepted[] = "{\"result_code\":0,\"result_message\":\"\"}";

QLineEdit* idEdit(QWidget& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("idEdit"));
}

QLineEdit* passwordEdit(QWidget& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
}

QPushButton* button(QWidget& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QLatin1String(name));
}

// Clicks login expecting a failure box, which is answered in advance.
void clickLoginExpectingBox(QWidget& dialog)
{
    MessageBox::SetNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(button(dialog, "loginButton"), Qt::LeftButton);
}

} // namespace

class TestLoginDlg : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LocalQuestionBank> m_bank;
    QString m_url;
    std::unique_ptr<QSettings> m_settings;

    void storeName(const QString& name)
    {
        m_settings->setValue(QStringLiteral("Account/UserID"), name);
        m_settings->sync();
    }

    QVariant storedName() const { return m_settings->value(QStringLiteral("Account/UserID")); }

private Q_SLOTS:
    void initTestCase()
    {
        // A box nobody answered in advance is printed and answered instead of hanging the run.
        qputenv("VELLORIN_UNATTENDED", "1");
        m_bank = std::make_unique<LocalQuestionBank>();
        QVERIFY(m_bank->store().AddUser("편집자", "pw-2024", 16384));
        m_url = m_bank->baseUrl();
    }

    void cleanupTestCase() { m_bank.reset(); }

    void init()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("login.ini")));
        m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("login.ini")), QSettings::IniFormat);
    }

    void cleanup()
    {
        m_settings.reset();
        MessageBox::TakeAnswered();
    }

    void focusFollowsTheStoredName()
    {
        {
            CLoginDlg dialog(*m_settings);
            dialog.open();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QCOMPARE(idEdit(dialog)->text(), QString());
            QCOMPARE(QApplication::focusWidget(), idEdit(dialog));
            QCOMPARE(passwordEdit(dialog)->echoMode(), QLineEdit::Password);
            // Tab goes down the fields, then along the buttons; the fields are named by their labels.
            const QList<QWidget*> walked = TabWalk(&dialog, idEdit(dialog));
            QCOMPARE(ObjectNames(walked), (QStringList{"idEdit", "passwordEdit", "loginButton", "cancelButton"}));
            QCOMPARE(walked.size(), TabStops(&dialog).size());
            QCOMPARE(SpokenName(passwordEdit(dialog)), QStringLiteral("비밀번호"));
            QCOMPARE(Unnamed(walked), QStringList());
        }
        storeName(QStringLiteral("편집자"));
        ScriptedServer server;
        CCommunicator client(server.baseUrl());
        CLoginDlg dialog(*m_settings);
        dialog.SetCommunicator(&client);
        dialog.open();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(idEdit(dialog)->text(), QStringLiteral("편집자"));
        QCOMPARE(QApplication::focusWidget(), passwordEdit(dialog));

        // Escape and the cancel button reject without a request; opened again, the password typed before
        // is gone and the stored name is read again.
        for (bool escape : {true, false}) {
            QTest::keyClicks(passwordEdit(dialog), "typed");
            idEdit(dialog)->setText(QStringLiteral("someone"));
            if (escape)
                QTest::keyClick(passwordEdit(dialog), Qt::Key_Escape);
            else
                QTest::mouseClick(button(dialog, "cancelButton"), Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            dialog.open();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QCOMPARE(passwordEdit(dialog)->text(), QString());
            QCOMPARE(idEdit(dialog)->text(), QStringLiteral("편집자"));
        }
        QCOMPARE(storedName(), QVariant(QStringLiteral("편집자")));
        QVERIFY(server.requests().empty());
        QCOMPARE(ShownBoxes(), QStringList());
    }

    void wrongPasswordThenEnterLogsIn()
    {
        storeName(QStringLiteral("demo"));
        CCommunicator client(m_url);
        CLoginDlg dialog(*m_settings);
        dialog.SetCommunicator(&client);
        dialog.open();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));

        idEdit(dialog)->setText(QStringLiteral("편집자"));
        QTest::keyClicks(passwordEdit(dialog), "wrong");
        clickLoginExpectingBox(dialog);
        QCOMPARE(ShownBoxes(), QStringList{kLoginFailed});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(idEdit(dialog)->text(), QStringLiteral("편집자"));
        QCOMPARE(passwordEdit(dialog)->text(), QStringLiteral("wrong"));
        QCOMPARE(storedName(), QVariant(QStringLiteral("demo")));

        passwordEdit(dialog)->clear();
        QTest::keyClicks(passwordEdit(dialog), "pw-2024");
        QTest::keyClick(passwordEdit(dialog), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(storedName(), QVariant(QStringLiteral("편집자")));
        QCOMPARE(ShownBoxes(), QStringList());
        // The session the dialog started is the logged-in one.
        QString permission;
        QVERIFY(client.GetPermission(QStringLiteral("편집자"), permission));
        QCOMPARE(permission, QStringLiteral("16384"));
    }

    // No server, or a page without the form token, fails the session; a login reply that is an error or not
    // JSON fails the login. Either way the dialog stays open with what was typed, and nothing is stored. The
    // same exchange with a good reply logs in: the replies were the only fault.
    void failedExchangesKeepTheDialogOpen()
    {
        CCommunicator unreachable(QStringLiteral("https://127.0.0.1:%1/").arg(ClosedLocalPort()));
        ScriptedServer tokenless;
        // A page, even with a session cookie, but without the form token.
        tokenless.setSessionStart("JSESSIONID=4F2A; Path=/; HttpOnly");
        tokenless.setJson("/qb/js_user/login", kLoginAccepted);
        CCommunicator tokenlessClient(tokenless.baseUrl());
        ScriptedServer server;
        server.setSessionStart("_csrf_token_value=9c1e; Path=/");
        CCommunicator client(server.baseUrl());
        const ScriptedServer::Reply notJson{200, "{\"result_code\":0,\"result_mes", "application/json", {}};
        const ScriptedServer::Reply serverError{500, kLoginAccepted, "application/json", {}};
        const ScriptedServer::Reply accepted{200, kLoginAccepted, "application/json", {}};

        const ScriptedServer::Reply* sessionFails = nullptr;
        for (const auto& [failing, loginReply, box] :
             {std::tuple{&unreachable, sessionFails, kSessionFailed},
              std::tuple{&tokenlessClient, sessionFails, kSessionFailed},
              std::tuple{&client, &serverError, kLoginFailed}, std::tuple{&client, &notJson, kLoginFailed},
              std::tuple{&client, &accepted, QString()}}) {
            if (loginReply)
                server.setReply("/qb/js_user/login", *loginReply);
            CLoginDlg dialog(*m_settings);
            dialog.SetCommunicator(failing);
            dialog.open();
            QTest::keyClicks(idEdit(dialog), "demo");
            QTest::keyClicks(passwordEdit(dialog), "demo1234");
            const bool fails = !box.isEmpty();
            if (fails)
                clickLoginExpectingBox(dialog);
            else
                QTest::mouseClick(button(dialog, "loginButton"), Qt::LeftButton);
            QCOMPARE(ShownBoxes(), fails ? QStringList{box} : QStringList());
            QCOMPARE(dialog.isVisible(), fails);
            QCOMPARE(dialog.result(), fails ? int(QDialog::Rejected) : int(QDialog::Accepted));
            QCOMPARE(idEdit(dialog)->text(), QStringLiteral("demo"));
            QCOMPARE(storedName(), fails ? QVariant() : QVariant(QStringLiteral("demo")));
        }
        // Without the token there is no point in asking to log in.
        const auto requests = tokenless.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(requests[0].path, std::string("/qb"));
        QCOMPARE(server.lastRequest().path, std::string("/qb/js_user/login"));
    }
};

QTEST_MAIN(TestLoginDlg)
#include "tst_logindlg.moc"
