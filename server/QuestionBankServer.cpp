#include "server/QuestionBankServer.h"

#include "core/Base64.h"
#include "server/FormData.h"
#include "server/JsonReply.h"
#include "server/QuestionStore.h"
#include "core/Permission.h"
#include "core/Vocabulary.h"

#include <boost/beast/http.hpp>

#include <algorithm>
#include <cstdio>
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
constexpr const char* kLoginUnavailable = "지금은 로그인을 확인할 수 없습니다. 잠시 후 다시 시도하세요.";
constexpr const char* kNoPermission = "이 분류의 문제를 다룰 권한이 없습니다.";
constexpr const char* kNotFound = "등록된 문제가 없습니다.";
constexpr const char* kFound = "문제를 찾았습니다.";
constexpr const char* kDeleted = "삭제되었습니다.";
constexpr const char* kNothingToDelete = "삭제할 문제가 없습니다.";
constexpr const char* kInserted = "등록되었습니다.";
constexpr const char* kBadDocument = "문서 데이터가 올바르지 않습니다.";
constexpr const char* kStoreFailed = "문제를 저장하지 못했습니다.";
constexpr const char* kDeleteFailed = "문제를 삭제하지 못했습니다.";
constexpr const char* kReadFailed = "문제를 읽지 못했습니다.";
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

HttpResponse resultAnswer(int code, std::string_view message)
{
    return jsonAnswer(JsonReply::Result(code, message));
}

// The media type of a Content-Type value, in lower case and without its parameters.
std::string mediaType(std::string_view contentType)
{
    std::string type(contentType.substr(0, contentType.find(';')));
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const std::size_t first = type.find_first_not_of(" \t");
    const std::size_t last = type.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : type.substr(first, last - first + 1);
}

// The form's fields other than the token, each name once with the value it was given last, as form decoders
// keep it; documents apart.
QuestionStore::Question questionOf(const FormData& form, bool* badDocument)
{
    QuestionStore::Question question;
    for (const auto& [name, value] : form.Fields()) {
        if (name == kTokenField)
            continue;
        const bool document = isDocumentField(name);
        // An empty document is one the client did not have; there is nothing to keep.
        if (document && value.empty())
            continue;
        QuestionStore::Fields& fields = document ? question.documents : question.metadata;
        std::string stored = value;
        if (document) {
            std::optional<std::string> bytes = Base64DecodeStrict(value);
            if (!bytes) {
                *badDocument = true;
                return {};
            }
            stored = std::move(*bytes);
        }
        // A structured binding is captured through a name of its own: clang 14 captures none.
        const auto same =
            std::find_if(fields.begin(), fields.end(), [&field = name](const auto& f) { return f.first == field; });
        if (same != fields.end())
            same->second = std::move(stored);
        else
            fields.emplace_back(name, std::move(stored));
    }
    return question;
}

} // namespace

QuestionBankServer::QuestionBankServer(QuestionStore& store, const std::string& certificatePath,
                                       const std::string& keyPath, const ServerLimits& limits)
    : m_store(store), m_limits(limits),
      m_sessions({limits.maxSessions, limits.anonymousSessionsPerAddress,
                  std::chrono::duration_cast<std::chrono::milliseconds>(kSessionLifetime), limits.sessionMaxAge}),
      m_accountThrottle(limits.failuresPerAccount, limits.loginLockout, LoginThrottle::Attempts::OneAtATime),
      m_addressThrottle(limits.failuresPerAddress, limits.loginLockout, LoginThrottle::Attempts::CountedAhead),
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

std::optional<HttpResponse> QuestionBankServer::Screen(const HttpRequestHead& req, const std::string&,
                                                       std::size_t& bodyLimit)
{
    const std::string_view target = req.target();
    const std::string_view range = req[http::field::range];
    if (target.size() > kLongestPath)
        return HtmlAnswer(http::status::uri_too_long, "URI Too Long");
    // Each range would repeat its part of a reply that may hold whole documents; one range is answered in full.
    if (range.find(',') != std::string_view::npos)
        return HtmlAnswer(http::status::range_not_satisfiable, "Range Not Satisfiable");
    if (req.method() == http::verb::get)
        return std::nullopt;
    if (req.method() != http::verb::post)
        return HtmlAnswer(http::status::method_not_allowed, "Method Not Allowed");
    if (req.find(http::field::transfer_encoding) == req.end() && req.find(http::field::content_length) == req.end()) {
        // Without either the body would run until the peer closes.
        return HtmlAnswer(http::status::length_required, "Length Required");
    }
    // Forms come URL-encoded and plain: nothing here inflates a body or splits it into parts.
    const std::string type = mediaType(req[http::field::content_type]);
    if (req.find(http::field::content_encoding) != req.end() ||
        (!type.empty() && type != "application/x-www-form-urlencoded"))
        return HtmlAnswer(http::status::unsupported_media_type, "Unsupported Media Type");
    // The form token travels in the body, but the cookies alone tell a stranger, whose body is then never read.
    // Only the session table is asked here: whether the account changed meanwhile is the worker's question.
    const std::optional<SessionTable::Session> session =
        m_sessions.Find(cookieValue(req, kSessionCookie), cookieValue(req, kTokenCookie));
    if (!session)
        return HtmlAnswer(http::status::forbidden, "Forbidden");
    if (!session->LoggedIn())
        bodyLimit = std::min(bodyLimit, m_limits.anonymousBodyBytes);
    return std::nullopt;
}

