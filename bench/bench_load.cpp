// Search and load of a stored question with three documents of about 5 MB each (a page of text with a large
// photograph-like picture) and their page images, from the main window, against the local server in a child
// process: the whole command, and its stages on their own: the server's reading and JSON encoding of the reply
// (the server's code, run here on the server's database), the wait for the reply's head and the transfer of its
// body (the client's own reading of a reply), the client's JSON parsing into the field map, the get as the
// window makes it, the Base64 decoding and the editors' opening. Median of 5, with the page faults each stage
// took in this process beside it: on a virtual machine a first write to a page can cost more than the copy.

#include "bench/LoggedInWindow.h"
#include "bench/Median.h"
#include "bench/ServerProcess.h"
#include "core/Base64.h"
#include "core/HugePages.h"
#include "editor/CDHwpCtrl.h"
#include "net/Communicator.h"
#include "net/CommunicatorTexts.h"
#include "net/CookieJar.h"
#include "net/FormBody.h"
#include "net/ReplyBody.h"
#include "net/ReplyReaders.h"
#include "options/OptPanel.h"
#include "server/JsonReply.h"
#include "server/QuestionStore.h"
#include "ui/main/CTarvixDlg.h"
#include "workflow/QuestionFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <cpprest/http_client.h>
#include <sqlite3.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Noise does not compress: 1300 × 1300 pixels make a PNG of about 5 MB.
QImage photograph(quint32 seed)
{
    QImage image(1300, 1300, QImage::Format_RGB888);
    QRandomGenerator generator(seed);
    for (int y = 0; y < image.height(); ++y)
        generator.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.bytesPerLine() / 4);
    return image;
}

void fill(CDHwpCtrl* editor, const QString& title, quint32 seed)
{
    QTextCursor cursor(editor->Document());
    cursor.insertText(title + QStringLiteral("\n"));
    for (int i = 1; i <= 12; ++i)
        cursor.insertText(QStringLiteral("%1. 함수 f(x) = x³ − 3x² + 2 의 극댓값과 극솟값의 합을 구하시오.\n").arg(i));
    editor->InsertPicture(photograph(seed));
}

long pageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// One stage's time and page faults, a value per round.
struct Stage
{
    explicit Stage(const char* stageName) : name(stageName) {}

    const char* name;
    std::vector<double> milliseconds;
    std::vector<double> faults;
};

// Times `run` as one round of `stage`; returns what `run` returned.
template <class Run> bool timed(Stage& stage, Run run)
{
    const long faults = pageFaults();
    QElapsedTimer timer;
    timer.start();
    const bool ok = run();
    stage.milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
    stage.faults.push_back(double(pageFaults() - faults));
    return ok;
}

// A session of its own with the server through the HTTP library, whose get returns at the reply's head, so that
// the wait for the head and the reading of the body can be timed apart. The body is read by the client's code.
class SessionOfItsOwn
{
public:
    explicit SessionOfItsOwn(const QString& baseUrl) : m_client(web::uri(baseUrl.toStdString()), config()) {}

    bool LogIn()
    {
        web::http::http_response response = send(web::http::methods::GET, "/qb", {});
        ReadReplyBody(response);
        const QString token = CCommunicator::ExtractCookieValue(m_setCookies, QStringLiteral("_csrf_token_value"));
        m_token = token;
        FormBody body(m_token);
        body.AddField(QStringLiteral("ims_id"), QLatin1String(QuestionStore::kDemoLogin));
        body.AddField(QStringLiteral("ims_password"),
                      CCommunicator::EncodeBase64Text(QLatin1String(QuestionStore::kDemoPassword)).value_or(QString()));
        response = send(web::http::methods::POST, "/qb/js_user/login", body.Take());
        return !token.isEmpty() && ReadReplyBody(response).find("\"result_code\":0") != std::string::npos;
    }

