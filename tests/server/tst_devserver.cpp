#include "net/Communicator.h"
#include "net/AnsiCodepage.h"
#include "server/Passwords.h"
#include "server/QuestionBankServer.h"
#include "server/QuestionStore.h"

#include "tests/support/LocalQuestionBank.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestTls.h"
#include "tests/support/TlsConnection.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cpprest/json.h>
#include <httplib.h>
#include <openssl/ssl.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Fixture
{
    Category category;
    CMapStringToString metadata;
};

// "key=value;key=value" as a field map.
CMapStringToString fieldsOf(const char* text)
{
    CMapStringToString fields;
    for (const QString& pair : QString::fromUtf8(text).split(u';'))
        fields.SetAt(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    return fields;
}

// One question per category, with its identity fields and some description.
QList<Fixture> questions()
{
    return {
        {Category::Education2015, fieldsOf("id=E15-001;type=기출;prob=선택형;year=2025년;month=6월;level=3학년;"
                                           "department=공통;number=21번;score=4점;unit=수열의 극한;sort=57")},
        {Category::Education2022, fieldsOf("id=;type=변형1;prob=단답형;year=2026년;month=9월;level=2학년;"
                                           "department=이과;number=30번;score=4점;unit=공간벡터;sort=131")},
        {Category::School2015,
         fieldsOf("school=서울한빛고등학교;year=2024년;term=1학기 기말;level=2학년;department=문과;"
                  "problem_type=서술형;number=3번;problem_subtype=변별력 문제;subject=수학Ⅱ;"
                  "unit=함수의 극한")},
        {Category::SchoolMid,
         fieldsOf("school=성남한국중학교;year=2023년;term=2학기 중간;level=1학년;problem_type=선택형;"
                  "number=12번;problem_subtype=기본 문제;class=1학년;subclass=수와 연산;"
                  "finalclass=소인수분해")},
        {Category::Timestone, fieldsOf("topic=등차수열 & 등비수열;type=Level2;number=4번")},
        {Category::DailyProject, fieldsOf("volume=volume3;prob=금요일 Mission")},
    };
}

constexpr int kTestBodyLimit = 4 * 1024 * 1024;
constexpr char kAdminPassword[] = "관리자+암호/1";
constexpr char kForm[] = "application/x-www-form-urlencoded";
// The request that starts a session, on a connection of its own.
constexpr char kSessionStart[] = "GET /qb HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
// The demo account's login fields, its password in Base64 as the client sends it.
constexpr char kDemoLogin[] = "&ims_id=demo&ims_password=ZGVtbzEyMzQ%3D";

std::string rawExchange(int port, const std::string& request)
{
    TlsConnection connection(port);
    connection.Send(request);
    return connection.ReadAll();
}

int statusOf(const std::string& answer)
{
    // "HTTP/1.1 200 OK"
    return answer.size() > 12 ? std::atoi(answer.substr(9, 3).c_str()) : 0;
}

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// `work(i)` for each i below `count`, each on a thread of its own; all done on return.
void inParallel(int count, const std::function<void(int)>& work)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(work, i);
    for (auto& thread : threads)
        thread.join();
}

// The result code a JSON reply begins with, or -1.
int resultCode(const std::string& body)
{
    const std::string head = "{\"result_code\":";
    return body.rfind(head, 0) == 0 ? std::atoi(body.c_str() + head.size()) : -1;
}

// The end of a request head and its body: with a Content-Length ("length"), in chunks of `piece` bytes
// ("chunked"), or with neither.
std::string framed(const std::string& body, const QByteArray& framing, std::size_t piece = 1000)
{
    if (framing == "length")
        return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    if (framing != "chunked")
        return "\r\n" + body;
    std::string out = "Transfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < body.size(); at += piece) {
        const std::string part = body.substr(at, piece);
        out += QByteArray::number(qulonglong(part.size()), 16).toStdString() + "\r\n" + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// A byte counter of the process: a field of /proc/<pid>/io ("wchar:", what it has written to files and
// sockets so far), or of /proc/<pid>/status ("VmRSS:", its resident memory, which grows as a request body
// arrives: socket reads are not counted in /proc/<pid>/io); -1 once it is gone.
qint64 processCounter(qint64 pid, const char* field)
{
    const bool memory = std::strncmp(field, "Vm", 2) == 0;
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(memory ? QLatin1String("status") : QLatin1String("io")));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(field)) {
            const qint64 value = line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLongLong();
            return memory ? value * 1024 : value;
        }
    }
    return -1;
}

// The program vellorin-devserver on a free port of `address` with the database `db`; its address once it
// listens, or nothing.
QString startDevServer(QProcess& process, const QString& db, const QString& address = "127.0.0.1")
{
    const TestTls& tls = TestTls::instance();
    process.start(QStringLiteral(VELLORIN_DEVSERVER_PATH), {"--db", db, "--address", address, "--port", "0", "--cert",
                                                            tls.certificatePath, "--key", tls.keyPath});
    QByteArray said;
    while (!said.contains('\n') && process.waitForReadyRead(20000))
        said += process.readAllStandardOutput();
    const qsizetype at = said.indexOf("https://");
    return at < 0 ? QString() : QString::fromLatin1(said.mid(at, said.indexOf('/', at + 8) + 1 - at));
}

// The documents as files in `dir`, their names led by `prefix`: the HWP ones and the pictures, each by field.
std::pair<CMapStringToString, CMapStringToString>
documentFiles(const QTemporaryDir& dir, const QMap<QString, QByteArray>& documents, const QString& prefix = {})
{
    CMapStringToString hwp, png;
    for (auto it = documents.cbegin(); it != documents.cend(); ++it) {
        const QString path = WriteTestFile(dir.filePath(prefix + it.key()), it.value());
        (it.key().endsWith(QLatin1String("_png")) ? png : hwp).SetAt(it.key(), path);
    }
    return {hwp, png};
}

// The stored record holds exactly the metadata and the documents, these in Base64.
void verifyStored(const CMapStringToString& stored, const CMapStringToString& metadata,
                  const QMap<QString, QByteArray>& documents)
{
    for (auto it = metadata.begin(); it != metadata.end(); ++it)
        QCOMPARE(stored.Value(it.key()), it.value());
    for (auto it = documents.cbegin(); it != documents.cend(); ++it) {
        const QByteArray text = stored.Value(it.key()).toLatin1();
        QVERIFY2(QByteArray::fromBase64(text, QByteArray::AbortOnBase64DecodingErrors) == it.value(),
                 qPrintable(it.key()));
    }
    QCOMPARE(stored.GetCount(), metadata.GetCount() + documents.size());
}

} // namespace

