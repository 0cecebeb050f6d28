#include "document/TextGlyphs.h"

#include "formula/GlyphCache.h"

#include <QAbstractTextDocumentLayout>
#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace {

// On the extra formats of a hidden line: the colour its glyphs are drawn in, or none for the layout's pen.
constexpr int kInkProperty = QTextFormat::UserProperty + 0x600;
const char* const kHiddenProperty = "vellorinTextHidden";
// Positions within a pixel are kept to a quarter pixel, as the formula glyphs are: finer does not show.
constexpr int kSteps = 4;

// Text in a plain colour or in the layout's pen; a pattern, a gradient or an outlined letter is left to the layout.
bool drawnHere(const QTextCharFormat& format)
{
    const Qt::BrushStyle style = format.foreground().style();
    return (style == Qt::NoBrush || style == Qt::SolidPattern) && format.textOutline().style() == Qt::NoPen;
}

// Where glyphs land pixel for pixel: a raster device, scaled alike both ways, neither rotated nor sheared.
bool blits(QPainter* painter, const QTransform& toDevice)
{
    return painter->paintEngine() && painter->paintEngine()->type() == QPaintEngine::Raster &&
           toDevice.type() <= QTransform::TxScale && toDevice.m11() > 0 &&
           std::abs(toDevice.m22() - toDevice.m11()) <= 1e-9 * toDevice.m11();
}

// The largest glyph, in device pixels, that Qt's raster engine draws from its own glyph cache rather than as an
// outline (QT_MAX_CACHED_GLYPH_SIZE, which the environment may change).
int largestCachedGlyph()
{
    static const int largest = [] {
        const int set = qEnvironmentVariableIntValue("QT_MAX_CACHED_GLYPH_SIZE");
        return set > 0 ? set : 64;
    }();
    return largest;
}

void drawRun(QPainter* painter, QGlyphRun run, const QPointF& origin, const QColor& colour, bool blit)
{
    // Glyphs that Qt caches itself are drawn as Qt would have drawn them.
    if (!blit || run.rawFont().pixelSize() * painter->combinedTransform().m11() <= largestCachedGlyph()) {
        // The decorations are the layout's: drawGlyphRun would draw them a second time.
        run.setUnderline(false);
        run.setOverline(false);
        run.setStrikeOut(false);
        painter->setPen(colour);
        painter->drawGlyphRun(origin, run);
        return;
    }
    const QTransform toDevice = painter->combinedTransform();
    const double scale = toDevice.m11();
    const QRawFont font = run.rawFont();
    const int face = formula::GlyphCache::FaceOf(font);
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    painter->save();
    painter->resetTransform();
    for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
        const QPointF at = toDevice.map(origin + positions.at(i));
        const qint64 x = std::llround(at.x() * kSteps);
        const qint64 y = std::llround(at.y() * kSteps);
        const qint64 wholeX = x >= 0 ? x / kSteps : -((-x + kSteps - 1) / kSteps);
        const qint64 wholeY = y >= 0 ? y / kSteps : -((-y + kSteps - 1) / kSteps);
        const QPointF fraction(double(x - wholeX * kSteps) / kSteps, double(y - wholeY * kSteps) / kSteps);
        const formula::GlyphCache::Rendered rendered =
            formula::GlyphCache::Get(font, face, glyphs.at(i), scale, fraction, colour.rgba());
        if (!rendered.image.isNull())
            painter->drawImage(QPoint(int(wholeX) + rendered.offset.x(), int(wholeY) + rendered.offset.y()),
                               rendered.image);
    }
    painter->restore();
}

} // namespace

void TextGlyphs::HideText(QTextDocument* copy)
{
    const QColor plain = QPalette().color(QPalette::Text);
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        QList<QTextLayout::FormatRange> ranges;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat own = it.fragment().charFormat();
            if (!drawnHere(own))
                continue;
            const QColor ink = own.foreground().style() == Qt::NoBrush ? plain : own.foreground().color();
            QTextLayout::FormatRange range;
            range.format.setForeground(Qt::transparent);
            // Qt draws underlines, strike-outs and overlines in the underline colour when there is one, else
            // in the pen's.
            if (!own.underlineColor().isValid())
                range.format.setUnderlineColor(ink);
            if (own.foreground().style() != Qt::NoBrush)
                range.format.setProperty(kInkProperty, ink);
            // Objects (formulas, pictures) are painted by their handlers, in the colour of their own format.
            const QString text = it.fragment().text();
            const int start = it.fragment().position() - block.position();
            for (qsizetype from = 0; from < text.size();) {
                qsizetype to = text.indexOf(QChar::ObjectReplacementCharacter, from);
                if (to < 0)
                    to = text.size();
                if (to > from) {
                    range.start = start + int(from);
                    range.length = int(to - from);
                    ranges.append(range);
                }
                from = to + 1;
            }
        }
        if (!ranges.isEmpty())
            block.layout()->setFormats(ranges);
    }
    copy->setProperty(kHiddenProperty, true);
}

void TextGlyphs::Paint(QPainter* painter, QTextDocument* document, const QRectF& clip, const QColor& plain)
{
    if (!document->property(kHiddenProperty).toBool())
        return;
    const bool blit = blits(painter, painter->combinedTransform());
    painter->save();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* lines = block.layout();
        const QList<QTextLayout::FormatRange> ranges = lines->formats();
        if (ranges.isEmpty())
            continue;
        const QRectF bounds = layout->blockBoundingRect(block);
        if (bounds.isEmpty() || bounds.bottom() < clip.top() || bounds.top() > clip.bottom())
            continue;
        // Lines and glyph runs are placed from the layout's position, which is where its bounds start.
        const QPointF origin = bounds.topLeft();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            // A glyph may reach a line's height beyond its line: the clip cuts what falls outside.
            const QRectF reach = line.rect().translated(origin).adjusted(0, -line.height(), 0, line.height());
            if (reach.bottom() < clip.top() || reach.top() > clip.bottom())
                continue;
            const int lineEnd = line.textStart() + line.textLength();
            for (const QTextLayout::FormatRange& range : ranges) {
                const int from = std::max(range.start, line.textStart());
                const int to = std::min(range.start + range.length, lineEnd);
                if (from >= to)
                    continue;
                const QVariant ink = range.format.property(kInkProperty);
                const QColor colour = ink.isValid() ? ink.value<QColor>() : plain;
                for (const QGlyphRun& run : line.glyphRuns(from, to - from))
                    drawRun(painter, run, origin, colour, blit);
            }
        }
    }
    painter->restore();
}