    // Sends the get; the reply's head has come when it returns.
    web::http::http_response StartGet(Category category, const CMapStringToString& fields)
    {
        FormBody body(m_token);
        body.AddFields(fields);
        return send(web::http::methods::POST, "/qb/js_bank/get/" + CategoryEndpointSuffix(category).toStdString(),
                    body.Take());
    }

private:
    static web::http::client::http_client_config config()
    {
        web::http::client::http_client_config config;
        config.set_chunksize(kReplyReadBytes);
        return config;
    }

    web::http::http_response send(const web::http::method& method, const std::string& path, std::string body)
    {
        web::http::http_request request(method);
        request.set_request_uri(path);
        if (method == web::http::methods::POST)
            request.set_body(std::move(body), "application/x-www-form-urlencoded; charset=utf-8");
        const QString cookies = m_jar.CookieHeaderFor(QStringLiteral("127.0.0.1"), QString::fromStdString(path), true);
        if (!cookies.isEmpty())
            request.headers().add("Cookie", cookies.toStdString());
        web::http::http_response response = m_client.request(request).get();
        const auto setCookie = response.headers().find("Set-Cookie");
        if (setCookie != response.headers().end()) {
            m_setCookies = QString::fromStdString(setCookie->second);
            m_jar.StoreFromSetCookie(QStringLiteral("127.0.0.1"), QString::fromStdString(path), m_setCookies);
        }
        return response;
    }

    web::http::client::http_client m_client;
    CookieJar m_jar;
    QString m_setCookies;
    QString m_token;
};

