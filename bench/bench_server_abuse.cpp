// What abusive clients cost the local server: each attack against a fresh `vellorin-devserver` process, with
// the answer the attacker got, the server's peak resident size, the attack's time and whether the server
// still answers afterwards. Give another build's program as the argument to compare two versions.
//
//   bench_server_abuse [PATH-TO-vellorin-devserver or "" [PART-OF-AN-ATTACK-NAME]]

#include "bench/ProcessStatus.h"
#include "tests/support/TestTls.h"
#include "tests/support/TlsConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

QString g_program;

class ServerUnderTest
{
public:
    ServerUnderTest()
    {
        const TestTls& tls = TestTls::instance();
        m_process.setProgram(g_program);
        m_process.setArguments({QStringLiteral("--cert"), tls.certificatePath, QStringLiteral("--key"), tls.keyPath,
                                QStringLiteral("--db"), m_dir.filePath(QStringLiteral("qb.sqlite3")),
                                QStringLiteral("--port"), QStringLiteral("0")});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        QString output;
        while (m_process.waitForReadyRead(10000)) {
            output += QString::fromUtf8(m_process.readAllStandardOutput());
            const auto match = QRegularExpression(QStringLiteral(":(\\d+)/")).match(output);
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                break;
            }
        }
    }
    ~ServerUnderTest()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    int Port() const { return m_port; }
    QString DatabasePath() const { return m_dir.filePath(QStringLiteral("qb.sqlite3")); }
    bool IsRunning() const { return m_process.state() == QProcess::Running; }
    pid_t Pid() const { return pid_t(m_process.processId()); }
    double PeakMiB() const { return double(ProcessStatusKiB("VmHWM:", pid_t(m_process.processId()))) / 1024; }
    // The time SIGTERM takes to end the process, in seconds, or -1 when it does not end within 20 s.
    double StopTime()
    {
        QElapsedTimer timer;
        timer.start();
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(20000) ? double(timer.elapsed()) / 1000 : -1;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

std::string statusLine(const std::string& answer)
{
    if (answer.empty())
        return "closed, no answer";
    return answer.substr(0, std::min(answer.find("\r\n"), std::size_t(40)));
}

std::string exchange(int port, const std::string& request, int timeout = 30)
{
    TlsConnection connection(port);
    connection.SetTimeout(timeout);
    connection.Send(request);
    return connection.ReadAll(4096);
}

bool answers(int port)
{
    const std::string answer = exchange(
        port, "GET /qb/js_bank/tarvix_app_version HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 5);
    return answer.rfind("HTTP/1.1 200", 0) == 0;
}

std::string cookieFrom(const std::string& answer, const std::string& name)
{
    const std::size_t at = answer.find("Set-Cookie: " + name + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + 12;
    return answer.substr(start, answer.find(';', start) - start);
}

struct RawSession
{
    std::string cookies;
    std::string token;
};

RawSession startSession(int port)
{
    const std::string answer = exchange(port, "GET /qb HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    RawSession session;
    const std::string token = cookieFrom(answer, "_csrf_token_value");
    session.token = token.substr(token.find('=') + 1);
    session.cookies = cookieFrom(answer, "qb_session") + "; " + token;
    return session;
}

std::string post(const RawSession& session, const std::string& path, const std::string& body)
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nCookie: " + session.cookies +
           "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::string loginForm(const RawSession& session, const std::string& login, const std::string& base64Password)
{
    return "_csrf_token_name=" + session.token + "&ims_id=" + login + "&ims_password=" + base64Password;
}

// A session logged in as the demo account.
RawSession demoSession(int port)
{
    RawSession session = startSession(port);
    const std::string loggedIn =
        ::exchange(port, post(session, "/qb/js_user/login", loginForm(session, "demo", "ZGVtbzEyMzQ%3D")));
    // A login may renew the session cookie.
    if (const std::string renewed = cookieFrom(loggedIn, "qb_session"); !renewed.empty())
        session.cookies = renewed + "; _csrf_token_value=" + session.token;
    return session;
}

bool servesDemo(int port, const RawSession& session)
{
    const std::string answer = ::exchange(
        port, post(session, "/qb/js_user/getpermission", "_csrf_token_name=" + session.token + "&ims_id=demo"));
    return answer.find("\"permission\":\"32768\"") != std::string::npos;
}

std::string resultCode(const std::string& answer)
{
    const std::size_t at = answer.find("\"result_code\":");
    return at == std::string::npos ? statusLine(answer) : "code " + answer.substr(at + 14, 1);
}

// Counts of each outcome, "3× 200, 1× 503".
std::string tally(const std::vector<std::string>& outcomes)
{
    std::map<std::string, int> counts;
    for (const std::string& outcome : outcomes)
        ++counts[outcome];
    std::string text;
    for (const auto& [outcome, count] : counts)
        text += (text.empty() ? "" : ", ") + std::to_string(count) + "x " + outcome;
    return text;
}

// Holds the server's database from another connection, as --add-user would, until destroyed.
class HeldDatabase
{
public:
    HeldDatabase(const QString& path, const char* begin)
    {
        sqlite3_open(path.toLocal8Bit().constData(), &m_db);
        m_held = sqlite3_exec(m_db, begin, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~HeldDatabase()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    bool IsHeld() const { return m_held; }

private:
    sqlite3* m_db = nullptr;
    bool m_held = false;
};

// Sends `total` bytes made by `piece` after `head`, as long as the server takes them.
std::string stream(int port, const std::string& head, std::uint64_t total, const std::function<std::string()>& piece)
{
    TlsConnection connection(port);
    connection.SetTimeout(30);
    if (connection.Send(head) != head.size())
        return "closed during the head";
    std::uint64_t sent = 0;
    while (sent < total) {
        const std::string part = piece();
        const std::size_t n = connection.Send(part);
        sent += n;
        if (n != part.size())
            break;
    }
    const std::string answer = statusLine(connection.ReadAll(4096));
    return answer + " after " + std::to_string(sent >> 20) + " MiB sent";
}

// Runs `attack` from `count` connections at once and counts the answers they got by status line, with the most
// that one of them could send, when the attack says how much that was.
std::string together(int count, const std::function<std::string()>& attack)
{
    std::vector<std::string> outcomes(static_cast<std::size_t>(count));
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] { outcomes[std::size_t(i)] = attack(); });
    for (std::thread& thread : threads)
        thread.join();
    std::vector<std::string> statuses;
    int mostSent = -1;
    for (const std::string& outcome : outcomes) {
        const std::size_t after = outcome.find(" after ");
        statuses.push_back(outcome.substr(0, after));
        if (after != std::string::npos)
            mostSent = std::max(mostSent, std::atoi(outcome.c_str() + after + 7));
    }
    const std::string summary = tally(statuses);
    return mostSent < 0 ? summary : summary + " (at most " + std::to_string(mostSent) + " MiB sent)";
}

// Every status line in `answer`, as a connection that carries several replies gets them.
std::string statusLines(const std::string& answer)
{
    std::string lines;
    for (std::size_t at = answer.find("HTTP/1.1 "); at != std::string::npos; at = answer.find("HTTP/1.1 ", at + 1))
        lines += (lines.empty() ? "" : ", ") + answer.substr(at + 9, 3);
    return lines.empty() ? "closed, no answer" : lines;
}

struct Attack
{
    const char* name;
    std::function<std::string(ServerUnderTest&)> run;
};

std::string gzipOf(std::uint64_t size)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    const std::string block(1 << 20, 'a');
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    for (std::uint64_t done = 0; done < size; done += block.size()) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
        z.avail_in = uInt(block.size());
        const int flush = done + block.size() >= size ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer.data();
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

// A chunked GET whose first chunk's size line never ends: `mib` MiB of extension.
std::string chunkExtensionOnGet(int port, std::uint64_t mib)
{
    const std::string block(1 << 20, 'a');
    return stream(port,
                  "GET /qb/js_bank/tarvix_app_version HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                  "5;x=",
                  mib << 20, [&] { return block; });
}

std::vector<Attack> attacks()
{
    const std::string insert = "POST /qb/js_bank/insert/daily HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                               "Content-Type: application/x-www-form-urlencoded\r\n";
    return {
        {"1000 MiB chunked POST in a session",
         [insert](ServerUnderTest& server) {
             const std::string chunk = "100000\r\n" + std::string(1 << 20, 'a') + "\r\n";
             const RawSession session = startSession(server.Port());
             return stream(server.Port(),
                           insert + "Cookie: " + session.cookies + "\r\nTransfer-Encoding: chunked\r\n\r\n",
                           1000ull << 20, [&] { return chunk; });
         }},
        {"gzip body inflating to 800 MiB",
         [insert](ServerUnderTest& server) {
             const std::string body = gzipOf(800ull << 20);
             const std::string answer = exchange(server.Port(), insert + "Content-Encoding: gzip\r\nContent-Length: " +
                                                                    std::to_string(body.size()) + "\r\n\r\n" + body);
             return statusLine(answer) + " (" + std::to_string(body.size() >> 10) + " KiB sent)";
         }},
        {"POST of 200 MiB without a length",
         [insert](ServerUnderTest& server) {
             const std::string block(1 << 20, 'a');
             return stream(server.Port(), insert + "\r\n", 200ull << 20, [&] { return block; });
         }},
        {"stranger's 60 MB form of a&a&...",
         [](ServerUnderTest& server) {
             RawSession stranger{"qb_session=x; _csrf_token_value=y", "y"};
             std::string body;
             body.reserve(60'000'000);
             while (body.size() < 60'000'000)
                 body += "a&";
             return statusLine(exchange(server.Port(), post(stranger, "/qb/js_bank/insert/daily", body)));
         }},
        {"48 clients sending a byte a second",
         [](ServerUnderTest& server) {
             std::vector<std::unique_ptr<TlsConnection>> slow;
             for (int i = 0; i < 48; ++i)
                 slow.push_back(std::make_unique<TlsConnection>(server.Port(), nullptr, "127.0.0.2"));
             const std::string head = "GET /qb/js_bank/tarvix_app_version HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
             std::atomic<bool> done{false};
             std::thread drip([&] {
                 for (std::size_t at = 0; !done && at < head.size(); ++at) {
                     for (auto& connection : slow)
                         connection->Send(head.substr(at, 1));
                     for (int i = 0; i < 10 && !done; ++i)
                         std::this_thread::sleep_for(std::chrono::milliseconds(100));
                 }
             });
             std::this_thread::sleep_for(std::chrono::seconds(2));
             QElapsedTimer timer;
             timer.start();
             const bool answered = answers(server.Port());
             const std::string other = answered
                                           ? "another client answered in " + std::to_string(timer.elapsed()) + " ms"
                                           : "another client not answered within 5 s";
             const double stop = server.StopTime();
             done = true;
             drip.join();
             return other + "; SIGTERM ends the server in " +
                    (stop < 0 ? std::string("more than 20 s") : std::to_string(stop).substr(0, 5) + " s");
         }},
        {"GET path of 8,000 characters",
         [](ServerUnderTest& server) {
             return statusLine(
                 exchange(server.Port(), "GET /qb/js_bank/get/" + std::string(8000, 'a') +
                                             " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
         }},
        {"5 million headers",
         [](ServerUnderTest& server) {
             std::string block;
             for (int i = 0; i < 100000; ++i)
                 block += "X: 1\r\n";
             return stream(server.Port(), "GET /qb HTTP/1.1\r\nHost: 127.0.0.1\r\n", 50 * block.size(),
                           [&, n = 0]() mutable { return ++n == 50 ? block + "\r\n" : block; });
         }},
        {"get with 1,000 ranges of a 1 MB record",
         [](ServerUnderTest& server) {
             const RawSession session = demoSession(server.Port());
             const std::string form = "_csrf_token_name=" + session.token + "&volume=v&prob=1";
             exchange(server.Port(),
                      post(session, "/qb/js_bank/insert/daily", form + "&q_hwp=" + std::string(1'400'000, 'A')));
             std::string ranges = "Range: bytes=0-";
             for (int i = 1; i < 1000; ++i)
                 ranges += ",0-";
             std::string request = post(session, "/qb/js_bank/get/daily", form);
             request.insert(request.find("Cookie:"), ranges + "\r\n");
             TlsConnection connection(server.Port());
             connection.SetTimeout(60);
             connection.Send(request);
             std::uint64_t total = 0;
             const std::string answer = connection.ReadAll(4096, &total);
             return statusLine(answer) + ", " + std::to_string(total >> 20) + " MiB answered";
         }},
        {"login: unknown name against known name",
         [](ServerUnderTest& server) {
             auto median = [&](const std::function<std::string(int)>& login) {
                 std::vector<qint64> times;
                 for (int i = 0; i < 4; ++i) {
                     const RawSession session = startSession(server.Port());
                     const std::string request =
                         post(session, "/qb/js_user/login", loginForm(session, login(i), "d3Jvbmc%3D"));
                     QElapsedTimer timer;
                     timer.start();
                     exchange(server.Port(), request);
                     times.push_back(timer.nsecsElapsed() / 1000);
                 }
                 std::sort(times.begin(), times.end());
                 return std::to_string(double(times[1] + times[2]) / 2000).substr(0, 5) + " ms";
             };
             const std::string unknown = median([](int i) { return "nobody" + std::to_string(i); });
             const std::string known = median([](int) { return std::string("demo"); });
             return "unknown " + unknown + ", known " + known;
         }},
        {"200 wrong passwords in a row",
         [](ServerUnderTest& server) {
             int refused = 0;
             int locked = 0;
             for (int i = 0; i < 200; ++i) {
                 const RawSession session = startSession(server.Port());
                 const std::string answer = exchange(
                     server.Port(), post(session, "/qb/js_user/login", loginForm(session, "demo", "d3Jvbmc%3D")));
                 refused += answer.find("\"result_code\":1") != std::string::npos;
                 locked += answer.find("\"result_code\":2") != std::string::npos;
             }
             return std::to_string(refused) + " checked and refused, " + std::to_string(locked) +
                    " refused unchecked (locked)";
         }},
        {"20 failed logins with 30 MiB names",
         [](ServerUnderTest& server) {
             std::vector<std::string> outcomes;
             const std::string name(30 << 20, 'n');
             for (int i = 0; i < 20; ++i) {
                 const RawSession session = startSession(server.Port());
                 outcomes.push_back(resultCode(exchange(
                     server.Port(), post(session, "/qb/js_user/login", loginForm(session, name, "d3Jvbmc%3D")))));
             }
             std::this_thread::sleep_for(std::chrono::seconds(2));
             return tally(outcomes) + "; resident after 2 s " +
                    std::to_string(ProcessStatusKiB("VmRSS:", server.Pid()) >> 10) + " MiB";
         }},
        {"30 wrong passwords for one account at once",
         [](ServerUnderTest& server) {
             std::vector<RawSession> sessions;
             for (int i = 0; i < 31; ++i)
                 sessions.push_back(startSession(server.Port()));
             std::vector<std::string> outcomes(31);
             std::vector<std::thread> threads;
             for (int i = 0; i < 30; ++i) {
                 threads.emplace_back([&, i] {
                     outcomes[std::size_t(i)] = resultCode(
                         exchange(server.Port(), post(sessions[std::size_t(i)], "/qb/js_user/login",
                                                      loginForm(sessions[std::size_t(i)], "demo", "d3Jvbmc%3D"))));
                 });
             }
             // The right password, sent after the wrong ones.
             std::this_thread::sleep_for(std::chrono::milliseconds(20));
             const std::string right =
                 resultCode(exchange(server.Port(), post(sessions[30], "/qb/js_user/login",
                                                         loginForm(sessions[30], "demo", "ZGVtbzEyMzQ%3D"))));
             for (auto& thread : threads)
                 thread.join();
             outcomes.pop_back();
             return "wrong: " + tally(outcomes) + "; right one: " + right + " (1 checked and refused, 2 locked)";
         }},
        {"10,100 sessions from one address",
         [](ServerUnderTest& server) {
             const RawSession user = demoSession(server.Port());
             std::string batch;
             for (int i = 0; i < 100; ++i)
                 batch += std::string("GET /qb HTTP/1.1\r\nHost: 127.0.0.1\r\n") +
                          (i == 99 ? "Connection: close\r\n" : "") + "\r\n";
             int started = 0;
             for (int round = 0; round < 101; ++round) {
                 TlsConnection connection(server.Port());
                 connection.SetTimeout(30);
                 connection.Send(batch);
                 const std::string answers = connection.ReadAll();
                 for (std::size_t at = answers.find("HTTP/1.1 200"); at != std::string::npos;
                      at = answers.find("HTTP/1.1 200", at + 1))
                     ++started;
             }
             return std::to_string(started) + " started; the logged-in session is " +
                    (servesDemo(server.Port(), user) ? "still served" : "GONE");
         }},
        {"MULTIPART/form-data; gzip, chunked",
         [](ServerUnderTest& server) {
             const RawSession user = demoSession(server.Port());
             const std::string form = "_csrf_token_name=" + user.token + "&searchSchulNm=x";
             std::string multipart = post(user, "/qb/js_bank_school/search", form);
             multipart.replace(multipart.find("application/x-www-form-urlencoded"), 33,
                               "MULTIPART/form-data; boundary=x");
             std::string gzip = post(user, "/qb/js_bank_school/search", form);
             gzip.replace(gzip.find("Content-Length:"), gzip.find("\r\n\r\n") - gzip.find("Content-Length:"),
                          "Transfer-Encoding: gzip, chunked");
             gzip += [&] {
                 char size[16];
                 std::snprintf(size, sizeof size, "%zx", form.size());
                 return std::string(size) + "\r\n" + form + "\r\n0\r\n\r\n";
             }();
             return statusLine(exchange(server.Port(), multipart)) + "; " + statusLine(exchange(server.Port(), gzip));
         }},
        {"database held 6 s; a stranger's GET meanwhile",
         [](ServerUnderTest& server) {
             const RawSession user = demoSession(server.Port());
             // Another process writes: the server's insert waits for it with the store's lock, and so does
             // everything else that asks the store.
             auto held = std::make_unique<HeldDatabase>(server.DatabasePath(), "BEGIN IMMEDIATE");
             std::vector<std::thread> waiting;
             waiting.emplace_back([&] {
                 exchange(server.Port(), post(user, "/qb/js_bank/insert/daily",
                                              "_csrf_token_name=" + user.token + "&volume=v&prob=1"));
             });
             std::this_thread::sleep_for(std::chrono::milliseconds(200));
             for (int i = 0; i < 8; ++i)
                 waiting.emplace_back([&] { servesDemo(server.Port(), user); });
             std::this_thread::sleep_for(std::chrono::milliseconds(300));
             QElapsedTimer timer;
             timer.start();
             const std::string answer = statusLine(
                 exchange(server.Port(), "GET /qb HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 20));
             const qint64 ms = timer.elapsed();
             std::this_thread::sleep_for(std::chrono::milliseconds(std::max<qint64>(0, 6000 - ms)));
             held.reset();
             for (auto& thread : waiting)
                 thread.join();
             return answer + " in " + std::to_string(ms) + " ms";
         }},
        {"delete while another process writes",
         [](ServerUnderTest& server) {
             const RawSession user = demoSession(server.Port());
             const std::string form = "_csrf_token_name=" + user.token + "&volume=v&prob=1";
             exchange(server.Port(), post(user, "/qb/js_bank/insert/daily", form));
             std::string deleted;
             {
                 HeldDatabase held(server.DatabasePath(), "BEGIN IMMEDIATE");
                 deleted = resultCode(exchange(server.Port(), post(user, "/qb/js_bank/delete/daily", form), 40));
             }
             const bool kept = exchange(server.Port(), post(user, "/qb/js_bank/get/daily", form)).find("\"volume\"") !=
                               std::string::npos;
             return "delete: " + deleted + "; the record is " + (kept ? "kept" : "gone");
         }},
        {"database files made immutable (root)",
         [](ServerUnderTest& server) {
             const RawSession user = demoSession(server.Port());
             const std::string form = "_csrf_token_name=" + user.token + "&volume=v&prob=1";
             exchange(server.Port(), post(user, "/qb/js_bank/insert/daily", form));
             const QDir folder = QFileInfo(server.DatabasePath()).dir();
             QStringList files;
             for (const QString& name : folder.entryList(QDir::Files))
                 files << folder.filePath(name);
             if (QProcess::execute(QStringLiteral("chattr"), QStringList{QStringLiteral("+i")} + files) != 0)
                 return std::string("chattr refused (not root?)");
             std::string outcome =
                 "insert " +
                 resultCode(exchange(server.Port(), post(user, "/qb/js_bank/insert/daily", form + "&note=x")));
             outcome += ", get " + resultCode(exchange(server.Port(), post(user, "/qb/js_bank/get/daily", form)));
             outcome += ", delete " + resultCode(exchange(server.Port(), post(user, "/qb/js_bank/delete/daily", form)));
             QProcess::execute(QStringLiteral("chattr"), QStringList{QStringLiteral("-i")} + files);
             return outcome + (server.IsRunning() ? "; running" : "; the server DIED");
         }},
        {"description key twice",
         [](ServerUnderTest& server) {
             const RawSession user = demoSession(server.Port());
             const std::string form = "_csrf_token_name=" + user.token + "&volume=v&prob=1";
             const std::string stored = resultCode(
                 exchange(server.Port(), post(user, "/qb/js_bank/insert/daily", form + "&note=one&note=two")));
             const std::string answer = exchange(server.Port(), post(user, "/qb/js_bank/get/daily", form));
             int keys = 0;
             for (std::size_t at = answer.find("\"note\""); at != std::string::npos;
                  at = answer.find("\"note\"", at + 1))
                 ++keys;
             return "insert " + stored + "; the get's JSON has \"note\" " + std::to_string(keys) + "x";
         }},
        {"TLS 1.1 client",
         [](ServerUnderTest& server) {
             TlsConnection connection(server.Port(), [](SSL_CTX* context) {
                 SSL_CTX_set_security_level(context, 0);
                 SSL_CTX_set_max_proto_version(context, TLS1_1_VERSION);
                 SSL_CTX_set_cipher_list(context, "DEFAULT:@SECLEVEL=0");
             });
             const char* reason = ERR_reason_error_string(ERR_PACK(ERR_LIB_SSL, 0, connection.HandshakeError()));
             return connection.IsOpen() ? std::string("accepted") : std::string("refused: ") + (reason ? reason : "?");
         }},
        {"chunk extension of 300 MiB on a GET",
         [](ServerUnderTest& server) { return chunkExtensionOnGet(server.Port(), 300); }},
        {"six such connections at once",
         [](ServerUnderTest& server) { return together(6, [&] { return chunkExtensionOnGet(server.Port(), 300); }); }},
        {"trailer of 300 MiB on a session's POST",
         [](ServerUnderTest& server) {
             const RawSession session = startSession(server.Port());
             const std::string block(1 << 20, 'a');
             return stream(server.Port(),
                           "POST /qb/js_user/login HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + session.cookies +
                               "\r\nContent-Type: application/x-www-form-urlencoded\r\nTransfer-Encoding: chunked\r\n"
                               "\r\n5\r\nims_i\r\n0\r\nX-Trailer: ",
                           300ull << 20, [&] { return block; });
         }},
        {"Transfer-Encoding: chunked, identity smuggling a second request",
         [insert](ServerUnderTest& server) {
             const RawSession session = startSession(server.Port());
             TlsConnection connection(server.Port());
             connection.SetTimeout(15);
             connection.Send(
                 insert + "Cookie: " + session.cookies +
                 "\r\nTransfer-Encoding: chunked, identity\r\n\r\n"
                 "GET /qb/js_bank/tarvix_app_version HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
             return "statuses on the connection: " + statusLines(connection.ReadAll());
         }},
        {"GET with a 60 MiB body",
         [](ServerUnderTest& server) {
             const std::string block(1 << 20, 'a');
             return stream(server.Port(),
                           "GET /qb/js_bank/tarvix_app_version HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                               std::to_string(60u << 20) + "\r\n\r\n",
                           60ull << 20, [&] { return block; });
         }},
        {"16 anonymous 60 MiB POSTs at once",
         [](ServerUnderTest& server) {
             const RawSession session = startSession(server.Port());
             const std::string form = loginForm(session, "demo", "ZGVtbzEyMzQ%3D") + "&pad=";
             const std::uint64_t size = 60ull << 20;
             const std::string head =
                 "POST /qb/js_user/login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                 "Cookie: " +
                 session.cookies +
                 "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(size) +
                 "\r\n\r\n" + form;
             const std::string block(1 << 20, 'a');
             return together(16,
                             [&] { return stream(server.Port(), head, size - form.size(), [&] { return block; }); });
         }},
        {"12 slow readers of a 45 MiB document",
         [](ServerUnderTest& server) {
             const RawSession session = demoSession(server.Port());
             const std::string form = "_csrf_token_name=" + session.token + "&volume=slow&prob=1";
             const std::string inserted = exchange(server.Port(), post(session, "/qb/js_bank/insert/daily",
                                                                       form + "&q_hwp=" + std::string(45u << 20, 'A')));
             const std::string get = post(session, "/qb/js_bank/get/daily", form);
             std::vector<std::unique_ptr<TlsConnection>> readers;
             for (int i = 0; i < 12; ++i) {
                 readers.push_back(std::make_unique<TlsConnection>(server.Port()));
                 readers.back()->SetTimeout(60);
                 readers.back()->Send(get);
             }
             std::this_thread::sleep_for(std::chrono::seconds(10));
             const double peak = server.PeakMiB();
             const bool served = answers(server.Port());
             const std::string small =
                 statusLine(exchange(server.Port(), post(session, "/qb/js_bank/get/daily", form), 10));
             std::map<std::string, int> tally;
             std::uint64_t largest = 0;
             for (auto& reader : readers) {
                 std::uint64_t total = 0;
                 ++tally[statusLine(reader->ReadAll(4096, &total))];
                 largest = std::max(largest, total);
             }
             std::string summary = "insert " + statusLine(inserted).substr(9, 3) + "; readers:";
             for (const auto& [status, n] : tally)
                 summary += " " + std::to_string(n) + "x " + status;
             return summary + " (" + std::to_string(largest >> 20) + " MiB each); meanwhile: version " +
                    (served ? "served" : "NOT served") + ", another get " + small + ", peak " +
                    std::to_string(int(peak)) + " MiB";
         }},
    };
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    g_program = argc > 1 && *argv[1] ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VELLORIN_DEVSERVER_PATH);
    std::printf("server: %s\n\n%-42s | %-70s | %9s | %7s | %s\n", qPrintable(g_program), "attack", "outcome",
                "peak MiB", "time s", "answers after");
    for (const Attack& attack : attacks()) {
        if (argc > 2 && !std::strstr(attack.name, argv[2]))
            continue;
        ServerUnderTest server;
        if (server.Port() <= 0) {
            std::printf("%-42s | the server did not start\n", attack.name);
            continue;
        }
        QElapsedTimer timer;
        timer.start();
        const std::string outcome = attack.run(server);
        const double seconds = double(timer.elapsed()) / 1000;
        if (!server.IsRunning()) {
            std::printf("%-42s | %-70s | %9s | %7.2f | stopped\n", attack.name, outcome.c_str(), "-", seconds);
        } else {
            const double peak = server.PeakMiB();
            const char* after = answers(server.Port()) ? "yes" : "NO";
            std::printf("%-42s | %-70s | %9.1f | %7.2f | %s\n", attack.name, outcome.c_str(), peak, seconds, after);
        }
        std::fflush(stdout);
    }
    return 0;
}
