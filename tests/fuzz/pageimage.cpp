// Page-image trim and PNG conversion on any file in the place of a rendered bitmap.

#include "workflow/PageImage.h"

#include "tests/fuzz/FuzzSupport.h"

#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString bitmap = WriteFuzzFile(QStringLiteral("page.bmp"), FuzzBytes(data, size));
    const bool trimmed = TrimPageImage(bitmap);
    QString png;
    QString error;
    const bool converted = ConvertPageImageToPng(bitmap, png, &error);
    // A trim writes a bitmap that the conversion must read.
    FUZZ_CHECK(converted || !trimmed);
    if (converted) {
        FUZZ_CHECK(png == PngPathFor(bitmap) && QFileInfo(png).size() > 0 && !QFileInfo::exists(bitmap));
        QFile::remove(png);
    } else {
        FUZZ_CHECK(png.isEmpty() && !error.isEmpty() && QFileInfo::exists(bitmap) &&
                   !QFileInfo::exists(PngPathFor(bitmap)));
    }
    return 0;
}
