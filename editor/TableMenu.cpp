#include "editor/TableMenu.h"

#include "document/LayoutUnits.h"
#include "document/TableEditing.h"
#include "editor/PageView.h"
#include "editor/TableDlgs.h"

#include <QAbstractTextDocumentLayout>
#include <QColorDialog>
#include <QMenu>
#include <QTextCursor>
#include <QTextTable>
#include <QToolBar>
#include <QToolButton>

QToolButton* TableMenu::Add(QToolBar* bar, PageView* view, std::function<void(int, int)> insertTable)
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
    add(QStringLiteral("줄 추가"), "addRowAction", &TableEditing::AddRow);
    add(QStringLiteral("칸 추가"), "addColumnAction", &TableEditing::AddColumn);
    add(QStringLiteral("줄 지우기"), "deleteRowAction", &TableEditing::DeleteRows);
    add(QStringLiteral("칸 지우기"), "deleteColumnAction", &TableEditing::DeleteColumns);
    menu->addSeparator();
    add(QStringLiteral("셀 합치기"), "mergeCellsAction", &TableEditing::MergeCells);
    add(QStringLiteral("셀 나누기"), "splitCellAction", &TableEditing::SplitCell);
    menu->addSeparator();
    add(QStringLiteral("칸 너비..."), "columnWidthAction", [view](QTextCursor& cursor) {
        QTextTable* table = cursor.currentTable();
        if (!table)
            return false;
        const double width = view->document()->documentLayout()->frameBoundingRect(table).width();
        ColumnWidthDlg dialog(table->format().columnWidthConstraints(), table->columns(), width, view->window());
        return dialog.exec() == QDialog::Accepted && TableEditing::SetColumnWidths(cursor, dialog.Widths());
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
        return dialog.exec() == QDialog::Accepted && TableEditing::SetCellBorders(cursor, dialog.Width());
    });
    add(QStringLiteral("셀 배경색..."), "cellShadingAction", [view](QTextCursor& cursor) {
        const QColor colour = QColorDialog::getColor(Qt::white, view->window(), QStringLiteral("셀 배경색"));
        return colour.isValid() && TableEditing::SetCellShading(cursor, colour);
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
