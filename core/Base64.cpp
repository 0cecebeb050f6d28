#include "core/Base64.h"

#include <array>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one table look-up per half of a 3-byte group.
constexpr std::array<char, 2 * 4096> makePairTable()
{
    std::array<char, 2 * 4096> table{};
    for (int i = 0; i < 4096; ++i) {
        table[2 * i] = kAlphabet[i >> 6];
        table[2 * i + 1] = kAlphabet[i & 63];
    }
    return table;
}

constexpr auto kPairs = makePairTable();

inline void encodeGroup(std::uint32_t group, char* out)
{
    std::memcpy(out, &kPairs[2 * (group >> 12)], 2);
    std::memcpy(out + 2, &kPairs[2 * (group & 0xfff)], 2);
}

// The value of every alphabet character; 0xff for anything else.
constexpr std::array<std::uint8_t, 256> makeDecodeTable()
{
    std::array<std::uint8_t, 256> table{};
    for (auto& value : table)
        value = 0xff;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = std::uint8_t(i);
    return table;
}

constexpr auto kValues = makeDecodeTable();

} // namespace

void Base64EncodeInto(const std::uint8_t* data, std::size_t length, char* out)
{
    std::size_t i = 0;
    // Four groups a round: fewer loop tests and room for the compiler to overlap the look-ups.
    for (; i + 12 <= length; i += 12, out += 16) {
        for (int g = 0; g < 4; ++g) {
            const std::uint8_t* p = data + i + 3 * g;
            encodeGroup((std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2], out + 4 * g);
        }
    }
    for (; i + 3 <= length; i += 3, out += 4) {
        const std::uint8_t* p = data + i;
        encodeGroup((std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2], out);
    }
    const std::size_t rest = length - i;
    if (rest == 1) {
        const std::uint32_t b0 = data[i];
        out[0] = kAlphabet[b0 >> 2];
        out[1] = kAlphabet[(b0 & 0x3) << 4];
        out[2] = '=';
        out[3] = '=';
    } else if (rest == 2) {
        const std::uint32_t b0 = data[i];
        const std::uint32_t b1 = data[i + 1];
        out[0] = kAlphabet[b0 >> 2];
        out[1] = kAlphabet[((b0 & 0x3) << 4) | (b1 >> 4)];
        out[2] = kAlphabet[(b1 & 0xf) << 2];
        out[3] = '=';
    }
}

void Base64Encode(const std::uint8_t* pData, std::size_t nLength, std::string* pOut)
{
    pOut->resize(Base64EncodedLength(nLength));
    if (nLength > 0)
        Base64EncodeInto(pData, nLength, pOut->data());
}

namespace {

std::uint8_t valueOf(unsigned char c)
{
    return kValues[c];
}

std::uint8_t valueOf(char16_t c)
{
    return c < kValues.size() ? kValues[c] : 0xff;
}

template <class Char>
std::size_t decodeInto(const Char* in, std::size_t length, std::uint8_t* out, std::size_t capacity)
{
    const Char* const end = in + length;
    std::size_t written = 0;

    // The common case, a clean run of whole groups: four look-ups and one test per three bytes. Stops at the
    // first group with anything else in it, which the careful loop below takes from there.
    while (end - in >= 4 && capacity - written >= 3) {
        const std::uint32_t a = valueOf(in[0]), b = valueOf(in[1]), c = valueOf(in[2]), d = valueOf(in[3]);
        if ((a | b | c | d) & 0x80)
            break;
        const std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
        out[written] = std::uint8_t(group >> 16);
        out[written + 1] = std::uint8_t(group >> 8);
        out[written + 2] = std::uint8_t(group);
        written += 3;
        in += 4;
    }

    std::uint32_t group = 0;
    int count = 0;
    for (; in < end; ++in) {
        const std::uint8_t value = valueOf(*in);
        if (value & 0x80)
            continue;
        group = (group << 6) | value;
        if (++count < 4)
            continue;
        for (int shift = 16; shift >= 0 && written < capacity; shift -= 8)
            out[written++] = std::uint8_t(group >> shift);
        group = 0;
        count = 0;
    }
    // Two characters carry one whole byte, three carry two.
    if (count >= 2 && written < capacity)
        out[written++] = std::uint8_t(group >> (6 * count - 8));
    if (count == 3 && written < capacity)
        out[written++] = std::uint8_t(group >> 2);
    return written;
}

} // namespace

std::size_t Base64DecodeInto(const char* text, std::size_t length, std::uint8_t* out, std::size_t capacity)
{
    return decodeInto(reinterpret_cast<const unsigned char*>(text), length, out, capacity);
}

std::size_t Base64DecodeInto(const char16_t* text, std::size_t length, std::uint8_t* out, std::size_t capacity)
{
    return decodeInto(text, length, out, capacity);
}

std::optional<std::string> Base64DecodeStrict(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    std::string out(text.size() / 4 * 3 - padding, '\0');
    char* o = out.data();
    const auto value = [&text](std::size_t at) { return kValues[static_cast<unsigned char>(text[at])]; };
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const std::uint32_t a = value(i), b = value(i + 1);
        if ((a | b) & 0x80)
            return std::nullopt;
        const bool last = i + 4 == text.size();
        // The bits that padding leaves over must be zero, or two texts would decode to one document.
        if (last && padding == 2) {
            if (b & 0x0f)
                return std::nullopt;
            *o++ = char((a << 2) | (b >> 4));
            break;
        }
        const std::uint32_t c = value(i + 2);
        if (c & 0x80)
            return std::nullopt;
        if (last && padding == 1) {
            if (c & 0x03)
                return std::nullopt;
            *o++ = char((a << 2) | (b >> 4));
            *o++ = char(((b & 0x0f) << 4) | (c >> 2));
            break;
        }
        const std::uint32_t d = value(i + 3);
        if (d & 0x80)
            return std::nullopt;
        *o++ = char((a << 2) | (b >> 4));
        *o++ = char(((b & 0x0f) << 4) | (c >> 2));
        *o++ = char(((c & 0x03) << 6) | d);
    }
    return out;
}
