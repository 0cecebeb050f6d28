#include "core/Base64.h"

#include "tests/support/TestFiles.h"

#include <QRandomGenerator>
#include <QTest>

#include <optional>
#include <vector>

namespace {

QByteArray encode(const QByteArray& bytes)
{
    std::string out = "stale";
    Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()), &out);
    return QByteArray::fromStdString(out);
}

// Decodes into a buffer of `capacity` bytes with guard bytes on both sides, which must stay untouched; a
// write outside gives a marker that no comparison matches.
QByteArray decode(const QByteArray& text, std::size_t capacity)
{
    std::vector<std::uint8_t> buffer(capacity + 16, 0xa5);
    const std::size_t written =
        Base64DecodeInto(text.constData(), std::size_t(text.size()), buffer.data() + 8, capacity);
    for (std::size_t i = 0; i < 8; ++i) {
        if (buffer[i] != 0xa5 || buffer[capacity + 8 + i] != 0xa5)
            return QByteArray("<wrote outside the buffer>");
    }
    if (written > capacity)
        return QByteArray("<reported more than the buffer holds>");
    return QByteArray(reinterpret_cast<const char*>(buffer.data() + 8), qsizetype(written));
}

QByteArray decode(const QByteArray& text)
{
    return decode(text, std::size_t(text.size()) + 1);
}

QByteArray decode(const QString& text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    const std::size_t written =
        Base64DecodeInto(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()),
                         reinterpret_cast<std::uint8_t*>(bytes.data()), std::size_t(bytes.size()));
    bytes.truncate(qsizetype(written));
    return bytes;
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

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("padded one byte") << QByteArray("Zg==") << QByteArray("f");
        QTest::newRow("padded two bytes") << QByteArray("Zm8=") << QByteArray("fo");
        QTest::newRow("whole groups") << QByteArray("Zm9vYmFy") << QByteArray("foobar");
        QTest::newRow("unpadded tails") << QByteArray("Zm9vYg") << QByteArray("foob");
        QTest::newRow("tail of three") << QByteArray("Zm9vYmE") << QByteArray("fooba");
        QTest::newRow("lone last character") << QByteArray("Zm9vY") << QByteArray("foo");
        QTest::newRow("last two letters") << QByteArray("+/8=") << QByteArray("\xfb\xff", 2);
        QTest::newRow("line breaks and blanks")
            << QByteArray("SGVs\r\nbG8s IHdv\tcmxk\nIQ==\r\n") << QByteArray("Hello, world!");
        QTest::newRow("break inside a group after clean groups")
            << QByteArray("SGVsbG8sIHdvc\nmxkIQ==") << QByteArray("Hello, world!");
        QTest::newRow("padding in the middle and junk") << QByteArray("Zg==Zm8=*-_.\x80\xff")
                                                        << QByteArray("f\x06"
                                                                      "f",
                                                                      3);
        QTest::newRow("nothing of the alphabet") << QByteArray("==\r\n -_") << QByteArray();
    }

    void decoding()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(decode(text), bytes);
    }

    void decodingRoundTrip()
    {
        const QByteArray bytes = RandomBytes(100'003, 20261207);
        QCOMPARE(decode(bytes.toBase64()), bytes);
        // As mail and many servers wrap it: 76 characters a line.
        QByteArray wrapped;
        const QByteArray text = bytes.toBase64();
        for (qsizetype at = 0; at < text.size(); at += 76)
            wrapped += text.mid(at, 76) + "\r\n";
        QCOMPARE(decode(wrapped), bytes);
    }

    // The load decodes the text as the field map holds it, in UTF-16: a character outside the alphabet is skipped
    // as its UTF-8 bytes are, also one whose low byte is a letter of the alphabet.
    void decodingUtf16()
    {
        const QString text = QStringLiteral("Zm9v\u0141YmFy\u012b\u6f41\r\nIQ\u00e9==\U0001F600");
        QCOMPARE(decode(text), QByteArray("foobar!"));
        QRandomGenerator generator(77);
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=");
        for (int round = 0; round < 500; ++round) {
            QString mixed(generator.bounded(0, 64), QChar());
            for (QChar& c : mixed)
                c = generator.bounded(4) == 0 ? QChar(char16_t(generator.bounded(0x20, 0xd800)))
                                              : alphabet[generator.bounded(alphabet.size())];
            QCOMPARE(decode(mixed), decode(mixed.toUtf8()));
        }
    }

    // Whatever the text and however small the buffer, the decoder stays inside it and gives a prefix of the
    // full result.
    void decodingNeverOverflows()
    {
        QRandomGenerator generator(49);
        const QByteArray alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n -");
        for (int round = 0; round < 2000; ++round) {
            QByteArray text(generator.bounded(0, 64), '\0');
            for (char& c : text)
                c = generator.bounded(4) == 0 ? char(generator.bounded(256))
                                              : alphabet[generator.bounded(alphabet.size())];
            const QByteArray full = decode(text);
            QVERIFY(full.size() <= (text.size() * 3 + 3) / 4);
            const std::size_t capacity = std::size_t(generator.bounded(0, int(full.size()) + 2));
            const QByteArray part = decode(text, capacity);
            QCOMPARE(part, full.left(qsizetype(capacity)));
        }
    }

    // What the local server takes for a document or a password: exactly what an encoder writes, so that a damaged
    // document is refused rather than stored, and no two texts stand for the same bytes.
    void strictDecoding_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<std::optional<QByteArray>>("bytes");
        const auto bytes = [](const char* b, qsizetype n = -1) { return std::optional<QByteArray>(QByteArray(b, n)); };
        const std::optional<QByteArray> refused;
        QTest::newRow("empty") << QByteArray() << bytes("");
        QTest::newRow("whole groups") << QByteArray("Zm9vYmFy") << bytes("foobar");
        QTest::newRow("one padding") << QByteArray("Zm8=") << bytes("fo");
        QTest::newRow("two paddings") << QByteArray("Zg==") << bytes("f");
        QTest::newRow("last two letters") << QByteArray("+/8=") << bytes("\xfb\xff", 2);
        QTest::newRow("no padding") << QByteArray("Zm9vYg") << refused;
        QTest::newRow("line break") << QByteArray("Zm9v\r\nYm") << refused;
        QTest::newRow("padding inside") << QByteArray("Zg==Zg==") << refused;
        QTest::newRow("padding not last") << QByteArray("Zg=a") << refused;
        QTest::newRow("only padding") << QByteArray("====") << refused;
        QTest::newRow("bits after one byte") << QByteArray("Zh==") << refused;
        QTest::newRow("bits after two bytes") << QByteArray("Zm9=") << refused;
        QTest::newRow("URL alphabet") << QByteArray("Zm-_") << refused;
    }

    void strictDecoding()
    {
        QFETCH(QByteArray, text);
        QFETCH(std::optional<QByteArray>, bytes);
        const std::optional<std::string> decoded = Base64DecodeStrict(text.toStdString());
        QCOMPARE(decoded.has_value(), bytes.has_value());
        if (decoded)
            QCOMPARE(QByteArray::fromStdString(*decoded), *bytes);
        const QByteArray random = RandomBytes(30'001, 20261208);
        QCOMPARE(Base64DecodeStrict(encode(random).toStdString()), std::optional<std::string>(random.toStdString()));
    }
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