HttpResponse QuestionBankServer::Answer(HttpRequest&& request, RequestContext& context)
{
    const std::string_view target = request.target();
    const std::string path(target.substr(0, target.find('?')));
    if (request.method() == http::verb::get) {
        if (path == "/qb")
            return startSession(context.address);
        if (path == "/qb/js_bank/tarvix_app_version")
            return jsonAnswer(JsonReply::Version(kClientVersion));
        if (path == "/qb/js_user/logout")
            return logout(request);
        return HtmlAnswer(http::status::not_found, "Not Found");
    }
    if (request.method() != http::verb::post)
        return HtmlAnswer(http::status::method_not_allowed, "Method Not Allowed");

    const std::optional<FormData> form = FormData::Parse(request.body(), m_limits.formFields);
    if (!form)
        return HtmlAnswer(http::status::bad_request, "Bad Request");
    std::optional<SessionTable::Session> session =
        checkedSession(request, form->Value(kTokenField).value_or(std::string()));
    if (!session)
        return HtmlAnswer(http::status::forbidden, "Forbidden");
    const Post post{request, *form, *session, context};
    if (path == "/qb/js_user/login")
        return login(post);
    if (path == "/qb/js_user/getpermission")
        return getPermission(post);
    if (path == "/qb/js_bank_school/search")
        return searchSchools(post);
    return questionRoute(post, path);
}

std::optional<SessionTable::Session> QuestionBankServer::checkedSession(const HttpRequestHead& req,
                                                                        const std::string& formToken)
{
    const std::string id = cookieValue(req, kSessionCookie);
    const std::string cookieToken = cookieValue(req, kTokenCookie);
    if (formToken != cookieToken)
        return std::nullopt;
    std::optional<SessionTable::Session> session = m_sessions.Find(id, cookieToken);
    // A changed password or permission (by --add-user, even while the server runs) ends the account's
    // sessions: whoever knew the old password is out. A database that cannot be read tells nothing about the
    // account: the session stays, and what it asks of the store fails on its own.
    bool unreadable = false;
    if (session && session->LoggedIn() &&
        m_store.CredentialStamp(session->login, &unreadable) != session->credentials && !unreadable) {
        m_sessions.Drop(id);
        return std::nullopt;
    }
    return session;
}

HttpResponse QuestionBankServer::startSession(const std::string& address)
{
    const std::optional<SessionTable::Started> started = m_sessions.Start(address);
    // Only when every place is taken by someone logged in.
    if (!started)
        return HtmlAnswer(http::status::service_unavailable, "Service Unavailable");
    HttpResponse res = HtmlAnswer(http::status::ok, "Vellorin question bank");
    res.insert(http::field::set_cookie, cookie(kSessionCookie, started->id, true));
    res.insert(http::field::set_cookie, cookie(kTokenCookie, started->token, false));
    return res;
}

HttpResponse QuestionBankServer::logout(const HttpRequest& request)
{
    m_sessions.Drop(cookieValue(request, kSessionCookie));
    return resultAnswer(kOk, "");
}

HttpResponse QuestionBankServer::login(const Post& post)
{
    const std::string login = post.form.Value("ims_id").value_or(std::string());
    // No account has such a name: nothing to check, and nothing to remember.
    if (login.empty() || login.size() > QuestionStore::kMaxLoginBytes)
        return resultAnswer(kLoginFailed, Text::kWrongPassword);
    // Each attempt counts before its password is checked, so attempts sent at once are held to the limit too.
    const std::string& address = post.context.address;
    if (!m_addressThrottle.Begin(address))
        return resultAnswer(kLoginLocked, Text::kTooManyAttempts);
    if (!m_accountThrottle.Begin(login)) {
        m_addressThrottle.Finished(address, LoginThrottle::Outcome::Passed);
        return resultAnswer(kLoginLocked, Text::kTooManyAttempts);
    }
    std::optional<int> permission;
    bool unreadable = false;
    try {
        const std::optional<std::string> password =
            Base64DecodeStrict(post.form.Value("ims_password").value_or(std::string()));
        if (password)
            permission = m_store.CheckPassword(login, *password, &unreadable);
    } catch (...) {
        // Whatever failed, the attempt was made.
    }
    // No password was checked, so none was wrong: a database held by another process (--add-user, a backup)
    // must not lock the account out, nor be told to the user as a wrong password.
    if (unreadable) {
        m_accountThrottle.Finished(login, LoginThrottle::Outcome::Passed);
        m_addressThrottle.Finished(address, LoginThrottle::Outcome::Passed);
        return resultAnswer(kStoreError, Text::kLoginUnavailable);
    }
    m_accountThrottle.Finished(login, permission ? LoginThrottle::Outcome::Succeeded : LoginThrottle::Outcome::Failed);
    m_addressThrottle.Finished(address, permission ? LoginThrottle::Outcome::Passed : LoginThrottle::Outcome::Failed);
    if (!permission)
        return resultAnswer(kLoginFailed, Text::kWrongPassword);

    SessionTable::Session session = post.session;
    session.login = login;
    session.permission = *permission;
    session.credentials = m_store.CredentialStamp(login).value_or(std::string());
    // A session id known before the login, perhaps planted by someone else, must not become a logged-in
    // one. The form token stays: the client reads it only when a session starts.
    HttpResponse res = resultAnswer(kOk, Text::kLoggedIn);
    res.insert(http::field::set_cookie,
               cookie(kSessionCookie, m_sessions.LogIn(cookieValue(post.request, kSessionCookie), session), true));
    return res;
}

