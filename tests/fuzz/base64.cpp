// Base64 both ways: the input's encoding must decode back to it, and the input read as Base64 must decode
// within the documented room, also into any smaller room.

#include "core/Base64.h"

#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string encoded;
    Base64Encode(data, size, &encoded);
    FUZZ_CHECK(encoded.size() == Base64EncodedLength(size));
    FUZZ_CHECK(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
               std::string::npos);
    const auto decoded = std::make_unique<std::uint8_t[]>(size);
    FUZZ_CHECK(Base64DecodeInto(encoded.data(), encoded.size(), decoded.get(), size) == size);
    FUZZ_CHECK(std::equal(data, data + size, decoded.get()));

    const char* text = reinterpret_cast<const char*>(data);
    const std::size_t room = (3 * size + 3) / 4;
    const auto full = std::make_unique<std::uint8_t[]>(room);
    const std::size_t written = Base64DecodeInto(text, size, full.get(), room);
    FUZZ_CHECK(written <= room);
    // A smaller room gets the same bytes, as many as fit.
    const std::size_t capacity = size > 0 ? data[0] % (room + 1) : 0;
    const auto part = std::make_unique<std::uint8_t[]>(capacity);
    FUZZ_CHECK(Base64DecodeInto(text, size, part.get(), capacity) == std::min(capacity, written));
    FUZZ_CHECK(std::equal(part.get(), part.get() + std::min(capacity, written), full.get()));
    return 0;
}
