#include "editor/PageView.h"

#include "editor/LayoutUnits.h"

#include "editor/DocumentFile.h"
#include "editor/FormulaObject.h"
#include "editor/ListNumbering.h"
#include "editor/TableEditing.h"
#include "formula/Formula.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QBuffer>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextList>
#include <QTextTable>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// The clipboard format of a selection copied in one of our editors.
constexpr char kNativeMimeType[] = "application/x-vellorin-document";

// Stores every picture of `document` through `store` and points its images at the names that gives back.
void renamePictures(QTextDocument& document, const std::function<QString(const QImage&)>& store)
{
    // Found first and changed after: a new format can merge fragments under a running iterator.
    QList<QPair<int, QTextImageFormat>> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextImageFormat format = it.fragment().charFormat().toImageFormat();
            // A picture is one character; a fragment of several is the same picture several times.
            for (int i = 0; format.isValid() && i < it.fragment().length(); ++i)
                pictures.append({it.fragment().position() + i, format});
        }
    }
    QHash<QString, QString> renamed;
    for (auto& [position, format] : pictures) {
        const QString name = format.name();
        if (!renamed.contains(name)) {
            const QImage image = document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
            renamed.insert(name, image.isNull() ? name : store(image));
        }
        format.setName(renamed.value(name));
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}

// The layout page that text at `y` lies on. The layout counts in 1/64 point: a line at the top of a page can
// lie a little above where the page's exact height puts that page's top.
int layoutPageAt(double y, double pageHeight)
{
    return int(y / pageHeight + 0.01);
}

QImage makeLayoutDevice()
{
    QImage device(1, 1, QImage::Format_RGB32);
    const int dotsPerMeter = qRound(72 / 0.0254);
    device.setDotsPerMeterX(dotsPerMeter);
    device.setDotsPerMeterY(dotsPerMeter);
    return device;
}

} // namespace

QPaintDevice* PageView::layoutDevice()
{
    static QImage device = makeLayoutDevice();
    return &device;
}

PageView::PageView(QTextDocument* document, QWidget* parent) : QWidget(parent), m_document(document), m_cursor(document)
{
    setObjectName(QStringLiteral("pageView"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::IBeamCursor);
    // For the column borders of tables, which the pointer shows as it passes over them.
    setMouseTracking(true);
    // Documents and pictures dropped from a file manager.
    setAcceptDrops(true);
    connect(m_document->documentLayout(), &QAbstractTextDocumentLayout::update, this, [this] { update(); });
    // The page count is not always announced when text flows onto a new page; the size always is.
    connect(m_document->documentLayout(), &QAbstractTextDocumentLayout::pageCountChanged, this, [this] {
        m_starts.clear();
        updateSize();
    });
    connect(m_document->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this, [this] {
        m_starts.clear();
        updateSize();
    });
    // An edit can move a page break between columns without changing the number of layout pages.
    connect(m_document, &QTextDocument::contentsChanged, this, [this] {
        m_starts.clear();
        updateSize();
        update();
    });
    setPage(m_page, m_zoom);
}

void PageView::setPage(const PageGeometry& page, int zoomPercent)
{
    m_page = page;
    const int zoom = std::clamp(zoomPercent, kMinZoom, kMaxZoom);
    const bool zoomChanges = zoom != m_zoom;
    m_zoom = zoom;
    prepareLayout(m_document, m_page);
    m_starts.clear();
    updateSize();
    update();
    if (zoomChanges)
        Q_EMIT zoomChanged(m_zoom);
}

void PageView::prepareLayout(QTextDocument* document, const PageGeometry& page)
{
    document->documentLayout()->setPaintDevice(layoutDevice());
    FormulaObject::RegisterHandler(document);
    document->setDocumentMargin(0);
    document->setPageSize(QSizeF(page.columnWidth(), page.bodyRect().height()));
}

QList<int> PageView::pageStarts(QTextDocument* document, const PageGeometry& page)
{
    const double height = page.bodyRect().height();
    QSet<int> broken;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) {
            const double top = document->documentLayout()->blockBoundingRect(block).top();
            broken.insert(layoutPageAt(top, height));
        }
    }
    QList<int> starts = {0};
    const int layoutPages = std::max(1, document->pageCount());
    for (int layoutPage = 1; layoutPage < layoutPages; ++layoutPage) {
        if (broken.contains(layoutPage) || layoutPage - starts.last() >= page.columnCount)
            starts.append(layoutPage);
    }
    return starts;
}

