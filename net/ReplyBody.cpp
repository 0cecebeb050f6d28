#include "net/ReplyBody.h"

#include <cpprest/http_msg.h>

std::string ReadReplyBody(web::http::http_response& response)
{
    return response.extract_utf8string(true).get();
}
