#include "net/Communicator.h"

#include "net/AnsiCodepage.h"
#include "core/Base64.h"
#include "net/CommunicatorTexts.h"
#include "net/CookieJar.h"
#include "net/FormBody.h"
#include "net/ReplyBody.h"
#include "net/ReplyReaders.h"

#include <cpprest/http_client.h>
#include <openssl/ssl.h>

#include <array>
#include <stdexcept>

using web::http::http_request;
using web::http::http_response;
using web::http::client::http_client;

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

QString describe(const std::exception& e)
{
    return QString::fromUtf8(e.what());
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

// No connection carries a second request: each request has a client, and so a connection pool, of its own.
// A server may close a connection after any reply without saying so (HTTP allows it), and the library, which
// decides from the reply alone whether a connection can be used again, would send the next request on the
// dead one. Saying "close" tells the server the same, so that it need not keep the connection open for us;
// the library adds "Keep-Alive" after it whatever we say, and a server reads the two together as "close".
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
        auto base = std::make_unique<web::uri>(strBaseUrl.toStdString());
        // Passwords and documents travel in the body: only an encrypted connection will do.
        if (base->scheme() != "https" || base->host().empty())
            throw std::invalid_argument("Only https:// addresses are supported: " + strBaseUrl.toStdString());
        // A client for the address, made once here, so that an address the library refuses is known at once.
        (void)http_client(*base);
        m_pBaseUri = std::move(base);
    } catch (const std::exception& e) {
        m_pBaseUri.reset();
        m_strClientProblem = describe(e);
    }
}

CCommunicator::~CCommunicator() = default;

std::unique_ptr<http_client> CCommunicator::newClient(std::optional<std::chrono::milliseconds> timeout) const
{
    if (!m_pBaseUri)
        throw std::runtime_error(std::string(CommunicatorText::kNoClient) + " " + m_strClientProblem.toStdString());
    web::http::client::http_client_config config;
    config.set_chunksize(kReplyReadBytes);
    if (timeout)
        config.set_timeout(*timeout);
    auto client = std::make_unique<http_client>(*m_pBaseUri, config);
    // The one jar keeps the cookies from one request to the next.
    client->add_handler(std::make_shared<CookieStage>(m_pCookies, *m_pBaseUri));
    return client;
}

bool CCommunicator::StartSession()
{
    if (!m_pBaseUri)
        return false;
    try {
        const std::unique_ptr<http_client> client = newClient();
        http_response response = client->request(makeGet("/qb")).get();
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

ServerReply CCommunicator::send(http_request request, std::optional<std::chrono::milliseconds> timeout) const
{
    ServerReply reply;
    try {
        const std::unique_ptr<http_client> client = newClient(timeout);
        http_response response = client->request(std::move(request)).get();
        reply.status = response.status_code();
        reply.reason = response.reason_phrase();
        if (reply.status == web::http::status_codes::OK)
            reply.body = ReadReplyBody(response);
    } catch (...) {
        reply.failure = std::current_exception();
    }
    return reply;
}

bool CCommunicator::take(const ReplyOutcome& outcome)
{
    if (outcome.error)
        m_strError = *outcome.error;
    return outcome.ok;
}

bool CCommunicator::GetVersion(QString& strVersion)
{
    return take(ReadVersionReply(send(makeGet("/qb/js_bank/tarvix_app_version")), strVersion));
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
    return take(ReadLoginReply(send(makePost(QStringLiteral("/qb/js_user/login"), body.Take()))));
}

bool CCommunicator::GetPermission(QString strId, QString& strPermission)
{
    FormBody body(m_strCsrfToken);
    body.AddField(QStringLiteral("ims_id"), strId);
    return take(
        ReadPermissionReply(send(makePost(QStringLiteral("/qb/js_user/getpermission"), body.Take())), strPermission));
}

void CCommunicator::Logout()
{
    // Logging out happens while the program closes; there is nobody left to tell of a failure. The library
    // gives a request up when nothing has come or gone for the time-out, from the connection to the reply.
    (void)send(makeGet("/qb/js_user/logout"), kLogoutLimit);
}

bool CCommunicator::FindSchools(QString strSearch, CFieldMapList* pList)
{
    FormBody body(m_strCsrfToken);
    body.AddField(QStringLiteral("searchSchulNm"), strSearch);
    return take(ReadSchoolsReply(send(makePost(QStringLiteral("/qb/js_bank_school/search"), body.Take())), pList));
}

void CCommunicator::FreeResultList(CFieldMapList* pList)
{
    if (pList)
        pList->clear();
}

bool CCommunicator::requestRecord(const QString& path, const char* receiveFormat, int receiveLine, int resultLine,
                                  const CMapStringToString* pRequest, CMapStringToString* pReply)
{
    FormBody body(m_strCsrfToken);
    if (pRequest)
        body.AddFields(*pRequest);
    return take(
        ReadRecordReply(send(makePost(path, body.Take())), {receiveFormat, 0, receiveLine, resultLine}, pReply));
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
    return take(ReadInsertReply(send(makePost(questionPath("insert", category), body.Take())),
                                {kQuestionReceiveFailed, lines.insertNotOk, lines.insertReceive, lines.insertResult}));
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
