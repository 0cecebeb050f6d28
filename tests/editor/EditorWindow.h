#pragma once

#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"
#include "editor/PageView.h"
#include "tests/support/TestFiles.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextTable>
#include <QWidget>

#include <functional>
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

// What every editor test stands on: the three editors in their shown window, prepared again and the window
// active before each test (a dialog of an earlier test may have taken the activation, and with it the
// editors' keys), and a folder for the files a test writes.
class EditorTest : public QObject
{
    Q_OBJECT

protected:
    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_window;
    EditorSet m_editors{};

    CDHwpCtrl& question() { return *m_editors[0]; }
    QString writeFile(const QString& name, const QByteArray& content)
    {
        return WriteTestFile(m_dir.filePath(name), content);
    }
    void showWindow()
    {
        m_window = ShowEditorWindow(m_editors);
        QVERIFY(m_window);
    }
    void activate()
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

private Q_SLOTS:
    void initTestCase() { showWindow(); }
    void init()
    {
        PrepareEditors(m_editors);
        activate();
    }
};

// Page `page` of the editor drawn at `dpi` as `name` in `dir`, in RGB32; none when it cannot be drawn.
inline QImage RenderedPage(CDHwpCtrl& editor, const QTemporaryDir& dir, const QString& name, int dpi, int page = 0)
{
    const QString base = dir.filePath(name);
    if (!editor.RenderPageImage(base, page, dpi, 24, QStringLiteral("BMP")))
        return {};
    return QImage(base + QStringLiteral(".BMP")).convertToFormat(QImage::Format_RGB32);
}

// The bounds of the pixels of `image` within `area` (all of it when none) whose grey is below `below`: by default
// whatever is not white.
inline QRect InkIn(const QImage& image, QRect area = {}, int below = 255)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    area = area.isNull() ? rgb.rect() : area.intersected(rgb.rect());
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(row[x]) < below)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

// The runs of dark pixels along a row (or a column) of `image` from `from` to `to` (exclusive): where each line
// it crosses lies.
inline QList<std::pair<int, int>> DarkRuns(const QImage& image, bool alongRow, int at, int from, int to)
{
    QList<std::pair<int, int>> runs;
    int start = -1;
    for (int i = from; i <= to; ++i) {
        const bool dark = i < to && qGray(alongRow ? image.pixel(i, at) : image.pixel(at, i)) < 128;
        if (dark && start < 0)
            start = i;
        if (!dark && start >= 0) {
            runs.append({start, i - 1});
            start = -1;
        }
    }
    return runs;
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

// A file in the editor's own format as an earlier version of the program wrote it: the signature, `version` and
// `page`, then what `rest` writes.
inline QByteArray OwnFormatFile(quint32 version, const PageGeometry& page,
                                const std::function<void(QDataStream&)>& rest)
{
    QByteArray bytes(DocumentFile::kSignature, DocumentFile::kSignatureSize);
    QDataStream out(&bytes, QIODevice::Append);
    out.setVersion(QDataStream::Qt_6_4);
    out << version;
    for (int value :
         {page.paperWidth, page.paperHeight, page.topMargin, page.bottomMargin, page.leftMargin, page.rightMargin,
          page.headerLength, page.footerLength, page.gutter, page.columnCount, page.columnGap})
        out << qint32(value);
    rest(out);
    return bytes;
}
