#include "options/COptDailyProjectDlg.h"
#include "options/COptEducationDlg.h"
#include "options/COptSchool2015Dlg.h"
#include "options/COptSchoolMidDlg.h"
#include "options/COptTimestoneDlg.h"
#include "core/Shortcuts.h"

#include "tests/support/FocusChain.h"
#include "tests/support/TestTables.h"
#include "tests/support/TestFiles.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QDate>
#include <QDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <vector>

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

// Selects the item at `path`, a text for each level from the top: the same text may stand at several levels.
void select(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* item = tree->invisibleRootItem();
    for (const QString& text : path) {
        QTreeWidgetItem* parent = item;
        item = nullptr;
        for (int i = 0; i < parent->childCount() && !item; ++i) {
            if (parent->child(i)->text(0) == text)
                item = parent->child(i);
        }
        QVERIFY2(item, qPrintable(path.join(u'/')));
    }
    tree->setCurrentItem(item);
    item->setSelected(true);
}

CMapStringToString collect(COptPanel& panel)
{
    CMapStringToString fields;
    panel.GetFieldMap(fields);
    return fields;
}

// The values of `keys` as "key=value", to compare several fields at once. What follows a "=" in a key is
// left out, so that a list of expected "key=value" names its own keys.
QStringList valuesOf(const CMapStringToString& fields, const QStringList& keys)
{
    QStringList texts;
    for (const QString& entry : keys)
        texts.append(entry.section(u'=', 0, 0) + u'=' + fields.Value(entry.section(u'=', 0, 0)));
    return texts;
}

// What a panel keeps under its section, as texts.
CMapStringToString settingsIn(QSettings& settings, const char* section)
{
    CMapStringToString values;
    settings.beginGroup(QLatin1String(section));
    for (const QString& name : settings.childKeys())
        values.SetAt(name, settings.value(name).toString());
    settings.endGroup();
    return values;
}

// One list of a panel: the settings value it is kept under and the request key it fills (either may be
// absent). The items themselves are the panels' own tables; what the tests check is what the panel does
// with them.
struct ExpectedList
{
    const char* combo;
    const char* value;
    const char* key;
};

struct ExpectedPanel
{
    std::function<std::unique_ptr<COptPanel>(QSettings*, QWidget*)> make;
    const char* section;
    std::vector<ExpectedList> lists;
    // Keys that no list fills, with what a new panel sends for them.
    CMapStringToString otherFields;
    // Settings at and beyond the ends of the lists: what a panel sends for them as "key=value", the settings
    // it leaves as "Name=value", and the length a list then has.
    QVariantMap stored = {};
    QStringList sent = {};
    QStringList kept = {};
    std::vector<std::pair<const char*, int>> counts = {};
};

