#pragma once

#include "net/FieldMap.h"

#include <QString>

#include <exception>
#include <optional>
#include <string>

// The reading of the server's replies, apart from the network: each reader takes what came back for one
// request and says what the operation returns and which error text it leaves. They know nothing of the HTTP
// library, so the client and the fuzz harnesses run the same code on the same bytes. None throws.

// What came back for one request.
struct ServerReply
{
    int status = 0;
    std::string reason; // the status line's reason phrase
    std::string body;   // as sent; the client reads it only for status 200, the only one any reader looks at
    // The request or the reading of its body failed; the readers describe it as they describe a bad body.
    std::exception_ptr failure;
};

// The operation's result, and the error text for GetLastErrorText; none where the previous one stays.
struct ReplyOutcome
{
    bool ok = false;
    std::optional<QString> error;
};

// `strVersion` is set only when the reply names a version.
ReplyOutcome ReadVersionReply(const ServerReply& reply, QString& strVersion);
ReplyOutcome ReadLoginReply(const ServerReply& reply);
// `strPermission` is set only when the reply names a permission.
ReplyOutcome ReadPermissionReply(const ServerReply& reply, QString& strPermission);
// Appends one field map per school to *pList (when given).
ReplyOutcome ReadSchoolsReply(const ServerReply& reply, CFieldMapList* pList);

// The texts of one question operation: the format of a reply that cannot be read and the support line
// numbers of its texts.
struct QuestionReplyLines
{
    const char* receiveFormat;
    int notOkLine; // insert only
    int receiveLine;
    int resultLine;
};

// Get, duplication check and delete: *pReply (when given) gets the record's fields as texts, its documents
// still in Base64.
ReplyOutcome ReadRecordReply(const ServerReply& reply, const QuestionReplyLines& lines, CMapStringToString* pReply);
ReplyOutcome ReadInsertReply(const ServerReply& reply, const QuestionReplyLines& lines);
