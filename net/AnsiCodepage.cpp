#include "net/AnsiCodepage.h"

#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <cstring>
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
    QByteArray input = bytes;
    // UTF-8 needs at most three bytes for each byte pair of the code page, and as many for a single byte.
    QByteArray out(input.size() * 3 + 4, Qt::Uninitialized);
    char* in = input.data();
    std::size_t inLeft = std::size_t(input.size());
    char* outPtr = out.data();
    std::size_t outLeft = std::size_t(out.size());
    static const char kReplacement[] = "\xef\xbf\xbd";
    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            break; // cannot happen with the room reserved above
        // An invalid or cut-off sequence: one byte becomes a replacement character.
        if (outLeft < 3)
            break;
        std::memcpy(outPtr, kReplacement, 3);
        outPtr += 3;
        outLeft -= 3;
        ++in;
        --inLeft;
    }
    out.resize(outPtr - out.data());
    return QString::fromUtf8(out);
}
