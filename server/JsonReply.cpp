#include "server/JsonReply.h"

#include "core/Base64.h"
#include "core/HugePages.h"

#include <cpprest/json.h>

#include <algorithm>
#include <stdexcept>

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

std::optional<std::string> Question(int code, std::string_view message, QuestionStore::Fields&& metadata,
                                    const std::vector<QuestionStore::StoredDocument>& documents,
                                    const QuestionStore::DocumentReader& read)
{
    // The library writes the whole reply with every document's value empty, and the documents' Base64 text then
    // goes in place of those empty values, encoded straight into the reply at its final size as the documents
    // are read. The Base64 alphabet holds nothing that JSON escapes, so the text is what the library would have
    // written with the documents in it. Tens of megabytes are written once, instead of being held as bytes, as
    // JSON values and as a text that grows to the reply's size.
    json::value result = json::value::object(true);
    for (auto& [name, value] : metadata)
        result[name] = json::value::string(std::move(value));
    for (const QuestionStore::StoredDocument& document : documents)
        result[document.name] = json::value::string(std::string(), false);
    json::value object = resultObject(code, message);
    object["result"] = std::move(result);
    const std::string frame = object.serialize();

    // The documents are the last members of "result", the last member of the reply: `"name":""` each, from the
    // end of the text back. Each is found where it must be, or the reply is not the one described above.
    const std::size_t count = documents.size();
    std::vector<std::size_t> valueAt(count);
    if (frame.size() < 2 || frame.compare(frame.size() - 2, 2, "}}") != 0)
        throw std::logic_error("unexpected JSON around the documents");
    std::size_t end = frame.size() - 2;
    for (std::size_t i = count; i-- > 0;) {
        const std::string member = json::value::string(documents[i].name).serialize() + ":\"\"";
        const char before = i == 0 && metadata.empty() ? '{' : ',';
        if (end < member.size() + 1 || frame.compare(end - member.size(), member.size(), member) != 0 ||
            frame[end - member.size() - 1] != before)
            throw std::logic_error("unexpected JSON around the documents");
        // Between the two quotes.
        valueAt[i] = end - 1;
        end -= member.size() + 1;
    }

    std::size_t size = frame.size();
    std::size_t largest = 0;
    for (const QuestionStore::StoredDocument& document : documents) {
        size += Base64EncodedLength(document.size);
        largest = std::max(largest, document.size);
    }
    std::string reply = LargeString(size);
    // Whole Base64 groups a piece, so that only the last piece of a document ends in padding.
    std::vector<char> piece(std::min<std::size_t>(largest, 3 * 16 * 1024));
    char* out = reply.data();
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        out = std::copy(frame.begin() + std::ptrdiff_t(from), frame.begin() + std::ptrdiff_t(valueAt[i]), out);
        for (std::size_t offset = 0; offset < documents[i].size; offset += piece.size()) {
            const std::size_t length = std::min(piece.size(), documents[i].size - offset);
            if (!read(i, offset, piece.data(), length))
                return std::nullopt;
            Base64EncodeInto(reinterpret_cast<const std::uint8_t*>(piece.data()), length, out);
            out += Base64EncodedLength(length);
        }
        from = valueAt[i];
    }
    std::copy(frame.begin() + std::ptrdiff_t(from), frame.end(), out);
    return reply;
}

} // namespace JsonReply
