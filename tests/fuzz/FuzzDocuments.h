#pragma once

#include "document/DocumentFile.h"

#include "tests/fuzz/FuzzSupport.h"

// Whatever a reader took in, the editor's own format writes and reads back with the same page.
inline void CheckOwnFormatRoundTrip(const QTextDocument& document, const PageGeometry& page)
{
    QByteArray saved = DocumentFile::NativeBytes(document, page);
    FUZZ_CHECK(!saved.isEmpty());
    QBuffer again(&saved);
    again.open(QIODevice::ReadOnly);
    QTextDocument reopened;
    PageGeometry reopenedPage;
    QString error;
    FUZZ_CHECK(DocumentFile::ReadNative(reopened, reopenedPage, again, &error) && reopenedPage == page);
}