const QList<int>& PageView::starts() const
{
    if (m_starts.isEmpty())
        m_starts = pageStarts(m_document, m_page);
    return m_starts;
}

int PageView::columnsOn(int index) const
{
    const int end = index + 1 < starts().size() ? starts().at(index + 1) : std::max(1, m_document->pageCount());
    return std::clamp(end - starts().at(index), 1, m_page.columnCount);
}

int PageView::physicalPageCount() const
{
    return int(starts().size());
}

double PageView::scale() const
{
    return m_zoom / 100.0 * logicalDpiX() / 72.0;
}

QPointF PageView::pageOrigin(int index) const
{
    const double height = m_page.paperSize().height() * scale();
    return QPointF(pageGap(), pageGap() + index * (height + pageGap()));
}

void PageView::updateSize()
{
    const QSizeF paper = m_page.paperSize() * scale();
    const int pages = physicalPageCount();
    setFixedSize(int(std::ceil(paper.width())) + 2 * pageGap(),
                 int(std::ceil(pages * (paper.height() + pageGap()))) + pageGap());
}

void PageView::paintPage(QPainter* painter, QTextDocument* document, const PageGeometry& page, int index,
                         const QAbstractTextDocumentLayout::PaintContext& context, const QRectF& area)
{
    const QList<int> starts = pageStarts(document, page);
    if (index < 0 || index >= starts.size())
        return;
    const int end = index + 1 < starts.size() ? starts.at(index + 1) : std::max(1, document->pageCount());
    paintColumns(painter, document, page, starts.at(index), std::min(end - starts.at(index), page.columnCount), context,
                 area);
}

void PageView::paintColumns(QPainter* painter, QTextDocument* document, const PageGeometry& page, int firstLayoutPage,
                            int columns, const QAbstractTextDocumentLayout::PaintContext& context, const QRectF& area)
{
    const QRectF body = page.bodyRect();
    const double layoutPageHeight = body.height();
    for (int column = 0; column < columns; ++column) {
        const int layoutPage = firstLayoutPage + column;
        const double top = layoutPage * layoutPageHeight;
        QRectF onPage(page.columnLeft(column), body.top(), page.columnWidth(), layoutPageHeight);
        if (area.isValid())
            onPage = onPage.intersected(area);
        if (onPage.isEmpty())
            continue;
        painter->save();
        painter->translate(page.columnLeft(column), body.top() - top);
        // The same rectangle in the layout's coordinates: blocks outside it are not even looked at.
        const QRectF clip = onPage.translated(-page.columnLeft(column), top - body.top());
        painter->setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext columnContext = context;
        columnContext.clip = clip;
        document->documentLayout()->draw(painter, columnContext);
        ListNumbering::PaintMarkers(painter, document, clip);
        painter->restore();
    }
}

void PageView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(0x80, 0x80, 0x80));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QAbstractTextDocumentLayout::PaintContext context;
    if (hasFocus() && m_cursorVisible)
        context.cursorPosition = m_cursor.position();
    if (m_cursor.hasSelection()) {
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = m_cursor;
        selection.format.setBackground(palette().highlight());
        selection.format.setForeground(palette().highlightedText());
        context.selections.append(selection);
    }
    const QSizeF paper = m_page.paperSize() * scale();
    for (int index = 0; index < physicalPageCount(); ++index) {
        const QRectF target(pageOrigin(index), paper);
        if (!target.intersects(event->rect()))
            continue;
        painter.fillRect(target, Qt::white);
        painter.save();
        painter.translate(target.topLeft());
        painter.scale(scale(), scale());
        paintColumns(&painter, m_document, m_page, starts().at(index), columnsOn(index), context, {});
        painter.restore();
    }
    // A column border being dragged shows where it would go.
    if (m_columnDrag) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DashLine));
        painter.drawLine(QPointF(m_dragX, 0), QPointF(m_dragX, height()));
    }
    // The selected picture gets a frame and a handle at each corner; a drag shows the new size.
    if (const int picture = selectedPicture(); picture >= 0) {
        const QRectF frame = m_resizeFrom.isValid() ? m_resizeTo : pictureRect(picture);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(palette().highlight().color(), 1, m_resizeFrom.isValid() ? Qt::DashLine : Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame);
        painter.setPen(palette().highlight().color());
        painter.setBrush(Qt::white);
        for (const QRectF& handle : pictureHandles(frame))
            painter.drawRect(handle);
    }
}

