#pragma once

#include <QString>

#include <functional>

class QImage;
class QMimeData;
class QTextCursor;
class QTextDocument;

// The page view's clipboard: what a copy puts on it, and what a paste or an inserted document brings in.
namespace Clipboard {

// The selection of `cursor` for the clipboard: whole, in the native format, for the editors of this program;
// as HTML with its pictures inside and as text for other programs; a formula alone also as its script, a
// picture alone also as an image. The caller owns it until it hands it to the clipboard.
QMimeData* MimeData(const QTextCursor& cursor);
// A selection that one of our editors copied, read into `into`; false when the clipboard holds none.
bool ReadNative(const QMimeData& mime, QTextDocument& into);
// HTML from the clipboard, read into `into`: its pictures that came as data are stored through `store` (and
// left out without it), and its tables take the editor's grid.
void ReadHtml(const QString& html, const std::function<QString(const QImage&)>& store, QTextDocument& into);
// Stores every picture of `document` through `store` and points its images at the names that gives back.
void StorePictures(QTextDocument& document, const std::function<QString(const QImage&)>& store);

} // namespace Clipboard
