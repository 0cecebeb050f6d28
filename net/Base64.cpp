#include "net/Base64.h"

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
