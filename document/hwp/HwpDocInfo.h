#pragma once

#include "document/CellDiagonals.h"
#include "document/hwp/HwpValues.h"
#include "document/hwp/Records.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QTextFormat>

#include <array>

// What a document's DocInfo stream holds that its body refers to by id: character and paragraph shapes,
// border fills, numberings and the list of binary data (pictures). Ids the body gives that are not here fall
// back to plain text, so a damaged reference costs a format, never the document.
namespace HwpDocInfo {

struct Border
{
    QTextFrameFormat::BorderStyle style = QTextFrameFormat::BorderStyle_None;
    double width = 0; // points
    QColor colour;
};

struct BorderFill
{
    std::array<Border, 4> sides; // left, right, top, bottom
    QColor face;                 // invalid: no shading
    CellDiagonals::Diagonals diagonals;
};

enum class Heading
{
    None,
    Outline,
    Number,
    Bullet,
};

struct ParaShape
{
    // Lengths in format units (see LayoutUnits).
    QTextBlockFormat format;
    // Line spacing in percent of the font size, which the paragraph's fonts turn into a format; 0 when the
    // format gives the spacing.
    double percentSpacing = 0;
    // Spacing added to the font size between lines, and a fixed pitch, in points; negative when the format gives
    // the spacing.
    double addedSpacing = -1;
    double fixedSpacing = -1;
    Heading heading = Heading::None;
    int numbering = 0; // the numbering or bullet id, 1-based
    int level = 0;     // 0-based, up to HwpValues::kLevels - 1
};

struct ParaHead
{
    QString numFormat; // the HWP XML name: "Digit", "CircledDigit", "HangulSyllable" …
    QString pattern;   // "^1.", "(^2)"
};

struct BinItem
{
    int id = 0;
    QString extension;
    // 0: as the file header says, 1: compressed, 2: stored as it is.
    int compression = 0;
    bool embedded = false;
};

struct DocInfo
{
    QList<QTextCharFormat> charShapes;
    QList<ParaShape> paraShapes;
    QList<BorderFill> borderFills;                              // id 1 is the first
    QList<std::array<ParaHead, HwpValues::kLevels>> numberings; // id 1 is the first
    QHash<int, BinItem> binItems; // by the id pictures refer to it with                   // id 1 is the first
};

// Reads the records of a DocInfo stream. Nothing in it can fail: records too short to hold what they should
// are taken as far as they go.
DocInfo Read(const QList<HwpRecords::Record>& records);

} // namespace HwpDocInfo
