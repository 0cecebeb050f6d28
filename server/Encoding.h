#pragma once

#include <optional>
#include <string>
#include <string_view>

// Standard Base64 as the client sends it: the RFC 4648 alphabet, "=" padding, nothing else. Returns nothing
// for any other text, so that a damaged document is refused instead of stored.
std::optional<std::string> DecodeBase64Strict(std::string_view text);

// Appends `utf8` as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view utf8);
