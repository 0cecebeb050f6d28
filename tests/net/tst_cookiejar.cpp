#include "net/CookieJar.h"

#include <QTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC);

} // namespace

class TestCookieJar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitFolded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("cookies");

        QTest::newRow("expires comma is not a separator")
            << "ci=1; expires=Fri, 05 Dec 2026 10:00:00 GMT; path=/; HttpOnly, _csrf_token_value=xyz; path=/"
            << QStringList{"ci=1; expires=Fri, 05 Dec 2026 10:00:00 GMT; path=/; HttpOnly",
                           "_csrf_token_value=xyz; path=/"};
        QTest::newRow("single") << "a=b" << QStringList{"a=b"};
        QTest::newRow("three") << "a=1,b=2, c=3" << QStringList{"a=1", "b=2", "c=3"};
        QTest::newRow("comma in a value") << "a=x,y; path=/" << QStringList{"a=x,y; path=/"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void splitFolded()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, cookies);
        QCOMPARE(SplitFoldedSetCookie(text), cookies);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("date");

        const QDateTime expected(QDate(2026, 12, 5), QTime(10, 0, 0), Qt::UTC);
        QTest::newRow("rfc 1123") << "Fri, 05 Dec 2026 10:00:00 GMT" << expected;
        QTest::newRow("rfc 850") << "Friday, 05-Dec-26 10:00:00 GMT" << expected;
        QTest::newRow("asctime") << "Fri Dec  5 10:00:00 2026" << expected;
        QTest::newRow("1970s two-digit year")
            << "Thu, 01-Jan-70 00:00:01 GMT" << QDateTime(QDate(1970, 1, 1), QTime(0, 0, 1), Qt::UTC);
        QTest::newRow("no time") << "Fri, 05 Dec 2026" << QDateTime();
        QTest::newRow("bad day") << "Fri, 31 Feb 2026 10:00:00 GMT" << QDateTime();
        QTest::newRow("garbage") << "tomorrow" << QDateTime();
    }

    void dates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, date);
        QCOMPARE(ParseCookieDate(text), date.isValid() ? std::optional(date) : std::nullopt);
    }

    void pathAndDomainMatching()
    {
        CookieJar jar;
        jar.StoreFromSetCookie("qb.example.kr", "/qb", "root=1; Path=/", kNow);
        jar.StoreFromSetCookie("qb.example.kr", "/qb", "app=2; Path=/qb", kNow);
        jar.StoreFromSetCookie("qb.example.kr", "/qb/js_user/login", "user=3", kNow); // default path /qb/js_user
        jar.StoreFromSetCookie("qb.example.kr", "/qb", "wide=4; Domain=.example.kr", kNow);
        jar.StoreFromSetCookie("qb.example.kr", "/qb", "foreign=5; Domain=other.kr", kNow); // refused

        QCOMPARE(jar.CookieHeaderFor("qb.example.kr", "/qb/js_user/login", true, kNow),
                 QStringLiteral("user=3; app=2; root=1; wide=4"));
        QCOMPARE(jar.CookieHeaderFor("qb.example.kr", "/qbx", true, kNow), QStringLiteral("root=1; wide=4"));
        QCOMPARE(jar.CookieHeaderFor("www.example.kr", "/qb", true, kNow), QStringLiteral("wide=4"));
        QCOMPARE(jar.CookieHeaderFor("example.kr", "/", true, kNow), QStringLiteral("wide=4"));
        QCOMPARE(jar.CookieHeaderFor("QB.EXAMPLE.KR", "/", true, kNow), QStringLiteral("root=1; wide=4"));
        QCOMPARE(jar.CookieHeaderFor("other.kr", "/", true, kNow), QString());
        QCOMPARE(jar.Cookies().size(), 4);

        // An address is host-only: no domain is a suffix of it.
        jar.StoreFromSetCookie("127.0.0.1", "/qb", "a=1; Path=/", kNow);
        jar.StoreFromSetCookie("127.0.0.1", "/qb", "b=2; Domain=0.0.1; Path=/", kNow);
        QCOMPARE(jar.CookieHeaderFor("127.0.0.1", "/qb", true, kNow), QStringLiteral("a=1"));
        QCOMPARE(jar.CookieHeaderFor("10.127.0.0.1", "/qb", true, kNow), QString());
    }

    void expiry()
    {
        CookieJar jar;
        jar.StoreFromSetCookie("h", "/", "session=1", kNow);
        jar.StoreFromSetCookie("h", "/", "hour=2; Max-Age=3600", kNow);
        jar.StoreFromSetCookie("h", "/", "dated=3; Expires=Sat, 06 Dec 2026 09:00:00 GMT", kNow);
        // Max-Age wins over Expires.
        jar.StoreFromSetCookie("h", "/", "both=4; Expires=Sat, 06 Dec 2026 07:00:00 GMT; Max-Age=60", kNow);
        jar.StoreFromSetCookie("h", "/", "past=5; Expires=Thu, 01 Jan 1970 00:00:00 GMT", kNow);
        QCOMPARE(jar.CookieHeaderFor("h", "/", true, kNow), QStringLiteral("session=1; hour=2; dated=3; both=4"));
        QCOMPARE(jar.CookieHeaderFor("h", "/", true, kNow.addSecs(61)), QStringLiteral("session=1; hour=2; dated=3"));
        QCOMPARE(jar.CookieHeaderFor("h", "/", true, kNow.addSecs(3601)), QStringLiteral("session=1"));

        // Setting a cookie again with Max-Age=0 deletes it; setting it with a new value replaces it in place.
        jar.StoreFromSetCookie("h", "/", "hour=x; Max-Age=0", kNow);
        jar.StoreFromSetCookie("h", "/", "session=renewed", kNow);
        QCOMPARE(jar.CookieHeaderFor("h", "/", true, kNow), QStringLiteral("session=renewed; dated=3; both=4"));
    }

    // Secure cookies go only over HTTPS; malformed ones are ignored.
    void attributesAndMalformedCookies()
    {
        CookieJar jar;
        jar.StoreFromSetCookie("h", "/", "s=1; Secure; HttpOnly, p=2", kNow);
        jar.StoreFromSetCookie("h", "/", "novalue; Path=/", kNow);
        jar.StoreFromSetCookie("h", "/", "=nameless", kNow);
        jar.StoreFromSetCookie("h", "/", "ok=1; Max-Age=soon; Expires=never", kNow);
        jar.StoreFromSetCookie("h", "/", "eq=a=b==; Path=/", kNow);
        QCOMPARE(jar.CookieHeaderFor("h", "/", true, kNow), QStringLiteral("s=1; p=2; ok=1; eq=a=b=="));
        QCOMPARE(jar.CookieHeaderFor("h", "/", false, kNow), QStringLiteral("p=2; ok=1; eq=a=b=="));
    }
};

QTEST_GUILESS_MAIN(TestCookieJar)
#include "tst_cookiejar.moc"
