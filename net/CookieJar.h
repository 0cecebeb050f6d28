#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

// Keeps the cookies that the server sets and says which to send back, as a browser does: the question-bank
// server checks the form token against its token cookie, so every request after the session start must
// carry it. Used from the HTTP library's pool threads, hence the lock.
class CookieJar
{
public:
    struct Cookie
    {
        QString name;
        QString value;
        QString domain; // lower case, without a leading dot
        QString path;
        bool hostOnly = true;
        bool secure = false;
        std::optional<QDateTime> expires; // none: lives for the session
        qint64 sequence = 0;              // order of first creation
    };

    // Takes the Set-Cookie text of a reply to a request for `host` and `requestPath`. The text may hold
    // several cookies folded into one line joined by ", ".
    void StoreFromSetCookie(const QString& host, const QString& requestPath, const QString& setCookieText,
                            const QDateTime& now = QDateTime::currentDateTimeUtc());

    // The Cookie header value for a request, or an empty text when no cookie matches.
    QString CookieHeaderFor(const QString& host, const QString& requestPath, bool https,
                            const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

    QList<Cookie> Cookies() const;
    void Clear();

private:
    void storeOne(const QString& host, const QString& requestPath, const QString& setCookie, const QDateTime& now);

    mutable std::mutex m_mutex;
    QList<Cookie> m_cookies;
    qint64 m_nextSequence = 0;
};

// Splits a folded Set-Cookie text into the separate cookie strings. Only a comma that is followed by
// "name=" separates two cookies; the comma inside an Expires date does not.
QStringList SplitFoldedSetCookie(const QString& text);

// The lenient cookie date reading of browsers ("Fri, 05 Dec 2026 10:00:00 GMT", "Friday, 05-Dec-26 …",
// asctime). Returns nothing for a text that is not a date.
std::optional<QDateTime> ParseCookieDate(const QString& text);
