#include "net/Communicator.h"

#include "net/AnsiCodepage.h"
#include "net/Base64.h"
#include "net/CommunicatorTexts.h"
#include "net/CookieJar.h"
#include "net/FormBody.h"

#include <cpprest/http_client.h>
#include <cpprest/json.h>
#include <openssl/ssl.h>

#include <array>
#include <cmath>
#include <stdexcept>

using web::http::http_request;
using web::http::http_response;
using web::http::client::http_client;
namespace json = web::json;

namespace {

constexpr char kFormContentType[] = "application/x-www-form-urlencoded; charset=utf-8";

// Line numbers of the question operations' error texts, per category.
struct QuestionLines
{
    Category category;
    int getReceive, getResult;
    int duplicationReceive, duplicationResult; // 0: the category has no duplication check
    int deleteReceive, deleteResult;
    int insertNotOk, insertReceive, insertResult;
};

constexpr std::array<QuestionLines, 6> kQuestionLines = {{
    {Category::Education2015, 457, 463, 561, 567, 637, 643, 788, 810, 816},
    {Category::Education2022, 914, 920, 1018, 1024, 1094, 1100, 1245, 1267, 1273},
    {Category::School2015, 1371, 1377, 0, 0, 1442, 1448, 1593, 1615, 1621},
    {Category::SchoolMid, 1719, 1725, 0, 0, 1790, 1796, 1941, 1963, 1969},
    {Category::Timestone, 2067, 2073, 0, 0, 2144, 2150, 2295, 2317, 2323},
    {Category::DailyProject, 2421, 2427, 0, 0, 2498, 2504, 2649, 2671, 2677},
}};

const QuestionLines& linesOf(Category category)
{
    for (const auto& lines : kQuestionLines) {
        if (lines.category == category)
            return lines;
    }
    Q_UNREACHABLE();
}

QString questionPath(const char* kind, Category category)
{
    return QStringLiteral("/qb/js_bank/") + QLatin1String(kind) + u'/' + CategoryEndpointSuffix(category);
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A failure found by a reply reader's own checks; its description is the generic one.
struct ReplyCheckFailure
{
    const char* detail;
};

QString describe(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

const json::value& member(const json::value& object, const char* name)
{
    // at() raises the library's json_exception for a missing member or a value that is not an object.
    return object.at(name);
}

// A JSON number that is exactly a 32-bit integer. Anything else is a data error: truncating 0.5 to a
// result code of 0 would report a failure as success.
int readInt32(const json::value& value)
{
    if (!value.is_number())
        throw json::json_exception("Number expected");
    const json::number& number = value.as_number();
    if (number.is_int32())
        return number.to_int32();
    if (!number.is_integral()) {
        const double d = number.to_double();
        if (std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0)
            return int(d);
    }
    throw json::json_exception("Number is not a 32-bit integer");
}

QString readString(const json::value& value)
{
    return fromUtf8(value.as_string());
}

void copyObject(const json::value& object, CMapStringToString& map)
{
    for (const auto& [key, value] : object.as_object())
        map.SetAt(fromUtf8(key), value.is_string() ? fromUtf8(value.as_string()) : QString());
}

QString format(const char* fmt, const QString& text, int line)
{
    return QString::asprintf(fmt, qUtf8Printable(text), line);
}

QString formatResultCode(const char* fmt, int code, int line, const QString& message)
{
    return QString::asprintf(fmt, code, line, qUtf8Printable(message));
}

// Sends the server's cookies back with every later request, as a browser would.
class CookieStage : public web::http::http_pipeline_stage
{
public:
    CookieStage(std::shared_ptr<CookieJar> jar, web::uri baseUri) : m_jar(std::move(jar)), m_baseUri(std::move(baseUri))
    {
    }

    pplx::task<http_response> propagate(http_request request) override
    {
        const web::uri target = web::uri_builder(m_baseUri).append(request.request_uri()).to_uri();
        const QString host = fromUtf8(target.host());
        const QString path = fromUtf8(target.path());
        const QString cookies = m_jar->CookieHeaderFor(host, path, target.scheme() == "https");
        if (!cookies.isEmpty())
            request.headers()["Cookie"] = cookies.toStdString();

        auto jar = m_jar;
        return next_stage()->propagate(request).then([jar, host, path](http_response response) {
            const auto& headers = response.headers();
            const auto it = headers.find("Set-Cookie");
            if (it != headers.end())
                jar->StoreFromSetCookie(host, path, fromUtf8(it->second));
            return response;
        });
    }

private:
    std::shared_ptr<CookieJar> m_jar;
    web::uri m_baseUri;
};

// One connection per request. Servers close a connection that has been idle for a few seconds, and the
// library would send the next request on it and fail: between two requests of this program the user
// usually spends far longer than that writing.
void closeAfterReply(http_request& request)
{
    request.headers().add("Connection", "close");
}

http_request makeGet(const char* path)
{
    http_request request(web::http::methods::GET);
    request.set_request_uri(web::uri_builder(web::uri(path)).to_string());
    closeAfterReply(request);
    return request;
}

http_request makePost(const QString& path, std::string body)
{
    http_request request(web::http::methods::POST);
    request.set_request_uri(web::uri(path.toStdString()));
    // The std::string overload sends the type exactly as given and takes the body without a copy.
    request.set_body(std::move(body), kFormContentType);
    closeAfterReply(request);
    return request;
}

} // namespace

CCommunicator::CCommunicator(const QString& strBaseUrl) : m_pCookies(std::make_shared<CookieJar>())
{
    // Exit handlers run in reverse order of registration. OpenSSL must be set up before the HTTP library
    // starts its thread pool, so that its clean-up at exit comes after the pool has stopped: each pool thread
    // gives back its OpenSSL state as it ends, which it cannot once OpenSSL has been cleaned up.
    [[maybe_unused]] static const bool sslReady = OPENSSL_init_ssl(0, nullptr) == 1;
    try {
        const web::uri base(strBaseUrl.toStdString());
        // Passwords and documents travel in the body: only an encrypted connection will do.
        if (base.scheme() != "https" || base.host().empty())
            throw std::invalid_argument("Only https:// addresses are supported: " + strBaseUrl.toStdString());
        m_pClient = std::make_unique<http_client>(base);
        m_pClient->add_handler(std::make_shared<CookieStage>(m_pCookies, base));
    } catch (const std::exception& e) {
        m_pClient.reset();
        m_strClientProblem = describe(e);
    }
}

CCommunicator::~CCommunicator() = default;

http_client& CCommunicator::client() const
{
    if (!m_pClient)
        throw std::runtime_error(std::string(CommunicatorText::kNoClient) + " " + m_strClientProblem.toStdString());
    return *m_pClient;
}

bool CCommunicator::StartSession()
{
    if (!m_pClient)
        return false;
    try {
        http_response response = m_pClient->request(makeGet("/qb")).get();
        response.extract_string().get();
        const auto& headers = response.headers();
        const auto it = headers.find("Set-Cookie");
        if (it == headers.end())
            return false;
        const QString token = ExtractCookieValue(fromUtf8(it->second), QStringLiteral("_csrf_token_value"));
        if (token.isEmpty())
            return false;
        m_strCsrfToken = token;
        return true;
    } catch (...) {
        return false;
    }
}

QString CCommunicator::ExtractCookieValue(const QString& strCookies, const QString& strName)
{
    // The HTTP layer folds several Set-Cookie headers into one text, so look in each cookie in turn.
    for (const QString& cookie : SplitFoldedSetCookie(strCookies)) {
        for (const QString& rawPiece : cookie.split(u';')) {
            const QString piece = rawPiece.trimmed();
            const qsizetype eq = piece.indexOf(u'=');
            const QString name = (eq < 0 ? piece : piece.left(eq)).trimmed();
            if (name == strName)
                return eq < 0 ? QString() : piece.mid(eq + 1).trimmed();
        }
    }
    return QString();
}

std::optional<QString> CCommunicator::EncodeBase64Text(const QString& strText)
{
    const std::optional<QByteArray> bytes = ToKoreanCodepage(strText);
    if (!bytes)
        return std::nullopt;
    std::string encoded;
    Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes->constData()), std::size_t(bytes->size()), &encoded);
    return QString::fromLatin1(encoded.data(), qsizetype(encoded.size()));
}

