#include "document/PageLayout.h"

#include "document/CellDiagonals.h"
#include "document/FormulaObject.h"
#include "document/ListNumbering.h"
#include "document/PageDecorations.h"
#include "document/TextGlyphs.h"

#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace {

QImage makeLayoutDevice()
{
    QImage device(1, 1, QImage::Format_RGB32);
    const int dotsPerMeter = qRound(72 / 0.0254);
    device.setDotsPerMeterX(dotsPerMeter);
    device.setDotsPerMeterY(dotsPerMeter);
    return device;
}

} // namespace

QPaintDevice* PageLayout::LayoutDevice()
{
    static QImage device = makeLayoutDevice();
    return &device;
}

void PageLayout::Prepare(QTextDocument* document, const PageGeometry& page)
{
    document->documentLayout()->setPaintDevice(LayoutDevice());
    FormulaObject::RegisterHandler(document);
    document->setDocumentMargin(0);
    document->setPageSize(QSizeF(page.columnWidth(), page.bodyRect().height()));
}

int PageLayout::LayoutPageAt(double y, double pageHeight)
{
    return int(y / pageHeight + 0.01);
}

QList<int> PageLayout::PageStarts(QTextDocument* document, const PageGeometry& page)
{
    const double height = page.bodyRect().height();
    QSet<int> broken;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) {
            const double top = document->documentLayout()->blockBoundingRect(block).top();
            broken.insert(LayoutPageAt(top, height));
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

void PageLayout::PaintPage(QPainter* painter, QTextDocument* document, const PageGeometry& page, int index,
                           const QAbstractTextDocumentLayout::PaintContext& context, const QRectF& area)
{
    const QList<int> starts = PageStarts(document, page);
    if (index < 0 || index >= starts.size())
        return;
    const int end = index + 1 < starts.size() ? starts.at(index + 1) : std::max(1, document->pageCount());
    PaintColumns(painter, document, page, starts.at(index), std::min(end - starts.at(index), page.columnCount), context,
                 area);
    PageDecorations::PaintMargins(painter, *document, page, index + 1);
}

void PageLayout::PaintColumns(QPainter* painter, QTextDocument* document, const PageGeometry& page, int firstLayoutPage,
                              int columns, const QAbstractTextDocumentLayout::PaintContext& context, const QRectF& area)
{
    const QRectF body = page.bodyRect();
    const double layoutPageHeight = body.height();
    for (int column = 0; column < columns; ++column) {
        const int layoutPage = firstLayoutPage + column;
        const double top = layoutPage * layoutPageHeight;
        // The column's height, and the paper's width: a picture or a table wider than its column runs into the
        // gap and the margin beside it, as the word processor draws it. A column holds only its own layout page,
        // so nothing of another column is drawn twice. A point is kept white at the paper's edges: the page
        // images are trimmed to their content, which a white line around it tells.
        QRectF onPage(1, body.top(), page.paperSize().width() - 2, layoutPageHeight);
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
        TextGlyphs::Paint(painter, document, clip, columnContext.palette.color(QPalette::Text));
        ListNumbering::PaintMarkers(painter, document, clip);
        CellDiagonals::Paint(painter, document, clip);
        PageDecorations::PaintCaptions(painter, document, clip);
        painter->restore();
    }
}
