// The local server's request handling without sockets: any bytes as one request, parsed under the server's own
// limits, screened on the head and answered. "{session}" and "{token}" in the input stand for a logged-in
// session's cookies and form token, so that inputs reach past the session check; a token has 32 characters,
// which the lengths in the seed inputs count.

#include "server/QuestionBankServer.h"
#include "server/QuestionStore.h"

#include "tests/fuzz/FuzzSupport.h"

#include <boost/beast/http.hpp>

#include <QDir>

namespace http = boost::beast::http;

namespace {

struct Session
{
    std::string cookie;
    std::string token;
};

std::string cookiePair(const HttpResponse& response, std::string_view name)
{
    const auto [first, last] = response.equal_range(http::field::set_cookie);
    for (auto field = first; field != last; ++field) {
        const std::string_view value = field->value();
        if (value.substr(0, name.size() + 1) == std::string(name) + "=")
            return std::string(value.substr(0, value.find(';')));
    }
    return {};
}

struct Bank
{
    QuestionStore store;
    QuestionBankServer server;
    Session session;

    static ServerLimits limits()
    {
        ServerLimits limits;
        limits.bodyBytes = 256 * 1024;
        // Every login costs a password hash; past the first failures they are refused without one.
        limits.loginLockout = std::chrono::hours(1);
        return limits;
    }

    // In memory where the system offers it: every insert syncs the database.
    static QString databaseFolder()
    {
        static const QTemporaryDir shared(QStringLiteral("/dev/shm/vellorin-fuzz-XXXXXX"));
        return shared.isValid() ? shared.path() : FuzzFolder();
    }

    Bank()
        : store(QFile::encodeName(databaseFolder() + QStringLiteral("/qb.sqlite3")).toStdString()),
          // No certificate: nothing here listens.
          server(store, "", "", limits())
    {
        FUZZ_CHECK(store.IsOpen());
        store.AddDemoAccountIfEmpty();
        HttpRequest start(http::verb::get, "/qb", 11);
        RequestContext context{"127.0.0.1", &server.Budget(), server.Budget().Empty()};
        const HttpResponse started = server.Answer(std::move(start), context);
        const std::string token = cookiePair(started, "_csrf_token_value");
        FUZZ_CHECK(!token.empty());
        session.token = token.substr(token.find('=') + 1);
        HttpRequest login(http::verb::post, "/qb/js_user/login", 11);
        login.set(http::field::cookie, cookiePair(started, "qb_session") + "; " + token);
        login.body() = "_csrf_token_name=" + session.token + "&ims_id=demo&ims_password=ZGVtbzEyMzQ%3D";
        const HttpResponse loggedIn = server.Answer(std::move(login), context);
        session.cookie = cookiePair(loggedIn, "qb_session") + "; " + token;
        FUZZ_CHECK(loggedIn.body().find("\"result_code\":0") != std::string::npos);
    }
};

void replaceAll(std::string& text, std::string_view from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Bank bank;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    replaceAll(bytes, "{session}", bank.session.cookie);
    replaceAll(bytes, "{token}", bank.session.token);

    ServerLimits limits = Bank::limits();
    http::request_parser<http::string_body> parser;
    parser.header_limit(std::uint32_t(limits.headBytes));
    parser.body_limit(limits.bodyBytes);
    parser.eager(true);
    boost::beast::error_code ec;
    std::size_t used = 0;
    while (!ec && !parser.is_done() && used < bytes.size())
        used += parser.put(boost::asio::buffer(bytes.data() + used, bytes.size() - used), ec);
    if (!ec && !parser.is_done())
        parser.put_eof(ec);
    if (ec || !parser.is_header_done())
        return 0;

    std::size_t bodyLimit = limits.bodyBytes;
    std::optional<HttpResponse> answer = bank.server.Screen(parser.get().base(), "127.0.0.1", bodyLimit);
    if (!answer && parser.get().body().size() > bodyLimit)
        return 0;
    RequestContext context{"127.0.0.1", &bank.server.Budget(), bank.server.Budget().Empty()};
    if (!answer)
        answer = bank.server.Answer(parser.release(), context);
    const unsigned status = answer->result_int();
    FUZZ_CHECK(status >= 200 && status < 600);
    FUZZ_CHECK(!answer->body().empty());
    FUZZ_CHECK(answer->body().front() == '{' || answer->body().front() == '<');
    return 0;
}
