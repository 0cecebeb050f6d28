#include "options/CurriculumTables.h"

#include <QTest>

namespace {

// The tables as the question bank knows them, one subject (or grade > chapter) a line, its units (or
// sections) after the colon. Every text is sent to the server, and the mock-exam units' positions too.
constexpr char16_t k2015[] = u""
    "수학(상): 다항식의 연산; 곱셈 공식; 항등식; 나머지정리와 인수정리; 인수분해; 복소수; 이차방정식의 근과 판별식; "
    "이차방정식의 근과 계수의 관계; 이차방정식과 이차함수의 관계; 이차함수의 최대, 최소; 여러 가지 방정식; "
    "연립일차방정식; 연립이차방정식; 일차부등식; 이차부등식; 평면좌표; 직선의 방정식; 직선의 위치 관계; 원의 방정식; "
    "원과 직선의 위치 관계; 도형의 이동\n"
    "수학(하): 집합의 뜻과 표현; 집합의 연산; 명제와 조건; 여러 가지 증명; 함수의 뜻과 그래프; 합성함수; 역함수; "
    "유리함수; 무리함수; 경우의 수; 순열; 조합\n"
    "수학1: 거듭제곱과 거듭제곱근; 지수의 확장과 지수법칙; 로그의 뜻과 성질; 상용로그의 정수부분/소수부분; "
    "지수, 로그함수 그래프; 지수, 로그 방정식/부등식; 지수, 로그의 활용; 삼각함수 일반; 삼각함수의 그래프; "
    "삼각함수 방정식/부등식; 사인법칙과 코사인법칙; 삼각형의 넓이; 등차수열; 등차수열의 활용; 등비수열; "
    "등비수열의 활용; 수열의 합; 수열의 합의 활용; 수열의 귀납적 정의; 수열의 귀납적 정의의 활용; 수학적 귀납법\n"
    "수학2: 함수의 극한; 함수의 극한의 활용; 함수의 연속; 함수의 연속 (곱함수); 함수의 연속 (합성함수); "
    "함수의 연속의 활용; 미분계수와 도함수; 미분가능성과 연속성; 도함수의 활용 (접선); 도함수의 활용 (극대, 극소); "
    "도함수의 활용 (최대, 최소); 도함수의 활용 (그래프, 방정식); 도함수의 활용 (운동); 다항함수 부정적분; "
    "다항함수 정적분; 다항함수 정적분으로 정의된 함수; 다항함수 정적분의 활용 (넓이); 다항함수 정적분의 활용 (운동)\n"
    "확률과 통계: 원순열; 중복순열; 같은 것이 있는 순열; 중복조합; 이항정리; 이항계수의 성질; 확률의 연산; "
    "확률의 뜻과 덧셈정리; 조건부확률; 확률의 곱셈정리; 독립시행의 확률; 이산확률변수; 이항분포; 연속확률변수; "
    "정규분포; 표본평균의 분포; 모평균과 신뢰구간\n"
    "미적분: 수열의 극한; 급수; 극한의 성질; 수열의 극한과 급수의 활용; 등비급수의 활용; 수열의 극한과 함수의 연속; "
    "삼각함수 덧셈정리; 삼각함수 덧셈정리의 활용; 삼각함수의 합성; 여러 가지 함수의 극한; 극한의 활용 (삼각함수); "
    "극한의 활용 (지수, 로그함수); 여러 가지 함수의 미분법; 매개변수와 음함수의 미분법; 역함수의 미분법; "
    "여러 가지 도함수의 활용 (접선의 방정식); 여러 가지 도함수의 활용 (그래프); 여러 가지 도함수의 활용 (운동); "
    "여러 가지 도함수의 활용 (변화율); 여러 가지 함수의 적분; 치환적분법; 부분적분법; 역함수의 적분법; "
    "정적분으로 정의된 함수; 정적분과 급수의 합; 여러 가지 정적분의 활용 (넓이); 여러 가지 정적분의 활용 (부피); "
    "여러 가지 정적분의 활용 (운동)\n"
    "기하: 포물선의 방정식; 타원의 방정식; 쌍곡선의 방정식; 이차곡선의 접선; 평면벡터의 뜻과 성분; 평면벡터의 내적; "
    "평면벡터가 그리는 도형; 공간도형; 정사영; 공간좌표; 구의 방정식\n";

constexpr char16_t k2022[] = u""
    "공통수학1: 다항식의 연산; 곱셈 공식; 항등식; 나머지정리와 인수정리; 인수분해; 복소수; 이차방정식의 근과 판별식; "
    "이차방정식의 근과 계수의 관계; 이차방정식과 이차함수의 관계; 이차함수의 최대, 최소; 여러 가지 방정식; "
    "연립이차방정식; 일차부등식; 이차부등식; 경우의 수; 순열; 조합; 행렬의 뜻; 행렬의 연산\n"
    "공통수학2: 평면좌표; 직선의 방정식; 직선의 위치 관계; 원의 방정식; 원과 직선의 위치 관계; 도형의 이동; "
    "집합의 뜻과 표현; 집합의 연산; 명제와 조건; 여러 가지 증명; 함수의 뜻과 그래프; 합성함수; 역함수; 유리함수; "
    "무리함수\n"
    "대수: 거듭제곱과 거듭제곱근; 지수의 확장과 지수법칙; 로그의 뜻과 성질; 상용로그의 정수부분/소수부분; "
    "지수, 로그함수 그래프; 지수, 로그 방정식/부등식; 지수, 로그의 활용; 삼각함수 일반; 삼각함수의 그래프; "
    "삼각함수 방정식/부등식; 사인법칙과 코사인법칙; 삼각형의 넓이; 등차수열; 등차수열의 활용; 등비수열; "
    "등비수열의 활용; 수열의 합; 수열의 합의 활용; 수열의 귀납적 정의; 수열의 귀납적 정의의 활용; 수학적 귀납법\n"
    "미적분1: 함수의 극한; 함수의 극한의 활용; 함수의 연속; 함수의 연속 (곱함수); 함수의 연속 (합성함수); "
    "함수의 연속의 활용; 미분계수와 도함수; 미분가능성과 연속성; 도함수의 활용 (접선); 도함수의 활용 (극대, 극소); "
    "도함수의 활용 (최대, 최소); 도함수의 활용 (그래프, 방정식); 도함수의 활용 (운동); 다항함수 부정적분; "
    "다항함수 정적분; 다항함수 정적분으로 정의된 함수; 다항함수 정적분의 활용 (넓이); 다항함수 정적분의 활용 (운동)\n"
    "확률과 통계: 원순열; 중복순열; 같은 것이 있는 순열; 중복조합; 이항정리; 이항계수의 성질; 확률의 연산; "
    "확률의 뜻과 덧셈정리; 조건부확률; 확률의 곱셈정리; 독립시행의 확률; 이산확률변수; 이항분포; 연속확률변수; "
    "정규분포; 표본평균의 분포; 모평균과 신뢰구간; 모비율의 추정\n"
    "미적분2: 수열의 극한; 급수; 극한의 성질; 수열의 극한과 급수의 활용; 등비급수의 활용; 수열의 극한과 함수의 연속; "
    "삼각함수 덧셈정리; 삼각함수 덧셈정리의 활용; 삼각함수의 합성; 여러 가지 함수의 극한; 극한의 활용 (삼각함수); "
    "극한의 활용 (지수, 로그함수); 여러 가지 함수의 미분법; 매개변수와 음함수의 미분법; 역함수의 미분법; "
    "여러 가지 도함수의 활용 (접선의 방정식); 여러 가지 도함수의 활용 (그래프); 여러 가지 도함수의 활용 (운동); "
    "여러 가지 도함수의 활용 (변화율); 여러 가지 함수의 적분; 치환적분법; 부분적분법; 역함수의 적분법; "
    "정적분으로 정의된 함수; 정적분과 급수의 합; 여러 가지 정적분의 활용 (넓이); 여러 가지 정적분의 활용 (부피); "
    "여러 가지 정적분의 활용 (운동)\n"
    "기하: 포물선의 방정식; 타원의 방정식; 쌍곡선의 방정식; 이차곡선의 접선; 공간도형; 정사영; 공간좌표; "
    "구의 방정식; 평면벡터의 뜻과 성분; 평면벡터의 내적; 평면벡터가 그리는 도형; 공간벡터\n";

constexpr char16_t kHighSchool[] = u""
    "수학(상): 다항식의 연산; 항등식과 나머지 정리; 인수분해; 복소수; 이차방정식; 이차방정식과 이차함수; "
    "여러가지 방정식; 여러가지 부등식; 평면좌표; 직선의 방정식; 원의 방정식; 도형의 이동\n"
    "수학(하): 집합; 명제; 함수; 유리함수; 무리함수; 경우의 수; 순열; 조합\n"
    "수학1: 지수; 지수함수 그래프, 방/부등식; 로그; 로그함수 그래프, 방/부등식; 삼각함수 일반; "
    "삼각함수 그래프, 방/부등식; 삼각함수 활용; 등차수열과 등비수열; 수열의 합; 수열의 귀납적 정의; 수학적 귀납법\n"
    "수학2: 함수의 극한; 함수의 연속; 미분계수와 도함수; 도함수의 활용 (접선); 도함수의 활용 (극대, 극소); "
    "도함수의 활용 (운동); 부정적분; 정적분; 다항함수 정적분의 활용 (넓이); 다항함수 정적분의 활용 (운동)\n"
    "확률과 통계: 여러가지 순열; 중복조합; 이항정리; 확률의 뜻과 활용; 조건부확률; 독립시행의 확률; 이산확률변수; "
    "연속확률변수; 통계적 추정\n"
    "미적분: 수열의 극한; 급수; 등비급수 활용; 극한의 성질; 삼각함수 덧셈정리; 여러가지 함수의 극한; "
    "여러가지 미분법; 도함수의 활용; 여러가지 적분법; 정적분의 활용 (넓이, 부피); 정적분의 활용 (운동)\n"
    "기하: 이차곡선; 벡터의 연산; 평면 벡터의 성분과 내적; 공간도형; 공간좌표\n";

constexpr char16_t kMiddleSchool[] = u""
    "중1(상) > 소인수분해: 소인수분해; 최대공약수와 최소공배수\n"
    "중1(상) > 정수와 유리수: 정수와 유리수; 정수와 유리수의 계산\n"
    "중1(상) > 문자와 식: 문자의 사용과 식의 계산; 일차방정식의 풀이; 일차방정식의 활용\n"
    "중1(상) > 좌표평면과 그래프: 좌표와 그래프; 정비례와 반비례\n"
    "중1(하) > 기본도형: 기본도형; 위치 관계; 작도와 합동\n"
    "중1(하) > 평면도형: 다각형; 원과 부채꼴\n"
    "중1(하) > 입체도형: 다면체와 회전체; 겉넓이와 부피\n"
    "중1(하) > 통계(중1): 자료의 정리와 해석\n"
    "중2(상) > 유리수와 순환소수: 유리수와 순환소수\n"
    "중2(상) > 식의 계산: 단항식의 계산; 다항식의 계산\n"
    "중2(상) > 일차부등식: 일차부등식; 일차부등식의 활용\n"
    "중2(상) > 연립일차방정식: 연립일차방정식; 연립일차방정식의 활용\n"
    "중2(상) > 일차함수: 일차함수와 그래프; 일차함수와 일차방정식의 관계\n"
    "중2(하) > 삼각형의 성질: 이등변 삼각형; 삼각형의 외심과 내심\n"
    "중2(하) > 사각형의 성질: 평행사변형; 여러 가지 사각형\n"
    "중2(하) > 도형의 닮음과 피타고라스 정리: 도형의 닮음; 평행선사이의 길이의 비; 삼각형의 무게중심; "
    "피타고라스 정리\n"
    "중2(하) > 확률: 경우의 수; 확률\n"
    "중3(상) > 실수와 그 연산: 제곱근과 실수; 근호를 포함한 식의 계산\n"
    "중3(상) > 다항식의 곱셈과 인수분해: 다항식의 곱셈; 인수분해\n"
    "중3(상) > 이차방정식: 이차방정식의 풀이; 이차방정식의 활용\n"
    "중3(상) > 이차함수: 이차함수의 일반형; 이차함수의 표준형\n"
    "중3(하) > 삼각비: 삼각비; 삼각비의 활용\n"
    "중3(하) > 원의 성질: 원과 직선; 원주각\n"
    "중3(하) > 통계 (중3): 대푯값과 산포도; 상관관계\n";

// The table in the program's form, from the lines above; "grade > chapter" lines gather under their grade.
CurriculumTable parse(const char16_t* text)
{
    CurriculumTable table;
    const QStringList lines = QString::fromUtf16(text).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        QStringList path = line.left(colon).split(QLatin1String(" > "));
        CurriculumItem leaf{path.takeLast(), {}};
        for (const QString& child : line.mid(colon + 2).split(QLatin1String("; ")))
            leaf.children.append({child, {}});
        if (path.isEmpty()) {
            table.append(leaf);
            continue;
        }
        if (table.isEmpty() || table.last().text != path.first())
            table.append({path.first(), {}});
        table.last().children.append(leaf);
    }
    return table;
}