bool CCommunicator::GetVersion(QString& strVersion)
{
    using namespace CommunicatorText;
    try {
        http_response response = client().request(makeGet("/qb/js_bank/tarvix_app_version")).get();
        if (response.status_code() != web::http::status_codes::OK) {
            m_strError = QString::asprintf(kVersionInvalidStatus, int(response.status_code()));
            return false;
        }
        const json::value reply = response.extract_json(true).get();
        if (reply.has_field("version"))
            strVersion = QString::number(readInt32(reply.at("version")));
        return true;
    } catch (...) {
        m_strError = QString::asprintf(kVersionDataError, kVersionLine);
        return false;
    }
}

bool CCommunicator::Login(QString strId, QString strPassword)
{
    using namespace CommunicatorText;
    // Without the code page the server would get a different password: nothing is sent.
    const std::optional<QString> password = EncodeBase64Text(strPassword);
    if (!password) {
        m_strError = QString::asprintf(kLoginNoCodepage, KoreanCodepageName().constData());
        return false;
    }
    FormBody body(m_strCsrfToken);
    body.AddField(QStringLiteral("ims_id"), strId);
    body.AddField(QStringLiteral("ims_password"), *password);

    int resultCode = -1;
    QString resultMessage;
    try {
        http_response response = client().request(makePost(QStringLiteral("/qb/js_user/login"), body.Take())).get();
        if (response.status_code() != web::http::status_codes::OK)
            return false;
        const json::value reply = response.extract_json(true).get();
        resultCode = readInt32(member(reply, "result_code"));
        resultMessage = readString(member(reply, "result_message"));
    } catch (const std::exception& e) {
        m_strError = format(kLoginFailed, describe(e), kLoginReceiveLine);
        return false;
    } catch (...) {
        m_strError = format(kLoginFailed, QLatin1String(kUnknownException), kLoginReceiveLine);
        return false;
    }
    if (resultCode != 0) {
        m_strError = formatResultCode(kLoginInvalidResultCode, resultCode, kLoginResultLine, resultMessage);
        return false;
    }
    return true;
}

