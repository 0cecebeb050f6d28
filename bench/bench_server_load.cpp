// Many editors at once against the local server in a child process: each client logs in with a session of its
// own and inserts, gets back and deletes questions of all six categories with a 1 MB document, for a while.
// Afterwards each client stores one last question per category, and every stored record is read back and
// compared byte for byte with what was sent. Prints requests per second, latency, errors, lost records, the
// CPU time of the server and of the clients, and the server's peak memory.
//
//   bench_server_load [seconds = 60] [clients = 20]

#include "bench/ProcessStatus.h"
#include "bench/ServerProcess.h"
#include "server/QuestionStore.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestTls.h"

#include <QUrl>

#include <httplib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr int kDocumentBytes = 1 << 20;

struct CategoryForm
{
    const char* suffix;
    Fields identity; // the fields that name the question, without the one that numbers it
    const char* numberField;
};

const CategoryForm kCategories[] = {
    {"education2015",
     {{"type", "기출"}, {"year", "2025년"}, {"month", "6월"}, {"level", "3학년"}, {"department", "공통"}},
     "number"},
    {"education2022",
     {{"type", "변형1"}, {"year", "2026년"}, {"month", "9월"}, {"level", "2학년"}, {"department", "이과"}},
     "number"},
    {"chapter2015",
     {{"school", "서울한빛고등학교"},
      {"year", "2024년"},
      {"term", "1학기 기말"},
      {"level", "2학년"},
      {"department", "문과"},
      {"problem_type", "서술형"}},
     "number"},
    {"chapter_mid",
     {{"school", "성남한국중학교"},
      {"year", "2023년"},
      {"term", "2학기 중간"},
      {"level", "1학년"},
      {"problem_type", "선택형"}},
     "number"},
    {"timestone", {{"topic", "등차수열"}, {"type", "Level2"}}, "number"},
    {"daily", {{"volume", "volume3"}}, "prob"},
};

std::string escaped(const std::string& text)
{
    return QUrl::toPercentEncoding(QString::fromStdString(text)).toStdString();
}

// As the program sends a document: Base64 with "+" escaped, "/" and "=" as they are.
std::string formBase64(const std::string& base64)
{
    std::string out;
    out.reserve(base64.size() + base64.size() / 32);
    for (char c : base64) {
        if (c == '+')
            out += "%2B";
        else
            out += c;
    }
    return out;
}

// One editor: a connection and a session of its own.
class Client
{
public:
    Client(int port, int index) : m_http("127.0.0.1", port), m_index(index)
    {
        m_http.set_ca_cert_path(QFile::encodeName(TestTls::instance().certificatePath).toStdString());
        m_http.enable_server_certificate_verification(true);
        m_http.set_tcp_nodelay(true);
        m_http.set_keep_alive(true);
        m_http.set_read_timeout(60, 0);
        m_http.set_write_timeout(60, 0);
        for (int c = 0; c < 6; ++c) {
            const QByteArray document = RandomBytes(kDocumentBytes, quint32(1000 * index + c));
            m_documents.push_back(document.toStdString());
            m_base64.push_back(document.toBase64().toStdString());
            m_formDocuments.push_back(formBase64(m_base64.back()));
        }
    }

    bool LogIn()
    {
        if (!send("GET", "/qb", {}))
            return false;
        return post("/qb/js_user/login",
                    "&ims_id=demo&ims_password=" +
                        formBase64(QByteArray(QuestionStore::kDemoPassword).toBase64().toStdString()));
    }

    // Inserts, gets back and checks, and deletes one question; false on any failure.
    bool Round(int category, long round, std::array<std::vector<double>, 3>& latencies)
    {
        const std::string identity = identityForm(category, round);
        const std::string insert = identity + "&q_hwp=" + m_formDocuments[std::size_t(category)];
        const std::string suffix = kCategories[category].suffix;
        bool ok = timed(latencies[0], [&] { return post("/qb/js_bank/insert/" + suffix, insert); });
        ok = ok && timed(latencies[1], [&] { return post("/qb/js_bank/get/" + suffix, identity); }) &&
             holdsDocument(m_body, category);
        return ok && timed(latencies[2], [&] { return post("/qb/js_bank/delete/" + suffix, identity); });
    }

    bool Keep(int category)
    {
        return post(std::string("/qb/js_bank/insert/") + kCategories[category].suffix,
                    identityForm(category, -1) + "&q_hwp=" + m_formDocuments[std::size_t(category)]);
    }

    // The kept question of the category as stored, decoded, byte for byte.
    bool KeptIntact(int category)
    {
        if (!post(std::string("/qb/js_bank/get/") + kCategories[category].suffix, identityForm(category, -1)))
            return false;
        const std::string key = "\"q_hwp\":\"";
        const std::size_t at = m_body.find(key);
        if (at == std::string::npos)
            return false;
        const std::size_t end = m_body.find('"', at + key.size());
        const QByteArray decoded =
            QByteArray::fromBase64(QByteArray::fromStdString(m_body.substr(at + key.size(), end - at - key.size())),
                                   QByteArray::AbortOnBase64DecodingErrors);
        return decoded.toStdString() == m_documents[std::size_t(category)];
    }

private:
    std::string identityForm(int category, long round) const
    {
        const CategoryForm& form = kCategories[category];
        std::string body;
        for (const auto& [name, value] : form.identity)
            body += '&' + name + '=' + escaped(value);
        body +=
            '&' + std::string(form.numberField) + '=' +
            escaped("client " + std::to_string(m_index) + (round < 0 ? " kept" : " round " + std::to_string(round)));
        return body;
    }

