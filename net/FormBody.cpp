#include "net/FormBody.h"

#include "core/Base64.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <vector>

namespace {

// 3 × 64 KiB of file bytes make 256 KiB of text: whole Base64 groups, so pieces join without padding.
constexpr std::size_t kChunkBytes = 3 * 65536;

// Bytes that a form decoder would read differently from the text they stand for: the field and name
// separators, "+" (a space to the decoder), "%" (an escape), blanks, control bytes and every byte of a
// multi-byte UTF-8 sequence. Blanks become "%20" rather than "+", which decoders that do not know the form
// convention (a URL query parser) would keep as a plus. "=" separates a field's name from its value only
// at its first occurrence, so inside a value it is safe; in a key it would move the boundary.
bool needsEscape(unsigned char c, bool isKey)
{
    return c <= 0x20 || c >= 0x7f || c == '%' || c == '&' || c == '+' || (isKey && c == '=');
}

void appendFormEscaped(std::string& out, const char* data, std::size_t size, bool isKey)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char* end = data + size;
    while (data < end) {
        const char* p = data;
        while (p < end && !needsEscape(static_cast<unsigned char>(*p), isKey))
            ++p;
        out.append(data, p);
        if (p == end)
            break;
        const auto c = static_cast<unsigned char>(*p);
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 0x0f];
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

std::string EscapeFormText(const QString& text, FormPart part)
{
    const QByteArray utf8 = text.toUtf8();
    std::string out;
    out.reserve(std::size_t(utf8.size()));
    appendFormEscaped(out, utf8.constData(), std::size_t(utf8.size()), part == FormPart::Key);
    return out;
}

FormBody::FormBody(const QString& token)
{
    // The token goes back exactly as the cookie carried it: the server compares the two texts, and a
    // cookie value is already in a form that is safe in a form body.
    m_body = "_csrf_token_name=";
    m_body += token.toStdString();
}

void FormBody::appendEscaped(const QString& text, FormPart part)
{
    const QByteArray utf8 = text.toUtf8();
    appendFormEscaped(m_body, utf8.constData(), std::size_t(utf8.size()), part == FormPart::Key);
}

void FormBody::AddField(const QString& key, const QString& value)
{
    m_body += '&';
    appendEscaped(key, FormPart::Key);
    m_body += '=';
    appendEscaped(value, FormPart::Value);
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
    appendEscaped(key, FormPart::Key);
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
