#pragma once

#include "document/DroppedObjects.h"
#include "document/PageGeometry.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

class QIODevice;
class QTextDocument;

// The editor's files.
//
// Native format (the editor's own, which OpenDocument also opens under "HWP" and the clipboard carries): the signature
// "VLRDOC" 0D 0A 1A 0A, then a Qt data stream (version Qt 6.4, big-endian) holding: quint32 format version
// (kFormatVersion); the page as eleven qint32 in the order paper width, paper height, top, bottom, left, right, header,
// footer, gutter, column count, column gap (1/7200 inch); the document as HTML (QString); quint32 picture count; per
// picture its resource name (QString) and PNG bytes (QByteArray). Version 2 goes on with what the HTML loses: quint32
// count, then per paragraph of a list with a numbering Qt cannot draw its block number and numbering style (two
// qint32); quint32 count, then per table cell with borders of its own the block number of its first paragraph (qint32)
// and the border properties (QTextFormat). Version 3 goes on with the formulas, which the HTML holds as pictures named
// "vellorin-formula:" and a number to keep their places: quint32 count, then per formula its document position in the
// document the HTML makes (qint32), script (QString), size in points (double) and colour (QRgb as quint32). A file
// whose formulas do not each stand on an object character of that document of their own is refused. Version 4 goes on
// with the format units per point the lengths in the HTML were written in (double; see LayoutUnits), where earlier
// versions wrote points, and pictures in pixels at 96 dpi; then what the HTML rounds or drops: quint32 count, then per
// value a block number (qint32), a property (qint32) and its value (double): paragraph margins and indents, paragraph
// spacings in percent of the font size, added to it or fixed (see LayoutUnits), and the paddings of the cell that
// starts with the block. Version 5 goes on with the tables' captions and the page's headers, footers and page number
// (see PageDecorations::Write). Version 1 files, which end after the pictures, and versions 2 to 4 still open. Text,
// character and paragraph formats, lists, tables, pictures and formulas all survive a save and an open.

namespace DocumentFile {

inline constexpr char kSignature[] = "VLRDOC\r\n\x1a\n";
inline constexpr int kSignatureSize = 10;
inline constexpr quint32 kFormatVersion = 5;
// Resource names of pictures inserted in the editor.
inline constexpr char kPictureScheme[] = "vellorin-picture";

// Whether the file starts with the signature of the native format.
bool IsNativeFile(const QString& path);
// The format a file is opened in, by its first bytes: the word processor's compound file or the native format
// ("HWP"), or XML ("HWPML2X"). Empty, with *error, for anything else.
QString FormatOf(const QString& path, QString* error);

// The resource names of the pictures the document shows, in document order (a picture shown twice is named
// twice).
QStringList PictureNames(const QTextDocument& document);

bool SaveNative(const QTextDocument& document, const PageGeometry& page, const QString& path);
// The PNG bytes of pictures already written, by resource name, with the image's cache key.
using PngCache = QHash<QString, QPair<qint64, QByteArray>>;

// The bytes SaveNative writes; empty when the document cannot be written. With a cache, a picture written
// before is not encoded again, and the cache is left holding the document's pictures only.
QByteArray NativeBytes(const QTextDocument& document, const PageGeometry& page, PngCache* cache = nullptr);
// On failure the document and page are left untouched, and *error (when given) says why, in words for the
// user.
bool LoadNative(QTextDocument& document, PageGeometry& page, const QString& path, QString* error = nullptr);
// LoadNative from an open device.
bool ReadNative(QTextDocument& document, PageGeometry& page, QIODevice& device, QString* error = nullptr);

// Imports an HWP XML (HWPML 2.x) document: paragraphs with their alignment, margins, indents, line spacing
// and numbering; text with tabs, line breaks and fixed spaces; the character shapes' font, size, colour, bold,
// italic, underline, strike-out, superscript and subscript; tables with merged cells, column widths, cell
// borders and shading; equations as formulas with their script, base size and colour. *page (when given)
// gets the first section's paper, margins and columns, and is left alone when the file has no usable page.
// Objects the editor cannot show yet (pictures, drawn shapes, form controls, headers, footers and notes) are
// left out, and *droppedObjects (when given) says which. On failure the document is left untouched, and
// *error (when given) says why.
bool ImportHwpml(QTextDocument& document, const QString& path, QString* error = nullptr, PageGeometry* page = nullptr,
                 DroppedObjects* droppedObjects = nullptr);
// ImportHwpml from an open device.
bool ImportHwpml(QTextDocument& document, QIODevice& device, QString* error = nullptr, PageGeometry* page = nullptr,
                 DroppedObjects* droppedObjects = nullptr);

} // namespace DocumentFile
