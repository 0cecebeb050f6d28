#include "net/Communicator.h"

#include "net/AnsiCodepage.h"

#include "tests/support/ScriptedServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestTls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

// Decodes a form body the way any server's form parser does, to check what the server really receives.
QList<std::pair<QString, QString>> decodeForm(const std::string& body)
{
    auto decode = [](QByteArray text) {
        text.replace('+', ' ');
        return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
    };
    QList<std::pair<QString, QString>> fields;
    for (const QByteArray& field : QByteArray::fromStdString(body).split('&')) {
        const qsizetype eq = field.indexOf('=');
        fields.append({decode(field.left(eq)), eq < 0 ? QString() : decode(field.mid(eq + 1))});
    }
    return fields;
}

std::optional<QString> formValue(const std::string& body, const QString& key)
{
    for (const auto& [name, value] : decodeForm(body)) {
        if (name == key)
            return value;
    }
    return std::nullopt;
}

// Compares an error text with an expected one in which "*" stands for the library's own description of a
// failure (non-empty, and never the generic one).
bool matchesError(const QString& text, const QString& expected)
{
    const qsizetype star = expected.indexOf(u'*');
    if (star < 0)
        return text == expected;
    const QString head = expected.left(star);
    const QString tail = expected.mid(star + 1);
    return text.startsWith(head) && text.endsWith(tail) && text.size() > head.size() + tail.size() &&
           !text.contains(QLatin1String("Unknown exception"));
}

constexpr char kOk[] = R"({"result_code":0,"result_message":"ok"})";

// What the login, the permission check, the version check and the school search leave when no usable reply
// arrives.
const QString kLoginFailed = QStringLiteral("Login failed. (*) (Line: 177)");
const QString kPermissionFailed = QStringLiteral("Permission check failed. Data error. (Line: 229)");
const QString kVersionFailed = QStringLiteral("Version check failed. Data error. (Line: 129)");
const QString kSearchFailed = QStringLiteral("Search failed. (*) (Line: 347) \r\nError: ");
constexpr char kFormType[] = "application/x-www-form-urlencoded; charset=utf-8";

// What each operation is called with in the request-level tests.
enum class Operation
{
    Login,
    Permission,
    Version,
    Schools,
    Get,
    Duplication,
    Delete,
    Insert,
};

bool run(CCommunicator& c, Operation op, Category category, const CMapStringToString& request,
         CMapStringToString* reply = nullptr, QString* text = nullptr)
{
    CMapStringToString scratch;
    CMapStringToString* out = reply ? reply : &scratch;
    QString ignored;
    QString& got = text ? *text : ignored;
    switch (op) {
    case Operation::Login:
        return c.Login(QStringLiteral("editor"), QStringLiteral("pw"));
    case Operation::Permission:
        return c.GetPermission(QStringLiteral("관리자 1"), got);
    case Operation::Version:
        return c.GetVersion(got);
    case Operation::Schools: {
        // The schools found, each as its "key=value" fields in key order.
        CFieldMapList list;
        const bool ok = c.FindSchools(QStringLiteral("한국"), &list);
        QStringList schools;
        for (const CMapStringToString& school : list) {
            QStringList fields;
            for (auto it = school.begin(); it != school.end(); ++it)
                fields.append(it.key() + u'=' + it.value());
            fields.sort();
            schools.append(fields.join(u' '));
        }
        got = schools.join(u';');
        return ok;
    }
    case Operation::Get:
        return c.GetQuestion(category, &request, out);
    case Operation::Duplication:
        return c.CheckDuplicate(category, &request, out);
    case Operation::Delete:
        return c.DeleteQuestion(category, &request);
    case Operation::Insert:
        return c.InsertQuestion(category, &request, nullptr, nullptr);
    }
    return false;
}

struct Lines
{
    Category category;
    const char* suffix;
    int get, getResult, dup, dupResult, del, delResult, insNotOk, insReceive, insResult;
};

// The line numbers that support staff know the messages by.
const Lines kLines[] = {
    {Category::Education2015, "education2015", 457, 463, 561, 567, 637, 643, 788, 810, 816},
    {Category::Education2022, "education2022", 914, 920, 1018, 1024, 1094, 1100, 1245, 1267, 1273},
    {Category::School2015, "chapter2015", 1371, 1377, 0, 0, 1442, 1448, 1593, 1615, 1621},
    {Category::SchoolMid, "chapter_mid", 1719, 1725, 0, 0, 1790, 1796, 1941, 1963, 1969},
    {Category::Timestone, "timestone", 2067, 2073, 0, 0, 2144, 2150, 2295, 2317, 2323},
    {Category::DailyProject, "daily", 2421, 2427, 0, 0, 2498, 2504, 2649, 2671, 2677},
};

// An error text that no operation writes by itself; seeing it afterwards means the text was left alone.
constexpr char kEarlierError[] = "Version check failed. Invalid status. (Status: 418)";