class TestDevServer : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LocalQuestionBank> m_bank;
    QuestionStore* m_store = nullptr;
    int m_port = 0;

    QString baseUrl() const { return m_bank->baseUrl(); }

    // A second server, on the shared store or on `store`, for limits that the shared one must not have: the
    // defaults as `change` leaves them.
    template <typename Change>
    std::tuple<std::unique_ptr<QuestionBankServer>, QString, int> serverWith(Change change,
                                                                             QuestionStore* store = nullptr)
    {
        ServerLimits limits;
        change(limits);
        const TestTls& tls = TestTls::instance();
        auto server = std::make_unique<QuestionBankServer>(store ? *store : *m_store,
                                                           QFile::encodeName(tls.certificatePath).toStdString(),
                                                           QFile::encodeName(tls.keyPath).toStdString(), limits);
        const int port = server->Bind("127.0.0.1", 0);
        server->Start();
        return {std::move(server), QStringLiteral("https://127.0.0.1:%1/").arg(port), port};
    }

    // A client logged in to the shared server or the one at `url`.
    std::unique_ptr<CCommunicator> loggedIn(const QString& login, const QString& password, const QString& url = {})
    {
        auto client = std::make_unique<CCommunicator>(url.isEmpty() ? baseUrl() : url);
        if (!client->StartSession() || !client->Login(login, password))
            return nullptr;
        return client;
    }

    std::unique_ptr<CCommunicator> admin() { return loggedIn("admin", kAdminPassword); }

    // The permission the server gives for `login`, or "(refused)".
    static QString permissionOf(CCommunicator& client, const QString& login)
    {
        QString permission;
        return client.GetPermission(login, permission) ? permission : "(refused)";
    }

    // The version the server at `url` says the program should be, or "(refused)".
    static QString versionAt(const QString& url)
    {
        QString version;
        return CCommunicator(url).GetVersion(version) ? version : "(refused)";
    }

    std::unique_ptr<httplib::SSLClient> rawClient(int port = 0) const
    {
        auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", port ? port : m_port);
        client->set_ca_cert_path(QFile::encodeName(TestTls::instance().certificatePath).toStdString());
        client->enable_server_certificate_verification(true);
        client->set_read_timeout(10, 0);
        client->set_tcp_nodelay(true);
        client->set_keep_alive(true);
        return client;
    }

    struct RawSession
    {
        httplib::Headers cookies;
        std::string token;
        std::vector<std::string> setCookies;

        // The cookies of the session `pair` ("qb_session=...") with this token.
        void useSession(const std::string& pair) { cookies = {{"Cookie", pair + "; _csrf_token_value=" + token}}; }
    };

    // A session's cookies and token, taken by hand.
    RawSession rawSession(int port = 0)
    {
        const auto res = rawClient(port)->Get("/qb");
        RawSession raw;
        std::string session;
        for (const auto& [name, value] : res->headers) {
            if (name != "Set-Cookie")
                continue;
            raw.setCookies.push_back(value);
            const std::string pair = value.substr(0, value.find(';'));
            if (pair.rfind("_csrf_token_value=", 0) == 0)
                raw.token = pair.substr(pair.find('=') + 1);
            else
                session = pair;
        }
        raw.useSession(session);
        return raw;
    }

    // The same, logged in as demo: the login renews the session cookie.
    RawSession rawLogin(int port = 0)
    {
        RawSession raw = rawSession(port);
        const std::string renewed =
            rawClient(port)
                ->Post("/qb/js_user/login", raw.cookies, "_csrf_token_name=" + raw.token + kDemoLogin, kForm)
                ->get_header_value("Set-Cookie");
        raw.useSession(renewed.substr(0, renewed.find(';')));
        return raw;
    }

    // A form posted with these cookies: the status, and the body when there is one.
    std::pair<int, std::string> rawPost(int port, const httplib::Headers& cookies, const std::string& path,
                                        const std::string& form) const
    {
        const auto res = rawClient(port)->Post(path, cookies, form, kForm);
        return res ? std::pair(res->status, res->body) : std::pair(0, std::string());
    }

    // The same with the session's cookies, and its token before the fields.
    std::pair<int, std::string> rawPost(int port, const RawSession& session, const std::string& path,
                                        const std::string& fields) const
    {
        return rawPost(port, session.cookies, path, "_csrf_token_name=" + session.token + fields);
    }

    // The result code of a login, the password in Base64 and percent-encoded as the client sends it.
    int loginResult(int port, const RawSession& session, const std::string& login, const std::string& password) const
    {
        return resultCode(
            rawPost(port, session, "/qb/js_user/login", "&ims_id=" + login + "&ims_password=" + password).second);
    }

    // A second store and server on a database of their own, for tests that lock it from outside.
    struct OwnBank
    {
        QTemporaryDir dir;
        std::unique_ptr<QuestionStore> store;
        std::unique_ptr<QuestionBankServer> server;
        int port = 0;

        QString databasePath() const { return dir.filePath("own.sqlite3"); }
    };
    std::unique_ptr<OwnBank> ownBank(std::chrono::milliseconds busyWait)
    {
        auto bank = std::make_unique<OwnBank>();
        bank->store = std::make_unique<QuestionStore>(QFile::encodeName(bank->databasePath()).toStdString(), busyWait);
        bank->store->AddDemoAccountIfEmpty();
        std::tie(bank->server, std::ignore, bank->port) = serverWith([](ServerLimits&) {}, bank->store.get());
        return bank;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A server that stops reading makes our own writes fail, which must not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        m_bank = std::make_unique<LocalQuestionBank>();
        m_store = &m_bank->store();
        m_port = m_bank->port();
        QVERIFY(!m_store->AddDemoAccountIfEmpty());
        const QByteArray adminPassword = ToKoreanCodepage(QString::fromUtf8(kAdminPassword)).value();
        QVERIFY(m_store->AddUser("admin", adminPassword.toStdString(), 32768));
        QVERIFY(m_store->AddUser("mid", "mid-pass", 16384));
        QVERIFY(m_store->AddUser("viewer", "viewer-pass", 4096));
    }

    void cleanupTestCase() { m_bank.reset(); }

    // The demo account it gets is checked where it is used: tokenAndSessionAreChecked logs in as demo and reads
    // the permission it has.
    void newDatabaseIsSeeded()
    {
        QCOMPARE(m_store->FindSchools("").size(), std::size_t(51));
        // It holds password hashes.
        QCOMPARE(QFile::permissions(m_bank->databasePath()) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
    }

    void administration()
    {
        QString db = m_dir.filePath("admin.sqlite3");
        // The exit code and all that the program said; the arguments are separated by blanks.
        const auto run = [&](const QString& arguments, const QByteArray& input = {}) {
            QProcess process;
            process.start(VELLORIN_DEVSERVER_PATH, QStringList{"--db", db} + arguments.split(u' '));

            process.write(input);
            process.closeWriteChannel();
            process.waitForFinished(30000);
            return std::pair{process.exitCode(),
                             QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())};
        };

        // An account added; refused: a permission that is no level, a character that code page 949 lacks (it
        // would be stored as "?"), a server without its certificate. The help names every option.
        for (const auto& [arguments, input, exitCode, said] :
             {std::tuple{"--add-user 편집자 --permission 16384", "비밀번호 1\n", 0, QStringList()},
              std::tuple{"--add-user x --permission 7", "pw\n", 1, QStringList()},
              std::tuple{"--add-user x", "암호😀€ñ\n", 1, QStringList{"code page 949 lacks (😀"}},
              std::tuple{"--port 0", "", 1, QStringList{"--cert and --key are required"}},
              std::tuple{"--help", "", 0,
                         QString("--address --port --cert --key --db --add-user --list-users").split(' ')}}) {
            const auto [code, output] = run(arguments, input);
            QCOMPARE(code, exitCode);
            for (const QString& part : said)
                QVERIFY2(output.contains(part), qPrintable(output));
        }
        QCOMPARE(run("--list-users"), std::pair(0, QString("편집자\t16384\n")));
        // The password is kept as the hash of its code page 949 bytes, as the program sends them.
        QuestionStore store(QFile::encodeName(db).toStdString());
        const std::string editor = "편집자";
        QCOMPARE(store.CheckPassword(editor, ToKoreanCodepage("비밀번호 1").value().toStdString()),
                 std::optional(16384));
        QVERIFY(!store.CheckPassword(editor, "비밀번호 1"));
        const auto users = store.Users();
        QVERIFY(std::none_of(users.begin(), users.end(), [](const auto& u) { return u.login == "x"; }));
        // The demo account comes only with a server that listens on loopback.
        for (const char* where : {"0.0.0.0", "127.0.0.1"}) {
            db = m_dir.filePath(QStringLiteral("served-%1.sqlite3").arg(where));
            QProcess server;
            QVERIFY(!startDevServer(server, db, where).isEmpty());
            server.terminate();
            QVERIFY(server.waitForFinished(20000));
            const bool loopback = where[0] == '1';
            const QByteArray said = server.readAllStandardError();
            QVERIFY2(said.contains(loopback ? "created the demo account" : "no demo account"), said.constData());
            QCOMPARE(run("--list-users").second, loopback ? "demo\t32768\n" : QString());
        }
    }

    // An unknown account costs the same one hash as a wrong password, so timing does not tell accounts apart.
    void wrongPasswordIsRefused()
    {
        CCommunicator client(baseUrl());
        QVERIFY(client.StartSession());
        for (const char* login : {"admin", "nobody", "viewer"}) {
            const std::uint64_t before = PasswordHashCount();
            QVERIFY(!client.Login(login, "관리자+암호/2"));
            QCOMPARE(PasswordHashCount() - before, std::uint64_t(1));
            QCOMPARE(client.GetLastErrorText(), "Invalid result code. (Code: 1, Line: 183) \r\n"
                                                "아이디 또는 비밀번호가 올바르지 않습니다.");
        }
        // Not logged in: no permission, and no question operation.
        QCOMPARE(permissionOf(client, "admin"), QString());
        CMapStringToString request, reply;
        QVERIFY(!client.GetTimestone(&request, &reply));
        QVERIFY(client.GetLastErrorText().startsWith("Error: Invalid result code. (Code: 3, "));
    }

    void repeatedFailuresAreRefused()
    {
        // The lockout long enough that a sanitizer's slow password hashes do not let the first guesses expire.
        const auto [server, url, port] = serverWith([](ServerLimits& l) {
            l.failuresPerAccount = 3;
            l.failuresPerAddress = 5;
            l.loginLockout = 3s;
        });
        CCommunicator client(url);
        QVERIFY(client.StartSession());
        // The account is locked even for its right password; another account is not, until the address is.
        for (const auto& [login, password, guesses] :
             {std::tuple{"mid", "mid-pass", 3}, std::tuple{"viewer", "viewer-pass", 2}}) {
            if (guesses == 2)
                QVERIFY(client.Login(login, password));
            for (int i = 0; i < guesses; ++i)
                QVERIFY(!client.Login(login, "guess"));
            const std::uint64_t before = PasswordHashCount();
            QVERIFY(!client.Login(login, password));
            QVERIFY(client.GetLastErrorText().contains("Code: 2"));
            QCOMPARE(PasswordHashCount(), before);
        }
        // The lockout ends.
        QTRY_VERIFY_WITH_TIMEOUT(client.Login("mid", "mid-pass"), 10000);
    }

    // Guessing at scale: names longer than any account cost nothing and are not remembered, names guessed once
    // are forgotten after the lockout, and thirty guesses sent at once get no more checks than five in a row.
    void throttleHoldsUnderPressure()
    {
        std::chrono::milliseconds lockout = 500ms;
        const auto limits = [&](ServerLimits& l) {
            l.failuresPerAccount = 5;
            l.failuresPerAddress = 1000;
            l.loginLockout = lockout;
        };
        const auto [server, url, port] = serverWith(limits);
        const RawSession session = rawSession(port);
        const auto login = [&, port = port](const std::string& name) {
            return loginResult(port, session, name, "eA%3D%3D");
        };

        std::uint64_t before = PasswordHashCount();
        QCOMPARE(login(std::string(QuestionStore::kMaxLoginBytes + 1, 'n')), 1);
        QCOMPARE(login(std::string(10000, 'n')), 1);
        QCOMPARE(PasswordHashCount(), before);
        QCOMPARE(server->AccountThrottle().Size(), std::size_t(0));
        // A login longer than a name may be is never an account.
        QVERIFY(!m_store->AddUser(std::string(QuestionStore::kMaxLoginBytes + 1, 'n'), "x", 4096));

        for (const char* name : {"guess1", "guess2", "guess3"})
            QCOMPARE(login(name), 1);
        QCOMPARE(server->AccountThrottle().Size(), std::size_t(3));
        std::this_thread::sleep_for(600ms);
        QCOMPARE(login("guess4"), 1);
        QCOMPARE(server->AccountThrottle().Size(), std::size_t(1));

        lockout = 1min;
        const auto [lockingServer, lockingUrl, lockingPort] = serverWith(limits);
        const RawSession other = rawSession(lockingPort);
        const auto guess = [&, port = lockingPort](const char* password) {
            return loginResult(port, other, "mid", password);
        };
        before = PasswordHashCount();
        std::atomic<int> refused{0};
        inParallel(30, [&](int) { refused += guess("d3Jvbmc%3D") == 2; });
        QVERIFY2(PasswordHashCount() - before <= 5, qPrintable(QString::number(PasswordHashCount() - before)));
        QCOMPARE(refused.load(), 25);
        QCOMPARE(guess("bWlkLXBhc3M%3D"), 2);
    }

    // Each category's question, inserted, found, and deleted.
    void roundTrip()
    {
        const QList<Fixture> all = questions();
        for (int index = 0; index < all.size(); ++index) {
            const Fixture& fixture = all[index];
            auto client = admin();
            QVERIFY(client);

            QTemporaryDir files;
            const QMap<QString, QByteArray> documents = {{"q_hwp", RandomBytes(200000 + index, 1 + index)},
                                                         {"a_hwp", RandomBytes(3, 2 + index)},
                                                         {"d_hwp", RandomBytes(70001, 3 + index)},
                                                         {"q_png", RandomBytes(40000, 4 + index)}};
            auto [hwp, png] = documentFiles(files, documents);
            // An empty document arrives as an empty field and is not kept.
            png.SetAt("a_png", WriteTestFile(files.filePath("empty.png"), QByteArray()));

            CMapStringToString before;
            QVERIFY(client->CheckDuplicate(fixture.category, &fixture.metadata, &before));
            QVERIFY(before.IsEmpty());
            QVERIFY2(client->InsertQuestion(fixture.category, &fixture.metadata, &hwp, &png),
                     qPrintable(client->GetLastErrorText()));
            for (bool duplicationCheck : {true, false}) {
                CMapStringToString stored;
                QVERIFY(duplicationCheck ? client->CheckDuplicate(fixture.category, &fixture.metadata, &stored)
                                         : client->GetQuestion(fixture.category, &fixture.metadata, &stored));
                verifyStored(stored, fixture.metadata, documents);
            }

            QVERIFY(client->DeleteQuestion(fixture.category, &fixture.metadata));
            CMapStringToString after;
            QVERIFY(client->GetQuestion(fixture.category, &fixture.metadata, &after));
            QVERIFY(after.IsEmpty());
            QVERIFY(!client->DeleteQuestion(fixture.category, &fixture.metadata));
            QVERIFY(client->GetLastErrorText().endsWith(" \r\n삭제할 문제가 없습니다."));
        }
    }

    // The identity decides which question an insert replaces. Each identity field comes once: a repeated or
    // missing one would file the question where nobody finds it. A description field sent twice keeps the value
    // sent last, and the stored question has each key once.
    void insertOverwritesAndIdentityDecides()
    {
        const RawSession user = rawLogin();
        const auto post = [&](const char* operation, const std::string& fields) {
            return rawPost(m_port, user, std::string("/qb/js_bank/") + operation + "/daily", fields).second;
        };
        const std::string question = "&volume=volume1&prob=1", other = "&volume=volume1&prob=2";
        for (const std::string& fields : {question + "&note=first&q_hwp=Zmlyc3Q%3D", other + "&q_hwp=Zmlyc3Q%3D",
                                          question + "&note=one&note=two&note=three&q_hwp=c2Vjb25k"})
            QCOMPARE(resultCode(post("insert", fields)), 0);
        const std::string stored = post("get", question);
        QCOMPARE(QByteArray::fromStdString(stored).count("\"note\""), 1);
        QVERIFY2(has(stored, "\"note\":\"three\"") && has(stored, "\"q_hwp\":\"c2Vjb25k\""), stored.c_str());
        QVERIFY(has(post("get", other), "\"q_hwp\":\"Zmlyc3Q=\""));
        // Identities are stored length-prefixed: volume, then problem.
        const QuestionStore::Fields fields = m_store->GetQuestion("daily", "7:volume1;1:1;").value().metadata;
        QCOMPARE(std::count_if(fields.begin(), fields.end(), [](const auto& field) { return field.first == "note"; }),
                 1);

        for (const auto& [query, answer] :
             {std::pair{"&volume=A&volume=B&prob=1", "volume"}, std::pair{"&note=x", "volume, prob"}}) {
            for (const char* operation : {"insert", "get"}) {
                const std::string body = post(operation, query);
                QCOMPARE(resultCode(body), 7);
                QVERIFY2(has(body, std::string(": ") + answer + "\""), body.c_str());
            }
        }
    }

    void permissionLevelsDecideCategories()
    {
        auto admin = this->admin(), mid = loggedIn("mid", "mid-pass"), viewer = loggedIn("viewer", "viewer-pass");
        QVERIFY(admin && mid && viewer);
        QCOMPARE(permissionOf(*admin, "admin"), "32768");
        QCOMPARE(permissionOf(*mid, "mid"), "16384");
        QCOMPARE(permissionOf(*viewer, "viewer"), "4096");
        const CMapStringToString none;
        for (const Fixture& fixture : questions()) {
            const bool midAllowed = fixture.category == Category::SchoolMid;
            CMapStringToString reply;
            QCOMPARE(mid->GetQuestion(fixture.category, &fixture.metadata, &reply), midAllowed);
            QCOMPARE(mid->InsertQuestion(fixture.category, &fixture.metadata, &none, &none), midAllowed);
            if (!midAllowed)
                QVERIFY(mid->GetLastErrorText().endsWith("이 분류의 문제를 다룰 권한이 없습니다."));
            QVERIFY(!viewer->GetQuestion(fixture.category, &fixture.metadata, &reply));
            QVERIFY(!viewer->DeleteQuestion(fixture.category, &fixture.metadata));
        }
        QVERIFY(mid->DeleteSchoolMid(&questions()[3].metadata));
        // Any level searches schools: a substring anywhere in the name, with "%" a letter like any other (the
        // names and regions the search gives are the school dialog's test).
        for (const auto& [text, count] : {std::pair{"바다", 2}, std::pair{"%", 0}}) {
            CFieldMapList list;
            QVERIFY(viewer->FindSchools(text, &list));
            QCOMPARE(list.size(), count);
        }
        // A new password or permission logs the account out everywhere, and no other account.
        QVERIFY(m_store->AddUser("changing", "old", 32768));
        auto changing = loggedIn("changing", "old");
        QVERIFY(changing);
        QCOMPARE(permissionOf(*changing, "changing"), "32768");
        QVERIFY(m_store->AddUser("changing", "old", 4096));
        QCOMPARE(permissionOf(*changing, "changing"), "(refused)");
        QCOMPARE(permissionOf(*viewer, "viewer"), "4096");
    }

    // The form token must be the cookie's; the login issues a new session id that keeps the token, and drops
    // the one from before; a logout ends the session and its token with it.
    void tokenAndSessionAreChecked()
    {
        // The session start sets the session cookie, then the token's; both for the whole site, with an end.
        RawSession session = rawSession();
        QCOMPARE(session.setCookies.size(), std::size_t(2));
        QVERIFY(session.setCookies[0].rfind("qb_session=", 0) == 0);
        QVERIFY(session.setCookies[1].rfind("_csrf_token_value=", 0) == 0);
        for (const std::string& cookie : session.setCookies)
            QVERIFY(has(cookie, "; path=/") && has(cookie, "; expires="));
        // No cookie at all, or a token that is not the cookie's.
        const std::string wrongToken = "_csrf_token_name=x" + std::string(kDemoLogin);
        for (const httplib::Headers& cookies : {httplib::Headers(), session.cookies})
            QCOMPARE(rawPost(m_port, cookies, "/qb/js_user/login", wrongToken).first, 403);
        const auto res = rawClient()->Post("/qb/js_user/login", session.cookies,
                                           "_csrf_token_name=" + session.token + kDemoLogin, kForm);
        QCOMPARE(res->status, 200);
        QCOMPARE(resultCode(res->body), 0);
        const std::string renewed = res->get_header_value("Set-Cookie");
        QVERIFY(renewed.rfind("qb_session=", 0) == 0);
        QVERIFY(has(renewed, "HttpOnly"));
        const std::string newSession = renewed.substr(0, renewed.find(';'));
        QVERIFY(session.cookies.begin()->second.rfind(newSession, 0) != 0);
        QCOMPARE(rawPost(m_port, session, "/qb/js_user/getpermission", "&ims_id=demo").first, 403);
        session.useSession(newSession);
        const auto [status, body] = rawPost(m_port, session, "/qb/js_user/getpermission", "&ims_id=demo");
        QCOMPARE(status, 200);
        QVERIFY(has(body, "\"permission\":\"32768\""));

        QCOMPARE(rawClient()->Get("/qb/js_user/logout", session.cookies)->status, 200);
        QCOMPARE(rawPost(m_port, session, "/qb/js_user/getpermission", "&ims_id=demo").first, 403);

        // The client's own flow: without a session start it has neither cookie nor token.
        CCommunicator fresh(baseUrl());
        QVERIFY(!fresh.Login("demo", "demo1234"));
        QCOMPARE(fresh.GetLastErrorText(), QString());
    }

    void sessionsAreCappedAndEnd()
    {
        const auto [server, url, port] = serverWith([](ServerLimits& l) {
            l.maxSessions = 2;
            l.sessionMaxAge = 2s;
        });
        const auto status = [&, port = port](const RawSession& session) {
            return rawPost(port, session, "/qb/js_user/getpermission", "").first;
        };
        const RawSession first = rawSession(port), second = rawSession(port);
        QCOMPARE(status(first), 200);
        const RawSession third = rawSession(port);
        // The session unused longest made room.
        QCOMPARE(status(second), 403);
        QCOMPARE(status(first), 200);
        QCOMPARE(status(third), 200);
        // Kept busy, a session still ends.
        QTRY_COMPARE_WITH_TIMEOUT(status(first), 403, 10000);
    }

    // Sessions anyone can start: one address holds few that have not logged in, a full table drops only those,
    // and what they may send is a login's worth.
    void strangersCannotCrowdOut()
    {
        const auto [server, url, port] = serverWith([](ServerLimits& l) {
            l.maxSessions = 8;
            l.anonymousSessionsPerAddress = 5;
            l.anonymousBodyBytes = 2048;
        });
        const RawSession user = rawLogin(port);
        const auto served = [&, port = port](const RawSession& session) {
            return has(rawPost(port, session, "/qb/js_user/getpermission", "&ims_id=demo").second, "32768");
        };
        QVERIFY(served(user));
        for (int i = 0; i < 40; ++i)
            rawSession(port);
        QCOMPARE(server->Sessions().AnonymousFrom("127.0.0.1"), std::size_t(5));
        for (int i = 0; i < 12; ++i) {
            TlsConnection other(port, nullptr, "127.0.0.2");
            other.Send(kSessionStart);
            QCOMPARE(statusOf(other.ReadAll()), 200);
        }
        QCOMPARE(server->Sessions().Size(), std::size_t(8));
        QVERIFY(served(user));

        // A stranger's body is a login's size; a logged-in session sends questions.
        const std::string filler = "&searchSchulNm=x&filler=" + std::string(3000, 'a');
        QCOMPARE(rawPost(port, rawSession(port), "/qb/js_bank_school/search", filler).first, 413);
        QCOMPARE(rawPost(port, user, "/qb/js_bank_school/search", filler).first, 200);
    }

    // A database held by another process (say --add-user): a delete that cannot be done says so and keeps the
    // record, and requests waiting for the store leave the network threads free for everyone else.
    void heldDatabase()
    {
        const auto bank = ownBank(std::chrono::milliseconds(200));
        const RawSession user = rawLogin(bank->port);
        const auto result = [&](const RawSession& session, const char* path, const std::string& fields) {
            return resultCode(rawPost(bank->port, session, path, fields).second);
        };
        sqlite3* outside = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(bank->databasePath()).constData(), &outside), SQLITE_OK);
        const auto sql = [](sqlite3* db, const char* statement) {
            return sqlite3_exec(db, statement, nullptr, nullptr, nullptr) == SQLITE_OK;
        };
        const std::string daily = "&volume=v1&prob=p1";
        QCOMPARE(result(user, "/qb/js_bank/insert/daily", daily + "&q_hwp=" + std::string(40000, 'A')), 0);
        // Held for writing, then for reading too: a get cannot say "nothing stored", and the session is not
        // ended for it. A login whose account cannot be read checks no password: it is neither told as a wrong
        // password nor counted towards the lock, which five wrong ones would set.
        const RawSession newcomer = rawSession(bank->port);
        for (const auto& [lock, session, path, fields, times] :
             {std::tuple{"BEGIN IMMEDIATE", &user, "/qb/js_bank/delete/daily", daily, 1},
              std::tuple{"BEGIN EXCLUSIVE", &user, "/qb/js_bank/get/daily", daily, 1},
              std::tuple{"BEGIN EXCLUSIVE", &newcomer, "/qb/js_user/login", std::string(kDemoLogin), 6}}) {
            QVERIFY(sql(outside, lock));
            for (int attempt = 0; attempt < times; ++attempt)
                QCOMPARE(result(*session, path, fields), 9);
            QVERIFY(sql(outside, "ROLLBACK"));
        }
        QVERIFY(has(rawPost(bank->port, user, "/qb/js_bank/get/daily", daily).second, "\"volume\":\"v1\""));
        QCOMPARE(result(newcomer, "/qb/js_user/login", kDemoLogin), 0);
        sqlite3_close(outside);
        // The database maps no file into the server: a mapped file that shrinks or cannot grow ends a process
        // with SIGBUS, where a file that is read and written gives an error.
        QFile maps("/proc/self/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        for (const QByteArray& line : maps.readAll().split('\n'))
            QVERIFY2(!line.contains(QFile::encodeName(bank->dir.path())), line.constData());

        const auto waiting = ownBank(std::chrono::seconds(30));
        const RawSession waitingUser = rawLogin(waiting->port);
        sqlite3* holder = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(waiting->databasePath()).constData(), &holder), SQLITE_OK);
        QVERIFY(sql(holder, "BEGIN EXCLUSIVE"));
        std::thread blocked([&, port = waiting->port] {
            inParallel(8, [&](int) { rawPost(port, waitingUser, "/qb/js_user/getpermission", "&ims_id=demo"); });
        });
        std::this_thread::sleep_for(300ms);
        std::atomic<int> answered{0};
        std::thread stranger([&, port = waiting->port] { answered = statusOf(rawExchange(port, kSessionStart)); });
        // Answered while the database is still held.
        QTRY_COMPARE_WITH_TIMEOUT(answered.load(), 200, 10000);
        QVERIFY(sql(holder, "ROLLBACK"));
        stranger.join();
        blocked.join();
        sqlite3_close(holder);
    }

    // The reply to a get is the library's own JSON of the record, byte for byte: the documents' Base64 goes into
    // the text the library wrote around it, and holds nothing the library would escape.
    void replyIsTheLibrarysJsonWithinBudget()
    {
        const RawSession user = rawLogin();
        const std::string identity = "&volume=v9&prob=p9";
        const std::string memo = "\"인용\" \\ 경로/이름 \x01\t\n끝";
        // Around the pieces of 48 KiB in which the server reads a document: one byte past two of them, exactly
        // one, and two bytes.
        const std::vector<std::pair<std::string, QByteArray>> documents = {{"a_hwp", RandomBytes(2, 41)},
                                                                           {"q_hwp", RandomBytes(2 * 49152 + 1, 42)},
                                                                           {"q_png", RandomBytes(49152, 43)}};
        std::string fields = identity + "&memo=" + QUrl::toPercentEncoding(QString::fromStdString(memo)).toStdString();
        for (const auto& [name, bytes] : documents)
            fields += "&" + name + "=" + QUrl::toPercentEncoding(QString::fromLatin1(bytes.toBase64())).toStdString();
        QCOMPARE(rawPost(m_port, user, "/qb/js_bank/insert/daily", fields).first, 200);
        const auto [status, body] = rawPost(m_port, user, "/qb/js_bank/get/daily", identity);
        QCOMPARE(status, 200);

        namespace json = web::json;
        // The fields in the order they were sent, then the documents by name.
        json::value record = json::value::object(true);
        record["volume"] = json::value::string("v9");
        record["prob"] = json::value::string("p9");
        record["memo"] = json::value::string(memo);
        for (const auto& [name, bytes] : documents)
            record[name] = json::value::string(bytes.toBase64().toStdString());
        json::value reply = json::value::object(true);
        reply["result_code"] = json::value::number(0);
        reply["result_message"] = json::value::string("문제를 찾았습니다.");
        reply["result"] = record;
        QCOMPARE(body, reply.serialize());

        // A reply is built only when the budget of bytes in flight has room for its documents in Base64;
        // otherwise the client is asked to come back.
        const std::string large = "&volume=v10&prob=p10";
        const std::string document =
            QUrl::toPercentEncoding(QString::fromLatin1(RandomBytes(2'000'000, 44).toBase64())).toStdString();
        QCOMPARE(rawPost(m_port, user, "/qb/js_bank/insert/daily", large + "&q_hwp=" + document).first, 200);
        for (const auto& [capacity, answer] : {std::pair<std::size_t, int>(2u << 20, 503), {4u << 20, 200}}) {
            const auto [server, url, port] = serverWith([&](ServerLimits& l) { l.bytesInFlight = capacity; });
            QCOMPARE(rawPost(port, rawLogin(port), "/qb/js_bank/get/daily", large).first, answer);
        }
    }

    void concurrentInsertsAreAllKept()
    {
        constexpr int kClients = 20;
        const auto question = [](int i) {
            return CMapStringToString{
                {"topic", "동시 입력"}, {"type", "Level1"}, {"number", QStringLiteral("%1번").arg(i)}};
        };
        const auto document = [](int i) { return RandomBytes(50000 + i, 100 + quint32(i)); };
        QTemporaryDir files;
        std::vector<CMapStringToString> hwp;
        for (int i = 0; i < kClients; ++i)
            hwp.push_back({{"q_hwp", WriteTestFile(files.filePath(QString::number(i)), document(i))}});
        std::atomic<int> inserted{0};
        inParallel(kClients, [&](int i) {
            const auto client = admin();
            const CMapStringToString asked = question(i), png;
            inserted += client && client->InsertTimestone(&asked, &hwp[std::size_t(i)], &png);
        });
        QCOMPARE(inserted.load(), kClients);

        auto client = admin();
        for (int i = 0; i < kClients; ++i) {

            const CMapStringToString asked = question(i);
            CMapStringToString stored;
            QVERIFY(client->GetTimestone(&asked, &stored));
            QCOMPARE(QByteArray::fromBase64(stored.Value("q_hwp").toLatin1()), document(i));
        }
    }

    // One server with small limits; each row is one request on a connection of its own.
    void requestLimitsAreKept()
    {
        const QByteArray search = "POST /qb/js_bank_school/search", version = "GET /qb/js_bank/tarvix_app_version";
        const QByteArray form = "_csrf_token_name={token}&searchSchulNm=x";
        const QByteArray multipart = "--x\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--x--\r\n";
        QByteArray many;
        for (int i = 0; i < 120; ++i)
            many += "X-Filler-" + QByteArray::number(i) + ": 1\r\n";
        // What is asked for, the headers and body sent, and the body's framing, beside the status it must get.
        const std::tuple<const char*, QByteArray, QByteArray, QByteArray, QByteArray, int> rows[] = {
            {"form", search, {}, form, "length", 200},
            {"chunked form", search, {}, form, "chunked", 200},
            {"length past the limit", search, {}, QByteArray(3000, 'a'), "length", 413},
            {"chunks past the limit", search, {}, QByteArray(3000, 'a'), "chunked", 413},
            {"no length", search, {}, form, "", 411},
            {"long path", "GET /qb/js_bank/get/" + QByteArray(8000, 'a'), {}, {}, "", 414},
            {"long post path", "POST /qb/js_bank/get/" + QByteArray(8000, 'a'), {}, form, "length", 414},
            {"ranges", version, "Range: bytes=0-,0-,0-\r\n", {}, "", 416},
            {"many headers", version, many, {}, "", 431},
            {"64 fields", search, {}, form + QByteArray("&a=1").repeated(62), "length", 200},
            {"65 fields", search, {}, form + QByteArray("&a=1").repeated(63), "length", 400},
            {"stranger's broken form", search, "Cookie: qb_session=x; _csrf_token_value=y\r\n", "%zz", "length", 403},
            {"multipart", search, "Content-Type: multipart/form-data; boundary=x\r\n", multipart, "length", 415},
            {"multipart in capitals", search, "Content-Type: MULTIPART/form-data; boundary=x\r\n", multipart, "length",
             415},
            {"JSON", search, "Content-Type: application/json\r\n", "{}", "length", 415},
            {"form in capitals", search, "Content-Type: Application/X-WWW-Form-URLencoded\r\n", form, "length", 200},
            {"identity coding", search, "Content-Encoding: identity\r\n", form, "length", 415},
            {"deflated", search, "Content-Encoding: deflate\r\n", qCompress(QByteArray(100000, 'a')).mid(4), "length",
             415},
        };
        const auto [server, url, port] = serverWith([](ServerLimits& l) { l.bodyBytes = 1024; });
        for (auto [name, target, headers, body, framing, status] : rows) {
            const RawSession session = rawSession(port);
            std::string request =
                target.toStdString() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers.toStdString();
            if (!headers.contains("Content-Type"))
                request += "Content-Type: application/x-www-form-urlencoded\r\n";
            if (!headers.contains("Cookie"))
                request += "Cookie: " + session.cookies.begin()->second + "\r\n";
            request += framed(body.replace("{token}", QByteArray::fromStdString(session.token)).toStdString(), framing);
            // The row's name goes with its status, to tell which row failed.
            QCOMPARE(std::pair(name, statusOf(rawExchange(port, request))), std::pair(name, status));
        }
    }

    // A refusal reads at most a little more than the request head, however much the client goes on sending.
    void refusedBodiesAreNotRead()
    {
        const int head = 512 * 1024;
        QByteArray many;
        for (int i = 0; i < 20000; ++i)
            many += "X-" + QByteArray::number(i) + ": 1\r\n";
        // A session's body past the limit, as one piece or in chunks (which are only counted as they come), a
        // stranger's within it, and a head past its own limit; the bytes the server may read of each.
        for (const auto& [stranger, framing, extraHeaders, readAtMost] :
             {std::tuple<bool, QByteArray, QByteArray, int>{false, "length", {}, head},
              {false, "chunked", {}, kTestBodyLimit + head},
              {true, "length", {}, head},
              {false, {}, many, head}}) {
            auto [server, url, port] = serverWith([](ServerLimits& l) { l.bodyBytes = kTestBodyLimit; });
            const RawSession session = rawSession(port);
            QTRY_COMPARE(server->OpenConnections(), 0);
            const std::uint64_t before = server->BytesReceived();

            const std::size_t size = stranger ? kTestBodyLimit - 1024 : 4 * kTestBodyLimit;
            const std::string cookies =
                stranger ? "qb_session=forged; _csrf_token_value=forged" : session.cookies.begin()->second;
            const std::string request =
                "POST /qb/js_bank/insert/daily HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\n" +
                extraHeaders.toStdString() + "Cookie: " + cookies + "\r\n" +
                framed("_csrf_token_name=" + session.token + "&volume=" + std::string(size, 'a'), framing, 1 << 20);
            TlsConnection connection(port);
            QVERIFY(connection.IsOpen());
            connection.Send(request);
            connection.ReadAll();
            QTRY_COMPARE(server->OpenConnections(), 0);
            const std::uint64_t read = server->BytesReceived() - before;
            QVERIFY2(read < std::uint64_t(readAtMost), qPrintable(QString::number(read)));
        }
    }

    // Clients that hold connections without finishing a request cannot lock the others out.
    void slowClientsAreCutOff()
    {
        auto [server, url, port] = serverWith([](ServerLimits& l) {
            l.headDeadline = 400ms;
            l.connectionsPerAddress = 3;
        });
        std::vector<std::unique_ptr<TlsConnection>> idle;
        for (int i = 0; i < 3; ++i) {
            idle.push_back(std::make_unique<TlsConnection>(port));
            QVERIFY(idle.back()->IsOpen());
        }
        // One more from the same address is closed unanswered.
        QVERIFY(!TlsConnection(port).IsOpen());
        // The idle ones end at the deadline, and then there is room again.
        for (auto& connection : idle)
            QCOMPARE(connection->ReadAll(), std::string());
        QTRY_COMPARE(server->OpenConnections(), 0);
        QCOMPARE(versionAt(url), "45");

        // Sending a byte now and then does not stretch the deadline: the head never completes.
        TlsConnection dripping(port);
        const std::string head =
            "GET /qb/js_bank/tarvix_app_version HTTP/1.1\r\nHost: 127.0.0.1\r\n" + std::string(200, ' ') + "\r\n\r\n";
        std::size_t sent = 0;
        while (sent < head.size() && dripping.Send(head.substr(sent, 1)) == 1) {
            ++sent;
            std::this_thread::sleep_for(20ms);
        }
        QVERIFY2(sent < head.size(), "a head sent over several deadlines was read");
    }

    void stopDoesNotWaitForClients()
    {
        auto [server, url, port] = serverWith([](ServerLimits& l) { l.headDeadline = 1h; });
        TlsConnection idle(port);
        TlsConnection halfway(port);
        QVERIFY(idle.IsOpen());
        halfway.Send("POST /qb/js_user/login HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        server->Stop();
        QCOMPARE(idle.ReadAll(), std::string());
        QCOMPARE(halfway.ReadAll(), std::string());
    }

    // Old protocol versions, and TLS 1.2 without an AEAD cipher, get the alert that names the reason, not an
    // internal error.
    void tlsIsCurrentAndForwardSecret()
    {
        for (const auto& [version, ciphers, alert] :
             {std::tuple{TLS1_3_VERSION, "DEFAULT", 0}, std::tuple{TLS1_2_VERSION, "ECDHE-ECDSA-AES128-GCM-SHA256", 0},
              std::tuple{TLS1_2_VERSION, "ECDHE-ECDSA-AES128-SHA256", SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE},
              std::tuple{TLS1_1_VERSION, "DEFAULT:@SECLEVEL=0", SSL_R_TLSV1_ALERT_PROTOCOL_VERSION},
              std::tuple{TLS1_VERSION, "DEFAULT:@SECLEVEL=0", SSL_R_TLSV1_ALERT_PROTOCOL_VERSION}}) {
            TlsConnection connection(m_port, [version = version, ciphers = ciphers](SSL_CTX* context) {
                SSL_CTX_set_security_level(context, 0);
                SSL_CTX_set_min_proto_version(context, version);
                SSL_CTX_set_max_proto_version(context, version);
                SSL_CTX_set_cipher_list(context, ciphers);
            });
            QCOMPARE(std::pair(version, connection.HandshakeError()), std::pair(version, alert));
            QCOMPARE(connection.IsOpen(), alert == 0);
        }
    }

    // Bytes that are no request at all get 400 or a closed connection, and the server goes on. (What a
    // request's head and body may hold is the fuzz harness's part.)
    void junkIsNoRequest()
    {
        auto [server, url, port] = serverWith([](ServerLimits& l) { l.headDeadline = 300ms; });
        QRandomGenerator generator(77);
        for (int i = 0; i < 20; ++i) {
            const QByteArray junk = RandomBytes(int(generator.bounded(1, 3000)), quint32(i));
            const std::string answer = rawExchange(port, junk.toStdString());
            QVERIFY2(answer.empty() || statusOf(answer) == 400, answer.substr(0, 40).c_str());
        }
        QCOMPARE(versionAt(url), "45");
    }

    // The server dies in the middle of an insert: the client says so, and the database, once the server is
    // back, holds the record as it was before or as it was sent, never a mix of the two.
    void killedDuringAnInsert()
    {
        // While the request arrives, the server holding half of it; while the record goes into the database,
        // the server having written half of the documents.
        for (const auto& [index, counter] : {std::pair{0, "VmRSS:"}, std::pair{5, "wchar:"}}) {
            const Fixture fixture = questions().at(index);
            QTemporaryDir dir;
            const QString db = dir.filePath("killed.sqlite3");
            struct Version
            {
                QMap<QString, QByteArray> documents;
                CMapStringToString hwp, png, metadata;
            };
            auto version = [&](const char* note, int size, quint32 seed) {
                Version v{{{"q_hwp", RandomBytes(size, seed)},
                           {"a_hwp", RandomBytes(size / 3, seed + 1)},
                           {"q_png", RandomBytes(size / 5, seed + 2)}},
                          {},
                          {},
                          fixture.metadata};
                std::tie(v.hwp, v.png) = documentFiles(dir, v.documents, QLatin1String(note));
                v.metadata.SetAt("note", QLatin1String(note));
                return v;
            };
            const Version old = version("old", 300000, 7);
            const Version sent = version("new", 24 << 20, 8);
            // A client logged in as demo to a server on the database.
            const auto connect = [&](QProcess& server) {
                return loggedIn("demo", "demo1234", startDevServer(server, db));
            };

            QProcess server;
            const auto client = connect(server);
            QVERIFY(client);
            QVERIFY2(client->InsertQuestion(fixture.category, &old.metadata, &old.hwp, &old.png),
                     qPrintable(client->GetLastErrorText()));
            const qint64 pid = server.processId();
            qint64 documentBytes = 0;
            for (const QByteArray& bytes : sent.documents)
                documentBytes += bytes.size();
            const qint64 start = processCounter(pid, counter);
            std::atomic<bool> done{false};
            bool inserted = true;
            std::thread insert([&] {
                inserted = client->InsertQuestion(fixture.category, &sent.metadata, &sent.hwp, &sent.png);
                done = true;
            });
            while (!done && processCounter(pid, counter) - start < documentBytes / 2)
                std::this_thread::yield();
            ::kill(pid_t(pid), SIGKILL);
            insert.join();
            QVERIFY(server.waitForFinished(20000));
            QVERIFY(!inserted);
            // The insert's receive failure, with the library's description of what went wrong.
            const QString error = client->GetLastErrorText();
            QVERIFY2(error.startsWith(QLatin1String("Error: Receive failed. (")) &&
                         !error.contains(QLatin1String("Unknown exception")),
                     qPrintable(error));

            QProcess restarted;
            const auto reader = connect(restarted);
            QVERIFY(reader);
            CMapStringToString stored;
            QVERIFY2(reader->GetQuestion(fixture.category, &fixture.metadata, &stored),
                     qPrintable(reader->GetLastErrorText()));
            const Version& kept = stored.Value("note") == QLatin1String("new") ? sent : old;
            verifyStored(stored, kept.metadata, kept.documents);
            restarted.terminate();
            QVERIFY(restarted.waitForFinished(20000));
        }
    }
};

QTEST_GUILESS_MAIN(TestDevServer)
#include "tst_devserver.moc"