// The category and identity under which the server filed the one stored question.
bool storedIdentity(const QString& databasePath, std::string* category, std::string* identity)
{
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT category, identity FROM questions", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            *category = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            *identity = std::string(static_cast<const char*>(sqlite3_column_blob(statement, 1)),
                                    std::size_t(sqlite3_column_bytes(statement, 1)));
            found = true;
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return found;
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir dir;
    // Before any thread of this process starts.
    QuestionBankProcess server;
    if (!server.IsRunning())
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VELLORIN_UNATTENDED", "yes");
    QApplication app(argc, argv);

    QSettings settings(dir.filePath(QStringLiteral("Vellorin.conf")), QSettings::IniFormat);
    CTarvixDlg window(BenchWindowSetup(settings, dir.path(), server.BaseUrl()));
    if (!StartLoggedIn(window))
        return 1;

    // The question is stored the way the program stores it.
    fill(window.Editor(DocumentSlot::Question), QStringLiteral("문제"), 1);
    fill(window.Editor(DocumentSlot::Answer), QStringLiteral("정답"), 2);
    fill(window.Editor(DocumentSlot::Explanation), QStringLiteral("해설"), 3);
    window.OnSave();
    if (!QTest::qWaitFor([&] { return !window.IsSaveRunning(); }, 120000))
        return 1;
    const Category category = window.CurrentCategory().value_or(Category::Education2015);
    CMapStringToString request;
    window.Panel(category)->GetFieldMap(request);

    CCommunicator reader(server.BaseUrl());
    if (!reader.StartSession() || !reader.Login(QStringLiteral("demo"), QStringLiteral("demo1234")))
        return 1;
    SessionOfItsOwn session(server.BaseUrl());
    std::string storedCategory, identity;
    if (!session.LogIn() || !storedIdentity(server.DatabasePath(), &storedCategory, &identity))
        return 1;
    QuestionStore store(QFile::encodeName(server.DatabasePath()).toStdString());

    Stage storeRead("server: reading the documents from the store");
    Stage encoding("server: the reply read and JSON-encoded");
    Stage head("request until the reply's head (server included)");
    Stage transfer("transfer of the reply's body over TLS");
    Stage parsing("client: JSON parsing into the field map");
    Stage get("get (request, reply, JSON)");
    Stage decode("Base64 decoding of the three");
    Stage open("opening in the three editors");
    Stage whole("whole search and load");
    qint64 documentBytes = 0;
    std::size_t replyBytes = 0;
    for (int round = 0; round < 5; ++round) {
        if (!timed(whole, [&] {
                window.OnSearch();
                return true;
            }))
            return 1;
        documentBytes = 0;
        for (DocumentSlot slot : kAllDocumentSlots) {
            const QString path = DownloadedDocumentPath(window.WorkingFolder(), slot, QStringLiteral("hwp"));
            documentBytes += QFileInfo(path).size();
            if (window.Editor(slot)->Document()->isEmpty())
                return 1;
        }

        // The server's code on the server's database: the documents read alone, in the pieces in which the reply
        // reads them, and the reply made as the server makes it.
        timed(storeRead, [&] {
            std::vector<char> piece(3 * 16 * 1024);
            return store
                .MakeReply(storedCategory, identity,
                           [&](QuestionStore::Fields&&, const std::vector<QuestionStore::StoredDocument>& documents,
                               const QuestionStore::DocumentReader& read) -> std::optional<std::string> {
                               for (std::size_t i = 0; i < documents.size(); ++i) {
                                   for (std::size_t at = 0; at < documents[i].size; at += piece.size()) {
                                       if (!read(i, at, piece.data(), std::min(piece.size(), documents[i].size - at)))
                                           return std::nullopt;
                                   }
                               }
                               return std::string();
                           })
                .has_value();
        });
        std::string encoded;
        timed(encoding, [&] {
            encoded = store
                          .MakeReply(storedCategory, identity,
                                     [](QuestionStore::Fields&& metadata,
                                        const std::vector<QuestionStore::StoredDocument>& documents,
                                        const QuestionStore::DocumentReader& read) {
                                         return JsonReply::Question(0, "문제를 찾았습니다.", std::move(metadata),
                                                                    documents, read);
                                     })
                          .value_or(std::string());
            return true;
        });

        web::http::http_response response;
        std::string body;
        timed(head, [&] {
            response = session.StartGet(category, request);
            return true;
        });
        timed(transfer, [&] {
            body = ReadReplyBody(response);
            return true;
        });
        // The bytes measured on the way are the bytes the server's code writes.
        if (response.status_code() != web::http::status_codes::OK || body != encoded) {
            std::fprintf(stderr, "the reply is not the one encoded here\n");
            return 1;
        }
        replyBytes = body.size();
        encoded = std::string();
        CMapStringToString parsed;
        timed(parsing, [&] {
            ServerReply reply;
            reply.status = 200;
            reply.body = std::move(body);
            return ReadRecordReply(reply, {CommunicatorText::kQuestionSearchFailed, 0, 0, 0}, &parsed).ok;
        });
        parsed = CMapStringToString();

        CMapStringToString reply;
        if (!timed(get, [&] { return reader.GetQuestion(category, &request, &reply); }))
            return 1;

        timed(decode, [&] {
            // As the window decodes them.
            for (DocumentSlot slot : kAllDocumentSlots) {
                const QString text = reply.Value(SlotFileLetter(slot) + QStringLiteral("_hwp"));
                std::string bytes = LargeString((3 * std::size_t(text.size()) + 3) / 4);
                Base64DecodeInto(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()),
                                 reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
            }
            return true;
        });
        reply = CMapStringToString();

        timed(open, [&] {
            for (DocumentSlot slot : kAllDocumentSlots)
                window.Editor(slot)->OpenDocument(
                    DownloadedDocumentPath(window.WorkingFolder(), slot, QStringLiteral("hwp")), QStringLiteral("HWP"),
                    {});
            return true;
        });
    }

    std::printf("Search and load of a question with three documents (%.1f MB in all, a reply of %.1f MB with the "
                "page images) against the local server, median of %zu:\n",
                double(documentBytes) / 1e6, double(replyBytes) / 1e6, whole.milliseconds.size());
    std::printf("  %-50s %7s %12s\n", "", "ms", "page faults");
    for (const Stage* stage : {&storeRead, &encoding, &head, &transfer, &parsing, &get, &decode, &open, &whole})
        std::printf("  %-50s %7.0f %12.0f\n", stage->name, Median(stage->milliseconds), Median(stage->faults));
    std::printf("  (target for the whole search and load: 400 ms)\n");

    window.close();
    return 0;
}
