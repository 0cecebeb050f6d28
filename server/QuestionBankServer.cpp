#include "server/QuestionBankServer.h"

#include "core/Base64.h"
#include "server/JsonString.h"
#include "server/FormData.h"
#include "server/QuestionStore.h"
#include "core/Permission.h"
#include "core/Vocabulary.h"

#include <boost/beast/http.hpp>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string_view>

namespace http = boost::beast::http;

namespace {

// What the server says, in the language of its users.
namespace Text {
constexpr const char* kLoggedIn = "로그인되었습니다.";
constexpr const char* kWrongPassword = "아이디 또는 비밀번호가 올바르지 않습니다.";
constexpr const char* kTooManyAttempts = "로그인 실패가 너무 많습니다. 잠시 후 다시 시도하세요.";
constexpr const char* kLoginRequired = "로그인이 필요합니다.";
constexpr const char* kNoPermission = "이 분류의 문제를 다룰 권한이 없습니다.";
constexpr const char* kNotFound = "등록된 문제가 없습니다.";
constexpr const char* kFound = "문제를 찾았습니다.";
constexpr const char* kDeleted = "삭제되었습니다.";
constexpr const char* kNothingToDelete = "삭제할 문제가 없습니다.";
constexpr const char* kInserted = "등록되었습니다.";
constexpr const char* kBadDocument = "문서 데이터가 올바르지 않습니다.";
constexpr const char* kStoreFailed = "문제를 저장하지 못했습니다.";
constexpr const char* kBadIdentity = "문제를 구분하는 항목이 없거나 두 번 이상 있습니다: ";
} // namespace Text

// Result codes other than 0; the client only tells 0 from the rest.
enum ResultCode
{
    kOk = 0,
    kLoginFailed = 1,
    kLoginLocked = 2,
    kNotLoggedIn = 3,
    kRefused = 4,
    kMissing = 5,
    kInvalidDocument = 6,
    kBadIdentity = 7,
    kStoreError = 9,
};

constexpr int kClientVersion = 45;
// Longer than any route ("/qb/js_bank/duplication_check/education2015" has 43 characters).
constexpr std::size_t kLongestPath = 64;
constexpr std::string_view kQuestionPrefix = "/qb/js_bank/";
constexpr auto kSessionLifetime = std::chrono::hours(8);
constexpr const char* kSessionCookie = "qb_session";
constexpr const char* kTokenCookie = "_csrf_token_value";
constexpr const char* kTokenField = "_csrf_token_name";

bool isDocumentField(const std::string& name)
{
    static const std::regex pattern("^[qad]_(hwp|hml|png)$");
    return std::regex_match(name, pattern);
}

// The identity fields that are missing or repeated, joined by ", "; empty when each is there once.
std::string misfiledIdentityFields(Category category, const FormData& form)
{
    std::string names;
    for (const QString& identityField : CategoryIdentityFields(category)) {
        const std::string name = identityField.toStdString();
        const auto count = std::count_if(form.Fields().begin(), form.Fields().end(),
                                         [&](const auto& field) { return field.first == name; });
        if (count != 1)
            names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}

std::string identityOf(Category category, const FormData& form)
{
    // Length-prefixed, so that no value can imitate a boundary between two others.
    std::string identity;
    for (const QString& name : CategoryIdentityFields(category)) {
        const std::string value = form.Value(name.toStdString()).value_or(std::string());
        identity += std::to_string(value.size());
        identity += ':';
        identity += value;
        identity += ';';
    }
    return identity;
}

std::string randomHex(int bytes)
{
    std::string raw(std::size_t(bytes), '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), bytes) != 1)
        throw std::runtime_error("no random bytes");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char c : raw) {
        hex += kHex[static_cast<unsigned char>(c) >> 4];
        hex += kHex[static_cast<unsigned char>(c) & 0xf];
    }
    return hex;
}

// An HTTP date, independent of the process locale.
std::string httpDate(std::chrono::system_clock::time_point when)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday], tm.tm_mday,
                  kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string cookieValue(const HttpRequestHead& req, const std::string& name)
{
    const std::string header(req[http::field::cookie]);
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(';', start);
        if (end == std::string::npos)
            end = header.size();
        std::string piece = header.substr(start, end - start);
        const std::size_t first = piece.find_first_not_of(' ');
        piece = first == std::string::npos ? std::string() : piece.substr(first);
        const std::size_t eq = piece.find('=');
        if (eq != std::string::npos && piece.compare(0, eq, name) == 0 && eq == name.size())
            return piece.substr(eq + 1);
        start = end + 1;
    }
    return {};
}

