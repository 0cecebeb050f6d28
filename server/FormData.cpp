#include "server/FormData.h"

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        // Copy the plain stretch up to the next escape in one go: documents are megabytes of plain text.
        std::size_t plain = i;
        while (plain < text.size() && text[plain] != '%' && text[plain] != '+')
            ++plain;
        out.append(text.data() + i, plain - i);
        i = plain;
        if (i == text.size())
            break;
        if (text[i] == '+') {
            out += ' ';
            ++i;
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += char(high * 16 + low);
        i += 3;
    }
    if (!IsValidUtf8(out))
        return std::nullopt;
    return out;
}

} // namespace

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t code = 0;
        if ((c & 0xe0) == 0xc0) {
            length = 2;
            code = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            length = 3;
            code = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + std::size_t(length) > text.size())
            return false;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if ((length == 2 && code < 0x80) || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
            (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
            return false;
        i += std::size_t(length);
    }
    return true;
}

std::optional<FormData> FormData::Parse(std::string_view body, std::size_t maxFields)
{
    FormData form;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos)
            end = body.size();
        const std::string_view field = body.substr(start, end - start);
        if (!field.empty()) {
            if (form.m_fields.size() == maxFields)
                return std::nullopt;
            const std::size_t eq = field.find('=');
            auto name = decode(field.substr(0, eq));
            auto value = decode(eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1));
            if (!name || !value)
                return std::nullopt;
            form.m_fields.emplace_back(std::move(*name), std::move(*value));
        }
        start = end + 1;
    }
    return form;
}

std::optional<std::string> FormData::Value(std::string_view name) const
{
    for (const auto& [key, value] : m_fields) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}
