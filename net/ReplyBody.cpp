#include "net/ReplyBody.h"

#include "core/HugePages.h"

#include <cpprest/http_msg.h>

#include <algorithm>

namespace {

// What the library holds of the body at most before it is taken: it keeps what arrives in blocks of fresh
// memory until it is read.
constexpr std::size_t kStep = kReplyReadBytes;
// A declared length up to this is taken at its word and the room made at once; past it the library reads
// what comes, as it would without a length.
constexpr std::uint64_t kLargestPrepared = std::uint64_t(1) << 30;

} // namespace

std::string ReadReplyBody(web::http::http_response& response)
{
    const std::uint64_t length = response.headers().content_length();
    if (length == 0 || length > kLargestPrepared)
        return response.extract_utf8string(true).get();
    // Taken a step at a time as it arrives, straight into a text of its final size: read whole by the library, it
    // would be held once in the library's blocks and copied once more into the text.
    std::string body = LargeString(std::size_t(length));
    concurrency::streams::streambuf<std::uint8_t> source = response.body().streambuf();
    auto* out = reinterpret_cast<std::uint8_t*>(body.data());
    std::size_t taken = 0;
    while (taken < body.size()) {
        const std::size_t got = source.getn(out + taken, std::min(kStep, body.size() - taken)).get();
        if (got == 0)
            break;
        taken += got;
    }
    // The library's own verdict on the body: what it throws when the body did not come whole.
    response.content_ready().get();
    body.resize(taken);
    return body;
}
