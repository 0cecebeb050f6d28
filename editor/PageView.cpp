#include "editor/PageView.h"

#include "document/FormulaObject.h"
#include "document/PageDecorations.h"
#include "document/PageLayout.h"
#include "editor/Clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

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
    PageLayout::Prepare(m_document, m_page);
    m_starts.clear();
    updateSize();
    update();
    if (zoomChanges)
        Q_EMIT zoomChanged(m_zoom);
}

const QList<int>& PageView::starts() const
{
    if (m_starts.isEmpty())
        m_starts = PageLayout::PageStarts(m_document, m_page);
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
        PageLayout::PaintColumns(&painter, m_document, m_page, starts().at(index), columnsOn(index), context, {});
        PageDecorations::PaintMargins(&painter, *m_document, m_page, index + 1);
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
    const int layoutPage = PageLayout::LayoutPageAt(y, body.height());
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

void PageView::insertDocument(QTextDocument& inserted)
{
    if (m_storePicture)
        Clipboard::StorePictures(inserted, m_storePicture);
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
    for (const auto& [text, name, alignment] : {std::tuple{"글자처럼", "pictureInLineAction", PictureAlignment::InLine},
                                                std::tuple{"왼쪽", "pictureLeftAction", PictureAlignment::Left},
                                                std::tuple{"가운데", "pictureCentreAction", PictureAlignment::Centre},
                                                std::tuple{"오른쪽", "pictureRightAction", PictureAlignment::Right}}) {
        QAction* action = menu.addAction(QString::fromUtf8(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this,
                [this, picture, alignment = alignment] { alignPicture(picture, alignment); });
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
    QApplication::clipboard()->setMimeData(Clipboard::MimeData(m_cursor));
}

void PageView::paste()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime)
        return;
    if (QTextDocument pasted; Clipboard::ReadNative(*mime, pasted)) {
        // Its pictures become pictures of this document, under names of its own.
        insertDocument(pasted);
        return;
    }
    if (mime->hasHtml()) {
        QTextDocument pasted;
        Clipboard::ReadHtml(mime->html(), m_storePicture, pasted);
        m_cursor.insertFragment(QTextDocumentFragment(&pasted));
    } else if (mime->hasImage() && m_insertPicture) {
        m_insertPicture(qvariant_cast<QImage>(mime->imageData()));
    } else if (mime->hasText()) {
        m_cursor.insertText(mime->text());
    }
}
