#include "server/JsonReply.h"

#include "core/Base64.h"

#include <cpprest/json.h>

namespace json = web::json;

namespace {

json::value text(std::string_view value)
{
    return json::value::string(std::string(value));
}

json::value resultObject(int code, std::string_view message)
{
    json::value object = json::value::object(true);
    object["result_code"] = json::value::number(code);
    object["result_message"] = text(message);
    return object;
}

} // namespace

namespace JsonReply {

std::string Result(int code, std::string_view message)
{
    return resultObject(code, message).serialize();
}

std::string EmptyResult(int code, std::string_view message)
{
    json::value object = resultObject(code, message);
    object["result"] = json::value::null();
    return object.serialize();
}

std::string Version(int version)
{
    json::value object = json::value::object();
    object["version"] = json::value::number(version);
    return object.serialize();
}

std::string Permission(int permission)
{
    json::value object = resultObject(0, "");
    object["permission"] = json::value::string(std::to_string(permission));
    return object.serialize();
}

std::string Schools(const std::vector<std::pair<std::string, std::string>>& schools)
{
    std::vector<json::value> list;
    list.reserve(schools.size());
    for (const auto& [name, region] : schools) {
        json::value school = json::value::object(true);
        school["schoolName"] = text(name);
        school["region"] = text(region);
        list.push_back(std::move(school));
    }
    json::value search = json::value::object();
    search["content"] = json::value::array(std::move(list));
    json::value object = resultObject(0, "");
    object["dataSearch"] = std::move(search);
    return object.serialize();
}

std::string Question(int code, std::string_view message, QuestionStore::Question&& question)
{
    json::value result = json::value::object(true);
    for (auto& [name, value] : question.metadata)
        result[name] = json::value::string(std::move(value));
    for (auto& [name, data] : question.documents) {
        std::string encoded(Base64EncodedLength(data.size()), '\0');
        Base64EncodeInto(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), encoded.data());
        std::string().swap(data);
        // The Base64 alphabet has nothing to escape, so the library need not look.
        result[name] = json::value::string(std::move(encoded), false);
    }
    json::value object = resultObject(code, message);
    object["result"] = std::move(result);
    return object.serialize();
}

} // namespace JsonReply
