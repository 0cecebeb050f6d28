#pragma once

#include <QColor>
#include <QTextFormat>

class QPainter;
class QRectF;
class QTextDocument;

// A table cell's diagonal lines, which Qt's tables do not know: kept in the cell's format and drawn over the page
// once Qt has drawn the table. The slash runs from the cell's bottom left corner to its top right, the backslash
// from its top left to its bottom right. Qt's HTML loses them; the native file keeps them beside, with the borders.
namespace CellDiagonals {

inline constexpr int kLinesProperty = QTextFormat::UserProperty + 0x400; // int, Line bits
inline constexpr int kWidthProperty = QTextFormat::UserProperty + 0x401; // double, points
inline constexpr int kStyleProperty = QTextFormat::UserProperty + 0x402; // int, QTextFrameFormat::BorderStyle
inline constexpr int kBrushProperty = QTextFormat::UserProperty + 0x403; // QBrush
inline constexpr int kProperties[] = {kLinesProperty, kWidthProperty, kStyleProperty, kBrushProperty};

enum Line
{
    kSlash = 0x1,
    kBackslash = 0x2,
};

struct Diagonals
{
    int lines = 0;
    double width = 1; // points
    QTextFrameFormat::BorderStyle style = QTextFrameFormat::BorderStyle_Solid;
    QColor colour = Qt::black;
    bool operator==(const Diagonals&) const = default;
};

// None (no lines) when the format gives none.
Diagonals Of(const QTextFormat& cellFormat);
// Gives `cellFormat` the diagonals, or takes its own away when `diagonals` has no lines.
void Set(QTextFormat& cellFormat, const Diagonals& diagonals);
// Draws the diagonals of the cells that meet `clip` (layout coordinates), over what the layout drew.
void Paint(QPainter* painter, QTextDocument* document, const QRectF& clip);

} // namespace CellDiagonals
