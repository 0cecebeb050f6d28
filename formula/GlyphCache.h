#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>

class QRawFont;

// Glyphs of formulas and of a document's text rendered once per size, position within a pixel and colour, as a
// text engine keeps its glyphs: the same digits, letters, syllables and signs come back on every line of a page,
// and blitting an image is far cheaper than filling an outline at 500 dpi. Shared by every thread that paints;
// bounded in memory.
namespace formula::GlyphCache {

struct Rendered
{
    QImage image;  // premultiplied, in the glyph's colour; null for a glyph without ink
    QPoint offset; // of the image's top left from the pixel the glyph's origin falls in
};

// The glyph `id` of `face` at `pixelsPerUnit` device pixels per font unit, its origin `fraction` (each in
// 0 … 1) into its pixel.
Rendered Get(int face, quint32 id, double pixelsPerUnit, QPointF fraction, QRgb colour);
// The number that `font` goes by here, the same on every thread for the same face at the same size.
int FaceOf(const QRawFont& font);
// The same for glyph `id` of `font`, numbered `face` by FaceOf, its outline (in the font's own pixels) scaled by
// `pixelsPerUnit`. Filled as the raster engine fills a glyph it has no cached image for: antialiased, winding,
// unhinted.
Rendered Get(const QRawFont& font, int face, quint32 id, double pixelsPerUnit, QPointF fraction, QRgb colour);

} // namespace formula::GlyphCache
