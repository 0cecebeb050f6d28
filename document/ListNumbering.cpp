#include "document/ListNumbering.h"

#include "document/PageLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

// Counters with a fixed run of signs; past the run the item shows its number, which a question never needs
// but which is better than a repeated sign.
QString ListNumbering::Counter(Style style, int number)
{
    static const QString syllables = QStringLiteral("가나다라마바사아자차카타파하");
    static const QString jamo = QStringLiteral("ㄱㄴㄷㄹㅁㅂㅅㅇㅈㅊㅋㅌㅍㅎ");
    switch (style) {
    case ListNumbering::Style::Circled:
        // ①…⑳, then ㉑…㉟ and ㊱…㊿ in two other blocks of Unicode.
        if (number >= 1 && number <= 20)
            return QString(QChar(char16_t(0x2460 + number - 1)));
        if (number >= 21 && number <= 35)
            return QString(QChar(char16_t(0x3251 + number - 21)));
        if (number >= 36 && number <= 50)
            return QString(QChar(char16_t(0x32B1 + number - 36)));
        return QStringLiteral("(%1)").arg(number);
    case ListNumbering::Style::HangulSyllable:
        return number >= 1 && number <= syllables.size() ? syllables.mid(number - 1, 1) : QString::number(number);
    case ListNumbering::Style::HangulJamo:
        return number >= 1 && number <= jamo.size() ? jamo.mid(number - 1, 1) : QString::number(number);
    default:
        return QString::number(number);
    }
}

namespace {

// The font a list item's marker is drawn in: its first character's, as laid out on the layout's own device. A
// font handed to the painter would be sized again for the painter's device, larger on the screen than on the
// page image.
QFont markerFont(const QTextBlock& block)
{
    return QFont(QTextCursor(block).charFormat().font(), PageLayout::LayoutDevice());
}

// A marker PaintMarkers draws, laid out on one line.
struct PaintedMarker
{
    QTextLayout layout;
    QTextLine line;
    double space = 0; // between the marker and the text
    explicit PaintedMarker(const QTextBlock& block)
        : layout(ListNumbering::MarkerText(block), markerFont(block), PageLayout::LayoutDevice())
    {
        layout.beginLayout();
        line = layout.createLine();
        layout.endLayout();
        space = QFontMetricsF(layout.font(), PageLayout::LayoutDevice()).horizontalAdvance(u' ');
    }
};

} // namespace

QTextListFormat ListNumbering::Format(Style style)
{
    QTextListFormat format;
    format.setIndent(1);
    switch (style) {
    case Style::Decimal:
        format.setStyle(QTextListFormat::ListDecimal);
        format.setNumberSuffix(QStringLiteral("."));
        break;
    case Style::Parenthesized:
        format.setStyle(QTextListFormat::ListDecimal);
        format.setNumberPrefix(QStringLiteral("("));
        format.setNumberSuffix(QStringLiteral(")"));
        break;
    case Style::Bullet:
        format.setStyle(QTextListFormat::ListDisc);
        break;
    case Style::Circled:
    case Style::HangulSyllable:
    case Style::HangulJamo:
        format.setStyle(QTextListFormat::ListStyleUndefined);
        format.setProperty(kNumberingProperty, int(style));
        if (style != Style::Circled)
            format.setNumberSuffix(QStringLiteral("."));
        break;
    }
    return format;
}

std::optional<ListNumbering::Style> ListNumbering::StyleOf(const QTextListFormat& format)
{
    if (PaintedHere(format))
        return Style(format.intProperty(kNumberingProperty));
    switch (format.style()) {
    case QTextListFormat::ListDecimal:
        if (format.numberPrefix() == QLatin1String("(") && format.numberSuffix() == QLatin1String(")"))
            return Style::Parenthesized;
        return Style::Decimal;
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare:
        return Style::Bullet;
    default:
        return std::nullopt;
    }
}

bool ListNumbering::PaintedHere(const QTextListFormat& format)
{
    if (format.style() != QTextListFormat::ListStyleUndefined || !format.hasProperty(kNumberingProperty))
        return false;
    const int style = format.intProperty(kNumberingProperty);
    return style == int(Style::Circled) || style == int(Style::HangulSyllable) || style == int(Style::HangulJamo);
}

QString ListNumbering::MarkerText(const QTextBlock& block)
{
    QTextList* list = block.textList();
    if (!list)
        return {};
    const QTextListFormat format = list->format();
    if (StyleOf(format) == Style::Bullet)
        return {};
    if (!PaintedHere(format))
        return list->itemText(block);
    return format.numberPrefix() + Counter(Style(format.intProperty(kNumberingProperty)), list->itemNumber(block) + 1) +
           format.numberSuffix();
}

double ListNumbering::MarkerRoom(const QTextBlock& block)
{
    QTextList* list = block.textList();
    if (!list)
        return 0;
    if (PaintedHere(list->format())) {
        const PaintedMarker marker(block);
        return marker.line.naturalTextWidth() + marker.space;
    }
    // As Qt's layout draws its own markers: in whole units of the device, a bullet a third of a line wide.
    const QFontMetrics metrics(markerFont(block));
    switch (list->format().style()) {
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare:
        return metrics.lineSpacing() / 3 + metrics.horizontalAdvance(u' ');
    case QTextListFormat::ListStyleUndefined:
        return 0;
    default:
        return metrics.horizontalAdvance(list->itemText(block)) + metrics.horizontalAdvance(u' ');
    }
}

void ListNumbering::PaintMarkers(QPainter* painter, QTextDocument* document, const QRectF& clip)
{
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextList* list = block.textList();
        if (!list || !PaintedHere(list->format()) || !block.layout() || block.layout()->lineCount() == 0)
            continue;
        const QRectF bounds = layout->blockBoundingRect(block);
        // Not a break at the first block past the clip: a merged cell's later paragraphs can lie lower
        // than the next cell's first.
        if (!bounds.intersects(clip))
            continue;
        // Where Qt puts its own markers: a space's width left of the first line, on the line's top, in the font
        // of the item's first character.
        const QTextLine line = block.layout()->lineAt(0);
        const QPointF lineTop = bounds.topLeft() + line.naturalTextRect().topLeft();
        const PaintedMarker marker(block);
        const double x = lineTop.x() - marker.space - marker.line.naturalTextWidth();
        painter->save();
        const QBrush foreground = QTextCursor(block).charFormat().foreground();
        painter->setPen(foreground.style() == Qt::NoBrush ? QColor(Qt::black) : foreground.color());
        // On the item's baseline.
        marker.layout.draw(painter, QPointF(x, lineTop.y() + line.ascent() - marker.line.ascent()));
        painter->restore();
    }
}