const std::vector<ExpectedPanel>& expectedPanels()
{
    const std::vector<ExpectedList> education = {
        {"typeCombo", "Type", "type"},       {"probCombo", "Prob", "prob"},
        {"yearCombo", "Year", "year"},       {"monthCombo", "Month", "month"},
        {"levelCombo", "Level", "level"},    {"departmentCombo", "Department", "department"},
        {"numberCombo", "Number", "number"}, {"scoreCombo", "Score", "score"},
    };
    static const std::vector<ExpectedPanel> panels = {
        {[](QSettings* s, QWidget* p) { return std::make_unique<COptEducation2015Dlg>(s, p); },
         "Education2015Opt",
         education,
         {{"id", ""}, {"unit", ""}, {"sort", "128"}},
         {{"Month", 7}, {"Number", 30}, {"Score", -1}}, // the last month, one past the last number, below
         {"month=11월", "number=", "score=2점"},
         {"Number=-1", QStringLiteral("Year=%1").arg(QDate::currentDate().year() - 2005)}},
        {[](QSettings* s, QWidget* p) { return std::make_unique<COptEducation2022Dlg>(s, p); },
         "Education2022Opt",
         education,
         {{"id", ""}, {"unit", ""}, {"sort", "131"}}},
        {[](QSettings* s, QWidget* p) { return std::make_unique<COptSchool2015Dlg>(s, nullptr, p); },
         "School2015Opt",
         {{"yearCombo", "Year", "year"},
          {"termCombo", "Term", "term"},
          {"levelCombo", "Level", "level"},
          {"departmentCombo", "Department", "department"},
          {"problemTypeCombo", "Type", "problem_type"},
          {"numberCombo", "Number", "number"},
          {"problemSubtypeCombo", "SubType", "problem_subtype"}},
         {{"school", ""}, {"subject", ""}, {"unit", ""}},
         {{"School", "서울한빛고등학교"}, {"Type", 1}, {"Number", 19}}, // 20번 no longer fits ten numbers
         {"school=서울한빛고등학교", "problem_type=서술형", "number="},
         {"Number=-1", "School=서울한빛고등학교"},
         {{"numberCombo", 10}}},
        {[](QSettings* s, QWidget* p) { return std::make_unique<COptSchoolMidDlg>(s, nullptr, p); },
         "SchoolOptMid",
         {{"yearCombo", "Year", "year"},
          {"termCombo", "Term", "term"},
          {"levelCombo", "Level", "level"},
          {"problemTypeCombo", "Type", "problem_type"},
          {"numberCombo", "Number", "number"},
          {"problemSubtypeCombo", "SubType", "problem_subtype"}},
         {{"school", ""}, {"class", ""}, {"subclass", ""}, {"finalclass", ""}}},
        {[](QSettings* s, QWidget* p) {
             return std::make_unique<COptTimestoneDlg>(s, p, QStringList{QStringLiteral(VELLORIN_TOPICS_DIR)});
         },
         "Timestone",
         {{"subjectCombo", nullptr, nullptr},
          {"topicCombo", "Topic", "topic"},
          {"typeCombo", "Type", "type"},
          {"numberCombo", "Number", "number"}},
         {}},
        {[](QSettings* s, QWidget* p) { return std::make_unique<COptDailyProjectDlg>(s, p); },
         "DailyProject",
         {{"volumeCombo", "Volume", "volume"}, {"dayCombo", "Day", nullptr}, {"slotCombo", "Number", nullptr}},
         {{"prob", "월요일 1번"}}},
    };
    return panels;
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

    // Every panel's lists, the keys it sends, and the settings values it keeps, by name: a new panel sends
    // each list's first item (this year for years), and a second panel restores what the first one kept. Tab
    // goes through the panel in reading order, and every control says what it is for. Settings at the ends of
    // the lists are restored, or forgotten, as the table says.
    void listsKeysAndSettings_data()
    {
        QTest::addColumn<int>("panel");
        for (std::size_t i = 0; i < expectedPanels().size(); ++i)
            QTest::newRow(expectedPanels()[i].section) << int(i);
    }

    void listsKeysAndSettings()
    {
        QFETCH(int, panel);
        const ExpectedPanel& want = expectedPanels()[std::size_t(panel)];
        QStringList values; // "Name=index" of each index picked, by the settings value it is kept under
        {
            auto made = want.make(m_settings.get(), m_parent.get());
            CMapStringToString expected = want.otherFields;
            QStringList order;
            for (const char* field : {"school", "id"}) {
                if (want.otherFields.Contains(QLatin1String(field)))
                    order.append(QLatin1String(field) + QLatin1String("Edit"));
            }
            for (const ExpectedList& list : want.lists) {
                QComboBox* box = combo(made.get(), list.combo);
                QVERIFY2(box && box->count() > 0, list.combo);
                order.append(QLatin1String(list.combo));
                // The years run to next year, and a new panel shows this one.
                const bool years = list.key && QLatin1String(list.key) == QLatin1String("year");
                if (years)
                    QCOMPARE(box->itemText(box->count() - 1), thisYear(1));
                QCOMPARE(box->currentText(), years ? thisYear() : box->itemText(0));
                if (list.key)
                    expected.SetAt(QLatin1String(list.key), box->currentText());
            }
            QCOMPARE(collect(*made), expected);

            if (made->findChild<QTreeWidget*>(QStringLiteral("unitTree")))
                order.append(QStringLiteral("unitTree"));
            m_parent->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
            const QList<QWidget*> walked = TabWalk(m_parent.get(), made->findChild<QWidget*>(order.first()));
            QCOMPARE(ObjectNames(walked), order);
            QCOMPARE(walked.size(), TabStops(m_parent.get()).size());
            QCOMPARE(Unnamed(walked), QStringList());

            // The user picks the second item of every list, as the lists that depend on others see it.
            for (const ExpectedList& list : want.lists) {
                QComboBox* box = combo(made.get(), list.combo);
                const int index = std::min(1, box->count() - 1);
                box->setCurrentIndex(index);
                Q_EMIT box->activated(index);
                if (list.value)
                    values.append(QLatin1String(list.value) + u'=' + QString::number(index));
            }
        }
        m_settings->sync();
        if (want.otherFields.Contains(QStringLiteral("school")))
            values.append(QStringLiteral("School="));
        QCOMPARE(m_settings->childGroups(), QStringList{QLatin1String(want.section)});
        const CMapStringToString kept = settingsIn(*m_settings, want.section);
        QCOMPARE(valuesOf(kept, values), values);
        QCOMPARE(kept.GetCount(), values.size());

        auto restored = want.make(m_settings.get(), m_parent.get());
        for (const ExpectedList& list : want.lists) {
            const QString index = QString::number(combo(restored.get(), list.combo)->currentIndex());
            QVERIFY2(!list.value || values.contains(QLatin1String(list.value) + u'=' + index), list.combo);
        }
        restored.reset();

        m_settings->clear();
        for (auto it = want.stored.cbegin(); it != want.stored.cend(); ++it)
            m_settings->setValue(QLatin1String(want.section) + u'/' + it.key(), *it);
        {
            auto edges = want.make(m_settings.get(), m_parent.get());
            QCOMPARE(valuesOf(collect(*edges), want.sent), want.sent);
            for (const auto& [name, count] : want.counts)
                QCOMPARE(combo(edges.get(), name)->count(), count);
        }
        QCOMPARE(valuesOf(settingsIn(*m_settings, want.section), want.kept), want.kept);
    }

    void educationApplyAndCollect()
    {
        COptEducation2022Dlg panel(m_settings.get(), m_parent.get());
        CMapStringToString reply{{"id", "Q-77"},       {"type", "변형2"},   {"prob", "단답형"}, {"year", "2021년"},
                                 {"month", "8월"},     {"level", "3학년"},  {"number", "29번"}, {"score", "4점"},
                                 {"unit", "공간벡터"}, {"q_hwp", "ignored"}};
        panel.SetFieldMap(reply);
        CMapStringToString fields = collect(panel);
        // "8월" is no item: the month stays as it was; a missing key (department) changes nothing either.
        QCOMPARE(valuesOf(fields, {"id", "type", "year", "month", "department", "unit", "sort"}),
                 (QStringList{"id=Q-77", "type=변형2", "year=2021년", "month=3월", "department=공통", "unit=공간벡터",
                              "sort=131"}));
        QVERIFY(!fields.Contains(QStringLiteral("q_hwp")));

        // A reply without an ID empties the field; a subject name selects nothing in the tree.
        CMapStringToString second{{"unit", "기하"}};
        panel.SetFieldMap(second);
        fields = collect(panel);
        QCOMPARE(valuesOf(fields, {"id", "unit"}), (QStringList{"id=", "unit="}));

        // Collecting twice into one map keeps one entry per key, with the second values.
        select(panel.UnitTree(), {QStringLiteral("공통수학1"), QStringLiteral("곱셈 공식")});
        panel.GetFieldMap(fields);
        QCOMPARE(fields.Value("sort"), QStringLiteral("2"));
        QCOMPARE(fields.GetCount(), 11);
    }

    // --- keyboard, the same for every panel ---

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
        // Every shortcut reaches the main window as its command, from a list and from the ID field.
        QList<int> expected;
        for (const ShortcutEntry& entry : kShortcutTable) {
            QTest::keyClick(type, Qt::Key(entry.key & ~int(Qt::KeyboardModifierMask)), Qt::ControlModifier);
            expected.append(entry.command);
        }
        QCOMPARE(m_parent->commands, expected);
        QTest::keyClick(panel.findChild<QLineEdit*>(QStringLiteral("idEdit")), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(m_parent->commands.last(), int(ID_RESET));
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
        // The school is not changed by a loaded question.
        QCOMPARE(valuesOf(fields, {"number", "subject", "unit", "school"}),
                 (QStringList{"number=20번", "subject=수학2", "unit=부정적분", "school="}));

        auto* tree = panel.findChild<QTreeWidget*>(QStringLiteral("unitTree"));
        select(tree, {QStringLiteral("기하")});
        fields = collect(panel);
        QCOMPARE(valuesOf(fields, {"subject", "unit"}), (QStringList{"subject=기하", "unit="}));
        // Such a question, loaded back, selects nothing.
        panel.SetFieldMap(fields);
        QVERIFY(tree->selectedItems().isEmpty());
    }

    // --- the middle-school panel ---

    void middleSchoolTree()
    {
        COptSchoolMidDlg panel(m_settings.get(), nullptr, m_parent.get());
        auto* tree = panel.findChild<QTreeWidget*>(QStringLiteral("unitTree"));

        select(tree, {QStringLiteral("중1(상)"), QStringLiteral("소인수분해"), QStringLiteral("소인수분해")});
        CMapStringToString fields = collect(panel);
        QCOMPARE(valuesOf(fields, {"class", "subclass", "finalclass"}),
                 (QStringList{"class=중1(상)", "subclass=소인수분해", "finalclass=소인수분해"}));

        select(tree, {QStringLiteral("중1(상)"), QStringLiteral("소인수분해")});
        fields = collect(panel);
        QCOMPARE(valuesOf(fields, {"subclass", "finalclass"}), (QStringList{"subclass=", "finalclass=소인수분해"}));
        // Saved with a chapter selected, the question selects nothing when loaded.
        panel.SetFieldMap(fields);
        QVERIFY(tree->selectedItems().isEmpty());

        select(tree, {QStringLiteral("중3(하)")});
        QCOMPARE(valuesOf(collect(panel), {"class", "finalclass"}), (QStringList{"class=중3(하)", "finalclass="}));

        CMapStringToString reply{{"class", "중3(하)"},
                                 {"subclass", "통계 (중3)"},
                                 {"finalclass", "상관관계"},
                                 {"problem_type", "서술형"},
                                 {"number", "25번"}};
        panel.SetFieldMap(reply);
        fields = collect(panel);
        QCOMPARE(valuesOf(fields, {"subclass", "finalclass", "number"}),
                 (QStringList{"subclass=통계 (중3)", "finalclass=상관관계", "number=25번"}));
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
        QCOMPARE(RowTexts(combo(&panel, "numberCombo")->model()), (QStringList{"1번", "2번", "3번"}));
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(combo(&panel, "numberCombo")->count(), 4);

        // A Level2 question numbered 4, loaded while the panel shows Tip.
        type->setCurrentIndex(0);
        panel.FillNumberCombo();
        CMapStringToString reply{{"topic", "원의 방정식"}, {"type", "Level2"}, {"number", "4번"}};
        panel.SetFieldMap(reply);
        CMapStringToString fields = collect(panel);
        QCOMPARE(valuesOf(fields, {"topic", "number"}), (QStringList{"topic=원의 방정식", "number=4번"}));

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
        WriteTestFile(empty.filePath(QStringLiteral("ts_math1.txt")), "\xb0\xa1\r\n\r\n\xc7\xd1\xb1\xdb");
        m_settings->setValue(QStringLiteral("Timestone/Topic"), 2);
        COptTimestoneDlg reading(m_settings.get(), m_parent.get(), {empty.path()});
        QCOMPARE(RowTexts(combo(&reading, "topicCombo")->model()),
                 (QStringList{QStringLiteral("가"), QString(), QStringLiteral("한글")}));
        QCOMPARE(collect(reading).Value("topic"), QStringLiteral("한글"));
        m_settings->setValue(QStringLiteral("Timestone/Topic"), 3);
        COptTimestoneDlg beyond(m_settings.get(), m_parent.get(), {empty.path()});
        QCOMPARE(collect(beyond).Value("topic"), QString());
    }

    // The current folder, then share/vellorin/topics beside the program's folder, then the source tree.
    void topicFoldersInOrder()
    {
        QTemporaryDir current;
        const QString share = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
        const QString installed = share + QStringLiteral("/vellorin/topics");
        QVERIFY(!QDir(share).exists());
        const auto removeInstalled = qScopeGuard([&] { QDir(share).removeRecursively(); });
        QVERIFY(QDir().mkpath(installed));
        const QString previous = QDir::currentPath();
        const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
        QVERIFY(QDir::setCurrent(current.path()));
        const auto firstTopic = [this] {
            COptTimestoneDlg panel(m_settings.get(), m_parent.get());
            return combo(&panel, "topicCombo")->itemText(0);
        };
        WriteTestFile(installed + QStringLiteral("/ts_math1.txt"), "\xbc\xb3\xc4\xa1"); // "설치" in code page 949
        WriteTestFile(current.filePath(QStringLiteral("ts_math1.txt")), "\xc7\xf6\xc0\xe7"); // "현재"
        QCOMPARE(firstTopic(), QStringLiteral("현재"));
        QVERIFY(QFile::remove(current.filePath(QStringLiteral("ts_math1.txt"))));
        QCOMPARE(firstTopic(), QStringLiteral("설치"));
        QVERIFY(QDir(share).removeRecursively());
        QCOMPARE(firstTopic(), QStringLiteral("다항식의 연산"));
    }

    // --- Varud Aroruva ---

    void dailyProject_data()
    {
        QTest::addColumn<QString>("prob");
        QTest::addColumn<QString>("collected");
        QTest::newRow("as this panel writes it")
            << QStringLiteral("금요일 Mission") << QStringLiteral("금요일 Mission");
        QTest::newRow("slot from the sixth character") << QStringLiteral("수요일  3번") << QStringLiteral("수요일 3번");
        QTest::newRow("day only matches") << QStringLiteral("화요일 9번") << QStringLiteral("화요일 1번");
        QTest::newRow("short") << QStringLiteral("월") << QStringLiteral("월요일 1번");
    }

    void dailyProject()
    {
        QFETCH(QString, prob);
        QFETCH(QString, collected);
        COptDailyProjectDlg panel(m_settings.get(), m_parent.get());
        CMapStringToString reply{{"volume", "volume15"}, {"prob", prob}};
        panel.SetFieldMap(reply);
        QCOMPARE(valuesOf(collect(panel), {"volume", "prob"}), (QStringList{"volume=volume15", "prob=" + collected}));

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
