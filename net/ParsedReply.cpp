#include "net/ParsedReply.h"

#include "core/HugePages.h"

#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// The marker of the n-th cut text: a string that starts with U+0000, which no reply that gets this far holds
// (one that escapes U+0000 anywhere is read whole by the library).
std::string marker(std::size_t index)
{
    return "\"\\u0000" + std::to_string(index) + '"';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

const char* find(const char* from, const char* to, char c)
{
    return static_cast<const char*>(std::memchr(from, c, std::size_t(to - from)));
}

struct ByteRange
{
    unsigned char lowest = 0xff;
    unsigned char highest = 0;
};

ByteRange byteRange(const char* bytes, std::size_t size)
{
    ByteRange range;
    std::size_t i = 0;
    // Blocks of a fixed length, which the compiler turns into vector instructions.
    constexpr std::size_t kBlock = 64;
    for (; i + kBlock <= size; i += kBlock) {
        unsigned char lowest = 0xff;
        unsigned char highest = 0;
        for (std::size_t j = 0; j < kBlock; ++j) {
            const auto c = static_cast<unsigned char>(bytes[i + j]);
            lowest = std::min(lowest, c);
            highest = std::max(highest, c);
        }
        range.lowest = std::min(range.lowest, lowest);
        range.highest = std::max(range.highest, highest);
    }
    for (; i < size; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        range.lowest = std::min(range.lowest, c);
        range.highest = std::max(range.highest, c);
    }
    return range;
}

} // namespace

ParsedReply::ParsedReply(const std::string& body) : m_body(body)
{
    if (const std::optional<std::string> rest = cutLongTexts()) {
        try {
            m_value = web::json::value::parse(*rest);
            return;
        } catch (const web::json::json_exception&) {
            // The library's description of what is wrong is in terms of the whole reply: read below.
        }
    }
    m_cuts.clear();
    m_value = web::json::value::parse(m_body);
}

std::optional<std::string> ParsedReply::cutLongTexts()
{
    const char* const begin = m_body.data();
    const char* const end = begin + m_body.size();
    std::string rest;
    const char* copied = begin;
    // The last character outside the texts that is not blank: a text after ':' is a member's value.
    char previous = 0;
    for (const char* at = begin; at < end;) {
        if (*at != '"') {
            if (!isBlank(*at))
                previous = *at;
            ++at;
            continue;
        }
        const char* const open = at + 1;
        const char* quote = find(open, end, '"');
        std::size_t escapedSlashes = 0;
        bool onlySlashes = true;
        for (const char* from = open;;) {
            // Without its end the text is the library's to refuse.
            if (!quote)
                return std::nullopt;
            const char* const backslash = find(from, quote, '\\');
            if (!backslash)
                break;
            const char escaped = backslash[1];
            if (escaped == '/') {
                ++escapedSlashes;
            } else {
                onlySlashes = false;
                if (escaped == 'u' && end - backslash >= 6 && std::memcmp(backslash + 1, "u0000", 5) == 0)
                    return std::nullopt;
            }
            from = backslash + 2;
            // The quote was the escaped character.
            if (from > quote)
                quote = find(from, end, '"');
        }
        const auto length = std::size_t(quote - open);
        if (previous == ':' && onlySlashes && length >= kLongText) {
            const ByteRange range = byteRange(open, length);
            // What the library refuses in a text is left for it to say: a control character, and the byte 0xff,
            // which it takes for the end of its input.
            if (range.lowest < 0x20 || range.highest == 0xff)
                return std::nullopt;
            rest.append(copied, open - 1);
            rest += marker(m_cuts.size());
            m_cuts.push_back({std::size_t(open - begin), length, escapedSlashes, range.highest < 0x80});
            copied = quote + 1;
        }
        previous = '"';
        at = quote + 1;
    }
    if (m_cuts.empty())
        return std::nullopt;
    rest.append(copied, end);
    return rest;
}

QString ParsedReply::Text(const web::json::value& string) const
{
    const std::string& text = string.as_string();
    if (!m_cuts.empty() && !text.empty() && text[0] == '\0') {
        std::size_t index = 0;
        const auto [last, error] = std::from_chars(text.data() + 1, text.data() + text.size(), index);
        if (error == std::errc() && last == text.data() + text.size() && index < m_cuts.size())
            return cutText(m_cuts[index]);
    }
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString ParsedReply::cutText(const Cut& cut) const
{
    const char* from = m_body.data() + cut.offset;
    const char* const end = from + cut.length;
    if (!cut.ascii) {
        std::string unescaped;
        unescaped.reserve(cut.length - cut.escapedSlashes);
        while (const char* backslash = find(from, end, '\\')) {
            unescaped.append(from, backslash);
            unescaped += '/';
            from = backslash + 2;
        }
        unescaped.append(from, end);
        return QString::fromUtf8(unescaped.data(), qsizetype(unescaped.size()));
    }
    // ASCII is the same in UTF-8 and Latin-1, whose decoder widens it into the text without a copy of its own.
    QString text(qsizetype(cut.length - cut.escapedSlashes), Qt::Uninitialized);
    AdviseHugePages(text.data(), std::size_t(text.size()) * sizeof(QChar));
    QStringDecoder latin1(QStringConverter::Latin1);
    QChar* out = text.data();
    while (const char* backslash = find(from, end, '\\')) {
        out = latin1.appendToBuffer(out, QByteArrayView(from, backslash));
        *out++ = u'/';
        from = backslash + 2;
    }
    latin1.appendToBuffer(out, QByteArrayView(from, end));
    return text;
}
