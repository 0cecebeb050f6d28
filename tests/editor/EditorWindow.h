#pragma once

#include "document/FormulaObject.h"
#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"
#include "editor/PageView.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextTable>
#include <QWidget>

#include <memory>

// A window with the three editors as the main window places them, shown and active: the editors' keys are
// shortcuts, which only an active window receives.
inline std::unique_ptr<QWidget> ShowEditorWindow(EditorSet& editors)
{
    auto window = std::make_unique<QWidget>();
    window->resize(1200, 900);
    for (int i = 0; i < 3; ++i) {
        editors[size_t(i)] = new CDHwpCtrl;
        if (!editors[size_t(i)]->Create(QRect(0, 0, 1000, 800), window.get(), 900 + i))
            return nullptr;
    }
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get()) ? std::move(window) : nullptr;
}

// Writes `content` to `name` in `dir`; the file's path, or none when it cannot be written.
inline QString WriteTestFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}

// Types `text` at the editor's cursor in the format there, as the keyboard would, and leaves the cursor after it.
inline void TypeText(CDHwpCtrl& editor, const QString& text)
{
    QTextCursor cursor = editor.View()->textCursor();
    cursor.insertText(text);
    editor.View()->setTextCursor(cursor);
}

// Puts the cursor at `position` of the editor's document, or at its end.
inline void MoveCursor(CDHwpCtrl& editor, int position = -1)
{
    QTextCursor cursor(editor.Document());
    if (position < 0)
        cursor.movePosition(QTextCursor::End);
    else
        cursor.setPosition(position);
    editor.View()->setTextCursor(cursor);
}

inline QString CellText(const QTextTableCell& cell)
{
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

// Column widths as the layout takes them, to a thousandth: a file keeps them in whole HWPUNIT.
inline QStringList WidthsOf(const QList<QTextLength>& widths)
{
    QStringList list;
    for (const QTextLength& width : widths)
        list.append(QStringLiteral("%1:%2").arg(int(width.type())).arg(width.rawValue(), 0, 'f', 3));
    return list;
}

// Each formula of a document as "position script size colour", in document order.
inline QStringList FormulasOf(const QTextDocument& document)
{
    QStringList formulas;
    for (int position : FormulaObject::Positions(document)) {
        const QTextCharFormat format = FormulaObject::FormatAt(document, position);
        formulas.append(QStringLiteral("%1 %2 %3 %4")
                            .arg(position)
                            .arg(FormulaObject::Script(format))
                            .arg(FormulaObject::PointSize(format))
                            .arg(FormulaObject::Colour(format).name()));
    }
    return formulas;
}
