// The page view's keys and input method: typing, moving the cursor, the clipboard keys and Tab in tables.
#include "editor/PageView.h"

#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>
#include <QTextTable>

void PageView::tabKey(bool backwards)
{
    QTextTable* table = m_cursor.currentTable();
    if (!table) {
        if (!backwards)
            m_cursor.insertText(QStringLiteral("\t"));
        return;
    }
    const QTextTableCell cell = table->cellAt(m_cursor);
    int row = cell.row();
    int column = backwards ? cell.column() - 1 : cell.column() + cell.columnSpan();
    if (column >= table->columns()) {
        column = 0;
        row += cell.rowSpan();
    } else if (column < 0) {
        column = table->columns() - 1;
        --row;
    }
    if (row < 0)
        return;
    if (row >= table->rows())
        table->appendRows(1);
    m_cursor = table->cellAt(row, column).firstCursorPosition();
}

bool PageView::handleShortcut(QKeyEvent* event)
{
    // Undo, redo, select all, the line and page breaks are the editor's commands, with their keys.
    if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::Cut) {
        copy();
        m_cursor.removeSelectedText();
    } else if (event == QKeySequence::Paste) {
        paste();
    } else {
        return false;
    }
    return true;
}

void PageView::keyPressEvent(QKeyEvent* event)
{
    // The menu key and Shift+F10 open the context menu at the cursor.
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier)) {
        event->accept();
        const QPoint at = cursorRect().center().toPoint();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at));
        contextMenuEvent(&menu);
        return;
    }
    if (handleShortcut(event)) {
        cursorMoved();
        return;
    }
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool word = event->modifiers() & Qt::ControlModifier;
    const auto mode = shift ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    QTextCursor::MoveOperation move = QTextCursor::NoMove;
    switch (event->key()) {
    case Qt::Key_Left:
        move = word ? QTextCursor::PreviousWord : QTextCursor::Left;
        break;
    case Qt::Key_Right:
        move = word ? QTextCursor::NextWord : QTextCursor::Right;
        break;
    case Qt::Key_Up:
        move = QTextCursor::Up;
        break;
    case Qt::Key_Down:
        move = QTextCursor::Down;
        break;
    case Qt::Key_Home:
        move = word ? QTextCursor::Start : QTextCursor::StartOfLine;
        break;
    case Qt::Key_End:
        move = word ? QTextCursor::End : QTextCursor::EndOfLine;
        break;
    case Qt::Key_Backspace:
        m_cursor.deletePreviousChar();
        cursorMoved();
        return;
    case Qt::Key_Delete:
        m_cursor.deleteChar();
        cursorMoved();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (QTextList* list = m_cursor.currentList(); list && m_cursor.block().text().isEmpty()) {
            // Enter on an empty item ends the list, as in every word processor.
            list->remove(m_cursor.block());
            QTextBlockFormat format = m_cursor.blockFormat();
            format.setIndent(0);
            m_cursor.setBlockFormat(format);
        } else {
            // The page break belongs to the paragraph that starts the page, not to those typed after it.
            QTextBlockFormat format = m_cursor.blockFormat();
            format.clearProperty(QTextFormat::PageBreakPolicy);
            m_cursor.insertBlock(format);
        }
        cursorMoved();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // Ctrl+Tab leaves the editor: the editor around the view moves the focus on.
        if (word) {
            event->ignore();
            return;
        }
        tabKey(event->key() == Qt::Key_Backtab || shift);
        cursorMoved();
        return;
    default:
        break;
    }
    if (move != QTextCursor::NoMove) {
        m_cursor.movePosition(move, mode);
        cursorMoved();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\t') &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        m_cursor.insertText(text);
        cursorMoved();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PageView::inputMethodEvent(QInputMethodEvent* event)
{
    QTextBlock block = m_cursor.block();
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        if (event->replacementLength() > 0) {
            m_cursor.setPosition(m_cursor.position() + event->replacementStart());
            m_cursor.setPosition(m_cursor.position() + event->replacementLength(), QTextCursor::KeepAnchor);
        }
        m_cursor.insertText(event->commitString());
        block = m_cursor.block();
    }
    // The composition being typed (a Hangul syllable in the making) is shown in place but not yet in the text.
    if (QTextLayout* layout = block.layout()) {
        layout->setPreeditArea(m_cursor.position() - block.position(), event->preeditString());
        m_document->markContentsDirty(block.position(), block.length());
    }
    cursorMoved();
    event->accept();
}

QVariant PageView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cursorRect();
    case Qt::ImFont:
        return m_cursor.charFormat().font();
    case Qt::ImCursorPosition:
        return m_cursor.position() - m_cursor.block().position();
    case Qt::ImAnchorPosition:
        return m_cursor.anchor() - m_cursor.block().position();
    case Qt::ImSurroundingText:
        return m_cursor.block().text();
    case Qt::ImCurrentSelection:
        return m_cursor.selectedText();
    default:
        return QWidget::inputMethodQuery(query);
    }
}