    // The get's reply holds the document exactly as it went in (the server writes Base64 without escapes).
    bool holdsDocument(const std::string& reply, int category) const
    {
        const std::string& expected = m_base64[std::size_t(category)];
        const std::string key = "\"q_hwp\":\"";
        const std::size_t at = reply.find(key);
        return at != std::string::npos && reply.compare(at + key.size(), expected.size(), expected) == 0 &&
               reply.size() > at + key.size() + expected.size() && reply[at + key.size() + expected.size()] == '"';
    }

    template <typename F> static bool timed(std::vector<double>& latencies, F&& request)
    {
        const auto start = Clock::now();
        const bool ok = request();
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        return ok;
    }

    bool post(const std::string& path, const std::string& fields)
    {
        return send("POST", path, "_csrf_token_name=" + m_cookies["_csrf_token_value"] + fields) &&
               m_body.find("\"result_code\":0") != std::string::npos;
    }

    bool send(const char* method, const std::string& path, const std::string& body)
    {
        httplib::Headers headers;
        std::string cookie;
        for (const auto& [name, value] : m_cookies)
            cookie += (cookie.empty() ? "" : "; ") + name + '=' + value;
        if (!cookie.empty())
            headers.emplace("Cookie", cookie);
        const httplib::Result result =
            std::string(method) == "GET"
                ? m_http.Get(path, headers)
                : m_http.Post(path, headers, body, "application/x-www-form-urlencoded; charset=utf-8");
        if (!result || result->status != 200)
            return false;
        for (const auto& [name, value] : result->headers) {
            if (name != "Set-Cookie")
                continue;
            const std::size_t eq = value.find('=');
            const std::size_t end = value.find(';');
            m_cookies[value.substr(0, eq)] = value.substr(eq + 1, end == std::string::npos ? end : end - eq - 1);
        }
        m_body = std::move(result->body);
        return true;
    }

    httplib::SSLClient m_http;
    int m_index;
    std::map<std::string, std::string> m_cookies;
    std::string m_body;
    std::vector<std::string> m_documents, m_base64, m_formDocuments;
};

double percentile(std::vector<double>& values, double p)
{
    if (values.empty())
        return 0;
    const std::size_t at = std::min(values.size() - 1, std::size_t(p * double(values.size())));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(at), values.end());
    return values[at];
}

// User plus system time of a process, in seconds.
double cpuSeconds(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char* argv[])
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int clientCount = argc > 2 ? std::atoi(argv[2]) : 20;
    TestTls::instance();
    QuestionBankProcess server;
    if (!server.IsRunning())
        return 1;
    const int port = QUrl(server.BaseUrl()).port();

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < clientCount; ++i) {
        clients.push_back(std::make_unique<Client>(port, i));
        if (!clients.back()->LogIn()) {
            std::fprintf(stderr, "client %d cannot log in\n", i);
            return 1;
        }
    }

    std::atomic<bool> stop{false};
    std::atomic<long> errors{0};
    // Per client: insert, get and delete.
    std::vector<std::array<std::vector<double>, 3>> latencies(static_cast<std::size_t>(clientCount));
    const double serverCpuBefore = cpuSeconds(server.Pid());
    const double ownCpuBefore = cpuSeconds(getpid());
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clientCount; ++i) {
        threads.emplace_back([&, i] {
            for (long round = 0; !stop; ++round) {
                if (!clients[std::size_t(i)]->Round(int((round + i) % 6), round, latencies[std::size_t(i)]))
                    ++errors;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (auto& thread : threads)
        thread.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double serverCpu = cpuSeconds(server.Pid()) - serverCpuBefore;
    const double ownCpu = cpuSeconds(getpid()) - ownCpuBefore;

    // The last round of every client stays stored and is read back once all have written.
    threads.clear();
    for (int i = 0; i < clientCount; ++i) {
        threads.emplace_back([&, i] {
            for (int c = 0; c < 6; ++c) {
                if (!clients[std::size_t(i)]->Keep(c))
                    ++errors;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    long lost = 0;
    for (int i = 0; i < clientCount; ++i) {
        for (int c = 0; c < 6; ++c)
            lost += clients[std::size_t(i)]->KeptIntact(c) ? 0 : 1;
    }

    std::vector<double> all;
    std::vector<double> byKind[3];
    for (const auto& lists : latencies) {
        for (int kind = 0; kind < 3; ++kind) {
            all.insert(all.end(), lists[kind].begin(), lists[kind].end());
            byKind[kind].insert(byKind[kind].end(), lists[kind].begin(), lists[kind].end());
        }
    }
    const std::size_t requests = all.size();
    const double p50 = percentile(all, 0.50);
    const double p99 = percentile(all, 0.99);
    std::printf("clients %d, %d s, documents of %d bytes\n", clientCount, seconds, kDocumentBytes);
    std::printf("requests %zu (insert, get, delete), %.1f requests/s\n", requests, double(requests) / elapsed);
    std::printf("latency p50 %.1f ms, p99 %.1f ms\n", p50, p99);
    const char* kinds[] = {"insert", "get", "delete"};
    for (int kind = 0; kind < 3; ++kind)
        std::printf("  %-6s p50 %.1f ms, p99 %.1f ms\n", kinds[kind], percentile(byKind[kind], 0.5),
                    percentile(byKind[kind], 0.99));
    std::printf("errors %ld\n", errors.load());
    std::printf("records lost %ld of %d kept\n", lost, clientCount * 6);
    std::printf("CPU: server %.1f s (%.0f%% of one core), clients %.1f s (%.0f%%), %ld cores\n", serverCpu,
                100 * serverCpu / elapsed, ownCpu, 100 * ownCpu / elapsed, sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("server peak memory (VmHWM) %ld KiB\n", ProcessStatusKiB("VmHWM:", server.Pid()));
    return errors == 0 && lost == 0 ? 0 : 1;
}