bool CCommunicator::GetPermission(QString strId, QString& strPermission)
{
    using namespace CommunicatorText;
    FormBody body(m_strCsrfToken);
    body.AddField(QStringLiteral("ims_id"), strId);
    try {
        http_response response =
            client().request(makePost(QStringLiteral("/qb/js_user/getpermission"), body.Take())).get();
        if (response.status_code() != web::http::status_codes::OK)
            return false;
        const json::value reply = response.extract_json(true).get();
        if (reply.has_field("permission"))
            strPermission = readString(reply.at("permission"));
        return true;
    } catch (...) {
        m_strError = QString::asprintf(kPermissionDataError, kPermissionLine);
        return false;
    }
}

void CCommunicator::Logout()
{
    try {
        http_response response = client().request(makeGet("/qb/js_user/logout")).get();
        (void)response.status_code();
    } catch (...) {
        // Logging out happens while the program closes; there is nobody left to tell.
    }
}

bool CCommunicator::FindSchools(QString strSearch, CFieldMapList* pList)
{
    using namespace CommunicatorText;
    FormBody body(m_strCsrfToken);
    body.AddField(QStringLiteral("searchSchulNm"), strSearch);

    QString detail;
    try {
        http_response response =
            client().request(makePost(QStringLiteral("/qb/js_bank_school/search"), body.Take())).get();
        if (response.status_code() != web::http::status_codes::OK)
            return false;
        const json::value reply = response.extract_json(true).get();
        if (!reply.has_field("dataSearch"))
            throw ReplyCheckFailure{kNoDataSearch};
        const json::value& dataSearch = reply.at("dataSearch");
        if (!dataSearch.is_object())
            throw ReplyCheckFailure{kDataSearchNotObject};
        if (!dataSearch.has_field("content"))
            throw ReplyCheckFailure{kNoContent};
        const json::value& content = dataSearch.at("content");
        if (!content.is_array())
            throw ReplyCheckFailure{kContentNotArray};
        for (const json::value& school : content.as_array()) {
            CMapStringToString map;
            copyObject(school, map);
            if (pList)
                pList->append(std::move(map));
        }
        return true;
    } catch (const ReplyCheckFailure& failure) {
        detail = QLatin1String(failure.detail);
        m_strError =
            QString::asprintf(kSchoolSearchFailed, kUnknownException, kSchoolSearchLine, qUtf8Printable(detail));
    } catch (const std::exception& e) {
        m_strError = QString::asprintf(kSchoolSearchFailed, e.what(), kSchoolSearchLine, "");
    } catch (...) {
        m_strError = QString::asprintf(kSchoolSearchFailed, kUnknownException, kSchoolSearchLine, "");
    }
    return false;
}

