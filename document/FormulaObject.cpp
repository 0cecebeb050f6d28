#include "document/FormulaObject.h"

#include "formula/Formula.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPaintDevice>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextObjectInterface>

#include <algorithm>
#include <cmath>

namespace {

// Layout units per point: the editor lays its documents out on a 72 dpi device, where they are points.
double unitsPerPoint(QTextDocument* document)
{
    if (const QPaintDevice* device = document->documentLayout()->paintDevice())
        return device->logicalDpiY() / 72.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->logicalDotsPerInchY() : 96.0) / 72.0;
}

std::shared_ptr<const formula::Layout> layoutOf(const QTextFormat& format)
{
    return formula::Lay(FormulaObject::Script(format), FormulaObject::PointSize(format));
}

// Qt sets an inline object of height H on the line at AlignMiddle with ascent (H + halfX) / 2 and descent
// (H − halfX) / 2, and draws it centred on the line's ascent and descent together. A formula asks for the
// least H that keeps its own ascent and descent inside that, and finds the baseline from the line it was
// put on. Other alignments, which a format merged over a selection may bring, stand the object on the
// baseline: then the formula's whole height sits above it.
class FormulaHandler : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override
    {
        Q_UNUSED(position);
        const auto layout = layoutOf(format);
        const double scale = unitsPerPoint(document);
        const double ascent = layout->ascent * scale;
        const double descent = layout->descent * scale;
        const QTextCharFormat character = format.toCharFormat();
        if (character.verticalAlignment() != QTextCharFormat::AlignMiddle)
            return QSizeF(layout->width * scale, ascent + descent);
        const double halfX = QFontMetrics(character.font()).xHeight() / 2.0;
        return QSizeF(layout->width * scale, std::max({2 * ascent - halfX, 2 * descent + halfX, 0.0}));
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override
    {
        const auto layout = layoutOf(format);
        const double scale = unitsPerPoint(document);
        double baseline = rect.top() + layout->ascent * scale;
        if (format.toCharFormat().verticalAlignment() == QTextCharFormat::AlignMiddle) {
            const QTextBlock block = document->findBlock(position);
            const QTextLine line =
                block.layout() ? block.layout()->lineForTextPosition(position - block.position()) : QTextLine();
            if (line.isValid())
                baseline = rect.top() + (line.ascent() - line.descent() + rect.height()) / 2;
        }
        painter->save();
        painter->translate(rect.left(), baseline);
        painter->scale(scale, scale);
        layout->paint(painter, QPointF(), FormulaObject::Colour(format));
        painter->restore();
    }
};

} // namespace

bool FormulaObject::IsFormula(const QTextFormat& format)
{
    return format.objectType() == kObjectType;
}

QString FormulaObject::Script(const QTextFormat& format)
{
    return format.stringProperty(kScriptProperty);
}

double FormulaObject::PointSize(const QTextFormat& format)
{
    const double size = format.doubleProperty(kPointSizeProperty);
    return std::isfinite(size) ? std::clamp(size, kMinPointSize, kMaxPointSize) : kDefaultPointSize;
}

QColor FormulaObject::Colour(const QTextFormat& format)
{
    const QColor colour = format.colorProperty(kColourProperty);
    return colour.isValid() ? colour : QColor(Qt::black);
}

QTextCharFormat FormulaObject::MakeFormat(const QString& script, double pointSize, const QColor& colour,
                                          const QTextCharFormat& around)
{
    QTextCharFormat format = TextFormat(around);
    format.setObjectType(kObjectType);
    format.setProperty(kScriptProperty, script);
    format.setProperty(kPointSizeProperty, std::isfinite(pointSize)
                                               ? std::clamp(pointSize, kMinPointSize, kMaxPointSize)
                                               : kDefaultPointSize);
    format.setProperty(kColourProperty, colour.isValid() ? colour : QColor(Qt::black));
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    return format;
}

QTextCharFormat FormulaObject::TextFormat(const QTextCharFormat& format)
{
    QTextCharFormat text = format;
    if (IsFormula(text))
        text.clearProperty(QTextFormat::TextVerticalAlignment);
    // Next to a picture, or where a picture stood in for a formula, the text takes none of the picture.
    for (int property : {int(QTextFormat::ObjectType), int(QTextFormat::ObjectIndex), int(QTextFormat::ImageName),
                         int(QTextFormat::ImageWidth), int(QTextFormat::ImageHeight), int(QTextFormat::ImageQuality),
                         kScriptProperty, kPointSizeProperty, kColourProperty})
        text.clearProperty(property);
    return text;
}

double FormulaObject::PointSizeAround(const QTextCharFormat& around)
{
    const double size = around.fontPointSize();
    return around.hasProperty(QTextFormat::FontPointSize) && size > 0 ? size : kDefaultPointSize;
}

QList<int> FormulaObject::Positions(const QTextDocument& document)
{
    QList<int> positions;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            // Like formats of neighbouring characters are one fragment: two formulas in a row may be one.
            if (IsFormula(it.fragment().charFormat())) {
                for (int i = 0; i < it.fragment().length(); ++i)
                    positions.append(it.fragment().position() + i);
            }
        }
    }
    return positions;
}

QTextCharFormat FormulaObject::FormatAt(const QTextDocument& document, int position)
{
    if (position < 0)
        return {};
    const QTextBlock block = document.findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().contains(position))
            return it.fragment().charFormat();
    }
    return {};
}

void FormulaObject::RegisterHandler(QTextDocument* document)
{
    // One handler for every document: it keeps nothing of its own, so the threads that paint copies of a
    // document for a page image share it safely.
    static auto* handler = new FormulaHandler;
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    if (!layout->handlerForObject(kObjectType))
        layout->registerHandler(kObjectType, handler);
}

#include "FormulaObject.moc"
