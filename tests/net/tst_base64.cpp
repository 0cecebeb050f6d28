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
        // Random bytes of lengths around the unrolled groups of twelve and beyond, with Qt's own codec as the
        // independent reference.
        for (int size : {1, 2, 11, 12, 13, 14, 1000, 1 << 20}) {
            const QByteArray bytes = RandomBytes(size, quint32(size) * 2654435761u);
            QTest::addRow("%d random bytes", size) << bytes << bytes.toBase64();
        }
    }

    // Both ways, and as the strict decoder takes it.
    void knownVectors()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        QCOMPARE(encode(input), output);
        QCOMPARE(Base64EncodedLength(std::size_t(input.size())), std::size_t(output.size()));
        QCOMPARE(decode(output), input);
        QCOMPARE(Base64DecodeStrict(output.toStdString()), std::optional<std::string>(input.toStdString()));
    }

    void intoBufferWritesExactly()
    {
        const QByteArray bytes("abcde");
        std::string buffer(12, '#');
        Base64EncodeInto(reinterpret_cast<const std::uint8_t*>(bytes.constData()), 5, buffer.data() + 2);
        QCOMPARE(buffer, std::string("##YWJjZGU=##"));
        QCOMPARE(Base64EncodedLength(30'000'000), std::size_t(40'000'000));
    }

    // The lenient decoder reads what servers send: it skips whatever is not of the alphabet, padding included,
    // and takes what it can of a cut group. The strict one is what the local server takes for a document or a
    // password: exactly what an encoder writes, so that a damaged document is refused rather than stored, and no
    // two texts stand for the same bytes. None of these texts is such.
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unpadded tails") << QByteArray("Zm9vYg") << QByteArray("foob");
        QTest::newRow("tail of three") << QByteArray("Zm9vYmE") << QByteArray("fooba");
        QTest::newRow("lone last character") << QByteArray("Zm9vY") << QByteArray("foo");
        QTest::newRow("line breaks and blanks")
            << QByteArray("SGVs\r\nbG8s IHdv\tcmxk\nIQ==\r\n") << QByteArray("Hello, world!");
        QTest::newRow("break inside a group after clean groups")
            << QByteArray("SGVsbG8sIHdvc\nmxkIQ==") << QByteArray("Hello, world!");
        QTest::newRow("padding in the middle and junk") << QByteArray("Zg==Zm8=*-_.\x80\xff") << QByteArray("f\006f");
        QTest::newRow("nothing of the alphabet") << QByteArray("==\r\n -_") << QByteArray();
        QTest::newRow("padding inside") << QByteArray("Zg==Zg==") << QByteArray("f\006`");
        QTest::newRow("padding not last") << QByteArray("Zg=a") << QByteArray("f\006");
        QTest::newRow("only padding") << QByteArray("====") << QByteArray();
        QTest::newRow("bits after one byte") << QByteArray("Zh==") << QByteArray("f");
        QTest::newRow("bits after two bytes") << QByteArray("Zm9=") << QByteArray("fo");
        QTest::newRow("URL alphabet") << QByteArray("Zm-_") << QByteArray("f");

        // As mail and many servers wrap it: 76 characters a line.
        const QByteArray bytes = RandomBytes(100'003, 20261207);
        const QByteArray text = bytes.toBase64();
        QByteArray wrapped;
        for (qsizetype at = 0; at < text.size(); at += 76)
            wrapped += text.mid(at, 76) + "\r\n";
        QTest::newRow("wrapped text") << wrapped << bytes;
    }

    void decoding()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(decode(text), bytes);
        QVERIFY(!Base64DecodeStrict(text.toStdString()));
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
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