std::string cookie(const char* name, const std::string& value, bool httpOnly)
{
    const std::string expires = httpDate(std::chrono::system_clock::now() + kSessionLifetime);
    return std::string(name) + "=" + value + "; expires=" + expires + "; Max-Age=28800; path=/; Secure" +
           (httpOnly ? "; HttpOnly" : "") + "; SameSite=Strict";
}

HttpResponse jsonAnswer(std::string json)
{
    HttpResponse res(http::status::ok, 11);
    res.set(http::field::content_type, "application/json; charset=utf-8");
    res.body() = std::move(json);
    return res;
}

std::string resultJson(int code, const char* message)
{
    std::string json = "{\"result_code\":" + std::to_string(code) + ",\"result_message\":";
    AppendJsonString(json, message);
    json += '}';
    return json;
}

std::string questionJson(const QuestionStore::Question& question)
{
    std::size_t size = 128;
    for (const auto& [name, data] : question.documents)
        size += name.size() + Base64EncodedLength(data.size()) + 8;
    for (const auto& [name, value] : question.metadata)
        size += name.size() + value.size() + 8;
    std::string json;
    json.reserve(size);
    json += "{\"result_code\":0,\"result_message\":";
    AppendJsonString(json, Text::kFound);
    json += ",\"result\":{";
    bool first = true;
    for (const auto& [name, value] : question.metadata) {
        if (!first)
            json += ',';
        first = false;
        AppendJsonString(json, name);
        json += ':';
        AppendJsonString(json, value);
    }
    for (const auto& [name, data] : question.documents) {
        if (!first)
            json += ',';
        first = false;
        AppendJsonString(json, name);
        json += ":\"";
        const std::size_t at = json.size();
        json.resize(at + Base64EncodedLength(data.size()));
        Base64EncodeInto(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), json.data() + at);
        json += '"';
    }
    json += "}}";
    return json;
}

} // namespace

QuestionBankServer::QuestionBankServer(QuestionStore& store, const std::string& certificatePath,
                                       const std::string& keyPath, const ServerLimits& limits)
    : m_store(store), m_limits(limits), m_accountThrottle(limits.failuresPerAccount, limits.loginLockout),
      m_addressThrottle(limits.failuresPerAddress, limits.loginLockout),
      m_listener(
          certificatePath, keyPath, limits,
          [this](const HttpRequestHead& head, const std::string& address, std::size_t& bodyLimit) {
              return Screen(head, address, bodyLimit);
          },
          [this](HttpRequest&& request, RequestContext& context) { return Answer(std::move(request), context); })
{
}

QuestionBankServer::~QuestionBankServer()
{
    Stop();
}

bool QuestionBankServer::IsValid() const
{
    return m_listener.IsValid();
}

int QuestionBankServer::Bind(const std::string& address, int port)
{
    return m_listener.Bind(address, port);
}

void QuestionBankServer::Start()
{
    m_listener.Start();
}

void QuestionBankServer::Stop()
{
    m_listener.Stop();
}

std::optional<HttpResponse> QuestionBankServer::Screen(const HttpRequestHead& req, const std::string&, std::size_t&)
{
    const bool post = req.method() == http::verb::post;
    const std::string_view target = req.target();
    const std::string_view range = req[http::field::range];
    if (target.size() > kLongestPath)
        return HtmlAnswer(http::status::uri_too_long, "URI Too Long");
    // Each range would repeat its part of a reply that may hold whole documents; one range is answered in full.
    if (range.find(',') != std::string_view::npos)
        return HtmlAnswer(http::status::range_not_satisfiable, "Range Not Satisfiable");
    if (!post)
        return std::nullopt;
    const bool chunked = http::token_list(req[http::field::transfer_encoding]).exists("chunked");
    if (!chunked && req.find(http::field::content_length) == req.end()) {
        // Without either the body would run until the peer closes.
        return HtmlAnswer(http::status::length_required, "Length Required");
    }
    // Forms come URL-encoded and plain: nothing here inflates a body or splits it into parts.
    if (req.find(http::field::content_encoding) != req.end() ||
        req[http::field::content_type].substr(0, 10) == "multipart/")
        return HtmlAnswer(http::status::unsupported_media_type, "Unsupported Media Type");
    // The form token travels in the body, but the cookies alone tell a stranger, whose body is then never read.
    if (!checkedSession(req, cookieValue(req, kTokenCookie)))
        return HtmlAnswer(http::status::forbidden, "Forbidden");
    return std::nullopt;
}

