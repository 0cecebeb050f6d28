// The client's reply readers on any status and body. The first byte picks the reader and whether the status
// is 200 (the only one whose body is read) or the second byte's; the rest is the body.

#include "core/Base64.h"
#include "net/CommunicatorTexts.h"
#include "net/ReplyReaders.h"

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    ServerReply reply;
    reply.status = data[0] & 0x80 ? 100 + 2 * data[1] : 200;
    reply.reason = "Reason";
    reply.body.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
    const QuestionReplyLines lines{CommunicatorText::kQuestionSearchFailed, 1, 2, 3};

    QString text;
    CFieldMapList schools;
    CMapStringToString record;
    ReplyOutcome outcome;
    switch (data[0] % 6) {
    case 0:
        outcome = ReadVersionReply(reply, text);
        break;
    case 1:
        outcome = ReadLoginReply(reply);
        break;
    case 2:
        outcome = ReadPermissionReply(reply, text);
        break;
    case 3:
        outcome = ReadSchoolsReply(reply, &schools);
        break;
    case 4:
        outcome = ReadRecordReply(reply, lines, &record);
        break;
    default:
        outcome = ReadInsertReply(reply, lines);
        break;
    }
    // A body that was read either gives a result or says why not; any other status never succeeds.
    FUZZ_CHECK(reply.status == 200 ? outcome.ok != outcome.error.has_value() : !outcome.ok);

    // Every field of a record may be a document: it is decoded as the load decodes it.
    for (auto it = record.begin(); it != record.end(); ++it) {
        const QString& base64 = it.value();
        const std::size_t capacity = (3 * std::size_t(base64.size()) + 3) / 4;
        const auto bytes = std::make_unique<std::uint8_t[]>(capacity);
        FUZZ_CHECK(Base64DecodeInto(reinterpret_cast<const char16_t*>(base64.utf16()), std::size_t(base64.size()),
                                    bytes.get(), capacity) <= capacity);
    }
    return 0;
}
