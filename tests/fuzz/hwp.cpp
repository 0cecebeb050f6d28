// HWP 5.0 reading from any bytes. A refused file leaves the document and page alone and says why; a read one
// has a usable page and counts what it left out.

#include "editor/hwp/HwpFile.h"

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzDocumentInput input(data, size);
    PageGeometry page;
    page.columnCount = 3;
    const PageGeometry before = page;
    QString error;
    int dropped = -1;
    if (!HwpFile::Read(input.document, page, input.bytes, &error, &dropped)) {
        FUZZ_CHECK(!error.isEmpty() && input.document.toPlainText() == QLatin1String("kept") && page == before &&
                   dropped == -1);
        return 0;
    }
    FUZZ_CHECK(page.isUsable() && dropped >= 0);
    return 0;
}
