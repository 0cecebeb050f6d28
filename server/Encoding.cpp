#include "server/Encoding.h"

#include <array>

namespace {

constexpr std::array<signed char, 256> makeDecodeTable()
{
    std::array<signed char, 256> table{};
    table.fill(-1);
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    return table;
}

constexpr auto kDecode = makeDecodeTable();

} // namespace

std::optional<std::string> DecodeBase64Strict(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    std::string out(text.size() / 4 * 3 - padding, '\0');
    char* o = out.data();
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const int a = kDecode[static_cast<unsigned char>(text[i])];
        const int b = kDecode[static_cast<unsigned char>(text[i + 1])];
        if (a < 0 || b < 0)
            return std::nullopt;
        const bool last = i + 4 == text.size();
        if (last && padding == 2) {
            if (b & 0x0f)
                return std::nullopt;
            *o++ = char((a << 2) | (b >> 4));
            break;
        }
        const int c = kDecode[static_cast<unsigned char>(text[i + 2])];
        if (c < 0)
            return std::nullopt;
        if (last && padding == 1) {
            if (c & 0x03)
                return std::nullopt;
            *o++ = char((a << 2) | (b >> 4));
            *o++ = char(((b & 0x0f) << 4) | (c >> 2));
            break;
        }
        const int d = kDecode[static_cast<unsigned char>(text[i + 3])];
        if (d < 0)
            return std::nullopt;
        *o++ = char((a << 2) | (b >> 4));
        *o++ = char(((b & 0x0f) << 4) | (c >> 2));
        *o++ = char(((c & 0x03) << 6) | d);
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xf];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}
