#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One decoded application/x-www-form-urlencoded body: fields in the order they came.
class FormData
{
public:
    // Standard form decoding: fields split at "&", name and value at the first "=", "%XX" escapes and "+"
    // as a space. Returns nothing for a body that is not well formed: a broken escape or text that is not
    // UTF-8, or one with more than `maxFields` fields. Decoding never lengthens a field, so the body's own limit
    // bounds what the fields hold.
    static std::optional<FormData> Parse(std::string_view body, std::size_t maxFields = SIZE_MAX);

    // The value of the first field with that name.
    std::optional<std::string> Value(std::string_view name) const;
    const std::vector<std::pair<std::string, std::string>>& Fields() const { return m_fields; }

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

bool IsValidUtf8(std::string_view text);
