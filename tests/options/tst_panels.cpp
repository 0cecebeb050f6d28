#include "options/COptDailyProjectDlg.h"
#include "options/COptEducationDlg.h"
#include "options/COptSchool2015Dlg.h"
#include "options/COptSchoolMidDlg.h"
#include "options/COptTimestoneDlg.h"
#include "ui/main/Vocabulary.h"

#include <QComboBox>
#include <QDate>
#include <QDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <thread>

namespace {

// Stands in for the main window: records the commands the panels pass on, and would close on Escape.
class RecordingParent : public QDialog
{
public:
    QList<int> commands;
    bool event(QEvent* event) override
    {
        if (event->type() == CommandEvent::kType) {
            commands.append(static_cast<CommandEvent*>(event)->Id());
            return true;
        }
        return QDialog::event(event);
    }
};

QString thisYear(int offset = 0)
{
    return QString::asprintf("%04d년", QDate::currentDate().year() + offset);
}

QComboBox* combo(QWidget* panel, const char* name)
{
    return panel->findChild<QComboBox*>(QLatin1String(name));
}

QStringList items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

QTreeWidgetItem* treeItem(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* item = nullptr;
    for (const QString& text : path) {
        const int count = item ? item->childCount() : tree->topLevelItemCount();
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem* candidate = item ? item->child(i) : tree->topLevelItem(i);
            if (candidate->text(0) == text)
                next = candidate;
        }
        item = next;
        if (!item)
            return nullptr;
    }
    return item;
}

void select(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* item = treeItem(tree, path);
    QVERIFY(item);
    tree->setCurrentItem(item);
    item->setSelected(true);
}

CMapStringToString collect(COptPanel& panel)
{
    CMapStringToString fields;
    panel.GetFieldMap(fields);
    return fields;
}

} // namespace

