#include "net/FormBody.h"

#include "net/Base64.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <vector>

namespace {

// 3 × 64 KiB of file bytes make 256 KiB of text: whole Base64 groups, so pieces join without padding.
constexpr std::size_t kChunkBytes = 3 * 65536;

void appendFormEscaped(std::string& out, const char* data, std::size_t size)
{
    // "%", "&" and "+" are ASCII and never occur inside a multi-byte UTF-8 sequence.
    const char* end = data + size;
    while (data < end) {
        const char* p = data;
        while (p < end && *p != '%' && *p != '&' && *p != '+')
            ++p;
        out.append(data, p);
        if (p == end)
            break;
        out.append(*p == '%' ? "%25" : *p == '&' ? "%26" : "%2B");
        data = p + 1;
    }
}

void appendBase64Escaped(std::string& out, const char* data, std::size_t size)
{
    const char* end = data + size;
    while (data < end) {
        const auto* plus = static_cast<const char*>(std::memchr(data, '+', std::size_t(end - data)));
        const char* stop = plus ? plus : end;
        out.append(data, stop);
        if (!plus)
            break;
        out.append("%2B");
        data = plus + 1;
    }
}

} // namespace

std::string EscapeFormText(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::string out;
    out.reserve(std::size_t(utf8.size()));
    appendFormEscaped(out, utf8.constData(), std::size_t(utf8.size()));
    return out;
}

FormBody::FormBody(const QString& token)
{
    m_body = "_csrf_token_name=";
    appendEscaped(token);
}

void FormBody::appendEscaped(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    appendFormEscaped(m_body, utf8.constData(), std::size_t(utf8.size()));
}

void FormBody::AddField(const QString& key, const QString& value)
{
    m_body += '&';
    appendEscaped(key);
    m_body += '=';
    appendEscaped(value);
}

void FormBody::AddFields(const CMapStringToString& fields)
{
    for (auto it = fields.begin(); it != fields.end(); ++it)
        AddField(it.key(), it.value());
}

void FormBody::ReserveForDocuments(std::initializer_list<const CMapStringToString*> fileMaps)
{
    std::size_t extra = 0;
    for (const CMapStringToString* files : fileMaps) {
        for (auto it = files->begin(); it != files->end(); ++it) {
            const qint64 size = QFileInfo(it.value()).size();
            const std::size_t text = Base64EncodedLength(size > 0 ? std::size_t(size) : 0);
            // In compressed data one character in 64 is a "+", and each grows by two: text / 32 on average.
            // Twice that leaves room for the variation between documents.
            extra += std::size_t(it.key().size()) * 3 + 2 + text + text / 16 + 64;
        }
    }
    m_body.reserve(m_body.size() + extra);
}

bool FormBody::AddDocumentFile(const QString& key, const QString& path)
{
    m_body += '&';
    appendEscaped(key);
    m_body += '=';
    const std::size_t valueStart = m_body.size();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    std::vector<std::uint8_t> chunk(kChunkBytes);
    std::vector<char> text(Base64EncodedLength(kChunkBytes));
    for (;;) {
        // Fill the chunk completely unless the file ends, so that only the last piece carries padding.
        std::size_t filled = 0;
        bool failed = false;
        while (filled < kChunkBytes) {
            const qint64 got = file.read(reinterpret_cast<char*>(chunk.data()) + filled, qint64(kChunkBytes - filled));
            if (got < 0) {
                failed = true;
                break;
            }
            if (got == 0)
                break;
            filled += std::size_t(got);
        }
        if (failed) {
            // Half a document is worse than none: the server would store a broken file as if it were whole.
            m_body.resize(valueStart);
            return false;
        }
        if (filled == 0)
            return true;
        Base64EncodeInto(chunk.data(), filled, text.data());
        appendBase64Escaped(m_body, text.data(), Base64EncodedLength(filled));
        if (filled < kChunkBytes)
            return true;
    }
}