int PageView::hitTest(const QPointF& point) const
{
    return m_document->documentLayout()->hitTest(toLayout(point), Qt::FuzzyHit);
}

QPointF PageView::toLayout(const QPointF& point) const
{
    const double paperHeight = m_page.paperSize().height() * scale();
    const int index = std::clamp(int((point.y() - pageGap()) / (paperHeight + pageGap())), 0, physicalPageCount() - 1);
    const QPointF inPage = (point - pageOrigin(index)) / scale();
    const QRectF body = m_page.bodyRect();
    int column = 0;
    for (int c = columnsOn(index) - 1; c > 0; --c) {
        if (inPage.x() >= m_page.columnLeft(c) - m_page.columnGap / PageGeometry::kUnitsPerPoint / 2) {
            column = c;
            break;
        }
    }
    const int layoutPage = starts().at(index) + column;
    const double y = std::clamp(inPage.y() - body.top(), 0.0, body.height() - 0.01) + layoutPage * body.height();
    const double x = std::clamp(inPage.x() - m_page.columnLeft(column), 0.0, m_page.columnWidth());
    return QPointF(x, y);
}

QPointF PageView::toView(double x, double y) const
{
    const QRectF body = m_page.bodyRect();
    const int layoutPage = layoutPageAt(y, body.height());
    const QList<int>& firsts = starts();
    const int index = std::max(0, int(std::upper_bound(firsts.begin(), firsts.end(), layoutPage) - firsts.begin()) - 1);
    const int column = std::min(layoutPage - firsts.at(index), m_page.columnCount - 1);
    const QPointF inPage(m_page.columnLeft(column) + x, body.top() + y - layoutPage * body.height());
    return pageOrigin(index) + inPage * scale();
}

QPointF PageView::blockOrigin(const QTextBlock& block) const
{
    // The layout's position in the whole text, table cells included: the bounding rectangle's corner, which Qt
    // puts there whatever the lines' own offsets (an indent, a first line moved to the next page).
    return m_document->documentLayout()->blockBoundingRect(block).topLeft();
}

