#pragma once

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks), fast enough for documents of several
// megabytes on every save.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number of characters that encoding `length` bytes produces.
constexpr std::size_t Base64EncodedLength(std::size_t length)
{
    return (length / 3) * 4 + (length % 3 != 0 ? 4 : 0);
}

// Writes exactly Base64EncodedLength(length) characters to `out`, without a terminator.
void Base64EncodeInto(const std::uint8_t* data, std::size_t length, char* out);

// Replaces *pOut with the Base64 text of the bytes. An empty input gives an empty text.
void Base64Encode(const std::uint8_t* pData, std::size_t nLength, std::string* pOut);

// Decodes as forgivingly as the question bank's replies need: characters outside the alphabet ("=" padding,
// line breaks, blanks, anything else) are skipped, every four alphabet characters give three bytes and a
// trailing group of two or three gives one or two (a single trailing character carries no whole byte and is
// dropped). Writes at most `capacity` bytes to `out`, whatever the input, and returns how many it wrote.
// ceil(3 * length / 4) bytes of room always hold the whole result.
std::size_t Base64DecodeInto(const char* text, std::size_t length, std::uint8_t* out, std::size_t capacity);
// The same for UTF-16 text, as a QString holds it, so that it need not be converted first: a unit outside the
// alphabet is skipped as the bytes of its UTF-8 form would be.
std::size_t Base64DecodeInto(const char16_t* text, std::size_t length, std::uint8_t* out, std::size_t capacity);

// Decodes standard Base64 as the client sends it: the alphabet, "=" padding, nothing else. Returns nothing for
// any other text, so that a damaged document is refused instead of stored.
std::optional<std::string> Base64DecodeStrict(std::string_view text);
