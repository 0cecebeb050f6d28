#include "net/AnsiCodepage.h"

#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <iconv.h>

namespace {

constexpr char kConverterName[] = "CP949";

// Read by the save worker as well as the user-interface thread.
QMutex g_nameMutex;
QByteArray g_testName;

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray byte so that we always advance.
int utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xf0)
        return 4;
    if (lead >= 0xe0)
        return 3;
    if (lead >= 0xc0)
        return 2;
    return 1;
}

class IconvHandle
{
public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

QByteArray KoreanCodepageName()
{
    const QMutexLocker lock(&g_nameMutex);
    return g_testName.isEmpty() ? QByteArray(kConverterName) : g_testName;
}

void SetKoreanCodepageNameForTests(const QByteArray& name)
{
    const QMutexLocker lock(&g_nameMutex);
    g_testName = name;
}

std::optional<QByteArray> ToKoreanCodepage(const QString& text)
{
    // Lone surrogates come out of toUtf8 as U+FFFD, which the code page lacks, so they become "?" too.
    QByteArray input = text.toUtf8();
    IconvHandle cd(KoreanCodepageName().constData(), "UTF-8");
    if (!cd.valid())
        return std::nullopt;

    // Korean needs two bytes a character where UTF-8 needs three, so the output never outgrows the input.
    QByteArray out(input.size() + 4, Qt::Uninitialized);
    char* in = input.data();
    std::size_t inLeft = std::size_t(input.size());
    char* outPtr = out.data();
    std::size_t outLeft = std::size_t(out.size());
    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            const auto used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = std::size_t(out.size() - used);
            continue;
        }
        // EILSEQ or EINVAL: one character the code page cannot hold.
        if (outLeft == 0) {
            const auto used = outPtr - out.data();
            out.resize(out.size() + 16);
            outPtr = out.data() + used;
            outLeft = std::size_t(out.size() - used);
        }
        *outPtr++ = '?';
        --outLeft;
        const auto skip = std::min<std::size_t>(inLeft, utf8SequenceLength(static_cast<unsigned char>(*in)));
        in += skip;
        inLeft -= skip;
    }
    out.resize(outPtr - out.data());
    return out;
}

QString FromKoreanCodepage(const QByteArray& bytes)
{
    IconvHandle cd("UTF-8", KoreanCodepageName().constData());
    if (!cd.valid())
        return QString::fromLatin1(bytes);
    QString text;
    text.reserve(bytes.size());
    // One character at a time: glibc's converter consumes some invalid byte pairs without output and
    // reports the error at the byte after them, so a bulk conversion would replace that byte, a line feed
    // say, instead of the pair. A character is one byte below 0x80, else a lead byte and the one after it.
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text.append(QLatin1Char(char(lead)));
            ++i;
            continue;
        }
        char in[2] = {bytes[i], i + 1 < bytes.size() ? bytes[i + 1] : '\0'};
        const std::size_t length = i + 1 < bytes.size() ? 2 : 1;
        char* inPtr = in;
        std::size_t inLeft = length;
        char out[16];
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        const std::size_t consumed = length - inLeft;
        if (consumed > 0 && outPtr != out) {
            text.append(QString::fromUtf8(out, outPtr - out));
            i += qsizetype(consumed);
        } else {
            // Not a character of the code page: the lead byte alone is replaced, and what follows is read anew.
            text.append(QChar::ReplacementCharacter);
            ++i;
        }
    }
    return text;
}
