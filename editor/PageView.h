#pragma once

#include <functional>
#include <optional>

#include "document/PageGeometry.h"

#include <QAbstractTextDocumentLayout>
#include <QBasicTimer>
#include <QImage>
#include <QTextImageFormat>
#include <QTextCursor>
#include <QTextLayout>
#include <QWidget>

class QTextBlock;
class QMenu;
class QTextDocument;

// The editing surface: the document's pages as they will print (see PageLayout), columns side by side, at the
// zoom ratio, with a text cursor, selection, keyboard, mouse and input-method editing. The keys are in
// PageViewKeys.cpp, the pictures, formulas and table borders with their mouse in PageViewObjects.cpp.
class PageView : public QWidget
{
    Q_OBJECT

public:
    // The zoom ratios the view takes, in percent, and one step of the wheel or the zoom keys.
    static constexpr int kMinZoom = 25;
    static constexpr int kMaxZoom = 400;
    static constexpr int kZoomStep = 10;

    explicit PageView(QTextDocument* document, QWidget* parent = nullptr);

    // Lays the document out for this page and shows it at `zoomPercent`.
    void setPage(const PageGeometry& page, int zoomPercent);
    PageGeometry page() const { return m_page; }
    int zoom() const { return m_zoom; }
    // Within kMinZoom … kMaxZoom.
    void setZoom(int zoomPercent) { setPage(m_page, zoomPercent); }
    int physicalPageCount() const;

    QTextDocument* document() const { return m_document; }
    QTextCursor textCursor() const { return m_cursor; }
    void setTextCursor(const QTextCursor& cursor);
    // Ctrl+Enter: what follows the cursor starts a new page.
    void insertPageBreak();
    // Where the cursor is drawn, in the view's coordinates.
    QRectF cursorRect() const;

    // Pictures: a click selects one, its corner handles resize it keeping its proportions, and its context
    // menu places it in the line of text or on a line of its own, aligned.
    enum class PictureAlignment
    {
        InLine,
        Left,
        Centre,
        Right,
    };
    // The document position of the picture that the selection is exactly, or -1.
    int selectedPicture() const;
    // Where the picture at a document position lies, in the view's coordinates; empty when there is none.
    QRectF pictureRect(int position) const;
    // The grips at the corners of a picture's frame, in the order top left, top right, bottom left, bottom right.
    static QList<QRectF> pictureHandles(const QRectF& picture);
    // As one undo step each; the selection is then the picture.
    void resizePicture(int position, double widthPoints);
    void alignPicture(int position, PictureAlignment alignment);

    // Where the formula at a document position lies, from its ascent to its descent, in the view's
    // coordinates; empty when there is none. A double click on it asks for it to be edited.
    QRectF formulaRect(int position) const;

    // How pasted pictures enter the document: `store` adds a picture as a resource under a name of its own
    // and gives the name; `insert` puts a picture at the cursor.
    void setPictureHandlers(std::function<QString(const QImage&)> store, std::function<void(const QImage&)> insert)
    {
        m_storePicture = std::move(store);
        m_insertPicture = std::move(insert);
    }

    // Puts `inserted` in at the cursor, as one undo step; its pictures become this document's, under names of
    // its own.
    void insertDocument(QTextDocument& inserted);
    // What the page's context menu offers besides a picture's: `fill` adds the commands for the cursor's
    // place. Files dropped on the page go to `dropFile` with the cursor at the drop point; it says whether it
    // took the file.
    void setMenuAndDropHandlers(std::function<void(QMenu&)> fill, std::function<bool(const QString&)> dropFile)
    {
        m_fillMenu = std::move(fill);
        m_dropFile = std::move(dropFile);
    }
    // Whether a file of this name is one the page takes when it is dropped: a document or a picture.
    static bool IsDroppableFile(const QString& path);
    // Whether a file is a picture, by its name: an image reader takes XML for a drawing.
    static bool IsPictureFile(const QString& path);

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

Q_SIGNALS:
    void cursorChanged();
    void zoomChanged(int zoomPercent);
    void formulaActivated(int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab is text here, not a move to the next control.
    bool focusNextPrevChild(bool) override { return false; }
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    // Ctrl+wheel zooms; the wheel alone scrolls the page area around the view.
    void wheelEvent(QWheelEvent* event) override;

private:
    // Tab and Shift+Tab: the next or previous table cell (a new row after the last), else a tab character.
    void tabKey(bool backwards);
    double scale() const;
    int pageGap() const { return 16; }
    QPointF pageOrigin(int index) const;
    const QList<int>& starts() const;
    // How many columns physical page `index` shows.
    int columnsOn(int index) const;
    // A column border of a table: the table's first position, the column right of the border, and the
    // widths of the row's columns in points when the drag began.
    struct ColumnBorder
    {
        int tablePosition;
        int column;
        QList<double> widths;
    };
    // The column border of a table within a few pixels of `point`, if any.
    std::optional<ColumnBorder> columnBorderAt(const QPointF& point) const;
    // Ends a column border drag at `point`: the two columns beside the border share the move, as one undo step.
    void dropColumnBorder(const QPointF& point);
    // A point of the layout (x within its column, y down the whole text) in the view's coordinates.
    QPointF toView(double x, double y) const;
    QTextImageFormat pictureAt(int position) const;
    // Where the lines of a block are measured from, in layout coordinates.
    QPointF blockOrigin(const QTextBlock& block) const;
    // The line an inline object (a picture, a formula) at a document position stands on, its width there, and
    // the left end of its baseline in layout coordinates.
    struct ObjectPlace
    {
        QTextLine line;
        double width;
        QPointF baseline;
    };
    std::optional<ObjectPlace> objectPlace(int position) const;
    // A point of this widget in layout coordinates, held to the nearest column.
    QPointF toLayout(const QPointF& point) const;
    // Document position nearest to a point of this widget, or -1.
    int hitTest(const QPointF& point) const;
    void updateSize();
    void cursorMoved();
    bool handleShortcut(QKeyEvent* event);
    void copy();
    void paste();
    std::function<QString(const QImage&)> m_storePicture;
    std::function<void(const QImage&)> m_insertPicture;
    std::function<void(QMenu&)> m_fillMenu;
    std::function<bool(const QString&)> m_dropFile;

    QTextDocument* m_document;
    QTextCursor m_cursor;
    PageGeometry m_page;
    int m_zoom = 100;
    // Wheel turns smaller than a notch, as touchpads send them, add up to a step.
    int m_wheelTurn = 0;
    bool m_cursorVisible = true;
    // A picture resize in progress: the frame it started from (invalid when none runs), the corner taken,
    // where the pointer went down, and the frame it would get now.
    QRectF m_resizeFrom;
    QRectF m_resizeTo;
    int m_resizeCorner = 0;
    QPointF m_pressPoint;
    // A table column border being dragged, and where the pointer is now.
    std::optional<ColumnBorder> m_columnDrag;
    double m_dragX = 0;
    QBasicTimer m_blink;
    // pageStarts() of the current layout; empty when it has to be worked out again.
    mutable QList<int> m_starts;
};