void CCommunicator::FreeResultList(CFieldMapList* pList)
{
    if (pList)
        pList->clear();
}

bool CCommunicator::requestRecord(const QString& path, const char* receiveFormat, int receiveLine, int resultLine,
                                  const CMapStringToString* pRequest, CMapStringToString* pReply)
{
    using namespace CommunicatorText;
    FormBody body(m_strCsrfToken);
    if (pRequest)
        body.AddFields(*pRequest);

    int resultCode = -1;
    QString resultMessage;
    try {
        http_response response = client().request(makePost(path, body.Take())).get();
        if (response.status_code() != web::http::status_codes::OK)
            return false;
        const json::value reply = response.extract_json(true).get();
        resultCode = readInt32(member(reply, "result_code"));
        resultMessage = readString(member(reply, "result_message"));
        if (pReply && reply.has_field("result")) {
            const json::value& record = reply.at("result");
            if (record.is_object())
                copyObject(record, *pReply);
        }
    } catch (const std::exception& e) {
        m_strError = format(receiveFormat, describe(e), receiveLine);
        return false;
    } catch (...) {
        m_strError = format(receiveFormat, QLatin1String(kUnknownException), receiveLine);
        return false;
    }
    if (resultCode != 0) {
        m_strError = formatResultCode(kQuestionInvalidResultCode, resultCode, resultLine, resultMessage);
        return false;
    }
    return true;
}

bool CCommunicator::GetQuestion(Category category, const CMapStringToString* pRequest, CMapStringToString* pReply)
{
    const QuestionLines& lines = linesOf(category);
    return requestRecord(questionPath("get", category), CommunicatorText::kQuestionSearchFailed, lines.getReceive,
                         lines.getResult, pRequest, pReply);
}

bool CCommunicator::CheckDuplicate(Category category, const CMapStringToString* pRequest, CMapStringToString* pReply)
{
    if (!CategoryHasDuplicationCheck(category))
        return GetQuestion(category, pRequest, pReply);
    const QuestionLines& lines = linesOf(category);
    return requestRecord(questionPath("duplication_check", category), CommunicatorText::kQuestionSearchFailed,
                         lines.duplicationReceive, lines.duplicationResult, pRequest, pReply);
}

bool CCommunicator::DeleteQuestion(Category category, const CMapStringToString* pRequest)
{
    const QuestionLines& lines = linesOf(category);
    return requestRecord(questionPath("delete", category), CommunicatorText::kQuestionDeleteFailed, lines.deleteReceive,
                         lines.deleteResult, pRequest, nullptr);
}

