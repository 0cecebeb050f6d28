#pragma once

#include "document/DroppedObjects.h"
#include "document/PageGeometry.h"
#include "document/model/ModelToTextDocument.h"

#include <QByteArray>
#include <QList>
#include <QTextBlock>
#include <QString>

#include <optional>

class QTextDocument;

// Binary HWP 5.0 documents, the word processor's own format and the one the question bank stores.
//
// A compound file (OLE2) holding "FileHeader", "DocInfo" (the document's fonts, character and paragraph shapes,
// border fills, styles and binary data list), "BodyText/Section0" … (paragraphs with their controls), "BinData/…"
// (pictures), "PrvText", "\005HwpSummaryInformation" and "DocOptions"; DocInfo and the sections are lists of
// records (tag, level, size) and are raw-deflate compressed when the header says so.
namespace HwpFile {

// True when `head` (the first bytes of a file, at least 8) starts with the compound file signature. Only the
// container is recognised: Read says whether it holds an HWP document.
bool HasSignature(const QByteArray& head);

// Where a paragraph of the file went: its section, the index of its header among the section's records, how
// deep in tables it stands (0: the body), and the block it starts in.
using ParagraphPlace = ModelToTextDocument::Place;

// Reads an HWP 5.0 document into `document` and `page` (the first section's paper, margins and columns).
// *paragraphs (when given) gets where each paragraph read went, in the order read, for comparing the layout
// with the word processor's own.
// What the editor cannot show (notes, drawn shapes, fields, hidden comments) is left out with the text kept,
// and *droppedObjects (when given) says which objects went. Encrypted, distribution-only and HWP 3 files,
// and broken ones, are refused: the document and page are then left untouched and *error (when given) says why,
// in words for the user.
// The document's model, as the file holds it; nullopt, with *error set, for the files Read refuses.
std::optional<HwpModel::Document> ReadModel(const QByteArray& bytes, QString* error = nullptr);
bool Read(QTextDocument& document, PageGeometry& page, const QByteArray& bytes, QString* error = nullptr,
          DroppedObjects* droppedObjects = nullptr, QList<ParagraphPlace>* paragraphs = nullptr);
bool Load(QTextDocument& document, PageGeometry& page, const QString& path, QString* error = nullptr,
          DroppedObjects* droppedObjects = nullptr, QList<ParagraphPlace>* paragraphs = nullptr);

// The HWP 5.0 file of `document` on `page`: compressed streams, every property the editor shows. Empty, with
// *error set, when it cannot be written.
QByteArray Bytes(const QTextDocument& document, const PageGeometry& page, QString* error = nullptr);
// The HWP 5.0 file of `model`, as far as the writer writes it (not yet: drawn objects, fields and notes).
QByteArray Bytes(const HwpModel::Document& model, QString* error = nullptr);
// Writes Bytes to `path`, replacing the file only once the whole document is written.
bool Save(const QTextDocument& document, const PageGeometry& page, const QString& path, QString* error = nullptr);

} // namespace HwpFile