QRectF PageView::cursorRect() const
{
    const QTextBlock block = m_cursor.block();
    const QTextLayout* layout = block.layout();
    if (!layout || layout->lineCount() == 0)
        return QRectF(pageOrigin(0), QSizeF(1, 12));
    const int inBlock = m_cursor.position() - block.position();
    QTextLine line = layout->lineForTextPosition(inBlock);
    if (!line.isValid())
        line = layout->lineAt(layout->lineCount() - 1);
    const QPointF origin = blockOrigin(block);
    const QPointF at = toView(origin.x() + line.cursorToX(inBlock), origin.y() + line.y());
    return QRectF(at, QSizeF(1, line.height() * scale()));
}

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
    return ObjectPlace {line, line.cursorToX(inBlock + 1) - left,
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

void PageView::setTextCursor(const QTextCursor& cursor)
{
    m_cursor = cursor;
    cursorMoved();
}

void PageView::cursorMoved()
{
    // Right after a formula, what is typed is text in the formula's surroundings, not more of the formula.
    if (!m_cursor.hasSelection() && FormulaObject::IsFormula(m_cursor.charFormat()))
        m_cursor.setCharFormat(FormulaObject::TextFormat(m_cursor.charFormat()));
    m_cursorVisible = true;
    if (hasFocus())
        m_blink.start(QApplication::cursorFlashTime() > 0 ? QApplication::cursorFlashTime() / 2 : 500, this);
    update();
    updateMicroFocus();
    Q_EMIT cursorChanged();
}

void PageView::insertPageBreak()
{
    m_cursor.beginEditBlock();
    m_cursor.removeSelectedText();
    QTextBlockFormat format = m_cursor.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    // At the start of a paragraph the paragraph itself moves on; elsewhere it is split where the cursor is.
    if (m_cursor.atBlockStart() && m_cursor.block() != m_document->begin())
        m_cursor.setBlockFormat(format);
    else
        m_cursor.insertBlock(format);
    m_cursor.endEditBlock();
    cursorMoved();
}

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
    m_cursor.setPosition(position, event->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor
                                                                          : QTextCursor::MoveAnchor);
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

void PageView::insertDocument(QTextDocument& inserted)
{
    if (m_storePicture)
        renamePictures(inserted, m_storePicture);
    m_cursor.insertFragment(QTextDocumentFragment(&inserted));
    cursorMoved();
}

bool PageView::IsPictureFile(const QString& path)
{
    static const QStringList suffixes = {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                         QStringLiteral("bmp"), QStringLiteral("gif")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

bool PageView::IsDroppableFile(const QString& path)
{
    static const QStringList documents = {QStringLiteral("hwp"), QStringLiteral("hml"), QStringLiteral("hwpml")};
    return IsPictureFile(path) || documents.contains(QFileInfo(path).suffix().toLower());
}

namespace {

// The local files of a drag that the page takes, or none when it holds anything else.
QStringList droppableFiles(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile() || !PageView::IsDroppableFile(url.toLocalFile()))
            return {};
        files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

void PageView::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_dropFile && !droppableFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void PageView::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_dropFile && !droppableFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PageView::dropEvent(QDropEvent* event)
{
    const QStringList files = droppableFiles(event->mimeData());
    if (!m_dropFile || files.isEmpty())
        return event->ignore();
    event->acceptProposedAction();
    // At the drop point, one file after the other.
    if (const int position = hitTest(event->position()); position >= 0) {
        m_cursor.setPosition(position);
        cursorMoved();
    }
    setFocus(Qt::OtherFocusReason);
    for (const QString& file : files) {
        if (!m_dropFile(file))
            break;
    }
}

void PageView::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu opens at the cursor, and is about what the cursor is on.
    const bool byKeyboard = event->reason() == QContextMenuEvent::Keyboard;
    const QPoint point = byKeyboard ? cursorRect().bottomLeft().toPoint() : event->pos();
    int picture = selectedPicture();
    if (picture < 0 || !pictureRect(picture).contains(point)) {
        const int position = byKeyboard ? m_cursor.position() : hitTest(point);
        picture = -1;
        for (int at : {position, position - 1}) {
            if (!byKeyboard && position >= 0 && pictureRect(at).contains(point))
                picture = at;
        }
        if (picture < 0) {
            // A click outside the selection moves the cursor there, as in every editor.
            if (!byKeyboard && position >= 0 &&
                (position < m_cursor.selectionStart() || position > m_cursor.selectionEnd())) {
                m_cursor.setPosition(position);
                cursorMoved();
            }
            if (!m_fillMenu)
                return QWidget::contextMenuEvent(event);
            QMenu menu(this);
            menu.setObjectName(QStringLiteral("pageMenu"));
            m_fillMenu(menu);
            menu.exec(mapToGlobal(point));
            return;
        }
        m_cursor.setPosition(picture);
        m_cursor.setPosition(picture + 1, QTextCursor::KeepAnchor);
        cursorMoved();
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("pictureMenu"));
    for (const auto& [text, name, alignment] :
         {std::tuple{"글자처럼", "pictureInLineAction", PictureAlignment::InLine},
          std::tuple{"왼쪽", "pictureLeftAction", PictureAlignment::Left},
          std::tuple{"가운데", "pictureCentreAction", PictureAlignment::Centre},
          std::tuple{"오른쪽", "pictureRightAction", PictureAlignment::Right}}) {
        QAction* action = menu.addAction(QString::fromUtf8(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, picture, alignment = alignment] {
            alignPicture(picture, alignment);
        });
    }
    menu.exec(event->globalPos());
}

void PageView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int position = hitTest(event->position());
    for (int at : {position, position - 1}) {
        if (position >= 0 && formulaRect(at).adjusted(-2, -2, 2, 2).contains(event->position())) {
            m_cursor.setPosition(at + 1);
            cursorMoved();
            Q_EMIT formulaActivated(at);
            return;
        }
    }
    if (position >= 0) {
        m_cursor.setPosition(position);
        m_cursor.select(QTextCursor::WordUnderCursor);
        cursorMoved();
    }
}

void PageView::focusInEvent(QFocusEvent* event)
{
    cursorMoved();
    QWidget::focusInEvent(event);
}

void PageView::focusOutEvent(QFocusEvent* event)
{
    m_blink.stop();
    update();
    QWidget::focusOutEvent(event);
}

void PageView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_blink.timerId())
        return QWidget::timerEvent(event);
    m_cursorVisible = !m_cursorVisible;
    update(cursorRect().toAlignedRect().adjusted(-2, -2, 2, 2));
}

void PageView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    constexpr int kNotch = 120;
    m_wheelTurn += event->angleDelta().y();
    const int steps = m_wheelTurn / kNotch;
    m_wheelTurn -= steps * kNotch;
    if (steps != 0)
        setZoom(m_zoom + steps * kZoomStep);
    event->accept();
}

