#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>

// Glyphs of formulas rendered once per size, position within a pixel and colour, as a text engine keeps its
// glyphs: the same digits, letters and signs come back on every line of a page, and blitting an image is far
// cheaper than filling an outline at 500 dpi. Shared by every thread that paints; bounded in memory.
namespace formula::GlyphCache {

struct Rendered
{
    QImage image; // premultiplied, in the glyph's colour; null for a glyph without ink
    QPoint offset; // of the image's top left from the pixel the glyph's origin falls in
};

// The glyph `id` of `face` at `pixelsPerUnit` device pixels per font unit, its origin `fraction` (each in
// 0 … 1) into its pixel.
Rendered Get(int face, quint32 id, double pixelsPerUnit, QPointF fraction, QRgb colour);

} // namespace formula::GlyphCache
