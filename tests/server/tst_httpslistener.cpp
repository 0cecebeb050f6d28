#include "server/HttpsListener.h"

#include "tests/support/TestTls.h"
#include "tests/support/TlsConnection.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <memory>
#include <string>

namespace http = boost::beast::http;

namespace {

// A reply too big for the loopback socket buffers, so that a client that does not read keeps it in the server.
constexpr std::size_t kBigReply = 24u << 20;

std::string post(const std::string& target, const std::string& framing, const std::string& body)
{
    return "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + framing + "\r\n" + body;
}

std::string withLength(const std::string& target, const std::string& body)
{
    return post(target, "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

int statusOf(const std::string& answer)
{
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
}

} // namespace

class TestHttpsListener : public QObject
{
    Q_OBJECT

private:
    // A listener whose screen lowers the body limit of /small to 1 KiB, and whose handler answers /big with
    // kBigReply bytes and anything else with the size of the body it got.
    int start(const ConnectionLimits& limits)
    {
        const TestTls& tls = TestTls::instance();
        m_listener = std::make_unique<HttpsListener>(
            QFile::encodeName(tls.certificatePath).toStdString(), QFile::encodeName(tls.keyPath).toStdString(), limits,
            [](const HttpRequestHead& head, const std::string&, std::size_t& bodyLimit) -> std::optional<HttpResponse> {
                if (head.target() == "/small")
                    bodyLimit = 1024;
                return std::nullopt;
            },
            [](HttpRequest&& request, RequestContext&) {
                HttpResponse response(http::status::ok, 11);
                response.body() = request.target() == "/big" ? std::string(kBigReply, 'x')
                                                             : "got " + std::to_string(request.body().size());
                return response;
            });
        const int port = m_listener->Bind("127.0.0.1", 0);
        m_listener->Start();
        return port;
    }

    std::string exchange(int port, const std::string& request)
    {
        TlsConnection connection(port);
        connection.SetTimeout(30);
        connection.Send(request);
        return connection.ReadAll();
    }

    std::unique_ptr<HttpsListener> m_listener;

private Q_SLOTS:
    void initTestCase() { std::signal(SIGPIPE, SIG_IGN); }

    // Whatever a test did to its connections, no request or reply keeps a share of the budget.
    void cleanup()
    {
        if (m_listener) {
            QTRY_COMPARE(m_listener->OpenConnections(), 0);
            QCOMPARE(m_listener->Budget().InUse(), std::size_t(0));
        }
        m_listener.reset();
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        // What follows the request: 4 MiB of this byte, or with '\0' another request.
        QTest::addColumn<char>("filler");
        const QByteArray post = "POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        const QByteArray get = "GET /echo HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        const QByteArray small = "POST /small HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        const QByteArray chunks = "\r\n5;name=value\r\nhello\r\n0\r\n\r\n";
        const QByteArray chunked = "Transfer-Encoding: chunked\r\n\r\n";
        const auto row = [](const char* name, const QByteArray& request, int status, char filler = '\0') {
            QTest::newRow(name) << request << status << filler;
        };
        row("chunked", post + "Transfer-Encoding:  Chunked \r\n" + chunks, 200);
        row("chunked, identity", post + "Transfer-Encoding: chunked, identity\r\n\r\n", 501);
        row("gzip, chunked", post + "Transfer-Encoding: gzip, chunked\r\n" + chunks, 501);
        row("identity", post + "Transfer-Encoding: identity\r\n\r\n", 501);
        row("two fields", post + "Transfer-Encoding: identity\r\nTransfer-Encoding: chunked\r\n" + chunks, 501);
        row("chunked twice", post + "Transfer-Encoding: chunked, chunked\r\n" + chunks, 400);
        row("empty coding", post + "Transfer-Encoding: chunked,\r\n" + chunks, 400);
        row("coding and length", post + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n" + chunks, 400);
        row("GET with a length", get + "Content-Length: 5\r\n\r\nhello", 400);
        row("GET with chunks", get + "Transfer-Encoding: chunked\r\n" + chunks, 400);
        row("HEAD with a length", "HEAD /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello", 400);
        row("GET with length 0", get + "Content-Length: 0\r\n\r\n", 200);
        row("chunks past the lowered limit",
            small + chunked + QByteArray("200\r\n" + QByteArray(512, 'a') + "\r\n").repeated(3) + "0\r\n\r\n", 413);
        QByteArray trailers = "5\r\nhello\r\n0\r\n";
        for (int i = 0; i < 200; ++i)
            trailers += "T" + QByteArray::number(i) + ": 1\r\n";
        row("too many trailer fields", post + chunked + trailers + "\r\n", 431);

        row("long chunk extension", post + chunked + "5;x=", 400, 'a');
        row("chunk size of zeros", post + chunked + "5\r\nhello\r\n", 400, '0');
        row("long trailer", post + chunked + "5\r\nhello\r\n0\r\nX-Trailer: ", 431, 'a');
        row("GET with a long body", get + "Content-Length: 1048576\r\n\r\n", 400, 'a');
        row("length past the lowered limit", small + "Content-Length: 1048576\r\n\r\n", 413, 'a');
        row("chunk past the lowered limit", small + chunked + "100000\r\n", 413, 'a');
    }

    // A request whose framing we do not take exactly is refused and ends its connection: what follows it on the
    // connection, which another reader might take for its body or for a request, is never answered. A refusal
    // reads little more than the part of the request it refuses, however much the client sends.
    void refused()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(char, filler);
        ConnectionLimits limits;
        limits.headDeadline = std::chrono::seconds(5);
        limits.bodyDeadline = std::chrono::seconds(5);
        const int port = start(limits);
        const std::size_t size = 4u << 20;
        const std::string answer =
            exchange(port, request.toStdString() +
                               (filler ? std::string(size, filler)
                                       : "GET /next HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
        QCOMPARE(statusOf(answer), status);
        QCOMPARE(QByteArray::fromStdString(answer).count("HTTP/1.1 "), status == 200 ? 2 : 1);
        QTRY_COMPARE(m_listener->OpenConnections(), 0);
        QVERIFY2(m_listener->BytesReceived() < size / 8, qPrintable(QString::number(m_listener->BytesReceived())));
    }

    void budget_data()
    {
        // Whether a reply its client does not read holds the budget, or a body half sent.
        QTest::addColumn<bool>("reply");
        QTest::addColumn<QByteArray>("framing");
        QTest::addColumn<int>("size");
        QTest::newRow("body, then a length") << false << QByteArray("Content-Length: 524288\r\n\r\n") << (512 << 10);
        QTest::newRow("body, then chunks")
            << false << QByteArray("Transfer-Encoding: chunked\r\n\r\n80000\r\n") << (512 << 10);
        QTest::newRow("reply, then a length") << true << QByteArray("Content-Length: 10485760\r\n\r\n") << (10 << 20);
    }

    // A body takes its share of the budget while it is read, and a reply until it is written; another body that
    // does not fit besides it is refused unread until the first is done with. A body the client gives up halfway,
    // or a reply it leaves without reading, gives its share back.
    void budget()
    {
        QFETCH(bool, reply);
        QFETCH(QByteArray, framing);
        QFETCH(int, size);
        ConnectionLimits limits;
        limits.bytesInFlight = reply ? 32u << 20 : 1u << 20;
        const int port = start(limits);
        const std::string firstBody(768u << 10, 'a');
        const std::string first = withLength("/echo", firstBody);
        const std::size_t half = first.size() / 2;
        const std::string holding =
            reply ? "GET /big HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" : first.substr(0, half);
        const auto held = [&] {
            const std::size_t inUse = m_listener->Budget().InUse();
            return reply ? inUse >= kBigReply : inUse == firstBody.size();
        };
        const std::string body(std::size_t(size), 'b');

        TlsConnection holder(port);
        holder.SetTimeout(30);
        QCOMPARE(holder.Send(holding), holding.size());
        QTRY_VERIFY(held());
        const std::string refused = exchange(port, post("/echo", framing.toStdString(), body));
        QCOMPARE(statusOf(refused), 503);
        QVERIFY(refused.find("Retry-After:") != std::string::npos);

        if (!reply)
            QCOMPARE(holder.Send(first.substr(half)), first.size() - half);
        std::uint64_t total = 0;
        QCOMPARE(statusOf(holder.ReadAll(64, &total)), 200);
        QVERIFY(!reply || total > kBigReply);
        QTRY_COMPARE(m_listener->Budget().InUse(), std::size_t(0));
        QCOMPARE(statusOf(exchange(port, withLength("/echo", body))), 200);

        TlsConnection leaving(port);
        leaving.Send(holding);
        QTRY_VERIFY(held());
    }
};

QTEST_GUILESS_MAIN(TestHttpsListener)
#include "tst_httpslistener.moc"
