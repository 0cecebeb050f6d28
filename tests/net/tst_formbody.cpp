#include "net/FormBody.h"

#include "tests/support/TestFiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestFormBody : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escaping_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("escaped");

        QTest::newRow("plain") << "2024" << QByteArray("2024");
        QTest::newRow("form characters") << "a&b+c%d" << QByteArray("a%26b%2Bc%25d");
        QTest::newRow("kept verbatim") << "x=y /?#;" << QByteArray("x=y /?#;");
        QTest::newRow("korean") << QStringLiteral("수학Ⅰ & 미적분") << QStringLiteral("수학Ⅰ %26 미적분").toUtf8();
        QTest::newRow("already escaped stays distinct") << "%26" << QByteArray("%2526");
        QTest::newRow("empty") << "" << QByteArray();
    }

    void escaping()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, escaped);
        QCOMPARE(QByteArray::fromStdString(EscapeFormText(value)), escaped);

        FormBody body(QStringLiteral("t"));
        body.AddField(QStringLiteral("k"), value);
        QCOMPARE(QByteArray::fromStdString(body.Text()), "_csrf_token_name=t&k=" + escaped);
    }

    void fieldsInMapOrder()
    {
        CMapStringToString fields{{"year", "2024"}, {"month", "6"}, {"level", "가형"}};
        FormBody body{QString()};
        body.AddFields(fields);
        QString expected = QStringLiteral("_csrf_token_name=");
        for (auto it = fields.begin(); it != fields.end(); ++it)
            expected += u'&' + it.key() + u'=' + it.value();
        QCOMPARE(QString::fromStdString(body.Text()), expected);

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
        body.AddDocumentFile(QStringLiteral("q_hwp"), path);

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
        // An empty file is read whole: it is an empty document, not a failure.
        QVERIFY(body.AddDocumentFile(QStringLiteral("a_png"),
                                     WriteTestFile(dir.filePath(QStringLiteral("empty.png")), QByteArray())));
        QCOMPARE(body.Text(), std::string("_csrf_token_name=t&a_hwp=&d_hwp=&a_png="));
    }
};

QTEST_GUILESS_MAIN(TestFormBody)
#include "tst_formbody.moc"
