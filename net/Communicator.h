#pragma once

#include "net/FieldMap.h"
#include "core/Vocabulary.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace web {
class uri;
namespace http {
class http_request;
namespace client {
class http_client;
}
} // namespace http
} // namespace web
class CookieJar;
struct ReplyOutcome;
struct ServerReply;

// The program's only client of the question-bank web API. Every operation is synchronous: it blocks the
// calling thread until the reply has been read, returns whether it succeeded and, on most failures, leaves
// an English text for GetLastErrorText that the caller shows after its own message. No exception leaves
// an operation. The server's cookies live as long as this object; a connection lives for one request.
//
// Not thread-safe: the program never issues two operations at once.
class CCommunicator
{
public:
    // `strBaseUrl` is an absolute HTTPS address ending in "/" (see ServerBaseUrl). If it is not usable, every
    // operation fails.
    explicit CCommunicator(const QString& strBaseUrl);
    virtual ~CCommunicator();

    CCommunicator(const CCommunicator&) = delete;
    CCommunicator& operator=(const CCommunicator&) = delete;

    // Fetches the form token from the "_csrf_token_value" cookie of GET /qb. Writes no error text.
    bool StartSession();
    QString GetLastErrorText() const { return m_strError; }
    QString CsrfToken() const { return m_strCsrfToken; }

    // The value of the cookie named `strName` (exact case) in a Set-Cookie text, also when several cookies
    // are folded into one text; empty when there is none.
    static QString ExtractCookieValue(const QString& strCookies, const QString& strName);
    // Base64 of the text's bytes in the Korean Windows code page, as the server's password check expects;
    // nothing when the system cannot convert to that code page.
    static std::optional<QString> EncodeBase64Text(const QString& strText);

    // Account and look-up operations.
    bool GetVersion(QString& strVersion);
    bool Login(QString strId, QString strPassword);
    bool GetPermission(QString strId, QString& strPermission);
    // Runs while the program ends: a server that takes the request and does not answer holds it up for
    // kLogoutLimit (after the connection is made).
    void Logout();
    static constexpr std::chrono::milliseconds kLogoutLimit{2000};
    bool FindSchools(QString strSearch, CFieldMapList* pList);
    void FreeResultList(CFieldMapList* pList);

    // Question operations for any category. CheckDuplicate uses the category's duplication check where it
    // has one and its get otherwise, as the save does.
    bool GetQuestion(Category category, const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool CheckDuplicate(Category category, const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteQuestion(Category category, const CMapStringToString* pRequest);
    bool InsertQuestion(Category category, const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                        const CMapStringToString* pPngFiles);

    bool GetEducation2015(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DuplicationCheckEducation2015(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteEducation2015(const CMapStringToString* pRequest);
    bool InsertEducation2015(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                             const CMapStringToString* pPngFiles);

    bool GetEducation2022(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DuplicationCheckEducation2022(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteEducation2022(const CMapStringToString* pRequest);
    bool InsertEducation2022(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                             const CMapStringToString* pPngFiles);

    bool GetSchool2015(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteSchool2015(const CMapStringToString* pRequest);
    bool InsertSchool2015(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                          const CMapStringToString* pPngFiles);

    bool GetSchoolMid(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteSchoolMid(const CMapStringToString* pRequest);
    bool InsertSchoolMid(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                         const CMapStringToString* pPngFiles);

    bool GetTimestone(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteTimestone(const CMapStringToString* pRequest);
    bool InsertTimestone(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                         const CMapStringToString* pPngFiles);

    bool GetDailyProject(const CMapStringToString* pRequest, CMapStringToString* pReply);
    bool DeleteDailyProject(const CMapStringToString* pRequest);
    bool InsertDailyProject(const CMapStringToString* pRequest, const CMapStringToString* pHwpFiles,
                            const CMapStringToString* pPngFiles);

private:
    bool requestRecord(const QString& path, const char* receiveFormat, int receiveLine, int resultLine,
                       const CMapStringToString* pRequest, CMapStringToString* pReply);
    // A client of its own for each request, so that no connection serves two (see send); `timeout` replaces
    // the library's thirty seconds without progress.
    std::unique_ptr<web::http::client::http_client>
    newClient(std::optional<std::chrono::milliseconds> timeout = std::nullopt) const;
    // Sends the request on a new connection and waits for the reply; a failure is kept in the reply, never
    // thrown.
    ServerReply send(web::http::http_request request,
                     std::optional<std::chrono::milliseconds> timeout = std::nullopt) const;
    // Leaves the outcome's error text, if any, and returns its result.
    bool take(const ReplyOutcome& outcome);

    QString m_strError;
    // The server's address; null when it is not usable.
    std::unique_ptr<web::uri> m_pBaseUri;
    QString m_strCsrfToken;
    std::shared_ptr<CookieJar> m_pCookies;
    QString m_strClientProblem;
};
