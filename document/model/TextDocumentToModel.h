#pragma once

#include "document/PageGeometry.h"
#include "document/model/HwpModel.h"

class QTextDocument;

// Takes the editor's document apart into the model, for writing: the one place where Qt's formats become the
// word processor's shapes, units and codes. What the model holds of the layout (each paragraph's line, the
// rows' heights, the columns' widths) is worked out here the way the word processor would begin it: it lays the
// text out again when it opens the file, but readers expect each paragraph and cell to say where it stands.
namespace TextDocumentToModel {

// The model of `document` on `page`: one section, with the page, its columns, headers, footers and page
// number in its first paragraph; pictures that lost their pixels are left out.
HwpModel::Document Convert(const QTextDocument& document, const PageGeometry& page);

} // namespace TextDocumentToModel