bool CCommunicator::InsertQuestion(Category category, const CMapStringToString* pRequest,
                                   const CMapStringToString* pHwpFiles, const CMapStringToString* pPngFiles)
{
    using namespace CommunicatorText;
    const QuestionLines& lines = linesOf(category);
    const CMapStringToString noFiles;
    const CMapStringToString& hwpFiles = pHwpFiles ? *pHwpFiles : noFiles;
    const CMapStringToString& pngFiles = pPngFiles ? *pPngFiles : noFiles;

    FormBody body(m_strCsrfToken);
    if (pRequest)
        body.AddFields(*pRequest);
    body.ReserveForDocuments({&hwpFiles, &pngFiles});
    // A document that cannot be read would go as an empty field and replace the stored one with nothing.
    for (const CMapStringToString* files : {&hwpFiles, &pngFiles}) {
        for (auto it = files->begin(); it != files->end(); ++it) {
            if (!body.AddDocumentFile(it.key(), it.value())) {
                m_strError = QString::asprintf(kDocumentUnreadable, qUtf8Printable(it.value()));
                return false;
            }
        }
    }

    int resultCode = -1;
    QString resultMessage;
    try {
        http_response response = client().request(makePost(questionPath("insert", category), body.Take())).get();
        if (response.status_code() != web::http::status_codes::OK) {
            m_strError = format(kQuestionResponseNotOk, fromUtf8(response.reason_phrase()), lines.insertNotOk);
            return false;
        }
        const json::value reply = response.extract_json(true).get();
        resultCode = readInt32(member(reply, "result_code"));
        resultMessage = readString(member(reply, "result_message"));
    } catch (const std::exception& e) {
        m_strError = format(kQuestionReceiveFailed, describe(e), lines.insertReceive);
        return false;
    } catch (...) {
        m_strError = format(kQuestionReceiveFailed, QLatin1String(kUnknownException), lines.insertReceive);
        return false;
    }
    if (resultCode != 0) {
        m_strError = formatResultCode(kQuestionInvalidResultCode, resultCode, lines.insertResult, resultMessage);
        return false;
    }
    return true;
}

// The named operations are the category-generic ones with the category fixed.
#define VELLORIN_QUESTION_OPERATIONS(Name)                                                                             \
    bool CCommunicator::Get##Name(const CMapStringToString* pRequest, CMapStringToString* pReply)                      \
    {                                                                                                                  \
        return GetQuestion(Category::Name, pRequest, pReply);                                                          \
    }                                                                                                                  \
    bool CCommunicator::Delete##Name(const CMapStringToString* pRequest)                                               \
    {                                                                                                                  \
        return DeleteQuestion(Category::Name, pRequest);                                                               \
    }                                                                                                                  \
    bool CCommunicator::Insert##Name(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,          \
                                     const CMapStringToString* pPngFiles)                                              \
    {                                                                                                                  \
        return InsertQuestion(Category::Name, pRequest, pHwpFiles, pPngFiles);                                         \
    }

VELLORIN_QUESTION_OPERATIONS(Education2015)
VELLORIN_QUESTION_OPERATIONS(Education2022)
VELLORIN_QUESTION_OPERATIONS(School2015)
VELLORIN_QUESTION_OPERATIONS(SchoolMid)
VELLORIN_QUESTION_OPERATIONS(Timestone)
VELLORIN_QUESTION_OPERATIONS(DailyProject)

#undef VELLORIN_QUESTION_OPERATIONS

bool CCommunicator::DuplicationCheckEducation2015(const CMapStringToString* pRequest, CMapStringToString* pReply)
{
    return CheckDuplicate(Category::Education2015, pRequest, pReply);
}

bool CCommunicator::DuplicationCheckEducation2022(const CMapStringToString* pRequest, CMapStringToString* pReply)
{
    return CheckDuplicate(Category::Education2022, pRequest, pReply);
}
