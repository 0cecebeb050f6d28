// Binary HWP documents from any bytes. A refused file leaves the document and page alone and says why; a read
// one gives a usable page and a count of what was left out, and writes and reads back both as HWP and in the
// editor's own format with the same text and page; its model alone writes and reads back as HWP.

#include "document/DocumentFile.h"
#include "document/hwp/HwpFile.h"

#include "tests/fuzz/FuzzDocuments.h"

#include <QTextDocument>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzDocumentInput input(data, size);
    QTextDocument& document = input.document;
    PageGeometry page;
    page.columnCount = 2;
    const PageGeometry before = page;
    QString error;
    // Left as it is by a read that fails: a count no read gives.
    DroppedObjects dropped;
    dropped.Add(DroppedObjects::Kind::Other, -1);
    if (!HwpFile::Read(document, page, input.bytes, &error, &dropped)) {
        FUZZ_CHECK(!error.isEmpty() && document.toPlainText() == QLatin1String("kept") && page == before &&
                   dropped.Total() == -1);
        return 0;
    }
    FUZZ_CHECK(page.isUsable() && dropped.Total() >= 0);

    // Whatever we read, our writer can write, and our reader reads that back as it was.
    const QByteArray written = HwpFile::Bytes(document, page, &error);
    FUZZ_CHECK(!written.isEmpty());
    QTextDocument reread;
    PageGeometry rereadPage;
    FUZZ_CHECK(HwpFile::Read(reread, rereadPage, written, &error) && rereadPage == page &&
               reread.toPlainText() == document.toPlainText());

    // The model as read, written without the editor, reads back too.
    const auto model = HwpFile::ReadModel(input.bytes);
    FUZZ_CHECK(model && HwpFile::ReadModel(HwpFile::Bytes(*model)));

    CheckOwnFormatRoundTrip(document, page);
    return 0;
}
