// Set-Cookie texts and the cookie jar. The first line is the host, the second the request path, every further
// line the Set-Cookie text of one reply (folded cookies included).

#include "net/Communicator.h"
#include "net/CookieJar.h"

#include "tests/fuzz/FuzzSupport.h"

namespace {

void checkDate(const QString& text)
{
    if (const std::optional<QDateTime> date = ParseCookieDate(text))
        FUZZ_CHECK(date->isValid() && date->date().year() >= 1601 && date->timeSpec() == Qt::UTC);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QStringList lines = QString::fromUtf8(FuzzBytes(data, size)).split(u'\n');
    if (lines.size() < 3)
        return 0;
    const QString& host = lines[0];
    const QString& path = lines[1];
    const QDateTime now(QDate(2025, 3, 1), QTime(12, 0), Qt::UTC);

    CookieJar jar;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        checkDate(lines[i]);
        for (const QString& cookie : SplitFoldedSetCookie(lines[i])) {
            FUZZ_CHECK(!cookie.isEmpty() && cookie == cookie.trimmed());
            for (const QString& attribute : cookie.split(u';'))
                checkDate(attribute.mid(attribute.indexOf(u'=') + 1));
        }
        (void)CCommunicator::ExtractCookieValue(lines[i], QStringLiteral("_csrf_token_value"));
        jar.StoreFromSetCookie(host, path, lines[i], now);
    }
    for (const CookieJar::Cookie& cookie : jar.Cookies()) {
        FUZZ_CHECK(!cookie.name.isEmpty() && cookie.path.startsWith(u'/') && cookie.domain == cookie.domain.toLower());
        FUZZ_CHECK(!cookie.expires || *cookie.expires > now);
    }
    for (const bool https : {true, false}) {
        (void)jar.CookieHeaderFor(host, path, https, now);
        (void)jar.CookieHeaderFor(host, path + QStringLiteral("/deeper"), https, now.addYears(1));
    }
    return 0;
}