class TestPanels : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<RecordingParent> m_parent;

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("panels.ini")), QSettings::IniFormat);
        m_settings->clear();
        m_parent = std::make_unique<RecordingParent>();
    }

    void cleanup()
    {
        m_parent.reset();
        m_settings.reset();
    }

    // --- the mock-exam panels ---

    void educationDefaults_data()
    {
        QTest::addColumn<int>("curriculum");
        QTest::newRow("2015") << 2015;
        QTest::newRow("2022") << 2022;
    }

    void educationDefaults()
    {
        QFETCH(int, curriculum);
        std::unique_ptr<COptEducationPanel> panel;
        if (curriculum == 2015)
            panel = std::make_unique<COptEducation2015Dlg>(m_settings.get(), m_parent.get());
        else
            panel = std::make_unique<COptEducation2022Dlg>(m_settings.get(), m_parent.get());
        const CMapStringToString fields = collect(*panel);
        const CMapStringToString expected{
            {"id", ""},
            {"type", "기출"},
            {"prob", "선택형"},
            {"year", thisYear()},
            {"month", "3월"},
            {"level", "1학년"},
            {"department", "공통"},
            {"number", "1번"},
            {"score", "2점"},
            {"unit", ""},
            {"sort", curriculum == 2015 ? "128" : "131"},
        };
        QCOMPARE(fields, expected);
        QComboBox* years = combo(panel.get(), "yearCombo");
        QCOMPARE(years->itemText(0), QStringLiteral("2005년"));
        QCOMPARE(years->itemText(years->count() - 1), thisYear(1));
        QCOMPARE(items(combo(panel.get(), "monthCombo")).size(), 8);
        QCOMPARE(combo(panel.get(), "numberCombo")->count(), 30);
        QCOMPARE(panel->SettingsSection(),
                 curriculum == 2015 ? QStringLiteral("Education2015Opt") : QStringLiteral("Education2022Opt"));
    }

    void educationApplyAndCollect()
    {
        COptEducation2022Dlg panel(m_settings.get(), m_parent.get());
        CMapStringToString reply{{"id", "Q-77"},       {"type", "변형2"},   {"prob", "단답형"}, {"year", "2021년"},
                                 {"month", "8월"},     {"level", "3학년"},  {"number", "29번"}, {"score", "4점"},
                                 {"unit", "공간벡터"}, {"q_hwp", "ignored"}};
        panel.SetFieldMap(reply);
        CMapStringToString fields = collect(panel);
        QCOMPARE(fields.Value("id"), QStringLiteral("Q-77"));
        QCOMPARE(fields.Value("type"), QStringLiteral("변형2"));
        QCOMPARE(fields.Value("year"), QStringLiteral("2021년"));
        // "8월" is no item: the month stays as it was; a missing key changes nothing either.
        QCOMPARE(fields.Value("month"), QStringLiteral("3월"));
        QCOMPARE(fields.Value("department"), QStringLiteral("공통"));
        QCOMPARE(fields.Value("unit"), QStringLiteral("공간벡터"));
        QCOMPARE(fields.Value("sort"), QStringLiteral("131"));
        QVERIFY(!fields.Contains(QStringLiteral("q_hwp")));

        // A reply without an ID empties the field; a subject name selects nothing in the tree.
        CMapStringToString second{{"unit", "기하"}};
        panel.SetFieldMap(second);
        fields = collect(panel);
        QCOMPARE(fields.Value("id"), QString());
        QCOMPARE(fields.Value("unit"), QString());

        // Collecting twice into one map keeps one entry per key, with the second values.
        select(panel.UnitTree(), {QStringLiteral("공통수학1"), QStringLiteral("곱셈 공식")});
        panel.GetFieldMap(fields);
        QCOMPARE(fields.Value("sort"), QStringLiteral("2"));
        QCOMPARE(fields.GetCount(), 11);
    }

    void educationSettings()
    {
        m_settings->setValue(QStringLiteral("Education2015Opt/Type"), 2);
        m_settings->setValue(QStringLiteral("Education2015Opt/Month"), 7);
        m_settings->setValue(QStringLiteral("Education2015Opt/Number"), 30); // one past the last number
        m_settings->setValue(QStringLiteral("Education2015Opt/Score"), -1);
        {
            COptEducation2015Dlg panel(m_settings.get(), m_parent.get());
            const CMapStringToString fields = collect(panel);
            QCOMPARE(fields.Value("type"), QStringLiteral("변형2"));
            QCOMPARE(fields.Value("month"), QStringLiteral("11월"));
            QCOMPARE(fields.Value("number"), QString());
            QCOMPARE(fields.Value("score"), QStringLiteral("2점"));
            combo(&panel, "levelCombo")->setCurrentIndex(2);
        }
        QCOMPARE(m_settings->value(QStringLiteral("Education2015Opt/Number")).toInt(), -1);
        QCOMPARE(m_settings->value(QStringLiteral("Education2015Opt/Level")).toInt(), 2);
        QCOMPARE(m_settings->value(QStringLiteral("Education2015Opt/Year")).toInt(),
                 QDate::currentDate().year() - 2005);
    }

    // --- keyboard and threads, the same for every panel ---

    void keyboard()
    {
        COptEducation2015Dlg panel(m_settings.get(), m_parent.get());
        m_parent->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
        QComboBox* type = combo(&panel, "typeCombo");
        type->setFocus();
        QTest::keyClick(type, Qt::Key_Escape);
        QTest::keyClick(type, Qt::Key_Return);
        QVERIFY(m_parent->isVisible());
        QCOMPARE(m_parent->result(), 0);
        for (const ShortcutEntry& entry : kShortcutTable)
            QTest::keyClick(type, Qt::Key(entry.key & ~int(Qt::KeyboardModifierMask)), Qt::ControlModifier);
        QCOMPARE(m_parent->commands, (QList<int>{32771, 32773, 32774, 32775, 32776}));
        QTest::keyClick(panel.findChild<QLineEdit*>(QStringLiteral("idEdit")), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(m_parent->commands.last(), 32776);
    }

    void collectFromAnotherThread()
    {
        COptDailyProjectDlg panel(m_settings.get(), m_parent.get());
        combo(&panel, "slotCombo")->setCurrentIndex(5);
        CMapStringToString fields;
        std::thread worker([&] { panel.GetFieldMap(fields); });
        // The worker waits for this thread to read the controls.
        QTRY_VERIFY(!fields.IsEmpty());
        worker.join();
        QCOMPARE(fields.Value("prob"), QStringLiteral("월요일 Mission"));
    }

    // --- the high-school panel ---

    void schoolNumbers()
    {
        COptSchool2015Dlg panel(m_settings.get(), nullptr, m_parent.get());
        QComboBox* type = combo(&panel, "problemTypeCombo");
        QComboBox* number = combo(&panel, "numberCombo");
        QCOMPARE(number->count(), 25);
        number->setCurrentIndex(7);
        // The user changes the answer format: ten numbers, the first selected.
        m_parent->show();
        type->setFocus();
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(type->currentText(), QStringLiteral("서술형"));
        QCOMPARE(number->count(), 10);
        QCOMPARE(number->currentIndex(), 0);

        // A loaded "선택형" question numbered 20 grows the list again and selects 20.
        CMapStringToString reply{{"problem_type", "선택형"},
                                 {"number", "20번"},
                                 {"subject", "수학2"},
                                 {"unit", "부정적분"},
                                 {"school", "다른 학교"}};
        panel.SetFieldMap(reply);
        CMapStringToString fields = collect(panel);
        QCOMPARE(number->count(), 25);
        QCOMPARE(fields.Value("number"), QStringLiteral("20번"));
        QCOMPARE(fields.Value("subject"), QStringLiteral("수학2"));
        QCOMPARE(fields.Value("unit"), QStringLiteral("부정적분"));
        QCOMPARE(fields.Value("school"), QString()); // not changed by a loaded question

        auto* tree = panel.findChild<QTreeWidget*>(QStringLiteral("unitTree"));
        select(tree, {QStringLiteral("기하")});
        fields = collect(panel);
        QCOMPARE(fields.Value("subject"), QStringLiteral("기하"));
        QCOMPARE(fields.Value("unit"), QString());
        // Such a question, loaded back, selects nothing.
        panel.SetFieldMap(fields);
        QVERIFY(tree->selectedItems().isEmpty());
    }

    void schoolSettings()
    {
        m_settings->setValue(QStringLiteral("School2015Opt/School"), QStringLiteral("서울한빛고등학교"));
        m_settings->setValue(QStringLiteral("School2015Opt/Type"), 1);
        m_settings->setValue(QStringLiteral("School2015Opt/Number"), 19); // 20번 no longer fits ten numbers
        {
            COptSchool2015Dlg panel(m_settings.get(), nullptr, m_parent.get());
            const CMapStringToString fields = collect(panel);
            QCOMPARE(fields.Value("school"), QStringLiteral("서울한빛고등학교"));
            QCOMPARE(fields.Value("problem_type"), QStringLiteral("서술형"));
            QCOMPARE(combo(&panel, "numberCombo")->count(), 10);
            QCOMPARE(fields.Value("number"), QString());
            QCOMPARE(fields.Value("year"), thisYear());
            QCOMPARE(combo(&panel, "yearCombo")->itemText(0), QStringLiteral("2015년"));
        }
        QCOMPARE(m_settings->value(QStringLiteral("School2015Opt/Number")).toInt(), -1);
        QCOMPARE(m_settings->value(QStringLiteral("School2015Opt/School")).toString(),
                 QStringLiteral("서울한빛고등학교"));
    }

    // --- the middle-school panel ---

    void middleSchoolTree()
    {
        COptSchoolMidDlg panel(m_settings.get(), nullptr, m_parent.get());
        QCOMPARE(combo(&panel, "yearCombo")->itemText(0), QStringLiteral("2014년"));
        QCOMPARE(combo(&panel, "numberCombo")->count(), 25);
        auto* tree = panel.findChild<QTreeWidget*>(QStringLiteral("unitTree"));

        select(tree, {QStringLiteral("중1(상)"), QStringLiteral("소인수분해"), QStringLiteral("소인수분해")});
        CMapStringToString fields = collect(panel);
        QCOMPARE(fields.Value("class"), QStringLiteral("중1(상)"));
        QCOMPARE(fields.Value("subclass"), QStringLiteral("소인수분해"));
        QCOMPARE(fields.Value("finalclass"), QStringLiteral("소인수분해"));

        select(tree, {QStringLiteral("중1(상)"), QStringLiteral("소인수분해")});
        fields = collect(panel);
        QCOMPARE(fields.Value("subclass"), QString());
        QCOMPARE(fields.Value("finalclass"), QStringLiteral("소인수분해"));
        // Saved with a chapter selected, the question selects nothing when loaded.
        panel.SetFieldMap(fields);
        QVERIFY(tree->selectedItems().isEmpty());

        select(tree, {QStringLiteral("중3(하)")});
        fields = collect(panel);
        QCOMPARE(fields.Value("class"), QStringLiteral("중3(하)"));
        QCOMPARE(fields.Value("finalclass"), QString());

        CMapStringToString reply{{"class", "중3(하)"},
                                 {"subclass", "통계 (중3)"},
                                 {"finalclass", "상관관계"},
                                 {"problem_type", "서술형"},
                                 {"number", "25번"}};
        panel.SetFieldMap(reply);
        fields = collect(panel);
        QCOMPARE(fields.Value("finalclass"), QStringLiteral("상관관계"));
        QCOMPARE(fields.Value("number"), QStringLiteral("25번"));
        QCOMPARE(fields.GetCount(), 10);
    }

    // --- Dar Iziza Vizadu ---

    void timestoneNumbersAndTopics()
    {
        COptTimestoneDlg panel(m_settings.get(), m_parent.get(), {QStringLiteral(VELLORIN_TOPICS_DIR)});
        QComboBox* topic = combo(&panel, "topicCombo");
        QCOMPARE(topic->itemText(0), QStringLiteral("다항식의 연산"));
        QCOMPARE(collect(panel).Value("number"), QStringLiteral("개념"));
        QComboBox* type = combo(&panel, "typeCombo");
        m_parent->show();
        type->setFocus();
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(items(combo(&panel, "numberCombo")), (QStringList{"1번", "2번", "3번"}));
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(combo(&panel, "numberCombo")->count(), 4);

        // A Level2 question numbered 4, loaded while the panel shows Tip.
        type->setCurrentIndex(0);
        panel.FillNumberCombo();
        CMapStringToString reply{{"topic", "원의 방정식"}, {"type", "Level2"}, {"number", "4번"}};
        panel.SetFieldMap(reply);
        CMapStringToString fields = collect(panel);
        QCOMPARE(fields.Value("topic"), QStringLiteral("원의 방정식"));
        QCOMPARE(fields.Value("number"), QStringLiteral("4번"));

        // Another subject reads its own file; a topic of another subject leaves the list alone.
        QComboBox* subject = combo(&panel, "subjectCombo");
        subject->setFocus();
        QTest::keyClick(subject, Qt::Key_End);
        QCOMPARE(topic->itemText(0), QStringLiteral("포물선"));
        panel.SetFieldMap(reply);
        QCOMPARE(collect(panel).Value("topic"), QStringLiteral("포물선"));
    }

    void timestoneMissingFile()
    {
        QTemporaryDir empty;
        COptTimestoneDlg panel(m_settings.get(), m_parent.get(), {empty.path()});
        QCOMPARE(combo(&panel, "topicCombo")->count(), 0);
        QCOMPARE(collect(panel).Value("topic"), QString());

        // Lines in code page 949 with CR LF, an empty line, and no line end at the very end.
        QFile file(empty.filePath(QStringLiteral("ts_math1.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xb0\xa1\r\n\r\n\xc7\xd1\xb1\xdb");
        file.close();
        m_settings->setValue(QStringLiteral("Timestone/Topic"), 2);
        COptTimestoneDlg reading(m_settings.get(), m_parent.get(), {empty.path()});
        QCOMPARE(items(combo(&reading, "topicCombo")),
                 (QStringList{QStringLiteral("가"), QString(), QStringLiteral("한글")}));
        QCOMPARE(collect(reading).Value("topic"), QStringLiteral("한글"));
        m_settings->setValue(QStringLiteral("Timestone/Topic"), 3);
        COptTimestoneDlg beyond(m_settings.get(), m_parent.get(), {empty.path()});
        QCOMPARE(collect(beyond).Value("topic"), QString());
    }

    // --- Varud Aroruva ---

    void dailyProject_data()
    {
        QTest::addColumn<QString>("prob");
        QTest::addColumn<QString>("collected");
        QTest::newRow("as this panel writes it") << "금요일 Mission"
                                                 << "금요일 Mission";
        QTest::newRow("slot from the sixth character") << "수요일  3번"
                                                       << "수요일 3번";
        QTest::newRow("day only matches") << "화요일 9번"
                                          << "화요일 1번";
        QTest::newRow("short") << "월"
                               << "월요일 1번";
    }

    void dailyProject()
    {
        QFETCH(QString, prob);
        QFETCH(QString, collected);
        COptDailyProjectDlg panel(m_settings.get(), m_parent.get());
        CMapStringToString reply{{"volume", "volume15"}, {"prob", prob}};
        panel.SetFieldMap(reply);
        const CMapStringToString fields = collect(panel);
        QCOMPARE(fields.Value("volume"), QStringLiteral("volume15"));
        QCOMPARE(fields.Value("prob"), collected);

        // Without prob, day and slot stay; nothing selected still gives the joining space.
        CMapStringToString none;
        panel.SetFieldMap(none);
        QCOMPARE(collect(panel).Value("prob"), collected);
        combo(&panel, "dayCombo")->setCurrentIndex(-1);
        QVERIFY(collect(panel).Value("prob").startsWith(u' '));
    }
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
