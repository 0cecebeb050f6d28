#pragma once

#include <QList>
#include <QTextFormat>
#include <QTextLength>
#include <QTextTableFormat>

class QColor;
class QTextCursor;
class QTextDocument;
class QTextTable;

// Editing the table at a cursor: the cells a command acts on are the selected ones, or the cell of the
// cursor. Each command is one undo step and gives false, changing nothing, outside a table.
namespace TableEditing {

// A new table's frame: a one-point solid black grid (Qt draws a thinner collapsed border as nothing at all),
// two points of padding, no spacing.
QTextTableFormat GridFormat();
// Gives every cell of `table` the grid's one-point lines as borders of its own. Qt draws a table's own grid
// between cells at three quarters of its width, and at some scales leaves a gap where two lines cross; a
// cell's own borders are drawn whole and meet.
void GridInEveryCell(QTextTable* table);

bool AddRow(QTextCursor& cursor);    // below the cells
bool AddColumn(QTextCursor& cursor); // right of the cells
bool DeleteRows(QTextCursor& cursor);
bool DeleteColumns(QTextCursor& cursor);
bool MergeCells(QTextCursor& cursor);
bool SplitCell(QTextCursor& cursor);
bool SetColumnWidths(QTextCursor& cursor, const QList<QTextLength>& widths);
// All four sides of each cell, solid black, `width` points wide; 0 takes the cells' own borders away.
bool SetCellBorders(QTextCursor& cursor, double width);
bool SetCellShading(QTextCursor& cursor, const QColor& colour);

// Every table of `document` in document order, a table in a cell after the table it stands in.
QList<QTextTable*> Tables(const QTextDocument& document);

// The cell border properties (width, style, brush per side) a cell format sets; Qt's HTML loses some of
// them, so the native file keeps them beside.
QTextFormat BorderProperties(const QTextFormat& cellFormat);

} // namespace TableEditing
