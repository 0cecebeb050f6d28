#include "ui/main/Vocabulary.h"

#include <QTest>

// The texts below are the question bank's and the users' own words, typed in here independently of the
// program's tables: a changed letter in an endpoint, a label or a settings section must show up here.
class TestVocabulary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void categories_data()
    {
        QTest::addColumn<int>("radioId");
        QTest::addColumn<QString>("radioLabel");
        QTest::addColumn<QString>("messageLabel");
        QTest::addColumn<QString>("panelClass");
        QTest::addColumn<int>("templateId");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("duplicationCheck");

        QTest::newRow("Education2015") << 1201 << QStringLiteral("교육청/평가원 (2015 개정)")
                                       << QStringLiteral("교육청/평가원 (2015 개정)") << "COptEducation2015Dlg" << 210
                                       << "Education2015Opt" << "education2015" << true;
        QTest::newRow("Education2022") << 1202 << QStringLiteral("교육청/평가원 (2022 개정)")
                                       << QStringLiteral("교육청/평가원 (2022 개정)") << "COptEducation2022Dlg" << 250
                                       << "Education2022Opt" << "education2022" << true;
        // The high-school radio lacks the curriculum year that its messages carry.
        QTest::newRow("School2015") << 1203 << QStringLiteral("고등 내신기출") << QStringLiteral("고등 내신기출 (2015 개정)")
                                    << "COptSchool2015Dlg" << 230 << "School2015Opt" << "chapter2015" << false;
        QTest::newRow("SchoolMid") << 1204 << QStringLiteral("중등 내신기출") << QStringLiteral("중등 내신기출")
                                   << "COptSchoolMidDlg" << 150 << "SchoolOptMid" << "chapter_mid" << false;
        QTest::newRow("Timestone") << 1205 << "Dar Iziza Vizadu" << "Dar Iziza Vizadu" << "COptTimestoneDlg" << 160
                                   << "Timestone" << "timestone" << false;
        QTest::newRow("DailyProject") << 1206 << "Varud Aroruva" << "Varud Aroruva" << "COptDailyProjectDlg" << 240
                                      << "DailyProject" << "daily" << false;
    }

    void categories()
    {
        QFETCH(int, radioId);
        // The rows come in the order of the radio buttons, which is the order of every loop over them.
        const Category category = kAllCategories[std::size_t(radioId - 1201)];
        QCOMPARE(CategoryFromRadioId(radioId), std::optional<Category>(category));
        QCOMPARE(CategoryRadioId(category), radioId);
        QTEST(CategoryRadioLabel(category), "radioLabel");
        QTEST(CategoryMessageLabel(category), "messageLabel");
        QTEST(CategoryPanelClass(category), "panelClass");
        QTEST(CategoryPanelTemplateId(category), "templateId");
        QTEST(CategorySettingsSection(category), "section");
        QTEST(CategoryEndpointSuffix(category), "suffix");
        QTEST(CategoryHasDuplicationCheck(category), "duplicationCheck");
    }

    void lookupsOutsideTheTables()
    {
        QVERIFY(!CategoryFromRadioId(1200).has_value());
        QVERIFY(!CategoryFromRadioId(1207).has_value());
        QVERIFY(!SlotFromIndex(3).has_value());
        QVERIFY(!SlotFromIndex(-1).has_value());
    }

    void slots_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("tabLabel");
        QTest::addColumn<int>("editorId");
        QTest::addColumn<QChar>("fileLetter");

        QTest::newRow("Question") << 0 << QStringLiteral("문제") << 900 << QChar(u'q');
        QTest::newRow("Answer") << 1 << QStringLiteral("정답") << 901 << QChar(u'a');
        // The explanation's letter is "d", not "e": its keys are "d_hwp", "d_png".
        QTest::newRow("Explanation") << 2 << QStringLiteral("해설") << 902 << QChar(u'd');
    }

    void slots()
    {
        QFETCH(int, index);
        const DocumentSlot slot = kAllDocumentSlots[std::size_t(index)];
        QCOMPARE(SlotFromIndex(index), std::optional<DocumentSlot>(slot));
        QCOMPARE(SlotIndex(slot), index);
        QTEST(SlotTabLabel(slot), "tabLabel");
        QTEST(SlotEditorControlId(slot), "editorId");
        QTEST(SlotFileLetter(slot), "fileLetter");
    }

    void events()
    {
        const std::array<std::pair<MainWindowEvent, const char*>, 5> expected = {{
            {UM_LOGIN, "UM_LOGIN"},
            {UM_RENDER_PAGE_IMAGES, "UM_RENDER_PAGE_IMAGES"},
            {UM_SAVE_HWP, "UM_SAVE_HWP"},
            {UM_FOCUS_EDITOR, "UM_FOCUS_EDITOR"},
            {UM_FOCUS_MAIN, "UM_FOCUS_MAIN"},
        }};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(kAllMainWindowEvents[i], expected[i].first);
            QCOMPARE(int(MainWindowEventType(expected[i].first)), int(QEvent::User) + 1 + int(i));
            QCOMPARE(MainWindowEventName(expected[i].first), QLatin1String(expected[i].second));
        }
    }
};

QTEST_GUILESS_MAIN(TestVocabulary)
#include "tst_vocabulary.moc"
