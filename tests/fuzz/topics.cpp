// A topic file of the Dar Iziza Vizadu panel from any bytes: one topic a line, whatever the bytes.

#include "options/COptTimestoneDlg.h"

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    const QStringList topics = COptTimestoneDlg::ReadTopicList(bytes);
    // No byte of a two-byte character of the code page is a line feed, so every line feed ends a topic.
    const qsizetype expected = bytes.count('\n') + (bytes.isEmpty() || bytes.endsWith('\n') ? 0 : 1);
    FUZZ_CHECK(topics.size() == expected);
    for (const QString& topic : topics)
        FUZZ_CHECK(!topic.contains(u'\n'));
    return 0;
}