// How the server lets an operation down: it is not reached (the first five), its reply is cut short (the
// next three), or it answers the row's status and body. The names are those of the rows.
enum class Fault
{
    NothingListens,
    NotHttps,
    SelfSigned,
    OtherAuthority,
    // Its issuer has the trusted certificate's name: only the signature tells them apart.
    OtherAuthorityTrustedName,
    HeadersOnly,
    ClosedMidBody,
    // The whole reply arrives, but less than the Content-Length promised.
    ShortOfContentLength,
    Answers,
};
const char* const kFaultNames[] = {"nothing listens",
                                   "not https",
                                   "self-signed",
                                   "issued by another authority",
                                   "another authority under the trusted name",
                                   "headers only",
                                   "closed mid-body",
                                   "longer Content-Length"};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(Category)

class TestCommunicator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<CCommunicator> m_client;
    // Servers whose certificates we do not trust; each answers everything, were it asked.
    std::map<Fault, std::unique_ptr<ScriptedServer>> m_impostors;

    void startSession(const std::string& token = "tok")
    {
        m_server->setSessionStart("_csrf_token_value=" + token + "; Path=/");
        QVERIFY(m_client->StartSession());
        m_server->clearRequests();
    }

    void leaveEarlierError()
    {
        m_server->setJson("/qb/js_bank/tarvix_app_version", "{}", 418);
        QString version;
        QVERIFY(!m_client->GetVersion(version));
        QCOMPARE(m_client->GetLastErrorText(), QLatin1String(kEarlierError));
    }

    // The error text that the last operation left matches `expected` (see matchesError).
    void verifyError(const QString& expected)
    {
        QVERIFY2(matchesError(m_client->GetLastErrorText(), expected), qPrintable(m_client->GetLastErrorText()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<ScriptedServer>();
        QTemporaryDir dir; // each server reads its certificate as it starts, so one folder does for all
        for (Fault fault : {Fault::SelfSigned, Fault::OtherAuthority, Fault::OtherAuthorityTrustedName}) {
            const TestTls tls = fault == Fault::SelfSigned
                                    ? TestTls::makeUntrusted(dir.path())
                                    : TestTls::makeIssuedByStranger(
                                          dir.path(), fault == Fault::OtherAuthority ? "Other CA" : "127.0.0.1");
            auto& impostor = m_impostors[fault] = std::make_unique<ScriptedServer>(&tls);
            impostor->setReply(
                "/qb", ScriptedServer::Reply{200, "", "text/html", {{"Set-Cookie", "_csrf_token_value=stolen"}}});
            impostor->setJson("/qb/js_bank/tarvix_app_version", R"({"version":45})");
            impostor->setJson("/qb/js_user/getpermission", R"({"permission":"32768"})");
            impostor->setJson("/qb/js_user/login", kOk);
            impostor->setJson("/qb/js_bank/insert/education2015", kOk);
        }
    }

    void init()
    {
        m_server->reset();
        m_client = std::make_unique<CCommunicator>(m_server->baseUrl());
    }

    void cleanup() { m_client.reset(); }

    void cleanupTestCase() { m_server.reset(); }

    void sessionStart_data()
    {
        QTest::addColumn<QString>("earlier");
        QTest::addColumn<QStringList>("setCookies");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("token");

        QTest::newRow("only cookie") << "" << QStringList{"_csrf_token_value=abc"} << true << "abc";
        QTest::newRow("no Set-Cookie") << "" << QStringList{} << false << "";
        QTest::newRow("name in capitals") << "" << QStringList{"_CSRF_TOKEN_VALUE=abc"} << false << "";
        QTest::newRow("empty value") << "" << QStringList{"_csrf_token_value=; path=/"} << false << "";
        // The token is read from the text of the header, cookie by cookie and piece by piece.
        QTest::newRow("blanks") << "" << QStringList{"a=1;  _csrf_token_value = v1 ; path=/"} << true << "v1";
        QTest::newRow("prefix is not a match") << "" << QStringList{"_csrf_token_value2=x"} << false << "";
        QTest::newRow("no =") << "" << QStringList{"_csrf_token_value; path=/"} << false << "";
        QTest::newRow("first of two") << "" << QStringList{"_csrf_token_value=1, _csrf_token_value=2"} << true << "1";
        // A failed restart keeps the token of the session before.
        QTest::newRow("failure after a session") << "first" << QStringList{} << false << "first";
    }

    void sessionStart()
    {
        QFETCH(QString, earlier);
        QFETCH(QStringList, setCookies);
        QFETCH(bool, ok);
        QFETCH(QString, token);

        if (!earlier.isEmpty())
            startSession(earlier.toStdString());
        ScriptedServer::Reply reply{200, "<html><body>question bank</body></html>", "text/html; charset=utf-8", {}};
        for (const QString& cookie : setCookies)
            reply.headers.emplace_back("Set-Cookie", cookie.toStdString());
        m_server->setReply("/qb", reply);

        QCOMPARE(m_client->StartSession(), ok);
        QCOMPARE(m_client->CsrfToken(), token);
        QCOMPARE(m_client->GetLastErrorText(), QString());

        // One GET /qb, not retried however the token is missing.
        QCOMPARE(m_server->requests().size(), std::size_t(1));
        QCOMPARE(m_server->lastRequest().path, std::string("/qb"));
    }

    void cookiesAreSentBack()
    {
        ScriptedServer::Reply reply;
        reply.contentType = "text/html";
        reply.headers = {
            {"Set-Cookie", "ci_session=s3ss10n; expires=Fri, 05 Dec 2036 10:00:00 GMT; path=/; HttpOnly"},
            {"Set-Cookie", "_csrf_token_value=t0k=en; path=/qb"},
            {"Set-Cookie", "elsewhere=1; path=/admin"},
            {"Set-Cookie", "gone=1; Max-Age=0; path=/"},
        };
        m_server->setReply("/qb", reply);
        QVERIFY(m_client->StartSession());
        QCOMPARE(m_client->CsrfToken(), QStringLiteral("t0k=en"));

        m_server->setJson("/qb/js_user/login", kOk);
        QVERIFY(m_client->Login(QStringLiteral("editor"), QStringLiteral("pw")));
        const auto login = m_server->lastRequest();
        // The longer path first, as browsers order them; the token cookie's value keeps its "=".
        QCOMPARE(login.headerValues("Cookie"),
                 std::vector<std::string>{"_csrf_token_value=t0k=en; ci_session=s3ss10n"});
        QCOMPARE(formValue(login.body, "_csrf_token_name"), QStringLiteral("t0k=en"));

        // A cookie the server replaces later is sent with its new value.
        m_server->setReply(
            "/qb/js_user/getpermission",
            ScriptedServer::Reply{
                200, R"({"permission":"32768"})", "application/json", {{"Set-Cookie", "ci_session=rotated; path=/"}}});
        QString permission;
        QVERIFY(m_client->GetPermission(QStringLiteral("editor"), permission));
        m_server->setJson("/qb/js_bank/get/daily", kOk);
        CMapStringToString request, record;
        QVERIFY(m_client->GetDailyProject(&request, &record));
        QCOMPARE(m_server->lastRequest().header("Cookie"), std::string("_csrf_token_value=t0k=en; ci_session=rotated"));
    }

    // The login, the permission check and the version check each read their reply field by field; what they
    // hand back stays as it was unless the reply carries it. The school search hands back the schools it read.
    void plainReplies_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");

        // Adds the rows of one operation, each named after it.
        const auto rows = [](Operation op, const char* kind, const char* path) {
            return [=](const char* name) -> QTestData& {
                return QTest::addRow("%s: %s", kind, name) << op << QString::fromLatin1(path);
            };
        };
        const auto login = rows(Operation::Login, "login", "/qb/js_user/login");
        login("success, any message") << 200 << R"({"result_code":0,"result_message":"환영합니다"})" << true
                                      << "unchanged" << kEarlierError;
        login("refused") << 200 << R"({"result_code":1,"result_message":"비밀번호가 틀렸습니다."})" << false
                         << "unchanged"
                         << QStringLiteral("Invalid result code. (Code: 1, Line: 183) \r\n비밀번호가 틀렸습니다.");
        login("code as string") << 200 << R"({"result_code":"0","result_message":"ok"})" << false << "unchanged"
                                << kLoginFailed;
        login("no message") << 200 << R"({"result_code":0})" << false << "unchanged" << kLoginFailed;
        login("no code") << 200 << R"({"result_message":"ok"})" << false << "unchanged" << kLoginFailed;
        login("fractional code") << 200 << R"({"result_code":0.5,"result_message":"ok"})" << false << "unchanged"
                                 << kLoginFailed;
        login("not JSON") << 200 << "<html>" << false << "unchanged" << kLoginFailed;
        login("status 500") << 500 << kOk << false << "unchanged" << kEarlierError;

        const auto permission = rows(Operation::Permission, "permission", "/qb/js_user/getpermission");
        permission("string") << 200 << R"({"permission":"16384"})" << true << "16384" << kEarlierError;
        permission("number") << 200 << R"({"permission":16384})" << false << "unchanged" << kPermissionFailed;
        permission("absent") << 200 << R"({"result_code":0})" << true << "unchanged" << kEarlierError;
        permission("not JSON") << 200 << "oops" << false << "unchanged" << kPermissionFailed;
        permission("status 403") << 403 << R"({"permission":"32768"})" << false << "unchanged" << kEarlierError;

        const auto version = rows(Operation::Version, "version", "/qb/js_bank/tarvix_app_version");
        version("45") << 200 << R"({"version":45})" << true << "45" << kEarlierError;
        version("no version") << 200 << R"({"other":1})" << true << "unchanged" << kEarlierError;
        version("version as string") << 200 << R"({"version":"45"})" << false << "unchanged" << kVersionFailed;
        version("fraction") << 200 << R"({"version":45.5})" << false << "unchanged" << kVersionFailed;
        version("not JSON") << 200 << "<html>maintenance</html>" << false << "unchanged" << kVersionFailed;
        version("status 500") << 500 << R"({"version":45})" << false << "unchanged"
                              << "Version check failed. Invalid status. (Status: 500)";

        const auto schools = rows(Operation::Schools, "schools", "/qb/js_bank_school/search");
        const auto failed = [](const char* detail) {
            return QStringLiteral("Search failed. (Unknown exception) (Line: 347) \r\nError: ") + QLatin1String(detail);
        };
        // A field that is not a string is there, empty.
        schools("two")
            << 200
            << R"({"dataSearch":{"content":[{"schoolName":"한국고등학교","region":"서울"},{"schoolName":"한국중학교","region":7}]}})"
            << true << "region=서울 schoolName=한국고등학교;region= schoolName=한국중학교" << kEarlierError;
        schools("empty content") << 200 << R"({"dataSearch":{"content":[]}})" << true << "" << kEarlierError;
        schools("no dataSearch") << 200 << R"({"data":{}})" << false << "" << failed("No dataSearch field.");
        schools("dataSearch array") << 200 << R"({"dataSearch":[]})" << false << ""
                                    << failed("dataSearch field is not object.");
        schools("no content") << 200 << R"({"dataSearch":{}})" << false << "" << failed("No dataSearch/content field.");
        schools("content object") << 200 << R"({"dataSearch":{"content":{}}})" << false << ""
                                  << failed("dataSearch/content field is not array.");
        // The schools before the broken element stay in the list.
        schools("element not object") << 200 << R"({"dataSearch":{"content":[{"schoolName":"A"},3]}})" << false
                                      << "schoolName=A" << kSearchFailed;
        schools("not JSON") << 200 << "{" << false << "" << kSearchFailed;
        schools("status 500") << 500 << R"({"dataSearch":{"content":[]}})" << false << "" << kEarlierError;
    }

    void plainReplies()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QFETCH(QString, error);

        startSession();
        leaveEarlierError();
        m_server->setJson(path.toStdString(), body.toStdString(), status);
        QString got = QStringLiteral("unchanged");
        const bool done = run(*m_client, operation, Category::Education2015, {}, nullptr, &got);
        QCOMPARE(done, ok);
        QCOMPARE(got, text);
        verifyError(error);
    }

    // Each operation fails with its own text, none throws, and nothing of a reply that went wrong is kept,
    // however the server lets it down: not reached, cut short, or answering what the operation cannot use.
    void failures_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<Category>("category");
        QTest::addColumn<QString>("path");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("error");

        // Each operation with the text it leaves when no usable reply arrives; for the questions, the lines of the
        // result-code check and (for the insert) of the status check too.
        struct Target
        {
            Operation op;
            Category category;
            QString path;
            QString receiveError;
            int result = 0, notOk = 0;
        };
        std::vector<Target> targets = {
            {Operation::Version, Category::Education2015, "/qb/js_bank/tarvix_app_version", kVersionFailed},
            {Operation::Permission, Category::Education2015, "/qb/js_user/getpermission", kPermissionFailed},
            {Operation::Login, Category::Education2015, "/qb/js_user/login", kLoginFailed},
            {Operation::Schools, Category::Education2015, "/qb/js_bank_school/search", kSearchFailed},
        };
        for (const Lines& l : kLines) {
            const auto add = [&](Operation op, const char* name, const char* failed, int receive, int result) {
                targets.push_back({op, l.category, QStringLiteral("/qb/js_bank/%1/%2").arg(name, l.suffix),
                                   QStringLiteral("Error: %1 failed. (*) (Line: %2)").arg(failed).arg(receive), result,
                                   op == Operation::Insert ? l.insNotOk : 0});
            };
            add(Operation::Get, "get", "Search", l.get, l.getResult);
            // Categories without a duplication check have no such request.
            if (l.dup)
                add(Operation::Duplication, "duplication_check", "Search", l.dup, l.dupResult);
            add(Operation::Delete, "delete", "Delete", l.del, l.delResult);
            add(Operation::Insert, "insert", "Receive", l.insReceive, l.insResult);
        }

        for (const Target& t : targets) {
            const auto row = [&](const char* name, Fault fault, int status = 0, const char* body = "") -> QTestData& {
                return QTest::addRow("%s: %s", qPrintable(t.path), name)
                       << t.op << t.category << t.path << fault << status << QString::fromUtf8(body);
            };
            for (int fault = 0; fault < int(Fault::Answers); ++fault)
                row(kFaultNames[fault], Fault(fault))
                    << (t.op == Operation::Login && Fault(fault) == Fault::NotHttps
                            ? QStringLiteral("Login failed. (The server address is not usable.*) (Line: 177)")
                            : t.receiveError);
            if (!t.result)
                continue;
            row("code 5", Fault::Answers, 200, R"({"result_code":5,"result_message":"문제가 없습니다."})")
                << QStringLiteral("Error: Invalid result code. (Code: 5, Line: %1) \r\n문제가 없습니다.").arg(t.result);
            for (const auto& [name, body] :
                 {std::pair{"no message", R"({"result_code":0})"},
                  std::pair{"code as string", R"({"result_code":"0","result_message":"ok"})"},
                  std::pair{"not JSON", "<html>error</html>"}})
                row(name, Fault::Answers, 200, body) << t.receiveError;
            // Only the insert reports a bad status; the others leave the earlier text in place.
            for (const auto& [status, name] : {std::pair{404, "Not Found"}, {500, "Internal Server Error"}})
                row(qPrintable(QStringLiteral("status %1").arg(status)), Fault::Answers, status, kOk)
                    << (t.notOk ? QStringLiteral("Error: Response is not OK. (%1) (Line: %2)").arg(name).arg(t.notOk)
                                : QString::fromLatin1(kEarlierError));
        }
    }

    void failures()
    {
        QFETCH(Operation, operation);
        QFETCH(Category, category);
        QFETCH(QString, path);
        QFETCH(Fault, fault);
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(QString, error);

        const bool reached = fault >= Fault::HeadersOnly;
        ScriptedServer* const impostor = m_impostors.contains(fault) ? m_impostors.at(fault).get() : nullptr;
        if (reached) {
            startSession();
            leaveEarlierError();
        } else {
            m_client = std::make_unique<CCommunicator>(
                impostor                   ? impostor->baseUrl()
                : fault == Fault::NotHttps ? QStringLiteral("ftp://127.0.0.1/")
                                           : QStringLiteral("https://127.0.0.1:%1/").arg(ClosedLocalPort()));
            QVERIFY(!m_client->StartSession());
            QCOMPARE(m_client->GetLastErrorText(), QString());
        }
        // A reply that would do, were it whole: whatever arrived before the connection closed is not taken for it.
        const std::string whole = R"({"result_code":0,"result_message":"ok","result":{"q_hwp":"SFdQ"},)"
                                  R"("dataSearch":{"content":[{"schoolName":"A"}]},"version":45,"permission":"1"})";
        if (fault == Fault::Answers)
            m_server->setJson(path.toStdString(), body.toStdString(), status);
        else if (reached)
            m_server->setCutReply(path.toStdString(), {200, whole + std::string(64, ' '), "application/json", {}},
                                  fault == Fault::HeadersOnly     ? 0
                                  : fault == Fault::ClosedMidBody ? 30
                                                                  : whole.size());
        CMapStringToString record;
        QString text;
        QVERIFY(!run(*m_client, operation, category, {{"year", "2024"}}, &record, &text));
        verifyError(error);
        QVERIFY(record.IsEmpty());
        QCOMPARE(text, QString());
        if (reached)
            QCOMPARE(QString::fromStdString(m_server->lastRequest().path), path);
        // Where the text carries the library's description of a refused certificate, it names the handshake.
        if (impostor && error.contains(u'*'))
            QVERIFY2(m_client->GetLastErrorText().contains(QLatin1String("SSL handshake")),
                     qPrintable(m_client->GetLastErrorText()));
        m_client->Logout();
        // A refused handshake comes before any request reaches the server.
        if (impostor)
            QVERIFY(impostor->requests().empty());
    }

    void getCopiesRecord_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("readable");

        QTest::newRow("strings and others")
            << QByteArray(R"({"result_code":0,"result_message":"","result":)"
                          R"({"q_hwp":"SFdQ","year":2024,"flag":true,"list":[1],"none":null}})")
            << true;
        QTest::newRow("result absent") << QByteArray(R"({"result_code":0,"result_message":"none"})") << true;
        QTest::newRow("result not object")
            << QByteArray(R"({"result_code":0,"result_message":"","result":"x"})") << true;
        QTest::newRow("overwrites") << QByteArray(R"({"result_code":0,"result_message":"","result":{"keep":"new"}})")
                                    << true;

        // Megabytes of Base64 with every character of its alphabet, as it is and with "/" escaped as "\/" (as
        // PHP's encoder writes it), a long text with other escapes and one in Korean, beside short ones.
        const QByteArray base64 = RandomBytes(3'000'000, 5).toBase64();
        QByteArray slashed = base64;
        slashed.replace("/", "\\/");
        QByteArray korean = QStringLiteral("함수의 극댓값/").toUtf8().repeated(400);
        korean.replace("/", "\\/");
        const QByteArray escaped = "\\u00e9\\\"\\\\\\n\\t" + base64.left(8000) + "\\/";
        const auto body = [&](const QByteArray& more) {
            return "{\"result_code\":0,\"result_message\":\"\\ucc3e\\uc74c\",\"result\":{\"year\":\"2024\\/06\","
                   "\"title\":\"\\uc218\\ud559 \\\"1\\\"\",\"level\":3," +
                   more + "\"q_hwp\":\"" + base64 + "\",\"a_hwp\":\"" + slashed + "\",\"d_hwp\":\"" + escaped +
                   "\",\"q_png\":\"" + korean + "\"}}";
        };
        QTest::newRow("long texts") << body({}) << true;
        // Only a text that starts with U+0000 is taken for one that was cut out: such a reply is read whole.
        QTest::newRow("escaped U+0000 beside them") << body("\"nul\":\"\\u00000\",") << true;
        // What the library refuses in a long text is refused too: a control character, and the byte 0xff.
        QTest::newRow("control character")
            << body("\"bad\":\"" + base64.left(5000) + '\x01' + base64.left(5000) + "\",") << false;
        QTest::newRow("byte 0xff") << body("\"bad\":\"" + base64.left(5000) + '\xff' + "\",") << false;
    }

    // The record holds what another JSON reader reads in the reply's result, texts of megabytes too: its strings,
    // an empty text for any other value, and what the record held before where the result says nothing.
    void getCopiesRecord()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, readable);

        startSession();
        // The reply's Content-Type does not matter: the body is read as JSON whatever it says.
        m_server->setReply("/qb/js_bank/get/education2015",
                           ScriptedServer::Reply{200, body.toStdString(), "text/html", {}});
        CMapStringToString request{{"year", "2024"}};
        CMapStringToString reply{{"keep", "old"}};
        QCOMPARE(m_client->GetEducation2015(&request, &reply), readable);
        if (!readable) {
            verifyError(QStringLiteral("Error: Search failed. (*) (Line: 457)"));
            return;
        }
        QVariantMap expected{{QStringLiteral("keep"), QStringLiteral("old")}};
        const QJsonObject record = QJsonDocument::fromJson(body).object().value(QLatin1String("result")).toObject();
        for (auto it = record.begin(); it != record.end(); ++it)
            expected.insert(it.key(), it->isString() ? it->toString() : QString());
        QCOMPARE(reply.GetCount(), expected.size());
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(reply.Value(it.key()) == it->toString(), qPrintable(it.key()));
    }

    void insertSendsDocuments()
    {
        QTemporaryDir dir;
        const QByteArray question = RandomBytes(70000, 7919);
        const QString questionPath = dir.filePath(QStringLiteral("_q.hwp"));
        const QString pngPath = dir.filePath(QStringLiteral("_q.png"));
        const QString emptyPath = dir.filePath(QStringLiteral("_a.png"));
        WriteTestFile(questionPath, question);
        WriteTestFile(pngPath, QByteArray("\xfb\xff", 2));
        WriteTestFile(emptyPath, QByteArray());

        startSession();
        m_server->setJson("/qb/js_bank/insert/chapter_mid", kOk);
        CMapStringToString request{{"school", "한국중학교"}, {"memo", "a&b=c+d 50%"}};
        CMapStringToString hwp{{"q_hwp", questionPath}, {"a_hwp", dir.filePath(QStringLiteral("missing.hwp"))}};
        CMapStringToString png{{"q_png", pngPath}, {"a_png", emptyPath}};

        // A document path that cannot be read is refused before anything is sent: an empty field would
        // replace the stored document with nothing.
        QVERIFY(!m_client->InsertSchoolMid(&request, &hwp, &png));
        QCOMPARE(m_client->GetLastErrorText(),
                 QStringLiteral("Error: Document file cannot be read. (%1)").arg(hwp.Value("a_hwp")));
        QVERIFY(m_server->requests().empty());

        hwp.SetAt(QStringLiteral("a_hwp"), emptyPath);
        QVERIFY2(m_client->InsertSchoolMid(&request, &hwp, &png), qPrintable(m_client->GetLastErrorText()));

        const std::string body = m_server->lastRequest().body;
        const auto fields = decodeForm(body);
        QCOMPARE(fields.size(), 1 + 2 + 2 + 2);
        // The metadata comes first, then the documents, then the page images.
        QCOMPARE(fields[3].first.right(4), QStringLiteral("_hwp"));
        QCOMPARE(fields[5].first.right(4), QStringLiteral("_png"));
        QCOMPARE(formValue(body, "school"), QStringLiteral("한국중학교"));
        QCOMPARE(formValue(body, "memo"), QStringLiteral("a&b=c+d 50%"));
        QCOMPARE(formValue(body, "q_hwp"), QString::fromLatin1(question.toBase64()));
        QCOMPARE(formValue(body, "q_png"), QStringLiteral("+/8="));
        QCOMPARE(formValue(body, "a_hwp"), QString());
        QCOMPARE(formValue(body, "a_png"), QString());
        // Base64 "+" goes as %2B; "/" and "=" stay as they are.
        QVERIFY(body.find("q_png=%2B/8=") != std::string::npos);
    }

    // Servers differ in what they do with a connection after a reply, each as HTTP allows. Whatever they do, the
    // whole run of a user reaches each of them alike: every request exactly once, on a connection of its own,
    // with the same request line, header fields and body, and each body is the form the server expects.
    void wholeSequenceOnServersThatCloseDifferently()
    {
        using Closing = ScriptedServer::Closing;
        using Form = QList<std::pair<QString, QString>>;
        QTemporaryDir dir;
        const QString hwpPath = dir.filePath(QStringLiteral("_q.hwp"));
        const QString pngPath = dir.filePath(QStringLiteral("_q.png"));
        WriteTestFile(hwpPath, QByteArray("\xfb\xef\xbe HWP", 7));
        WriteTestFile(pngPath, QByteArray("\x89PNG\r\n", 6));
        const CMapStringToString hwp{{"q_hwp", hwpPath}};
        const CMapStringToString png{{"q_png", pngPath}};
        const CMapStringToString fields{{"year", "2024년"}, {"number", "30번"}};
        const std::string token = "tok";
        const std::pair<QString, QString> tokenField{QStringLiteral("_csrf_token_name"), QStringLiteral("tok")};

        // Each request of the sequence, what the server answers to it, the call that sends it, and the form
        // fields the server reads from its body (sorted by name; none given is not checked).
        struct Step
        {
            std::string method;
            std::string path;
            ScriptedServer::Reply reply;
            std::function<bool(CCommunicator&)> call;
            Form form = {};
        };
        const auto json = [](const char* body) { return ScriptedServer::Reply{200, body, "application/json", {}}; };
        // A call as the request-level tests make it, which must hand back `expected`.
        const auto handsBack = [](Operation op, const char* expected) {
            return [=](CCommunicator& c) {
                QString got;
                return run(c, op, Category::Education2015, {}, nullptr, &got) && got == QString::fromUtf8(expected);
            };
        };
        const auto record = json(R"({"result_code":0,"result_message":"ok","result":{"year":"2024년"}})");
        const Form recordForm{tokenField, {"number", "30번"}, {"year", "2024년"}};
        std::vector<Step> steps = {
            {"GET", "/qb",
             ScriptedServer::Reply{
                 200, "<html></html>", "text/html", {{"Set-Cookie", "_csrf_token_value=" + token + "; Path=/"}}},
             [](CCommunicator& c) { return c.StartSession(); }},
            {"GET", "/qb/js_bank/tarvix_app_version", json(R"({"version":45})"), handsBack(Operation::Version, "45")},
            // "~~~" is "fn5+" in Base64: the "+" must reach the server as "+", not as a space.
            {"POST",
             "/qb/js_user/login",
             json(kOk),
             [](CCommunicator& c) { return c.Login(QStringLiteral("관리자 1"), QStringLiteral("~~~")); },
             {tokenField, {"ims_id", "관리자 1"}, {"ims_password", "fn5+"}}},
            {"POST",
             "/qb/js_user/getpermission",
             json(R"({"permission":"32768"})"),
             handsBack(Operation::Permission, "32768"),
             {tokenField, {"ims_id", "관리자 1"}}},
            {"POST",
             "/qb/js_bank_school/search",
             json(R"({"dataSearch":{"content":[{"schoolName":"한국중학교"}]}})"),
             handsBack(Operation::Schools, "schoolName=한국중학교"),
             {tokenField, {"searchSchulNm", "한국"}}},
        };
        for (const Lines& lines : kLines) {
            const std::string suffix = lines.suffix;
            const Category category = lines.category;
            // Categories without a duplication check ask with their get, as the save does.
            for (const auto& [ask, path] :
                 {std::pair{&CCommunicator::GetQuestion, "get/"},
                  std::pair{&CCommunicator::CheckDuplicate, lines.dup ? "duplication_check/" : "get/"}})
                steps.push_back({"POST", "/qb/js_bank/" + std::string(path) + suffix, record,
                                 [=](CCommunicator& c) {
                                     CMapStringToString got;
                                     return (c.*ask)(category, &fields, &got) &&
                                            got.Value(QStringLiteral("year")) == QStringLiteral("2024년");
                                 },
                                 recordForm});
            steps.push_back({"POST", "/qb/js_bank/insert/" + suffix, json(kOk),
                             [=](CCommunicator& c) { return c.InsertQuestion(category, &fields, &hwp, &png); }});
            steps.push_back({"POST", "/qb/js_bank/delete/" + suffix, json(kOk),
                             [=](CCommunicator& c) { return c.DeleteQuestion(category, &fields); }, recordForm});
        }
        steps.push_back({"GET", "/qb/js_user/logout", json("{}"), [](CCommunicator& c) {
                             c.Logout();
                             return true;
                         }});

        // What reached a server, without the Host field (it names the port).
        using Wire = std::vector<std::string>;
        std::optional<Wire> firstWire;
        for (const auto& [closing, name] :
             {std::pair{Closing::SaysSo, "answers close"}, std::pair{Closing::Silently, "closes silently"},
              std::pair{Closing::WhenIdle, "keeps connections and drops idle ones"}}) {
            ScriptedServer server(closing);
            for (const Step& step : steps)
                server.setReply(step.path, step.reply);

            CCommunicator client(server.baseUrl());
            for (std::size_t i = 0; i < steps.size(); ++i) {
                // Long enough for the server that keeps connections to drop the one it has.
                if (closing == Closing::WhenIdle && i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                QVERIFY2(steps[i].call(client),
                         qPrintable(QStringLiteral("%1: %2: %3")
                                        .arg(QLatin1String(name), QString::fromStdString(steps[i].path),
                                             client.GetLastErrorText())));
            }

            const auto requests = server.requests();
            QCOMPARE(requests.size(), steps.size());
            std::set<int> connections;
            Wire wire;
            for (std::size_t i = 0; i < steps.size(); ++i) {
                const ScriptedServer::Request& request = requests[i];
                QCOMPARE(request.method, steps[i].method);
                QCOMPARE(request.path, steps[i].path);
                QVERIFY2(connections.insert(request.connection).second, name);
                QCOMPARE(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
                // Ours says close; the library's own keep-alive after it does not take that back.
                QCOMPARE(request.headerValues("Connection"), (std::vector<std::string>{"close", "Keep-Alive"}));
                // Before the session starts there is no cookie to send, not even an empty Cookie header.
                QCOMPARE(request.headerValues("Cookie"),
                         i > 0 ? std::vector<std::string>{"_csrf_token_value=" + token} : std::vector<std::string>{});
                for (const char* absent : {"Transfer-Encoding", "Accept", "Referer"})
                    QVERIFY2(!request.hasHeader(absent), absent);
                if (request.method == "GET") {
                    QVERIFY(request.body.empty());
                    QVERIFY(!request.hasHeader("Content-Type"));
                } else {
                    QCOMPARE(request.headerValues("Content-Type"), std::vector<std::string>{kFormType});
                    QCOMPARE(request.header("Content-Length"), std::to_string(request.body.size()));
                    QVERIFY2(request.body.starts_with("_csrf_token_name=" + token + "&"), request.body.c_str());
                }
                if (!steps[i].form.isEmpty()) {
                    Form form = decodeForm(request.body);
                    std::sort(form.begin(), form.end());
                    QCOMPARE(form, steps[i].form);
                }
                std::vector<std::string> headers;
                for (const auto& [field, value] : request.headers) {
                    if (QByteArray::fromStdString(field).toLower() != "host")
                        headers.push_back(QByteArray::fromStdString(field).toLower().toStdString() + ": " + value);
                }
                std::stable_sort(headers.begin(), headers.end());
                std::string line = request.method + ' ' + request.target + ' ' + request.version + '\n';
                for (const std::string& header : headers)
                    line += header + '\n';
                wire.push_back(line + '\n' + request.body);
            }
            if (!firstWire)
                firstWire = wire;
            for (std::size_t i = 0; i < wire.size(); ++i)
                QVERIFY2(wire[i] == (*firstWire)[i],
                         qPrintable(QStringLiteral("%1:\n%2\nand\n%3")
                                        .arg(QLatin1String(name), QString::fromStdString(wire[i]),
                                             QString::fromStdString((*firstWire)[i]))));
        }
    }

    // The logout runs while the program ends: a server that takes it and never answers holds the end up for
    // the limit, not for the library's thirty seconds.
    void unansweredLogout()
    {
        ScriptedServer server(ScriptedServer::Closing::Silently);
        server.setUnanswered("/qb/js_user/logout");
        CCommunicator client(server.baseUrl());
        QElapsedTimer timer;
        timer.start();
        client.Logout();
        const auto waited = std::chrono::milliseconds(timer.elapsed());
        QCOMPARE(server.requests().size(), std::size_t(1));
        QCOMPARE(server.lastRequest().path, std::string("/qb/js_user/logout"));
        QVERIFY2(waited >= CCommunicator::kLogoutLimit &&
                     waited < CCommunicator::kLogoutLimit + std::chrono::seconds(2),
                 qPrintable(QString::number(waited.count())));
        QCOMPARE(client.GetLastErrorText(), QString());
    }

    // Without the code page's converter the password would go out as "?"s: nothing is sent, and the error
    // says why. With it back the login goes, with the token as the cookie carried it: a cookie value is already
    // percent-escaped where it needs to be. (Not in the sequence above: the server that answers close decodes
    // the Cookie field it records.)
    void loginWithoutKoreanCodepage()
    {
        startSession("a%2Bb");
        m_server->setJson("/qb/js_user/login", kOk);
        SetKoreanCodepageNameForTests("NO-SUCH-CODEPAGE");
        const bool loggedIn = m_client->Login(QStringLiteral("editor"), QStringLiteral("비밀"));
        const std::optional<QString> encoded = CCommunicator::EncodeBase64Text(QStringLiteral("abc"));
        SetKoreanCodepageNameForTests(QByteArray());
        QVERIFY(!loggedIn);
        QVERIFY(!encoded);
        QCOMPARE(m_client->GetLastErrorText(),
                 QStringLiteral("Login failed. (No converter for the Korean code page 949 (NO-SUCH-CODEPAGE) on this "
                                "system.)"));
        QVERIFY(m_server->requests().empty());
        QVERIFY(m_client->Login(QStringLiteral("editor"), QStringLiteral("비밀")));
        const std::string body = m_server->lastRequest().body;
        QVERIFY2(body.starts_with("_csrf_token_name=a%2Bb&"), body.c_str());
    }

    void encodeBase64Text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("ascii") << "abc" << QByteArray("abc");
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("hangul in code page 949") << QStringLiteral("한글123") << QByteArray::fromHex("c7d1b1db313233");
        // Characters the code page lacks become "?" (0x3f), one per character.
        QTest::newRow("thai") << QStringLiteral("กa") << QByteArray("?a");
        QTest::newRow("emoji") << QStringLiteral("가😀") << QByteArray("\xb0\xa1?");
    }

    void encodeBase64Text()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(CCommunicator::EncodeBase64Text(text), std::optional<QString>(QString::fromLatin1(bytes.toBase64())));
    }
};

QTEST_GUILESS_MAIN(TestCommunicator)
#include "tst_communicator.moc"