void PageView::copy()
{
    if (!m_cursor.hasSelection())
        return;
    const QTextDocumentFragment fragment = m_cursor.selection();
    // The HTML names pictures by this document's resources, which another editor does not have: the
    // pictures travel inside it as data.
    QString html = fragment.toHtml();
    QTextDocument copied;
    QTextCursor(&copied).insertFragment(fragment);
    QList<QImage> pictures;
    QSet<QString> done;
    for (const QString& name : DocumentFile::PictureNames(copied)) {
        const QImage image = m_document->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
        if (image.isNull())
            continue;
        pictures.append(image);
        if (done.contains(name))
            continue;
        done.insert(name);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        html.replace(QStringLiteral("src=\"%1\"").arg(name),
                     QStringLiteral("src=\"data:image/png;base64,%1\"").arg(QString::fromLatin1(png.toBase64())));
    }
    auto* mime = new QMimeData;
    // Between editors of this program the selection goes whole, as a document of our own format: HTML loses
    // what Qt cannot express in it (numbering styles it does not draw, cell border widths).
    for (const QString& name : done)
        copied.addResource(QTextDocument::ImageResource, QUrl(name),
                           m_document->resource(QTextDocument::ImageResource, QUrl(name)));
    mime->setData(QString::fromLatin1(kNativeMimeType), DocumentFile::NativeBytes(copied, PageGeometry()));
    mime->setHtml(html);
    mime->setText(fragment.toPlainText());
    // A formula alone also goes as its script, for other programs and for the script of another formula.
    if (const QList<int> formulas = FormulaObject::Positions(copied);
        formulas.size() == 1 && fragment.toPlainText().trimmed() == QString(QChar::ObjectReplacementCharacter))
        mime->setText(FormulaObject::Script(FormulaObject::FormatAt(copied, formulas.first())));
    // A picture alone also goes as an image, for other programs.
    if (pictures.size() == 1 && fragment.toPlainText().trimmed() == QString(QChar::ObjectReplacementCharacter))
        mime->setImageData(pictures.first());
    QApplication::clipboard()->setMimeData(mime);
}

void PageView::paste()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime)
        return;
    if (const QByteArray native = mime->data(QString::fromLatin1(kNativeMimeType)); !native.isEmpty()) {
        QTextDocument pasted;
        PageGeometry page;
        QBuffer buffer;
        buffer.setData(native);
        buffer.open(QIODevice::ReadOnly);
        if (DocumentFile::ReadNative(pasted, page, buffer)) {
            // Its pictures become pictures of this document, under names of its own.
            insertDocument(pasted);
            return;
        }
    }
    if (mime->hasHtml()) {
        QString html = mime->html();
        // Pictures that came as data become pictures of this document, under names of its own.
        static const QRegularExpression dataImage(QStringLiteral("src=\"data:image/[a-z]+;base64,([A-Za-z0-9+/=]+)\""));
        QString rewritten;
        qsizetype last = 0;
        for (auto it = dataImage.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const QImage image = QImage::fromData(QByteArray::fromBase64(match.captured(1).toLatin1()));
            rewritten += html.mid(last, match.capturedStart() - last);
            last = match.capturedEnd();
            if (image.isNull() || !m_storePicture)
                continue;
            rewritten += QStringLiteral("src=\"%1\"").arg(m_storePicture(image));
        }
        rewritten += html.mid(last);
        // Tables from web pages and other programs come with their grey double borders and spacing: they
        // take this editor's grid, as a table made here has.
        QTextDocument pasted;
        pasted.setHtml(rewritten);
        QList<QTextTable*> tables;
        for (QTextBlock block = pasted.begin(); block.isValid(); block = block.next()) {
            if (QTextTable* table = QTextCursor(block).currentTable(); table && !tables.contains(table))
                tables.append(table);
        }
        for (QTextTable* table : tables) {
            QTextTableFormat format = TableEditing::GridFormat();
            format.setColumnWidthConstraints(table->format().columnWidthConstraints());
            format.setWidth(table->format().width());
            format.setAlignment(table->format().alignment());
            table->setFormat(format);
            TableEditing::GridInEveryCell(table);
        }
        m_cursor.insertFragment(QTextDocumentFragment(&pasted));
    } else if (mime->hasImage() && m_insertPicture) {
        m_insertPicture(qvariant_cast<QImage>(mime->imageData()));
    } else if (mime->hasText()) {
        m_cursor.insertText(mime->text());
    }
}
