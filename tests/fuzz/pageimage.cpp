// Page-image trim and PNG conversion on any file in the place of a rendered bitmap. No input may make them
// run an outside image converter: the only ones on the path leave a mark.

#include "workflow/PageImage.h"

#include "tests/fuzz/FuzzSupport.h"

#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString mark = [] {
        const QString path = FuzzFolder() + QStringLiteral("/converter-ran");
        for (const char* name : {"convert", "magick", "gm"}) {
            const QString script = WriteFuzzFile(QLatin1String(name), "#!/bin/sh\n: >'" + path.toUtf8() + "'\n");
            QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
        }
        qputenv("PATH", FuzzFolder().toUtf8());
        return path;
    }();
    const QString bitmap = WriteFuzzFile(QStringLiteral("page.bmp"), FuzzBytes(data, size));
    const bool trimmed = TrimPageImage(bitmap);
    QString png;
    QString error;
    const bool converted = ConvertPageImageToPng(bitmap, png, &error);
    FUZZ_CHECK(!QFileInfo::exists(mark));
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
