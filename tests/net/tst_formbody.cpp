#include "net/FormBody.h"

#include "server/FormData.h"
#include "tests/support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <algorithm>

class TestFormBody : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every key and value must come out of the server's own form parser, and out of a URL query parser that
    // knows nothing of "+" as a blank, exactly as it went in; the token must arrive as the cookie carried it.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");

        using namespace Qt::StringLiterals;
        QTest::newRow("plain") << "year" << u"2024"_s;
        QTest::newRow("form characters") << "memo" << u"a&b+c%d"_s;
        QTest::newRow("a field inside a value") << "topic" << QStringLiteral("수열&number=99");
        QTest::newRow("equals and punctuation") << "memo" << u"x=y==/?#;~"_s;
        QTest::newRow("blanks and controls") << "memo" << QStringLiteral(" a  b\t\r\n\x7f\x01");
        QTest::newRow("korean and beyond") << QStringLiteral("단원") << QStringLiteral("수학Ⅰ 미적분 😀");
        QTest::newRow("already escaped stays distinct") << "memo" << u"%26%2B%20+"_s;
        QTest::newRow("equals in a key") << "a=b" << u"c"_s;
        QTest::newRow("empty") << "k" << QString();
    }

    void roundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString token = QStringLiteral("9f%2Bx-_.~");

        FormBody body(token);
        body.AddField(key, value);
        const std::string& text = body.Text();
        QVERIFY2(text.starts_with("_csrf_token_name=9f%2Bx-_.~&"), text.c_str());
        // Nothing on the wire that a proxy or a log could bend: printable ASCII only.
        QVERIFY2(std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; }), text.c_str());

        const auto form = FormData::Parse(text);
        QVERIFY(form);
        QCOMPARE(form->Fields().size(), 2u);
        QCOMPARE(form->Fields()[1], std::pair(key.toStdString(), value.toStdString()));

        const QUrlQuery query(QString::fromStdString(text.substr(text.find('&') + 1)));
        QCOMPARE(query.queryItems(QUrl::FullyDecoded), (QList<std::pair<QString, QString>>{{key, value}}));
    }

    // Only what would change the form is escaped, so that a value looks on the wire as it reads.
    void safeTextStaysAsItIs()
    {
        QCOMPARE(EscapeFormText(QStringLiteral("x=y/?#;~-_.*()2024"), FormPart::Value), "x=y/?#;~-_.*()2024");
        QCOMPARE(EscapeFormText(QStringLiteral("x=y"), FormPart::Key), "x%3Dy");
    }

    void fieldsInMapOrder()
    {
        CMapStringToString fields{{"year", "2024"}, {"month", "6"}, {"level", "가형"}};
        FormBody body{QString()};
        body.AddFields(fields);
        const auto form = FormData::Parse(body.Text());
        QVERIFY(form);
        std::vector<std::pair<std::string, std::string>> expected{{"_csrf_token_name", ""}};
        for (auto it = fields.begin(); it != fields.end(); ++it)
            expected.emplace_back(it.key().toStdString(), it.value().toStdString());
        QCOMPARE(form->Fields(), expected);

        FormBody empty(QStringLiteral("tok"));
        empty.AddFields(CMapStringToString());
        QCOMPARE(empty.Text(), std::string("_csrf_token_name=tok"));
    }

    void documentSizes_data()
    {
        QTest::addColumn<int>("size");
        // Around the reading piece of 3 × 64 KiB, where the padding must not appear mid-text.
        for (int size : {0, 1, 2, 3, 196607, 196608, 196609, 196610, 3 * 196608 + 5})
            QTest::addRow("%d bytes", size) << size;
    }

    void documentSizes()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QByteArray bytes = RandomBytes(size, quint32(size) + 1);
        const QString path = WriteTestFile(dir.filePath(QStringLiteral("doc.hwp")), bytes);

        FormBody body(QStringLiteral("t"));
        CMapStringToString files{{"q_hwp", path}};
        body.ReserveForDocuments({&files});
        const std::size_t reserved = body.Text().capacity();
        // Every size is read whole, none at all too: an empty file is an empty document, not a failure.
        QVERIFY(body.AddDocumentFile(QStringLiteral("q_hwp"), path));

        QByteArray expected = "_csrf_token_name=t&q_hwp=" + bytes.toBase64();
        expected.replace("+", "%2B");
        QCOMPARE(QByteArray::fromStdString(body.Text()), expected);
        // The reservation covered the whole document: the body was never copied while it grew.
        QCOMPARE(body.Text().capacity(), reserved);
    }

    void unreadableDocumentsAreRefused()
    {
        QTemporaryDir dir;
        FormBody body(QStringLiteral("t"));
        QVERIFY(!body.AddDocumentFile(QStringLiteral("a_hwp"), dir.filePath(QStringLiteral("missing.hwp"))));
        QVERIFY(!body.AddDocumentFile(QStringLiteral("d_hwp"), dir.path())); // a folder cannot be read as a file
        QCOMPARE(body.Text(), std::string("_csrf_token_name=t&a_hwp=&d_hwp="));
    }
};

QTEST_GUILESS_MAIN(TestFormBody)
#include "tst_formbody.moc"
