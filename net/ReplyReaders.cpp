#include "net/ReplyReaders.h"

#include "net/CommunicatorTexts.h"
#include "net/ParsedReply.h"

#include <cpprest/json.h>

#include <cmath>

namespace json = web::json;

namespace {

constexpr int kOk = 200;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A failure found by a reply reader's own checks; its description is the generic one.
struct ReplyCheckFailure
{
    const char* detail;
};

// The body as JSON, whatever the Content-Type says; first the failure of the request itself, if any.
ParsedReply parseBody(const ServerReply& reply)
{
    if (reply.failure)
        std::rethrow_exception(reply.failure);
    return ParsedReply(reply.body);
}

// Raises the library's json_exception for a missing member or a value that is not an object.
const json::value& member(const json::value& object, const char* name)
{
    return object.at(name);
}

// A JSON number that is exactly a 32-bit integer. Anything else is a data error: truncating 0.5 to a
// result code of 0 would report a failure as success.
int readInt32(const json::value& value)
{
    if (!value.is_number())
        throw json::json_exception("Number expected");
    const json::number& number = value.as_number();
    if (number.is_int32())
        return number.to_int32();
    if (!number.is_integral()) {
        const double d = number.to_double();
        if (std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0)
            return int(d);
    }
    throw json::json_exception("Number is not a 32-bit integer");
}

QString readString(const ParsedReply& body, const json::value& value)
{
    return body.Text(value);
}

void copyObject(const ParsedReply& body, const json::value& object, CMapStringToString& map)
{
    for (const auto& [key, value] : object.as_object())
        map.SetAt(fromUtf8(key), value.is_string() ? body.Text(value) : QString());
}

QString format(const char* fmt, const QString& text, int line)
{
    return QString::asprintf(fmt, qUtf8Printable(text), line);
}

ReplyOutcome failed(QString error)
{
    return {false, std::move(error)};
}

// The result code and message of a question or login reply; a code other than 0 is a failure.
ReplyOutcome readResult(const ParsedReply& parsed, const char* resultFormat, int resultLine)
{
    const json::value& body = parsed.Value();
    const int code = readInt32(member(body, "result_code"));
    const QString message = readString(parsed, member(body, "result_message"));
    if (code != 0)
        return failed(QString::asprintf(resultFormat, code, resultLine, qUtf8Printable(message)));
    return {true, std::nullopt};
}

// Runs a reader that may throw, describing what it throws in the operation's receive format.
template <class Read> ReplyOutcome describingFailures(const char* receiveFormat, int receiveLine, Read read)
{
    try {
        return read();
    } catch (const std::exception& e) {
        return failed(format(receiveFormat, QString::fromUtf8(e.what()), receiveLine));
    } catch (...) {
        return failed(format(receiveFormat, QLatin1String(CommunicatorText::kUnknownException), receiveLine));
    }
}

} // namespace

ReplyOutcome ReadVersionReply(const ServerReply& reply, QString& strVersion)
{
    using namespace CommunicatorText;
    try {
        if (!reply.failure && reply.status != kOk)
            return failed(QString::asprintf(kVersionInvalidStatus, reply.status));
        const ParsedReply parsed = parseBody(reply);
        const json::value& body = parsed.Value();
        if (body.has_field("version"))
            strVersion = QString::number(readInt32(body.at("version")));
        return {true, std::nullopt};
    } catch (...) {
        return failed(QString::asprintf(kVersionDataError, kVersionLine));
    }
}

ReplyOutcome ReadLoginReply(const ServerReply& reply)
{
    using namespace CommunicatorText;
    if (!reply.failure && reply.status != kOk)
        return {};
    return describingFailures(kLoginFailed, kLoginReceiveLine,
                              [&] { return readResult(parseBody(reply), kLoginInvalidResultCode, kLoginResultLine); });
}

ReplyOutcome ReadPermissionReply(const ServerReply& reply, QString& strPermission)
{
    using namespace CommunicatorText;
    try {
        if (!reply.failure && reply.status != kOk)
            return {};
        const ParsedReply parsed = parseBody(reply);
        const json::value& body = parsed.Value();
        if (body.has_field("permission"))
            strPermission = readString(parsed, body.at("permission"));
        return {true, std::nullopt};
    } catch (...) {
        return failed(QString::asprintf(kPermissionDataError, kPermissionLine));
    }
}

ReplyOutcome ReadSchoolsReply(const ServerReply& reply, CFieldMapList* pList)
{
    using namespace CommunicatorText;
    try {
        if (!reply.failure && reply.status != kOk)
            return {};
        const ParsedReply parsed = parseBody(reply);
        const json::value& body = parsed.Value();
        if (!body.has_field("dataSearch"))
            throw ReplyCheckFailure{kNoDataSearch};
        const json::value& dataSearch = body.at("dataSearch");
        if (!dataSearch.is_object())
            throw ReplyCheckFailure{kDataSearchNotObject};
        if (!dataSearch.has_field("content"))
            throw ReplyCheckFailure{kNoContent};
        const json::value& content = dataSearch.at("content");
        if (!content.is_array())
            throw ReplyCheckFailure{kContentNotArray};
        for (const json::value& school : content.as_array()) {
            CMapStringToString map;
            copyObject(parsed, school, map);
            if (pList)
                pList->append(std::move(map));
        }
        return {true, std::nullopt};
    } catch (const ReplyCheckFailure& failure) {
        return failed(QString::asprintf(kSchoolSearchFailed, kUnknownException, kSchoolSearchLine, failure.detail));
    } catch (const std::exception& e) {
        return failed(QString::asprintf(kSchoolSearchFailed, e.what(), kSchoolSearchLine, ""));
    } catch (...) {
        return failed(QString::asprintf(kSchoolSearchFailed, kUnknownException, kSchoolSearchLine, ""));
    }
}

ReplyOutcome ReadRecordReply(const ServerReply& reply, const QuestionReplyLines& lines, CMapStringToString* pReply)
{
    if (!reply.failure && reply.status != kOk)
        return {};
    return describingFailures(lines.receiveFormat, lines.receiveLine, [&] {
        const ParsedReply parsed = parseBody(reply);
        const json::value& body = parsed.Value();
        ReplyOutcome outcome = readResult(parsed, CommunicatorText::kQuestionInvalidResultCode, lines.resultLine);
        // The record is kept even beside a failing result code, as it always was.
        if (pReply && body.has_field("result")) {
            const json::value& record = body.at("result");
            if (record.is_object())
                copyObject(parsed, record, *pReply);
        }
        return outcome;
    });
}

ReplyOutcome ReadInsertReply(const ServerReply& reply, const QuestionReplyLines& lines)
{
    using namespace CommunicatorText;
    if (!reply.failure && reply.status != kOk)
        return failed(format(kQuestionResponseNotOk, fromUtf8(reply.reason), lines.notOkLine));
    return describingFailures(lines.receiveFormat, lines.receiveLine, [&] {
        return readResult(parseBody(reply), kQuestionInvalidResultCode, lines.resultLine);
    });
}
