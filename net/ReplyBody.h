#pragma once

#include <string>

namespace web::http {
class http_response;
}

// The body of a reply as the client takes it in, whatever its Content-Type says. Throws what the HTTP library
// throws when the body cannot be read whole. Apart from the client so that the transfer benchmark reads a
// reply exactly as the client does.
std::string ReadReplyBody(web::http::http_response& response);