HttpResponse QuestionBankServer::Answer(HttpRequest&& request, RequestContext& context)
{
    const std::string& address = context.address;
    const std::string_view target = request.target();
    const std::string path(target.substr(0, target.find('?')));
    switch (request.method()) {
    case http::verb::get:
        return handleGet(request, path);
    case http::verb::post:
        return handlePost(request, path, address);
    default:
        return HtmlAnswer(http::status::method_not_allowed, "Method Not Allowed");
    }
}

std::string QuestionBankServer::newSession()
{
    const auto now = std::chrono::steady_clock::now();
    Session session;
    session.token = randomHex(16);
    session.created = now;
    session.lastUse = now;
    const std::string id = randomHex(24);
    std::lock_guard lock(m_sessionMutex);
    std::erase_if(m_sessions, [&](const auto& entry) { return isOver(entry.second, now); });
    // Anyone may start sessions: without a cap they would fill the memory.
    while (!m_sessions.empty() && m_sessions.size() >= m_limits.maxSessions) {
        m_sessions.erase(std::min_element(m_sessions.begin(), m_sessions.end(), [](const auto& a, const auto& b) {
            return a.second.lastUse < b.second.lastUse;
        }));
    }
    m_sessions[id] = session;
    return id;
}

bool QuestionBankServer::isOver(const Session& session, std::chrono::steady_clock::time_point now) const
{
    return now - session.lastUse > kSessionLifetime || now - session.created > m_limits.sessionMaxAge;
}

std::optional<QuestionBankServer::Session> QuestionBankServer::checkedSession(const HttpRequestHead& req,
                                                                              const std::string& formToken)
{
    const std::string id = cookieValue(req, kSessionCookie);
    const std::string cookieToken = cookieValue(req, kTokenCookie);
    if (id.empty() || cookieToken.empty() || formToken != cookieToken)
        return std::nullopt;
    std::unique_lock lock(m_sessionMutex);
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second.token != cookieToken)
        return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    if (isOver(it->second, now)) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    it->second.lastUse = now;
    Session session = it->second;
    lock.unlock();
    // A changed password or permission (by --add-user, even while the server runs) ends the account's
    // sessions: whoever knew the old password is out.
    if (!session.login.empty() && m_store.CredentialStamp(session.login) != session.credentials) {
        dropSession(id);
        return std::nullopt;
    }
    return session;
}

void QuestionBankServer::dropSession(const std::string& id)
{
    std::lock_guard lock(m_sessionMutex);
    m_sessions.erase(id);
}

std::string QuestionBankServer::replaceSession(const std::string& oldId, const Session& session)
{
    const std::string id = randomHex(24);
    std::lock_guard lock(m_sessionMutex);
    m_sessions.erase(oldId);
    m_sessions[id] = session;
    return id;
}

HttpResponse QuestionBankServer::handleGet(const HttpRequest& req, const std::string& path)
{
    if (path == "/qb") {
        const std::string id = newSession();
        std::string token;
        {
            std::lock_guard lock(m_sessionMutex);
            token = m_sessions[id].token;
        }
        HttpResponse res = HtmlAnswer(http::status::ok, "Vellorin question bank");
        res.insert(http::field::set_cookie, cookie(kSessionCookie, id, true));
        res.insert(http::field::set_cookie, cookie(kTokenCookie, token, false));
        return res;
    }
    if (path == "/qb/js_bank/tarvix_app_version")
        return jsonAnswer("{\"version\":" + std::to_string(kClientVersion) + "}");
    if (path == "/qb/js_user/logout") {
        dropSession(cookieValue(req, kSessionCookie));
        return jsonAnswer(resultJson(kOk, ""));
    }
    return HtmlAnswer(http::status::not_found, "Not Found");
}

