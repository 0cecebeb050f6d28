// The editor's own document format from any bytes. A failed read leaves the document and page alone; a
// document that was read must write and read back.

#include "document/DocumentFile.h"

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
    if (!DocumentFile::ReadNative(document, page, input.device, &error)) {
        FUZZ_CHECK(!error.isEmpty() && document.toPlainText() == QLatin1String("kept") && page == before);
        return 0;
    }
    FUZZ_CHECK(page.isUsable());
    CheckOwnFormatRoundTrip(document, page);
    return 0;
}
