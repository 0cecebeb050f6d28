#include "ui/main/Vocabulary.h"

#include <QSet>
#include <QTest>

class TestVocabulary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void categories()
    {
        // Radio 1204 is the middle-school category: its endpoints and messages follow from it.
        const auto mid = CategoryFromRadioId(1204);
        QVERIFY(mid.has_value());
        QCOMPARE(CategoryEndpointSuffix(*mid), QStringLiteral("chapter_mid"));
        QCOMPARE(CategoryMessageLabel(*mid), QStringLiteral("중등 내신기출"));
        QCOMPARE(CategorySettingsSection(*mid), QStringLiteral("SchoolOptMid"));

        // The high-school radio lacks the curriculum year that its messages carry.
        QCOMPARE(CategoryRadioLabel(Category::School2015), QStringLiteral("고등 내신기출"));
        QCOMPARE(CategoryMessageLabel(Category::School2015), QStringLiteral("고등 내신기출 (2015 개정)"));

        QVERIFY(!CategoryFromRadioId(1200).has_value());
        QVERIFY(!CategoryFromRadioId(1207).has_value());

        QSet<QString> suffixes, sections;
        int duplicationChecks = 0;
        for (Category category : kAllCategories) {
            QCOMPARE(CategoryFromRadioId(CategoryRadioId(category)), category);
            suffixes.insert(CategoryEndpointSuffix(category));
            sections.insert(CategorySettingsSection(category));
            duplicationChecks += CategoryHasDuplicationCheck(category);
        }
        QCOMPARE(suffixes.size(), 6);
        QCOMPARE(sections.size(), 6);
        QCOMPARE(duplicationChecks, 2);
        QVERIFY(CategoryHasDuplicationCheck(Category::Education2022));
    }

    void slots()
    {
        // The explanation's letter is "d", not "e".
        QCOMPARE(SlotFileLetter(DocumentSlot::Explanation), QChar(u'd'));
        QCOMPARE(SlotTabLabel(DocumentSlot::Answer), QStringLiteral("정답"));
        for (DocumentSlot slot : kAllDocumentSlots) {
            QCOMPARE(SlotFromIndex(SlotIndex(slot)), slot);
            QCOMPARE(SlotEditorControlId(slot), 900 + SlotIndex(slot));
        }
        QVERIFY(!SlotFromIndex(3).has_value());
        QVERIFY(!SlotFromIndex(-1).has_value());
    }

    void events()
    {
        QSet<int> types;
        for (MainWindowEvent event : kAllMainWindowEvents) {
            QVERIFY(MainWindowEventType(event) > QEvent::User);
            QVERIFY(MainWindowEventName(event).startsWith(QLatin1String("UM_")));
            types.insert(MainWindowEventType(event));
        }
        QCOMPARE(types.size(), 5);
        QCOMPARE(int(UM_FOCUS_MAIN) - int(UM_LOGIN), 4);
    }
};

QTEST_GUILESS_MAIN(TestVocabulary)
#include "tst_vocabulary.moc"
