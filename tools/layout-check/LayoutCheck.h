#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Compares the editor's layout of an HWP 5.0 document with the word processor's own, which it keeps in every
// paragraph's line records (PARA_LINE_SEG: where each line starts in the text, its vertical position, height
// and spacing, in HWPUNIT). Files our own writer made carry placeholder records and are no measure.
namespace LayoutCheck {

struct Figures
{
    QString file;
    QString error; // the file could not be read
    int ourPages = 0;
    int theirPages = 0;
    // Paragraphs of the body and of table cells whose lines can be compared (no table or floating picture in
    // them), how many of those have as many lines here as there, and how many of those break elsewhere.
    int paragraphs = 0;
    int sameLineCount = 0;
    int otherBreaks = 0;
    // Of those, the paragraphs of table captions, headers and footers, each laid out in its own space, and how
    // many of them have as many lines.
    int listParagraphs = 0;
    int listSameLineCount = 0;
    // Medians of ours over theirs: the pitch of paragraphs with two lines or more, the distance from one body
    // paragraph's last line to the next one's first on the same page, table widths and row heights; with how
    // many samples each, and the worst table width.
    double pitch = 0;
    int pitchSamples = 0;
    double gap = 0;
    int gapSamples = 0;
    double tableWidth = 0;
    double worstTableWidth = 1;
    int tables = 0;
    double rowHeight = 0;
    int rows = 0;
    // Lines that start left of their column or cell.
    int outside = 0;
    // The largest, over pages, of the median distance in points between where a body line is here and there.
    double verticalOffset = 0;
    int verticalSamples = 0;

    double sameLineShare() const { return paragraphs > 0 ? double(sameLineCount) / paragraphs : 1.0; }
};

// Opens `path` as the editor does and lays it out on its page.
Figures Measure(const QString& path);
// The first page as the editor draws it, `width` pixels wide, and the word processor's own picture of it (the
// file's PrvImage stream); null images when the file cannot be read or keeps no picture.
QImage OurFirstPage(const QString& path, int width);
QImage TheirFirstPage(const QString& path);

// One line of figures, for people.
QString Report(const Figures& figures);
// The targets, by name: "pages" the same page count; "tables" table widths within 1 %; "pitch" line pitch within
// 3 %; "gap" distance between paragraphs within 5 %; "lines" at least 90 % of paragraphs with the same number of
// lines; "outside" no line outside its column; "vertical" each page's median vertical position within 1 pt.
// What falls short of those not `excused`, in words; empty when all are met.
QStringList Shortfalls(const Figures& figures, const QStringList& excused = {});

} // namespace LayoutCheck
