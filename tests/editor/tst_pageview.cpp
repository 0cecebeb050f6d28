// The page view over the document library's layout: objects framed where the layout draws them.

#include "document/PageGeometry.h"
#include "editor/PageView.h"

#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace {

QTextCharFormat font(double points)
{
    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("NanumMyeongjo")});
    format.setFontPointSize(points);
    return format;
}

} // namespace

class PageViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A picture in an indented paragraph, or in one whose first line the layout moved to the next page, is
    // framed where it is drawn.
    void objectsWhereTheyAreDrawn();
};

void PageViewTest::objectsWhereTheyAreDrawn()
{
    QTextDocument document;
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("vellorin-picture:1")), image);
    QTextImageFormat picture;
    picture.setName(QStringLiteral("vellorin-picture:1"));
    QTextCursor cursor(&document);
    cursor.insertImage(picture);
    QTextBlockFormat indented;
    indented.setLeftMargin(40);
    cursor.insertBlock(indented);
    const int second = cursor.position();
    cursor.insertImage(picture);
    // Lines to the foot of the first page, and a paragraph that cannot fit there.
    QTextBlockFormat plain;
    for (int i = 0; i < 80; ++i) {
        cursor.insertBlock(plain);
        cursor.insertText(QStringLiteral("줄"), font(10));
    }
    const int last = cursor.position();
    cursor.insertImage(picture);
    PageView view(&document);
    view.setPage(PageGeometry(), 100);
    const QRectF first = view.pictureRect(0);
    const QRectF shifted = view.pictureRect(second);
    QVERIFY(first.isValid() && shifted.isValid());
    const double scale = view.logicalDpiX() / 72.0;
    QCOMPARE(shifted.left() - first.left(), 40 * scale);
    // The picture's frame holds its own pixels, on whichever page the layout put it.
    const QRectF moved = view.pictureRect(last);
    QVERIFY(moved.isValid());
    QImage shown(view.size(), QImage::Format_RGB32);
    view.render(&shown);
    const QPoint centre = moved.center().toPoint();
    QCOMPARE(qGray(shown.pixel(centre)), 0);
}

QTEST_MAIN(PageViewTest)
#include "tst_pageview.moc"
