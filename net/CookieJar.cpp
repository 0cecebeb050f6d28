#include "net/CookieJar.h"

#include <algorithm>

namespace {

bool isTokenChar(QChar c)
{
    // Cookie names are HTTP tokens: no controls, blanks or separators.
    const char16_t u = c.unicode();
    if (u <= 0x20 || u >= 0x7f)
        return false;
    return !QStringView(u"()<>@,;:\\\"/[]?={}").contains(c);
}

bool isIpAddress(const QString& host)
{
    // IPv6 literals hold ":", IPv4 literals are four numeric labels; neither may match a parent domain.
    if (host.contains(u':'))
        return true;
    const QStringList labels = host.split(u'.');
    return labels.size() == 4 && std::all_of(labels.begin(), labels.end(), [](const QString& label) {
               return !label.isEmpty() && std::all_of(label.begin(), label.end(), [](QChar c) {
                   return c.unicode() >= u'0' && c.unicode() <= u'9';
               });
           });
}

bool domainMatches(const QString& host, const QString& domain)
{
    if (host == domain)
        return true;
    return !isIpAddress(host) && host.endsWith(domain) && host.size() > domain.size() &&
           host.at(host.size() - domain.size() - 1) == u'.';
}

QString defaultPath(const QString& requestPath)
{
    if (!requestPath.startsWith(u'/'))
        return QStringLiteral("/");
    const qsizetype slash = requestPath.lastIndexOf(u'/');
    if (slash <= 0)
        return QStringLiteral("/");
    return requestPath.left(slash);
}

bool pathMatches(const QString& requestPath, const QString& cookiePath)
{
    const QString path = requestPath.isEmpty() ? QStringLiteral("/") : requestPath;
    if (path == cookiePath)
        return true;
    if (!path.startsWith(cookiePath))
        return false;
    return cookiePath.endsWith(u'/') || path.at(cookiePath.size()) == u'/';
}

// Integer made of the leading digits of a token, with the number of digits read.
int leadingDigits(QStringView token, int maxDigits, int* count)
{
    int value = 0;
    int n = 0;
    while (n < token.size() && n < maxDigits && token.at(n).isDigit() && token.at(n).unicode() < 0x80) {
        value = value * 10 + (token.at(n).unicode() - u'0');
        ++n;
    }
    *count = n;
    return value;
}

bool isDateDelimiter(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x09 || (u >= 0x20 && u <= 0x2f) || (u >= 0x3b && u <= 0x40) || (u >= 0x5b && u <= 0x60) ||
           (u >= 0x7b && u <= 0x7e);
}

} // namespace

std::optional<QDateTime> ParseCookieDate(const QString& text)
{
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    std::optional<int> hour, minute, second, day, month, year;

    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDateDelimiter(text.at(i)))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !isDateDelimiter(text.at(i)))
            ++i;
        const QStringView token = QStringView(text).mid(start, i - start);
        if (token.isEmpty())
            continue;

        int n = 0;
        if (!hour) {
            // hh:mm:ss, each part one or two digits.
            int h = leadingDigits(token, 2, &n);
            qsizetype p = n;
            if (n > 0 && p < token.size() && token.at(p) == u':') {
                int m = leadingDigits(token.mid(p + 1), 2, &n);
                if (n > 0 && p + 1 + n < token.size() && token.at(p + 1 + n) == u':') {
                    const qsizetype q = p + 2 + n;
                    int s = leadingDigits(token.mid(q), 2, &n);
                    if (n > 0) {
                        hour = h;
                        minute = m;
                        second = s;
                        continue;
                    }
                }
            }
        }
        if (!day) {
            const int d = leadingDigits(token, 2, &n);
            if (n > 0 && (n == token.size() || !token.at(n).isDigit())) {
                day = d;
                continue;
            }
        }
        if (!month && token.size() >= 3) {
            const QString prefix = token.left(3).toString().toLower();
            const auto it = std::find_if(std::begin(kMonths), std::end(kMonths),
                                         [&](const char* name) { return prefix == QLatin1String(name); });
            if (it != std::end(kMonths)) {
                month = int(it - std::begin(kMonths)) + 1;
                continue;
            }
        }
        if (!year) {
            const int y = leadingDigits(token, 4, &n);
            if (n >= 2 && (n == token.size() || !token.at(n).isDigit())) {
                year = y;
                continue;
            }
        }
    }

    if (!hour || !day || !month || !year)
        return std::nullopt;
    int y = *year;
    if (y >= 70 && y <= 99)
        y += 1900;
    else if (y >= 0 && y <= 69)
        y += 2000;
    if (*day < 1 || *day > 31 || y < 1601 || *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    const QDate date(y, *month, *day);
    if (!date.isValid())
        return std::nullopt;
    return QDateTime(date, QTime(*hour, *minute, *second), Qt::UTC);
}

