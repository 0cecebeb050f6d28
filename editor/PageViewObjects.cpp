// The objects on the page view: pictures with their frames and handles, formulas, and the column borders of
// tables, with the mouse that selects, resizes and drags them.
#include "editor/PageView.h"

#include "document/FormulaObject.h"
#include "document/LayoutUnits.h"
#include "document/TableEditing.h"
#include "formula/Formula.h"

#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>

QTextImageFormat PageView::pictureAt(int position) const
{
    return FormulaObject::FormatAt(*m_document, position).toImageFormat();
}

QRectF PageView::pictureRect(int position) const
{
    const QTextImageFormat picture = pictureAt(position);
    const std::optional<ObjectPlace> place = picture.isValid() ? objectPlace(position) : std::nullopt;
    if (!place)
        return {};
    const QTextLine& line = place->line;
    const double width = place->width;
    // The format's size is in its own units (pixels at 96 dpi); the layout gives the width in points.
    double height = 0;
    if (picture.width() > 0 && picture.height() > 0) {
        height = width * picture.height() / picture.width();
    } else {
        const QImage image = m_document->resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
        height = image.isNull() || image.width() == 0 ? line.ascent() : width * image.height() / image.width();
    }
    // A picture stands on the line's baseline.
    return QRectF(toView(place->baseline.x(), place->baseline.y() - height), QSizeF(width, height) * scale());
}

std::optional<PageView::ObjectPlace> PageView::objectPlace(int position) const
{
    const QTextBlock block = m_document->findBlock(position);
    const QTextLayout* layout = block.layout();
    if (!layout)
        return std::nullopt;
    const int inBlock = position - block.position();
    const QTextLine line = layout->lineForTextPosition(inBlock);
    if (!line.isValid())
        return std::nullopt;
    const double left = line.cursorToX(inBlock);
    const QPointF origin = blockOrigin(block);
    return ObjectPlace{line, line.cursorToX(inBlock + 1) - left,
                       QPointF(origin.x() + left, origin.y() + line.y() + line.ascent())};
}

int PageView::selectedPicture() const
{
    const int start = m_cursor.selectionStart();
    return m_cursor.selectionEnd() - start == 1 && pictureAt(start).isValid() ? start : -1;
}

QList<QRectF> PageView::pictureHandles(const QRectF& picture)
{
    QList<QRectF> handles;
    for (const QPointF& corner : {picture.topLeft(), picture.topRight(), picture.bottomLeft(), picture.bottomRight()})
        handles.append(QRectF(corner - QPointF(4, 4), QSizeF(8, 8)));
    return handles;
}

void PageView::resizePicture(int position, double widthPoints)
{
    QTextImageFormat picture = pictureAt(position);
    const QRectF now = pictureRect(position);
    if (!picture.isValid() || now.width() <= 0)
        return;
    const double aspect = now.height() / now.width();
    const double width = std::clamp(widthPoints, 8.0, m_page.columnWidth());
    // In the format's own units: as many of them per point as the picture has now.
    const QImage image = m_document->resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
    const double unitsPerPoint = (picture.width() > 0 ? picture.width() : image.width()) / (now.width() / scale());
    picture.setWidth(width * unitsPerPoint);
    picture.setHeight(width * aspect * unitsPerPoint);
    QTextCursor character(m_document);
    character.setPosition(position);
    character.setPosition(position + 1, QTextCursor::KeepAnchor);
    character.setCharFormat(picture);
    update();
}

