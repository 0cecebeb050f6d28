#include "net/Communicator.h"
#include "options/COptSchoolMidDlg.h"
#include "ui/dialogs/CSearchSchoolDlg.h"
#include "ui/dialogs/MessageBox.h"

#include "tests/support/FocusChain.h"
#include "tests/support/LocalQuestionBank.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestTables.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// The result of a dialog that the test left open, for instance because a check failed half-way.
constexpr int kLeftOpen = -1;

// Runs the dialog modally while `interact` drives it from the event loop. A dialog that `interact` leaves
// open is closed, so that a failed check ends the test at once instead of leaving it waiting.
int runWith(QDialog& dialog, std::function<void(QDialog&)> interact)
{
    QTimer::singleShot(0, &dialog, [&dialog, interact] {
        interact(dialog);
        if (dialog.isVisible())
            dialog.done(kLeftOpen);
    });
    return dialog.exec();
}

// Drives the school search that the next click of a panel opens, the same way.
void whenSearchOpens(std::function<void(CSearchSchoolDlg&)> interact)
{
    QTimer::singleShot(0, [interact] {
        auto* dialog = qobject_cast<CSearchSchoolDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        interact(*dialog);
        if (dialog->isVisible())
            dialog->done(kLeftOpen);
    });
}

QListWidget* list(QWidget& dialog)
{
    return dialog.findChild<QListWidget*>(QStringLiteral("schoolList"));
}

QLineEdit* edit(QWidget& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("schoolEdit"));
}