// Where two tables first differ, for a readable failure.
QString firstDifference(const CurriculumTable& actual, const CurriculumTable& expected, const QString& at = {})
{
    for (qsizetype i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const QString a = i < actual.size() ? actual[i].text : QStringLiteral("(none)");
        const QString e = i < expected.size() ? expected[i].text : QStringLiteral("(none)");
        if (a != e || i >= actual.size() || i >= expected.size())
            return QStringLiteral("%1 item %2: \"%3\" instead of \"%4\"").arg(at).arg(i).arg(a, e);
        const QString below = firstDifference(actual[i].children, expected[i].children, at + u'/' + a);
        if (!below.isEmpty())
            return below;
    }
    return {};
}

} // namespace

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
        const std::array<std::pair<const CurriculumTable*, const char16_t*>, 4> tables = {{
            {&Curriculum2015(), k2015},
            {&Curriculum2022(), k2022},
            {&CurriculumHighSchool(), kHighSchool},
            {&CurriculumMiddleSchool(), kMiddleSchool},
        }};
        const auto& [actual, text] = tables[std::size_t(table)];
        const CurriculumTable expected = parse(text);
        const QString difference = firstDifference(*actual, expected);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        if (table > 1)
            return;

        // A mock-exam unit's sort number is its running position across the subjects.
        int position = 0;
        for (const CurriculumItem& subject : expected) {
            for (const CurriculumItem& unit : subject.children)
                QCOMPARE(GetUnitOrder(*actual, unit.text), ++position);
        }
        // A subject, an empty selection or a text that is no unit count every unit.
        QCOMPARE(GetUnitOrder(*actual, expected.first().text), position);
        QCOMPARE(GetUnitOrder(*actual, QString()), position);
        QCOMPARE(GetUnitOrder(*actual, QStringLiteral("도함수의 활용(접선)")), position);
    }
};

QTEST_GUILESS_MAIN(TestCurriculum)
#include "tst_curriculum.moc"