QStringList SplitFoldedSetCookie(const QString& text)
{
    QStringList cookies;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u',')
            continue;
        qsizetype j = i + 1;
        while (j < text.size() && text.at(j).isSpace())
            ++j;
        const qsizetype nameStart = j;
        while (j < text.size() && isTokenChar(text.at(j)))
            ++j;
        if (j > nameStart && j < text.size() && text.at(j) == u'=') {
            cookies.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    cookies.append(text.mid(start));
    for (QString& cookie : cookies)
        cookie = cookie.trimmed();
    cookies.removeAll(QString());
    return cookies;
}

void CookieJar::StoreFromSetCookie(const QString& host, const QString& requestPath, const QString& setCookieText,
                                   const QDateTime& now)
{
    const QString lowerHost = host.toLower();
    for (const QString& cookie : SplitFoldedSetCookie(setCookieText))
        storeOne(lowerHost, requestPath, cookie, now);
}

void CookieJar::storeOne(const QString& host, const QString& requestPath, const QString& setCookie,
                         const QDateTime& now)
{
    const QStringList parts = setCookie.split(u';');
    const QString& pair = parts.first();
    const qsizetype eq = pair.indexOf(u'=');
    if (eq < 0)
        return;
    Cookie cookie;
    cookie.name = pair.left(eq).trimmed();
    cookie.value = pair.mid(eq + 1).trimmed();
    if (cookie.name.isEmpty())
        return;

    std::optional<QDateTime> expires;
    std::optional<QDateTime> maxAgeExpiry;
    QString domain;
    QString path;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& attribute = parts.at(i);
        const qsizetype aeq = attribute.indexOf(u'=');
        const QString name = (aeq < 0 ? attribute : attribute.left(aeq)).trimmed().toLower();
        const QString value = aeq < 0 ? QString() : attribute.mid(aeq + 1).trimmed();
        if (name == u"expires") {
            if (auto date = ParseCookieDate(value))
                expires = date;
        } else if (name == u"max-age") {
            bool ok = false;
            const qint64 seconds = value.toLongLong(&ok);
            if (ok && !value.isEmpty() && (value.at(0).isDigit() || value.at(0) == u'-'))
                maxAgeExpiry = seconds <= 0 ? QDateTime::fromSecsSinceEpoch(0, Qt::UTC) : now.addSecs(seconds);
        } else if (name == u"domain") {
            domain = value.startsWith(u'.') ? value.mid(1).toLower() : value.toLower();
        } else if (name == u"path") {
            path = value;
        } else if (name == u"secure") {
            cookie.secure = true;
        }
    }

    // Max-Age wins over Expires.
    cookie.expires = maxAgeExpiry ? maxAgeExpiry : expires;
    if (domain.isEmpty()) {
        cookie.domain = host;
        cookie.hostOnly = true;
    } else {
        if (!domainMatches(host, domain))
            return;
        cookie.domain = domain;
        cookie.hostOnly = false;
    }
    cookie.path = path.startsWith(u'/') ? path : defaultPath(requestPath);

    std::lock_guard lock(m_mutex);
    const auto same = std::find_if(m_cookies.begin(), m_cookies.end(), [&](const Cookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (same != m_cookies.end()) {
        cookie.sequence = same->sequence;
        m_cookies.erase(same);
    } else {
        cookie.sequence = m_nextSequence++;
    }
    // A cookie set with a date in the past is the server's way of deleting it.
    if (cookie.expires && *cookie.expires <= now)
        return;
    m_cookies.append(cookie);
}

QString CookieJar::CookieHeaderFor(const QString& host, const QString& requestPath, bool https,
                                   const QDateTime& now) const
{
    const QString lowerHost = host.toLower();
    QList<const Cookie*> matching;
    std::lock_guard lock(m_mutex);
    for (const Cookie& cookie : m_cookies) {
        if (cookie.expires && *cookie.expires <= now)
            continue;
        if (cookie.secure && !https)
            continue;
        const bool domainOk = cookie.hostOnly ? lowerHost == cookie.domain : domainMatches(lowerHost, cookie.domain);
        if (!domainOk || !pathMatches(requestPath, cookie.path))
            continue;
        matching.append(&cookie);
    }
    // Longer paths first, then the older cookie first, as browsers order them.
    std::stable_sort(matching.begin(), matching.end(), [](const Cookie* a, const Cookie* b) {
        if (a->path.size() != b->path.size())
            return a->path.size() > b->path.size();
        return a->sequence < b->sequence;
    });
    QStringList pairs;
    for (const Cookie* cookie : matching)
        pairs.append(cookie->name + u'=' + cookie->value);
    return pairs.join(QStringLiteral("; "));
}

QList<CookieJar::Cookie> CookieJar::Cookies() const
{
    std::lock_guard lock(m_mutex);
    return m_cookies;
}

void CookieJar::Clear()
{
    std::lock_guard lock(m_mutex);
    m_cookies.clear();
}
