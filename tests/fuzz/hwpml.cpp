// HWP XML import from any bytes. A failed import leaves the document alone; an imported page is usable, and
// what was imported must write and read back in the editor's own format.

#include "document/DocumentFile.h"

#include "tests/fuzz/FuzzDocuments.h"

#include <QTextDocument>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzDocumentInput input(data, size);
    QTextDocument& document = input.document;
    PageGeometry page;
    QString error;
    // Left as it is by a read that fails: a count no read gives.
    DroppedObjects dropped;
    dropped.Add(DroppedObjects::Kind::Other, -1);
    if (!DocumentFile::ImportHwpml(document, input.device, &error, &page, &dropped)) {
        FUZZ_CHECK(!error.isEmpty() && document.toPlainText() == QLatin1String("kept") && dropped.Total() == -1);
        return 0;
    }
    FUZZ_CHECK(page.isUsable() && dropped.Total() >= 0);
    CheckOwnFormatRoundTrip(document, page);
    return 0;
}
