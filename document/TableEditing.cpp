#include "document/TableEditing.h"

#include "document/LayoutUnits.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace {

struct CellRange
{
    QTextTable* table = nullptr;
    int row = 0, rows = 0, column = 0, columns = 0;
};

CellRange cellsAt(const QTextCursor& cursor)
{
    CellRange range;
    range.table = cursor.currentTable();
    if (!range.table)
        return range;
    if (cursor.hasComplexSelection()) {
        cursor.selectedTableCells(&range.row, &range.rows, &range.column, &range.columns);
    } else {
        const QTextTableCell cell = range.table->cellAt(cursor);
        range = {range.table, cell.row(), cell.rowSpan(), cell.column(), cell.columnSpan()};
    }
    return range;
}

// Runs `change` on the cells as one undo step.
template <typename Change> bool onCells(QTextCursor& cursor, Change&& change)
{
    const CellRange range = cellsAt(cursor);
    if (!range.table || range.rows <= 0 || range.columns <= 0)
        return false;
    cursor.beginEditBlock();
    change(range);
    cursor.endEditBlock();
    return true;
}

// Every cell of the range once, merged ones included.
template <typename Visit> void eachCell(const CellRange& range, Visit&& visit)
{
    QList<int> done;
    for (int row = range.row; row < range.row + range.rows; ++row) {
        for (int column = range.column; column < range.column + range.columns; ++column) {
            QTextTableCell cell = range.table->cellAt(row, column);
            if (!cell.isValid() || done.contains(cell.firstPosition()))
                continue;
            done.append(cell.firstPosition());
            visit(cell);
        }
    }
}

} // namespace

namespace {

// A new cell takes the lines of the cell it was added beside: Qt gives it none of its own.
void bordersFrom(QTextTable* table, int row, int column, int fromRow, int fromColumn)
{
    QTextTableCell cell = table->cellAt(row, column);
    if (cell.row() != row || cell.column() != column)
        return;
    QTextCharFormat format = cell.format();
    const QMap<int, QVariant> borders =
        TableEditing::BorderProperties(table->cellAt(fromRow, fromColumn).format()).properties();
    for (auto it = borders.cbegin(); it != borders.cend(); ++it)
        format.setProperty(it.key(), it.value());
    cell.setFormat(format);
}

} // namespace

bool TableEditing::AddRow(QTextCursor& cursor)
{
    return onCells(cursor, [](const CellRange& r) {
        const int added = r.row + r.rows;
        r.table->insertRows(added, 1);
        for (int column = 0; column < r.table->columns(); ++column)
            bordersFrom(r.table, added, column, added - 1, column);
    });
}

bool TableEditing::AddColumn(QTextCursor& cursor)
{
    return onCells(cursor, [](const CellRange& r) {
        const int added = r.column + r.columns;
        r.table->insertColumns(added, 1);
        for (int row = 0; row < r.table->rows(); ++row)
            bordersFrom(r.table, row, added, row, added - 1);
    });
}

bool TableEditing::DeleteRows(QTextCursor& cursor)
{
    return onCells(cursor, [](const CellRange& r) { r.table->removeRows(r.row, r.rows); });
}

bool TableEditing::DeleteColumns(QTextCursor& cursor)
{
    return onCells(cursor, [](const CellRange& r) { r.table->removeColumns(r.column, r.columns); });
}

bool TableEditing::MergeCells(QTextCursor& cursor)
{
    return onCells(cursor, [](const CellRange& r) { r.table->mergeCells(r.row, r.column, r.rows, r.columns); });
}

bool TableEditing::SplitCell(QTextCursor& cursor)
{
    // The merged cell at the cursor goes back to single cells.
    return onCells(cursor, [&cursor](const CellRange& r) {
        const QTextTableCell cell = r.table->cellAt(cursor);
        r.table->splitCell(cell.row(), cell.column(), 1, 1);
    });
}

QTextTableFormat TableEditing::GridFormat()
{
    QTextTableFormat format;
    // One point, as the word processor's thinnest lines are drawn here.
    format.setBorder(LayoutUnits::FromPoints(1));
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(Qt::black);
    format.setCellPadding(2);
    format.setCellSpacing(0);
    format.setBorderCollapse(true);
    return format;
}

void TableEditing::GridInEveryCell(QTextTable* table)
{
    for (int row = 0; row < table->rows(); ++row) {
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(row, column);
            if (cell.row() != row || cell.column() != column)
                continue;
            QTextTableCellFormat format = cell.format().toTableCellFormat();
            format.setBorder(GridFormat().border());
            format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            format.setBorderBrush(Qt::black);
            cell.setFormat(format);
        }
    }
}

bool TableEditing::SetColumnWidths(QTextCursor& cursor, const QList<QTextLength>& widths)
{
    return onCells(cursor, [&widths](const CellRange& r) {
        if (widths.size() != r.table->columns())
            return;
        QTextTableFormat format = r.table->format();
        format.setColumnWidthConstraints(widths);
        r.table->setFormat(format);
    });
}

bool TableEditing::SetCellBorders(QTextCursor& cursor, double width)
{
    return onCells(cursor, [width](const CellRange& r) {
        eachCell(r, [width](QTextTableCell& cell) {
            QTextTableCellFormat format = cell.format().toTableCellFormat();
            format.setBorder(LayoutUnits::FromPoints(width));
            format.setBorderStyle(width > 0 ? QTextFrameFormat::BorderStyle_Solid : QTextFrameFormat::BorderStyle_None);
            format.setBorderBrush(Qt::black);
            cell.setFormat(format);
        });
    });
}

bool TableEditing::SetCellShading(QTextCursor& cursor, const QColor& colour)
{
    return onCells(cursor, [&colour](const CellRange& r) {
        eachCell(r, [&colour](QTextTableCell& cell) {
            QTextTableCellFormat format = cell.format().toTableCellFormat();
            if (colour.isValid())
                format.setBackground(colour);
            else
                format.clearBackground();
            cell.setFormat(format);
        });
    });
}

QTextFormat TableEditing::BorderProperties(const QTextFormat& cellFormat)
{
    QTextFormat borders;
    for (int property = QTextFormat::TableCellTopBorder; property <= QTextFormat::TableCellRightBorderBrush;
         ++property) {
        if (cellFormat.hasProperty(property))
            borders.setProperty(property, cellFormat.property(property));
    }
    return borders;
}

namespace {

void collectTables(QTextFrame* frame, QList<QTextTable*>& tables)
{
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child))
            tables.append(table);
        collectTables(child, tables);
    }
}

} // namespace

QList<QTextTable*> TableEditing::Tables(const QTextDocument& document)
{
    QList<QTextTable*> tables;
    collectTables(document.rootFrame(), tables);
    return tables;
}
