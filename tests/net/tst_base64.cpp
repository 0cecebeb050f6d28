#include "net/Base64.h"

#include "tests/support/TestFiles.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray encode(const QByteArray& bytes)
{
    std::string out = "stale";
    Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()), &out);
    return QByteArray::fromStdString(out);
}

} // namespace

class TestBase64 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void knownVectors_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");

        // RFC 4648, section 10, and the padding cases around every group length.
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("1 byte") << QByteArray("f") << QByteArray("Zg==");
        QTest::newRow("2 bytes") << QByteArray("fo") << QByteArray("Zm8=");
        QTest::newRow("3 bytes") << QByteArray("foo") << QByteArray("Zm9v");
        QTest::newRow("4 bytes") << QByteArray("foob") << QByteArray("Zm9vYg==");
        QTest::newRow("5 bytes") << QByteArray("fooba") << QByteArray("Zm9vYmE=");
        QTest::newRow("6 bytes") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
        QTest::newRow("zero byte") << QByteArray(1, '\0') << QByteArray("AA==");
        QTest::newRow("last two letters") << QByteArray("\xfb\xff", 2) << QByteArray("+/8=");
        QTest::newRow("all ones") << QByteArray(3, '\xff') << QByteArray("////");
        QTest::newRow("13 bytes: unrolled part and tail")
            << QByteArray("Hello, world!") << QByteArray("SGVsbG8sIHdvcmxkIQ==");
    }

    void knownVectors()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        QCOMPARE(encode(input), output);
    }

    void encodedLength()
    {
        QCOMPARE(Base64EncodedLength(0), std::size_t(0));
        QCOMPARE(Base64EncodedLength(1), std::size_t(4));
        QCOMPARE(Base64EncodedLength(3), std::size_t(4));
        QCOMPARE(Base64EncodedLength(4), std::size_t(8));
        QCOMPARE(Base64EncodedLength(30'000'000), std::size_t(40'000'000));
    }

    void randomRoundTrip_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {1, 2, 11, 12, 13, 14, 1000, 1 << 20})
            QTest::addRow("%d bytes", size) << size;
    }

    void randomRoundTrip()
    {
        QFETCH(int, size);
        const QByteArray bytes = RandomBytes(size, quint32(size) * 2654435761u);
        const QByteArray text = encode(bytes);
        // Qt's own codec is the independent reference.
        QCOMPARE(text, bytes.toBase64());
        QCOMPARE(QByteArray::fromBase64(text, QByteArray::AbortOnBase64DecodingErrors), bytes);
    }

    void intoBufferWritesExactly()
    {
        const QByteArray bytes("abcde");
        std::string buffer(12, '#');
        Base64EncodeInto(reinterpret_cast<const std::uint8_t*>(bytes.constData()), 5, buffer.data() + 2);
        QCOMPARE(buffer, std::string("##YWJjZGU=##"));
    }
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
