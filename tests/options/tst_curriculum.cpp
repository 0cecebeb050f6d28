#include "options/CurriculumTables.h"

#include <QTest>

namespace {

int units(const CurriculumTable& table)
{
    int count = 0;
    for (const CurriculumItem& top : table)
        count += int(top.children.size());
    return count;
}

} // namespace

class TestCurriculum : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizes()
    {
        QCOMPARE(Curriculum2015().size(), 7);
        QCOMPARE(units(Curriculum2015()), 128);
        QCOMPARE(Curriculum2022().size(), 7);
        QCOMPARE(units(Curriculum2022()), 131);
        QCOMPARE(CurriculumHighSchool().size(), 7);
        QCOMPARE(units(CurriculumHighSchool()), 66);
        const CurriculumTable& middle = CurriculumMiddleSchool();
        QCOMPARE(middle.size(), 6);
        QCOMPARE(units(middle), 24);
        int sections = 0;
        for (const CurriculumItem& grade : middle) {
            for (const CurriculumItem& chapter : grade.children) {
                QVERIFY(!chapter.children.isEmpty());
                sections += int(chapter.children.size());
            }
        }
        QCOMPARE(sections, 50);
    }

    void sortNumbers_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("sort");
        QTest::newRow("first") << 2015 << QStringLiteral("다항식의 연산") << 1;
        QTest::newRow("second") << 2015 << QStringLiteral("곱셈 공식") << 2;
        QTest::newRow("first of 수학(하)") << 2015 << QStringLiteral("집합의 뜻과 표현") << 22;
        QTest::newRow("last of 2015") << 2015 << QStringLiteral("구의 방정식") << 128;
        QTest::newRow("공간벡터") << 2022 << QStringLiteral("공간벡터") << 131;
        QTest::newRow("matrices are new in 2022") << 2022 << QStringLiteral("행렬의 연산") << 19;
        QTest::newRow("plane vectors after space in 2022") << 2022 << QStringLiteral("평면벡터의 뜻과 성분") << 128;
        // A subject name, an empty selection or an unknown text give the number of units.
        QTest::newRow("subject") << 2015 << QStringLiteral("수학1") << 128;
        QTest::newRow("nothing selected") << 2022 << QString() << 131;
        QTest::newRow("a space short") << 2015 << QStringLiteral("도함수의 활용(접선)") << 128;
    }

    void sortNumbers()
    {
        QFETCH(int, table);
        QFETCH(QString, unit);
        QFETCH(int, sort);
        QCOMPARE(GetUnitOrder(table == 2015 ? Curriculum2015() : Curriculum2022(), unit), sort);
    }

    void textsAreExact()
    {
        const CurriculumTable& middle = CurriculumMiddleSchool();
        QCOMPARE(middle[1].children.last().text, QStringLiteral("통계(중1)"));
        QCOMPARE(middle[5].children.last().text, QStringLiteral("통계 (중3)"));
        QCOMPARE(middle[0].text, QStringLiteral("중1(상)"));
        // Chapter and first section may share a name.
        QCOMPARE(middle[0].children[0].text, QStringLiteral("소인수분해"));
        QCOMPARE(middle[0].children[0].children[0].text, QStringLiteral("소인수분해"));
        QCOMPARE(middle[3].children[3].text, QStringLiteral("확률"));
        QCOMPARE(middle[3].children[3].children[1].text, QStringLiteral("확률"));
        QCOMPARE(CurriculumHighSchool()[0].children[6].text, QStringLiteral("여러가지 방정식"));
        QCOMPARE(Curriculum2015()[0].children[6].text, QStringLiteral("이차방정식의 근과 판별식"));
        QCOMPARE(Curriculum2015()[2].children[3].text, QStringLiteral("상용로그의 정수부분/소수부분"));
        QCOMPARE(Curriculum2022()[3].text, QStringLiteral("미적분1"));
        QCOMPARE(CurriculumHighSchool()[3].children[3].text, QStringLiteral("도함수의 활용 (접선)"));
    }
};

QTEST_GUILESS_MAIN(TestCurriculum)
#include "tst_curriculum.moc"
