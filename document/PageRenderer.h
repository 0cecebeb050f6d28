#pragma once

#include "document/PageGeometry.h"

#include <QString>

class QTextDocument;

// Page images of a document: what the program keeps of a question besides its document.
namespace PageRenderer {

// How the text's large glyphs reach the page: blitted from glyphs rendered once (TextGlyphs), or each filled as
// an outline, as Qt does by itself beyond the size of its glyph cache (several times slower; the reference the
// blitted glyphs are checked against).
enum class Glyphs
{
    Rendered,
    Outlines
};

// Writes physical page `index` of `document`, laid out on `page`, at `dpi` dots per inch and `depth` bits per
// pixel (1, 8, 24 or 32) to `path` in `format` ("BMP" or "PNG", in any case). False, and nothing written,
// otherwise; then *error says why. The document is not changed: the threads that help paint copies of it, and
// with rendered glyphs so does the calling thread.
bool RenderPageImage(QTextDocument* document, const PageGeometry& page, int index, int dpi, int depth,
                     const QString& format, const QString& path, QString* error, Glyphs glyphs = Glyphs::Rendered);

} // namespace PageRenderer