void clickButton(QWidget& dialog, const char* name)
{
    QTest::mouseClick(dialog.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

void search(QWidget& dialog, const QString& text)
{
    edit(dialog)->setText(text);
    clickButton(dialog, "findButton");
}

} // namespace

class TestSearchSchool : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LocalQuestionBank> m_bank;
    std::unique_ptr<CCommunicator> m_client;

private Q_SLOTS:
    void initTestCase()
    {
        // A box nobody answered in advance is printed and answered instead of waiting for a click.
        qputenv("VELLORIN_UNATTENDED", "1");
        m_bank = std::make_unique<LocalQuestionBank>();
        m_client = std::make_unique<CCommunicator>(m_bank->baseUrl());
        QVERIFY(m_client->StartSession());
    }

    void cleanupTestCase()
    {
        m_client.reset();
        m_bank.reset();
    }

    // Picked from the list, the name alone without the region; changed after the search, the current text; a
    // double click is "확인".
    void chooseASchool()
    {
        for (const auto& [query, row, retyped, doubleClick, chosen] :
             {std::tuple{"한국", 2, "", false, "수원한국고등학교"},
              std::tuple{"바다", 0, "바다중학교 분교", false, "바다중학교 분교"},
              std::tuple{"제주", 1, "", true, "제주한라고등학교"}}) {
            CSearchSchoolDlg dialog(m_client.get());
            dialog.m_strSchool = QStringLiteral("이전 학교");
            const int result = runWith(dialog, [&](QDialog& d) {
                QCOMPARE(edit(d)->text(), QStringLiteral("이전 학교"));
                // Nothing found still offers the typed text.
                search(d, QStringLiteral("없는 이름"));
                QCOMPARE(RowTexts(list(d)->model()), QStringList{QStringLiteral("사용자 입력 사용")});
                search(d, QStringLiteral("한국"));
                QCOMPARE(
                    RowTexts(list(d)->model()),
                    (QStringList{QStringLiteral("사용자 입력 사용"), QStringLiteral("성남한국중학교 (경기)"),
                                 QStringLiteral("수원한국고등학교 (경기)"), QStringLiteral("원주한국고등학교 (강원)"),
                                 QStringLiteral("창원한국중학교 (경남)")}));
                search(d, QString::fromUtf8(query));
                QListWidget* schools = list(d);
                if (*retyped)
                    edit(d)->setText(QString::fromUtf8(retyped));
                if (doubleClick) {
                    const QRect rect = schools->visualItemRect(schools->item(row));
                    QTest::mouseClick(schools->viewport(), Qt::LeftButton, {}, rect.center());
                    QTest::mouseDClick(schools->viewport(), Qt::LeftButton, {}, rect.center());
                } else {
                    schools->setCurrentRow(row);
                    clickButton(d, "okButton");
                }
            });
            QCOMPARE(result, int(QDialog::Accepted));
            QCOMPARE(dialog.m_strSchool, QString::fromUtf8(chosen));
        }
    }

    // A pop-up without a caption: a thin line all round sets it off from the window behind.
    void thinBorder()
    {
        CSearchSchoolDlg dialog(m_client.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QImage image = dialog.grab().toImage();
        const QColor line = dialog.palette().color(QPalette::WindowText);
        QVERIFY(image.pixelColor(4, image.height() / 2) != line);
        for (int x = 0; x < image.width(); ++x) {
            QCOMPARE(image.pixelColor(x, 0), line);
            QCOMPARE(image.pixelColor(x, image.height() - 1), line);
        }
        for (int y = 0; y < image.height(); ++y) {
            QCOMPARE(image.pixelColor(0, y), line);
            QCOMPARE(image.pixelColor(image.width() - 1, y), line);
        }
    }

    // Enter in the search field searches once; the keyboard goes from the field to "찾기", the list, "취소"
    // and "확인", and Enter on a focused "확인" or "취소" presses that button. A second search empties the list.
    // Cancelled, the dialog keeps the school it was given.
    void keyboardAndSecondSearch()
    {
        ScriptedServer server;
        server.setSessionStart("_csrf_token_value=t; Path=/");
        server.setJson("/qb/js_bank_school/search",
                       R"({"dataSearch":{"content":[{"schoolName":"서울고","region":"서울"},)"
                       R"({"schoolName":"서울중","region":"서울"}]}})");
        CCommunicator client(server.baseUrl());
        QVERIFY(client.StartSession());
        server.clearRequests();
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        CSearchSchoolDlg dialog(&client);
        dialog.m_strSchool = QStringLiteral("그대로");
        const int result = runWith(dialog, [&server](QDialog& d) {
            edit(d)->setText(QStringLiteral("서울"));
            QTest::keyClick(edit(d), Qt::Key_Return);
            QVERIFY(d.isVisible());
            QCOMPARE(server.requests().size(), std::size_t(1));
            QCOMPARE(list(d)->count(), 1 + 2);

            edit(d)->setFocus();
            QStringList order{d.focusWidget()->objectName()};
            for (int i = 0; i < 5; ++i) {
                QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
                order.append(d.focusWidget()->objectName());
            }
            QCOMPARE(order,
                     (QStringList{"schoolEdit", "findButton", "schoolList", "cancelButton", "okButton", "schoolEdit"}));
            QCOMPARE(Unnamed(TabStops(&d)), QStringList());
            QCOMPARE(SpokenName(list(d)), QStringLiteral("검색된 학교"));

            // "확인" with nothing selected says so, stays open and searches nothing.
            QTest::keyClick(d.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::Key_Return);
            QCOMPARE(ShownBoxes(), QStringList{"Critical|" + QApplication::applicationName() + "|Not selected."});
            QVERIFY(d.isVisible());
            QCOMPARE(server.requests().size(), std::size_t(1));

            list(d)->setCurrentRow(1);
            search(d, QStringLiteral("서울"));
            QCOMPARE(list(d)->count(), 1 + 2);
            QCOMPARE(list(d)->currentRow(), -1);
            QTest::keyClick(d.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::Key_Return);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(dialog.m_strSchool, QStringLiteral("그대로"));
        QCOMPARE(server.requests().size(), std::size_t(2));
    }

    void failedSearchKeepsTheList()
    {
        CCommunicator unreachable(QStringLiteral("https://127.0.0.1:%1/").arg(ClosedLocalPort()));
        CSearchSchoolDlg dialog(&unreachable);
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        runWith(dialog, [](QDialog& d) {
            search(d, QStringLiteral("한국"));
            QCOMPARE(list(d)->count(), 0);
            d.reject();
        });
        const QStringList boxes = ShownBoxes();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].startsWith(
                     QStringLiteral("Critical|Error|Error: Communicator search school failed. \r\nSearch failed. (")) &&
                     boxes[0].endsWith(QStringLiteral(") \r\nError: ")),
                 qPrintable(boxes[0]));
    }

    void panelClickOpensTheSearch()
    {
        QSettings settings(m_dir.filePath(QStringLiteral("panel.ini")), QSettings::IniFormat);
        QWidget window;
        auto* panel = new COptSchoolMidDlg(&settings, m_client.get(), &window);
        window.show();
        auto* schoolEdit = panel->findChild<QLineEdit*>(QStringLiteral("schoolEdit"));
        QVERIFY(schoolEdit->isReadOnly());
        whenSearchOpens([](CSearchSchoolDlg& dialog) {
            search(dialog, QStringLiteral("가야"));
            list(dialog)->setCurrentRow(1);
            clickButton(dialog, "okButton");
        });
        QTest::mouseClick(schoolEdit, Qt::LeftButton);
        QCOMPARE(schoolEdit->text(), QStringLiteral("김해가야중학교"));
        CMapStringToString fields;
        panel->GetFieldMap(fields);
        QCOMPARE(fields.Value("school"), QStringLiteral("김해가야중학교"));

        // Space opens it from the keyboard too. Cancelling changes nothing.
        bool opened = false;
        whenSearchOpens([&opened](CSearchSchoolDlg& dialog) {
            opened = true;
            QCOMPARE(edit(dialog)->text(), QStringLiteral("김해가야중학교"));
            clickButton(dialog, "cancelButton");
        });
        schoolEdit->setFocus();
        QTest::keyClick(schoolEdit, Qt::Key_Space);
        QVERIFY(opened);
        QCOMPARE(schoolEdit->text(), QStringLiteral("김해가야중학교"));
    }
};

QTEST_MAIN(TestSearchSchool)
#include "tst_searchschool.moc"
