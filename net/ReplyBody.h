#pragma once

#include <cstddef>
#include <string>

namespace web::http {
class http_response;
}

// How much of a reply's body the HTTP library reads from the connection at a time, set on every client: each
// read is handed from the network thread to a pool thread, and a reply of tens of megabytes in the library's
// 64 KiB reads spent more time in those hand-overs than in the reading.
constexpr std::size_t kReplyReadBytes = 1024 * 1024;

// The body of a reply as the client takes it in, whatever its Content-Type says. Throws what the HTTP library
// throws when the body cannot be read whole. Apart from the client so that the transfer benchmark reads a
// reply exactly as the client does.
std::string ReadReplyBody(web::http::http_response& response);