void PageView::alignPicture(int position, PictureAlignment alignment)
{
    if (!pictureAt(position).isValid())
        return;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(position);
    const QTextBlock block = cursor.block();
    const bool alone = block.length() == 2;
    if (alignment == PictureAlignment::InLine) {
        // Back into the text of the paragraph before, as a character among the others.
        if (alone && block.previous().isValid() && !QTextCursor(block).currentTable()) {
            cursor.movePosition(QTextCursor::StartOfBlock);
            cursor.deletePreviousChar();
        }
    } else {
        // On a line of its own, which takes the alignment.
        if (position > block.position()) {
            cursor.insertBlock();
            ++position;
        }
        cursor.setPosition(position + 1);
        if (!cursor.atBlockEnd())
            cursor.insertBlock();
        cursor.setPosition(position);
        QTextBlockFormat format = cursor.blockFormat();
        format.setAlignment(alignment == PictureAlignment::Left     ? Qt::AlignLeft
                            : alignment == PictureAlignment::Centre ? Qt::AlignHCenter
                                                                    : Qt::AlignRight);
        format.setTextIndent(0);
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
    m_cursor.setPosition(cursor.position());
    m_cursor.setPosition(cursor.position() + 1, QTextCursor::KeepAnchor);
    cursorMoved();
}

QRectF PageView::formulaRect(int position) const
{
    const QTextCharFormat format = FormulaObject::FormatAt(*m_document, position);
    const std::optional<ObjectPlace> place = FormulaObject::IsFormula(format) ? objectPlace(position) : std::nullopt;
    if (!place)
        return {};
    // A formula stands on the line's baseline; the layout is in points, as the formula's extent is.
    const auto formula = formula::Lay(FormulaObject::Script(format), FormulaObject::PointSize(format));
    return QRectF(toView(place->baseline.x(), place->baseline.y() - formula->ascent),
                  QSizeF(place->width, formula->ascent + formula->descent) * scale());
}

std::optional<PageView::ColumnBorder> PageView::columnBorderAt(const QPointF& point) const
{
    // The table and row under the point, from the layout's rectangles: the layout's own hit test finds no
    // cell near a border.
    const QPointF at = toLayout(point);
    QAbstractTextDocumentLayout* layout = m_document->documentLayout();
    QTextTable* table = nullptr;
    for (QTextBlock block = m_document->begin(); block.isValid() && !table; block = block.next()) {
        QTextTable* candidate = QTextCursor(block).currentTable();
        if (candidate && layout->frameBoundingRect(candidate).contains(at))
            table = candidate;
    }
    if (!table || table->columns() < 2)
        return std::nullopt;
    int row = -1;
    for (int r = 0; r < table->rows() && row < 0; ++r) {
        const QTextTableCell cell = table->cellAt(r, 0);
        const QRectF last = layout->blockBoundingRect(m_document->findBlock(cell.lastPosition()));
        if (at.y() <= last.bottom() + LayoutUnits::ToPoints(table->format().cellPadding() + table->format().border()))
            row = r;
    }
    if (row < 0)
        return std::nullopt;
    const int position = table->cellAt(row, 0).firstPosition();
    // The left edge of every column's text in this row; rows with merged cells have no column borders.
    QList<double> lefts;
    QList<double> widths;
    for (int column = 0; column < table->columns(); ++column) {
        const QTextTableCell cell = table->cellAt(row, column);
        if (cell.columnSpan() != 1 || cell.column() != column)
            return std::nullopt;
        const QRectF text = layout->blockBoundingRect(m_document->findBlock(cell.firstPosition()));
        lefts.append(text.left());
        widths.append(text.width());
    }
    const QTextTableFormat format = table->format();
    // A column is its text with the padding either side and one border.
    const double padding = LayoutUnits::ToPoints(format.cellPadding());
    const double rule = LayoutUnits::ToPoints(format.border());
    for (double& width : widths)
        width += 2 * padding + rule;
    const double inset = padding + rule / 2;
    const double y = layout->blockBoundingRect(m_document->findBlock(position)).top();
    for (int column = 1; column < table->columns(); ++column) {
        const double x = lefts[column] - inset;
        if (std::abs(toView(x, y).x() - point.x()) <= 4) {
            return ColumnBorder{table->firstPosition(), column, widths};
        }
    }
    return std::nullopt;
}

void PageView::dropColumnBorder(const QPointF& point)
{
    const ColumnBorder border = *m_columnDrag;
    m_columnDrag.reset();
    QList<double> widths = border.widths;
    // The columns either side share the move; neither gets narrower than a letter.
    const double limit = 8;
    const double dx = std::clamp((point.x() - m_pressPoint.x()) / scale(), limit - widths[border.column - 1],
                                 widths[border.column] - limit);
    widths[border.column - 1] += dx;
    widths[border.column] -= dx;
    double total = 0;
    for (double width : widths)
        total += width;
    QList<QTextLength> constraints;
    for (double width : widths)
        constraints.append(QTextLength(QTextLength::PercentageLength, 100.0 * width / total));
    QTextCursor cursor(m_document);
    cursor.setPosition(border.tablePosition);
    TableEditing::SetColumnWidths(cursor, constraints);
    update();
}

void PageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // A corner handle of the selected picture starts a resize.
    if (const int picture = selectedPicture(); picture >= 0) {
        const QRectF frame = pictureRect(picture);
        const QList<QRectF> handles = pictureHandles(frame);
        for (qsizetype corner = 0; corner < handles.size(); ++corner) {
            if (handles[corner].adjusted(-2, -2, 2, 2).contains(event->position())) {
                m_resizeFrom = frame;
                m_resizeTo = frame;
                m_resizeCorner = int(corner);
                m_pressPoint = event->position();
                return;
            }
        }
    }
    if (const std::optional<ColumnBorder> border = columnBorderAt(event->position())) {
        m_columnDrag = border;
        m_pressPoint = event->position();
        m_dragX = event->position().x();
        return;
    }
    const int position = hitTest(event->position());
    if (position < 0)
        return;
    // A click on a picture selects it, ready for its handles.
    for (int at : {position, position - 1}) {
        if (!(event->modifiers() & Qt::ShiftModifier) && pictureRect(at).contains(event->position())) {
            m_cursor.setPosition(at);
            m_cursor.setPosition(at + 1, QTextCursor::KeepAnchor);
            cursorMoved();
            return;
        }
    }
    m_cursor.setPosition(position,
                         event->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    cursorMoved();
}

void PageView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        setCursor(columnBorderAt(event->position()) ? Qt::SplitHCursor : Qt::IBeamCursor);
        return;
    }
    if (m_columnDrag) {
        m_dragX = event->position().x();
        update();
        return;
    }
    if (m_resizeFrom.isValid()) {
        // The width follows the pointer, the height the picture's proportions; the opposite corner stays.
        const bool leftSide = m_resizeCorner == 0 || m_resizeCorner == 2;
        const bool topSide = m_resizeCorner < 2;
        const double dx = event->position().x() - m_pressPoint.x();
        const double width = std::max(8.0, m_resizeFrom.width() + (leftSide ? -dx : dx));
        const QSizeF size(width, width * m_resizeFrom.height() / m_resizeFrom.width());
        QRectF to(QPointF(), size);
        to.moveLeft(leftSide ? m_resizeFrom.right() - size.width() : m_resizeFrom.left());
        to.moveTop(topSide ? m_resizeFrom.bottom() - size.height() : m_resizeFrom.top());
        m_resizeTo = to;
        update();
        return;
    }
    const int position = hitTest(event->position());
    if (position >= 0) {
        m_cursor.setPosition(position, QTextCursor::KeepAnchor);
        cursorMoved();
    }
}

void PageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_columnDrag) {
        dropColumnBorder(event->position());
        return;
    }
    if (event->button() != Qt::LeftButton || !m_resizeFrom.isValid())
        return QWidget::mouseReleaseEvent(event);
    const QRectF to = m_resizeTo;
    m_resizeFrom = QRectF();
    if (const int picture = selectedPicture(); picture >= 0)
        resizePicture(picture, to.width() / scale());
    update();
}
