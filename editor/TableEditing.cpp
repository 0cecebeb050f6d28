#include "editor/TableEditing.h"

#include "editor/LayoutUnits.h"

#include "editor/PageView.h"
#include "editor/TableDlgs.h"

#include <QAbstractTextDocumentLayout>
#include <QColorDialog>
#include <QMenu>
#include <QTextCursor>
#include <QTextTable>
#include <QToolBar>
#include <QToolButton>

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
template<typename Change>
bool onCells(QTextCursor& cursor, Change&& change)
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
template<typename Visit>
void eachCell(const CellRange& range, Visit&& visit)
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
    for (int property = QTextFormat::TableCellTopBorder; property <= QTextFormat::TableCellRightBorderBrush; ++property) {
        if (cellFormat.hasProperty(property))
            borders.setProperty(property, cellFormat.property(property));
    }
    return borders;
}

QToolButton* TableEditing::AddTableMenu(QToolBar* bar, PageView* view, std::function<void(int, int)> insertTable)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(QStringLiteral("tableMenuButton"));
    button->setText(QStringLiteral("표"));
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    menu->setObjectName(QStringLiteral("tableMenu"));
    QList<QAction*> inTableOnly;
    auto add = [menu, view, &inTableOnly](const QString& text, const char* name, auto&& change) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        QObject::connect(action, &QAction::triggered, view, [view, change] {
            QTextCursor cursor = view->textCursor();
            if (change(cursor))
                view->setTextCursor(cursor);
            view->setFocus();
        });
        inTableOnly.append(action);
        return action;
    };
    QAction* create = menu->addAction(QStringLiteral("표 만들기..."));
    create->setObjectName(QStringLiteral("insertTableAction"));
    QObject::connect(create, &QAction::triggered, view, [view, insertTable] {
        TableCreateDlg dialog(view->window());
        if (dialog.exec() == QDialog::Accepted)
            insertTable(dialog.Rows(), dialog.Columns());
    });
    menu->addSeparator();
    add(QStringLiteral("줄 추가"), "addRowAction", &AddRow);
    add(QStringLiteral("칸 추가"), "addColumnAction", &AddColumn);
    add(QStringLiteral("줄 지우기"), "deleteRowAction", &DeleteRows);
    add(QStringLiteral("칸 지우기"), "deleteColumnAction", &DeleteColumns);
    menu->addSeparator();
    add(QStringLiteral("셀 합치기"), "mergeCellsAction", &MergeCells);
    add(QStringLiteral("셀 나누기"), "splitCellAction", &SplitCell);
    menu->addSeparator();
    add(QStringLiteral("칸 너비..."), "columnWidthAction", [view](QTextCursor& cursor) {
        QTextTable* table = cursor.currentTable();
        if (!table)
            return false;
        const double width = view->document()->documentLayout()->frameBoundingRect(table).width();
        ColumnWidthDlg dialog(table->format().columnWidthConstraints(), table->columns(), width, view->window());
        return dialog.exec() == QDialog::Accepted && SetColumnWidths(cursor, dialog.Widths());
    });
    add(QStringLiteral("셀 테두리..."), "cellBorderAction", [view](QTextCursor& cursor) {
        if (!cursor.currentTable())
            return false;
        const QTextTableCellFormat cell = cursor.currentTable()->cellAt(cursor).format().toTableCellFormat();
        // A cell without borders of its own shows the table's.
        const double current = LayoutUnits::ToPoints(cell.hasProperty(QTextFormat::TableCellTopBorder)
                                                         ? cell.topBorder()
                                                         : cursor.currentTable()->format().border());
        CellBorderDlg dialog(current, view->window());
        return dialog.exec() == QDialog::Accepted && SetCellBorders(cursor, dialog.Width());
    });
    add(QStringLiteral("셀 배경색..."), "cellShadingAction", [view](QTextCursor& cursor) {
        const QColor colour = QColorDialog::getColor(Qt::white, view->window(), QStringLiteral("셀 배경색"));
        return colour.isValid() && SetCellShading(cursor, colour);
    });
    // The commands on a table wait for the cursor to be in one.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [view, inTableOnly] {
        const bool inTable = view->textCursor().currentTable() != nullptr;
        for (QAction* action : inTableOnly)
            action->setEnabled(inTable);
    });
    button->setMenu(menu);
    bar->addWidget(button);
    return button;
}
