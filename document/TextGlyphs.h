#pragma once

class QColor;
class QPainter;
class QRectF;
class QTextDocument;

// A page image's text drawn from rendered glyphs. At 500 dpi a glyph is larger than Qt's raster engine caches, so
// Qt fills each one as an outline, which is most of the time a page of text takes. Instead the layout's own
// drawing is kept for everything but the glyphs (backgrounds, underlines, formulas, pictures, tables, list
// markers), and the glyphs the layout placed are blitted from images rendered once per glyph, size, position
// within a pixel and colour.
namespace TextGlyphs {

// Makes the text of `copy`, a copy of a document that is not laid out yet, invisible to the layout's drawing:
// its lines are given a transparent pen over their own formats, and decorations keep their colour. The
// document's own formats stay as they are, so whatever reads them (list markers, the glyphs' colours) reads the
// real ones. Text that Paint cannot draw (outlined, or in a pattern) is left to the layout.
void HideText(QTextDocument* copy);
// Draws the glyphs HideText hid, of the lines that reach into `clip` (layout coordinates); the painter maps
// layout coordinates to the device. Text without a colour of its own is in `plain`, as the layout's pen would
// have it. Nothing for a document whose text is not hidden.
void Paint(QPainter* painter, QTextDocument* document, const QRectF& clip, const QColor& plain);

} // namespace TextGlyphs
