#include "options/CurriculumTables.h"

#include <QSet>
#include <QTest>

// The tables' texts are the bank's vocabulary and are checked where they are used (the panels' lists and the
// sort numbers they send); here is what the program derives from a table.
class TestCurriculum : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tables_data()
    {
        QTest::addColumn<int>("table");
        QTest::newRow("2015 mock exams") << 0;
        QTest::newRow("2022 mock exams") << 1;
        QTest::newRow("high-school exams") << 2;
        QTest::newRow("middle-school exams") << 3;
    }

    void tables()
    {
        QFETCH(int, table);
        const std::array<const CurriculumTable*, 4> tables = {&Curriculum2015(), &Curriculum2022(),
                                                              &CurriculumHighSchool(), &CurriculumMiddleSchool()};
        const CurriculumTable& actual = *tables[std::size_t(table)];
        // Every subject (or grade, and its chapters) has something to choose below it.
        QVERIFY(!actual.isEmpty());
        for (const CurriculumItem& subject : actual) {
            QVERIFY2(!subject.children.isEmpty(), qPrintable(subject.text));
            if (table == 3) {
                for (const CurriculumItem& chapter : subject.children)
                    QVERIFY2(!chapter.children.isEmpty(), qPrintable(chapter.text));
            }
        }
        if (table > 1)
            return;

        // A mock-exam unit's sort number is its running position across the subjects, so a unit's name is
        // never given twice.
        int position = 0;
        QSet<QString> seen;
        for (const CurriculumItem& subject : actual) {
            for (const CurriculumItem& unit : subject.children) {
                QVERIFY2(!seen.contains(unit.text), qPrintable(unit.text));
                seen.insert(unit.text);
                QCOMPARE(GetUnitOrder(actual, unit.text), ++position);
            }
        }
        // A subject, an empty selection or a text that is no unit count every unit.
        QCOMPARE(GetUnitOrder(actual, actual.first().text), position);
        QCOMPARE(GetUnitOrder(actual, QString()), position);
        QCOMPARE(GetUnitOrder(actual, QStringLiteral("도함수의 활용(접선)")), position);
    }
};

QTEST_GUILESS_MAIN(TestCurriculum)
#include "tst_curriculum.moc"
