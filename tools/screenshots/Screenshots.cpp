// Takes the README's pictures: the program against the local question bank in this process, on the offscreen
// platform, each window grabbed as it shows. Run through tools/screenshots.sh, which sets the environment.

#include "options/OptPanel.h"
#include "ui/dialogs/CSearchSchoolDlg.h"
#include "ui/main/CLoadingDlg.h"

#include "tests/support/LocalQuestionBank.h"
#include "tests/ui/MainWindowHarness.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

QString g_folder;
bool g_failed = false;

void save(QWidget* widget, const char* name)
{
    const QString path = QDir(g_folder).filePath(QLatin1String(name));
    if (!widget || !widget->grab().save(path, "PNG")) {
        std::fprintf(stderr, "screenshots: %s not written\n", name);
        g_failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void settle(int milliseconds = 200)
{
    QTest::qWait(milliseconds);
}

void fillEducationPanel(COptPanel* panel)
{
    panel->findChild<QLineEdit*>(QStringLiteral("idEdit"))->setText(QStringLiteral("2024-06-21"));
    const std::pair<const char*, const char*> choices[] = {{"yearCombo", "2024년"},
                                                           {"monthCombo", "6월"},
                                                           {"levelCombo", "3학년"},
                                                           {"numberCombo", "21번"},
                                                           {"scoreCombo", "4점"}};
    for (const auto& [name, text] : choices) {
        auto* combo = panel->findChild<QComboBox*>(QLatin1String(name));
        combo->setCurrentIndex(combo->findText(QString::fromUtf8(text)));
    }
    auto* tree = panel->findChild<QTreeWidget*>(QStringLiteral("unitTree"));
    if (QTreeWidgetItem* subject = tree->topLevelItem(0)) {
        subject->setExpanded(true);
        if (subject->childCount() > 0) {
            tree->setCurrentItem(subject->child(0));
            subject->child(0)->setSelected(true);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(g_folder);

    LocalQuestionBank bank;
    MainWindowHarness harness(bank.baseUrl());
    if (!harness.start())
        return 1;
    CTarvixDlg& window = *harness.window;

    CLoginDlg* login = harness.loginDialog();
    if (!login)
        return 1;
    login->findChild<QLineEdit*>(QStringLiteral("idEdit"))->setText(QStringLiteral("demo"));
    login->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("demo1234"));
    settle();
    save(login, "login.png");
    if (!harness.logIn())
        return 1;

    harness.type(DocumentSlot::Question, QStringLiteral("이차방정식의 근의 공식은 다음과 같다.\n"));
    window.Editor(DocumentSlot::Question)->InsertFormula(QStringLiteral("x = {-b +- sqrt {b^2 - 4ac}} over {2a}"));
    harness.type(DocumentSlot::Answer, QStringLiteral("x = 1 또는 x = 2"));
    harness.type(DocumentSlot::Explanation, QStringLiteral("근의 공식에 a = 1, b = -3, c = 2 를 넣는다."));
    fillEducationPanel(window.Panel(Category::Education2015));
    window.SelectDocumentTab(0);
    settle();
    save(&window, "main-window.png");

    // The school search with its answer, grabbed from inside its own loop.
    {
        CSearchSchoolDlg dialog(window.Communicator(), &window);
        dialog.m_strSchool = QStringLiteral("서울");
        QTimer::singleShot(100, &dialog, [&dialog] {
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("findButton")), Qt::LeftButton);
            auto* list = dialog.findChild<QListWidget*>(QStringLiteral("schoolList"));
            list->setCurrentRow(qMin(1, list->count() - 1));
            settle();
            save(&dialog, "school-search.png");
            dialog.reject();
        });
        dialog.exec();
    }

    // The progress window while the save runs: grabbed at the first stage past the duplicate check, so that
    // the bar shows some progress.
    CLoadingDlg* progress = window.ProgressDialog();
    bool grabbed = false;
    QObject::connect(progress, &CLoadingDlg::progressPosChanged, progress, [progress, &grabbed](int position) {
        if (grabbed || position < 20)
            return;
        grabbed = true;
        save(progress, "saving.png");
    });
    QTest::mouseClick(harness.find<QPushButton>(QStringLiteral("saveButton")), Qt::LeftButton);
    if (!harness.waitForSaveEnd() || !grabbed) {
        std::fprintf(stderr, "screenshots: the save did not show its progress\n");
        g_failed = true;
    }
    return g_failed ? 1 : 0;
}
