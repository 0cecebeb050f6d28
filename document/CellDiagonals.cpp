#include "document/CellDiagonals.h"

#include "document/LayoutUnits.h"
#include "document/TableEditing.h"

#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QPainter>
#include <QPen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace {

enum Side
{
    Left,
    Right,
    Top,
    Bottom,
};

// How far inside a cell's edge its text starts: its padding, or the table's, and half the line on that edge,
// which a collapsed grid centres on the edge. Layout units.
double inset(const QTextTable* table, const QTextTableCell& cell, Side side)
{
    static constexpr QTextFormat::Property kPadding[] = {
        QTextFormat::TableCellLeftPadding, QTextFormat::TableCellRightPadding, QTextFormat::TableCellTopPadding,
        QTextFormat::TableCellBottomPadding};
    static constexpr QTextFormat::Property kWidth[] = {
        QTextFormat::TableCellLeftBorder, QTextFormat::TableCellRightBorder, QTextFormat::TableCellTopBorder,
        QTextFormat::TableCellBottomBorder};
    static constexpr QTextFormat::Property kStyle[] = {
        QTextFormat::TableCellLeftBorderStyle, QTextFormat::TableCellRightBorderStyle,
        QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellBottomBorderStyle};
    const QTextFormat format = cell.format();
    const QTextTableFormat tableFormat = table->format();
    const double padding =
        format.hasProperty(kPadding[side]) ? format.doubleProperty(kPadding[side]) : tableFormat.cellPadding();
    // A side with a style of its own is as wide as it says (Qt's default is 3); else the table's grid.
    double line = tableFormat.border();
    if (format.hasProperty(kStyle[side]))
        line = format.hasProperty(kWidth[side]) ? format.doubleProperty(kWidth[side]) : 3;
    return LayoutUnits::ToPoints(padding + (tableFormat.borderCollapse() ? line / 2 : line));
}

// Where the layout put a cell, from where it put the cell's text: the text starts inside the cell's insets; the
// cell ends right of its text's full width, and at the bottom of its last row, the lowest of the cells that end in
// that row.
QRectF cellRect(QAbstractTextDocumentLayout* layout, QTextTable* table, const QTextTableCell& cell)
{
    const QTextBlock first = cell.firstCursorPosition().block();
    if (!first.layout() || first.layout()->lineCount() == 0)
        return {};
    // Blocks are placed from the cell's text origin; the first block's own position is within it.
    const QPointF origin = layout->blockBoundingRect(first).topLeft() - first.layout()->position();
    const QTextLine line = first.layout()->lineAt(0);
    const double textWidth = line.x() + line.width() + first.blockFormat().rightMargin();
    const double left = origin.x() - inset(table, cell, Left);
    const double right = origin.x() + textWidth + inset(table, cell, Right);
    const double top = origin.y() - inset(table, cell, Top);
    double bottom = top;
    const int lastRow = cell.row() + cell.rowSpan() - 1;
    for (int column = 0; column < table->columns(); ++column) {
        const QTextTableCell other = table->cellAt(lastRow, column);
        if (!other.isValid() || other.column() != column || other.row() + other.rowSpan() - 1 != lastRow)
            continue;
        const QTextBlock last = other.lastCursorPosition().block();
        const double textBottom = layout->blockBoundingRect(last).bottom() + last.blockFormat().bottomMargin();
        bottom = std::max(bottom, textBottom + inset(table, other, Bottom));
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

Qt::PenStyle penStyle(QTextFrameFormat::BorderStyle style)
{
    switch (style) {
    case QTextFrameFormat::BorderStyle_Dotted:
        return Qt::DotLine;
    case QTextFrameFormat::BorderStyle_Dashed:
        return Qt::DashLine;
    case QTextFrameFormat::BorderStyle_DotDash:
        return Qt::DashDotLine;
    case QTextFrameFormat::BorderStyle_DotDotDash:
        return Qt::DashDotDotLine;
    case QTextFrameFormat::BorderStyle_None:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

} // namespace

CellDiagonals::Diagonals CellDiagonals::Of(const QTextFormat& cellFormat)
{
    Diagonals diagonals;
    diagonals.lines = cellFormat.intProperty(kLinesProperty) & (kSlash | kBackslash);
    if (cellFormat.hasProperty(kWidthProperty))
        diagonals.width = cellFormat.doubleProperty(kWidthProperty);
    if (cellFormat.hasProperty(kStyleProperty))
        diagonals.style = QTextFrameFormat::BorderStyle(cellFormat.intProperty(kStyleProperty));
    if (cellFormat.hasProperty(kBrushProperty))
        diagonals.colour = cellFormat.brushProperty(kBrushProperty).color();
    return diagonals;
}

void CellDiagonals::Set(QTextFormat& cellFormat, const Diagonals& diagonals)
{
    if (!(diagonals.lines & (kSlash | kBackslash))) {
        for (int property : kProperties)
            cellFormat.clearProperty(property);
        return;
    }
    cellFormat.setProperty(kLinesProperty, diagonals.lines & (kSlash | kBackslash));
    cellFormat.setProperty(kWidthProperty, diagonals.width);
    cellFormat.setProperty(kStyleProperty, int(diagonals.style));
    cellFormat.setProperty(kBrushProperty, QBrush(diagonals.colour));
}

void CellDiagonals::Paint(QPainter* painter, QTextDocument* document, const QRectF& clip)
{
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    // Table by table, not block by block: a page is painted at every blink of the cursor, and a long document's
    // blocks are many where its tables are few.
    for (QTextTable* table : TableEditing::Tables(*document)) {
        if (!layout->frameBoundingRect(table).adjusted(-20, -20, 20, 20).intersects(clip))
            continue;
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                if (!cell.isValid() || cell.row() != row || cell.column() != column)
                    continue;
                const Diagonals diagonals = Of(cell.format());
                if (!diagonals.lines || diagonals.style == QTextFrameFormat::BorderStyle_None)
                    continue;
                const QRectF rect = cellRect(layout, table, cell);
                if (rect.isEmpty() || !rect.intersects(clip))
                    continue;
                painter->save();
                painter->setPen(QPen(diagonals.colour, diagonals.width, penStyle(diagonals.style), Qt::FlatCap));
                if (diagonals.lines & kSlash)
                    painter->drawLine(rect.bottomLeft(), rect.topRight());
                if (diagonals.lines & kBackslash)
                    painter->drawLine(rect.topLeft(), rect.bottomRight());
                painter->restore();
            }
        }
    }
}
