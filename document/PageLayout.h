#pragma once

#include "document/PageGeometry.h"

#include <QAbstractTextDocumentLayout>
#include <QList>
#include <QRectF>

class QPaintDevice;
class QPainter;
class QTextDocument;

// How a document lies on its pages. The document is laid out in points, each column being one page of the
// text layout. A physical page shows the next `columns` layout pages from left to right, or fewer when a page
// break starts the next page early: the layout only moves such a paragraph to its next page, which is the next
// column. The page view, the page images and the layout checks all go through here, so that they agree.
namespace PageLayout {

// A 72 dpi device, so that the layout's pixels are points whatever the screen.
QPaintDevice* LayoutDevice();
// Lays a document out for the columns of `page`, formulas included.
void Prepare(QTextDocument* document, const PageGeometry& page);
// The first layout page of each physical page.
QList<int> PageStarts(QTextDocument* document, const PageGeometry& page);
// The layout page that text at `y` lies on. The layout counts in 1/64 point: a line at the top of a page can
// lie a little above where the page's exact height puts that page's top.
int LayoutPageAt(double y, double pageHeight);

// Paints the text of physical page `index` in points, with its header, footer and page number. Only what falls in `area` (page points) when it is given.
void PaintPage(QPainter* painter, QTextDocument* document, const PageGeometry& page, int index,
               const QAbstractTextDocumentLayout::PaintContext& context = {}, const QRectF& area = {});
// Paints `columns` layout pages from `firstLayoutPage` on, side by side as the columns of one page.
void PaintColumns(QPainter* painter, QTextDocument* document, const PageGeometry& page, int firstLayoutPage,
                  int columns, const QAbstractTextDocumentLayout::PaintContext& context, const QRectF& area);

} // namespace PageLayout
