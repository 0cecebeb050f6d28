#pragma once

#include <QByteArray>
#include <QString>

// The two small streams beside an HWP document's body that file managers and search tools read without
// parsing the document.
namespace HwpWriter {

// "\005HwpSummaryInformation": an OLE property set (the word processor's own format id) with the title and
// the program that wrote the file.
QByteArray SummaryInformation(const QString& title);

// "PrvText": the start of the text, UTF-16LE, paragraphs ending in CR LF.
QByteArray PreviewText(const QString& plainText);

// How much text the preview holds, in UTF-16 units.
inline constexpr qsizetype kPreviewUnits = 1024;

} // namespace HwpWriter