HttpResponse QuestionBankServer::handlePost(const HttpRequest& req, const std::string& path, const std::string& address)
{
    const std::optional<FormData> form = FormData::Parse(req.body(), m_limits.formFields);
    if (!form)
        return HtmlAnswer(http::status::bad_request, "Bad Request");
    std::optional<Session> session = checkedSession(req, form->Value(kTokenField).value_or(std::string()));
    if (!session)
        return HtmlAnswer(http::status::forbidden, "Forbidden");

    if (path == "/qb/js_user/login") {
        const std::string login = form->Value("ims_id").value_or(std::string());
        if (m_accountThrottle.IsLocked(login) || m_addressThrottle.IsLocked(address))
            return jsonAnswer(resultJson(kLoginLocked, Text::kTooManyAttempts));
        const std::optional<std::string> password = Base64DecodeStrict(form->Value("ims_password").value_or(""));
        const std::optional<int> permission = password ? m_store.CheckPassword(login, *password) : std::nullopt;
        if (login.empty() || !permission) {
            m_accountThrottle.Failed(login);
            m_addressThrottle.Failed(address);
            return jsonAnswer(resultJson(kLoginFailed, Text::kWrongPassword));
        }
        m_accountThrottle.Succeeded(login);
        session->login = login;
        session->permission = *permission;
        session->credentials = m_store.CredentialStamp(login).value_or(std::string());
        // A session id known before the login, perhaps planted by someone else, must not become a logged-in
        // one. The form token stays: the client reads it only when a session starts.
        HttpResponse res = jsonAnswer(resultJson(kOk, Text::kLoggedIn));
        res.insert(http::field::set_cookie,
                   cookie(kSessionCookie, replaceSession(cookieValue(req, kSessionCookie), *session), true));
        return res;
    }
    if (path == "/qb/js_user/getpermission") {
        if (session->login.empty() || form->Value("ims_id") != session->login)
            return jsonAnswer(resultJson(kNotLoggedIn, Text::kLoginRequired));
        return jsonAnswer("{\"result_code\":0,\"result_message\":\"\",\"permission\":\"" +
                          std::to_string(session->permission) + "\"}");
    }
    if (path == "/qb/js_bank_school/search") {
        std::string json = "{\"result_code\":0,\"result_message\":\"\",\"dataSearch\":{\"content\":[";
        bool first = true;
        for (const auto& [name, region] : m_store.FindSchools(form->Value("searchSchulNm").value_or(""))) {
            json += first ? "{\"schoolName\":" : ",{\"schoolName\":";
            first = false;
            AppendJsonString(json, name);
            json += ",\"region\":";
            AppendJsonString(json, region);
            json += '}';
        }
        json += "]}}";
        return jsonAnswer(std::move(json));
    }

    // "/qb/js_bank/<operation>/<category>", split by hand: std::regex would recurse once per character.
    std::string operation;
    std::string suffix;
    if (path.compare(0, kQuestionPrefix.size(), kQuestionPrefix) == 0) {
        const std::size_t slash = path.find('/', kQuestionPrefix.size());
        if (slash != std::string::npos) {
            operation = path.substr(kQuestionPrefix.size(), slash - kQuestionPrefix.size());
            suffix = path.substr(slash + 1);
        }
    }
    const bool known =
        operation == "get" || operation == "delete" || operation == "insert" || operation == "duplication_check";
    const std::optional<Category> category =
        known ? CategoryFromEndpointSuffix(QString::fromStdString(suffix)) : std::nullopt;
    if (!category || (operation == "duplication_check" && !CategoryHasDuplicationCheck(*category)))
        return HtmlAnswer(http::status::not_found, "Not Found");
    if (session->login.empty())
        return jsonAnswer(resultJson(kNotLoggedIn, Text::kLoginRequired));
    if (!PermissionAllows(session->permission, *category))
        return jsonAnswer(resultJson(kRefused, Text::kNoPermission));

    // A question filed under one value of a repeated field, or under none, could not be found again.
    if (const std::string misfiled = misfiledIdentityFields(*category, *form); !misfiled.empty()) {
        return jsonAnswer(resultJson(kBadIdentity, (Text::kBadIdentity + misfiled).c_str()));
    }
    const std::string identity = identityOf(*category, *form);
    if (operation == "get" || operation == "duplication_check") {
        const auto question = m_store.GetQuestion(suffix, identity);
        if (!question) {
            std::string json = resultJson(kOk, Text::kNotFound);
            json.insert(json.size() - 1, ",\"result\":null");
            return jsonAnswer(std::move(json));
        }
        return jsonAnswer(questionJson(*question));
    }
    if (operation == "delete") {
        if (!m_store.RemoveQuestion(suffix, identity))
            return jsonAnswer(resultJson(kMissing, Text::kNothingToDelete));
        return jsonAnswer(resultJson(kOk, Text::kDeleted));
    }

    QuestionStore::Question question;
    for (const auto& [name, value] : form->Fields()) {
        if (name == kTokenField)
            continue;
        if (!isDocumentField(name)) {
            question.metadata.emplace_back(name, value);
            continue;
        }
        // An empty value is a document the client did not have; there is nothing to keep.
        if (value.empty())
            continue;
        std::optional<std::string> bytes = Base64DecodeStrict(value);
        if (!bytes)
            return jsonAnswer(resultJson(kInvalidDocument, Text::kBadDocument));
        question.documents.emplace_back(name, std::move(*bytes));
    }
    if (!m_store.PutQuestion(suffix, identity, question))
        return jsonAnswer(resultJson(kStoreError, Text::kStoreFailed));
    return jsonAnswer(resultJson(kOk, Text::kInserted));
}