HttpResponse QuestionBankServer::getPermission(const Post& post)
{
    if (!post.session.LoggedIn() || post.form.Value("ims_id") != post.session.login)
        return resultAnswer(kNotLoggedIn, Text::kLoginRequired);
    return jsonAnswer(JsonReply::Permission(post.session.permission));
}

HttpResponse QuestionBankServer::searchSchools(const Post& post)
{
    return jsonAnswer(JsonReply::Schools(m_store.FindSchools(post.form.Value("searchSchulNm").value_or(""))));
}

HttpResponse QuestionBankServer::questionRoute(const Post& post, const std::string& path)
{
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
    if (!post.session.LoggedIn())
        return resultAnswer(kNotLoggedIn, Text::kLoginRequired);
    if (!PermissionAllows(post.session.permission, *category))
        return resultAnswer(kRefused, Text::kNoPermission);

    // A question filed under one value of a repeated field, or under none, could not be found again.
    if (const std::string misfiled = misfiledIdentityFields(*category, post.form); !misfiled.empty())
        return resultAnswer(kBadIdentity, Text::kBadIdentity + misfiled);
    const std::string identity = identityOf(*category, post.form);
    if (operation == "delete")
        return deleteQuestion(suffix, identity);
    if (operation == "insert")
        return insertQuestion(post, suffix, identity);
    return getQuestion(post, suffix, identity);
}

HttpResponse QuestionBankServer::getQuestion(const Post& post, const std::string& category, const std::string& identity)
{
    // A database that cannot be read is no answer: "nothing stored" would let a duplicate check pass.
    bool failed = false;
    const std::optional<std::size_t> size = m_store.QuestionSize(category, identity, &failed);
    if (failed)
        return resultAnswer(kStoreError, Text::kReadFailed);
    if (!size)
        return jsonAnswer(JsonReply::EmptyResult(kOk, Text::kNotFound));
    // While the reply is built, the documents are in memory once, in Base64 in the reply's text, besides a piece
    // of one as it is read. Past the budget the client is asked to come back, rather than the server holding one
    // more copy of everything.
    const std::size_t building = Base64EncodedLength(*size) + 64 * 1024;
    if (!post.context.replyHold.Grow(building))
        return HtmlAnswer(http::status::service_unavailable, "Service Unavailable");
    std::optional<std::string> reply = m_store.MakeReply(
        category, identity,
        [](QuestionStore::Fields&& metadata, const std::vector<QuestionStore::StoredDocument>& documents,
           const QuestionStore::DocumentReader& read) {
            return JsonReply::Question(kOk, Text::kFound, std::move(metadata), documents, read);
        },
        &failed);
    if (failed)
        return resultAnswer(kStoreError, Text::kReadFailed);
    if (!reply)
        return jsonAnswer(JsonReply::EmptyResult(kOk, Text::kNotFound));
    return jsonAnswer(std::move(*reply));
}

HttpResponse QuestionBankServer::deleteQuestion(const std::string& category, const std::string& identity)
{
    switch (m_store.RemoveQuestion(category, identity)) {
    case QuestionStore::Removal::Removed:
        return resultAnswer(kOk, Text::kDeleted);
    case QuestionStore::Removal::Missing:
        return resultAnswer(kMissing, Text::kNothingToDelete);
    case QuestionStore::Removal::Failed:
        break;
    }
    return resultAnswer(kStoreError, Text::kDeleteFailed);
}

HttpResponse QuestionBankServer::insertQuestion(const Post& post, const std::string& category,
                                                const std::string& identity)
{
    bool badDocument = false;
    const QuestionStore::Question question = questionOf(post.form, &badDocument);
    if (badDocument)
        return resultAnswer(kInvalidDocument, Text::kBadDocument);
    if (!m_store.PutQuestion(category, identity, question))
        return resultAnswer(kStoreError, Text::kStoreFailed);
    return resultAnswer(kOk, Text::kInserted);
}
