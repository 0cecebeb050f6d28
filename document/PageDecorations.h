#pragma once

#include "document/PageGeometry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTextFormat>

#include <memory>
#include <optional>

class QDataStream;
class QPainter;
class QTextDocument;
class QTextTable;
class QTextTableFormat;

// What the word processor draws around the text: a table's caption, and each page's header, footer and page
// number. Their paragraphs are small documents of their own, kept in the editor's own format inside a property:
// of the table's format for a caption, of the document's root frame for headers and footers. The caption takes
// its room as the table's margin on its side, so that the text flows around both as the word processor's does.
namespace PageDecorations {

inline constexpr int kCaptionProperty = QTextFormat::UserProperty + 0x500;
inline constexpr int kMarginsProperty = QTextFormat::UserProperty + 0x501;

// Beside which side of its table a caption stands (the word processor's numbering).
enum class Side
{
    Left = 0,
    Right = 1,
    Top = 2,
    Bottom = 3,
};

struct Caption
{
    QByteArray content; // the caption's paragraphs, in the editor's own format
    Side side = Side::Bottom;
    int gap = 850;             // between the caption and the table, HWPUNIT
    int width = 8504;          // of a caption beside the table, HWPUNIT
    int textWidth = 0;         // of a caption above or below, HWPUNIT; 0: the table's width
    bool toMargins = false;    // above or below, it reaches past the table to the column's margins
    int verticalAlignment = 0; // beside the table: 0 top, 1 centre, 2 bottom
    bool operator==(const Caption&) const = default;
};

// Which pages a header or footer stands on.
enum class Pages
{
    Both = 0,
    Even = 1,
    Odd = 2,
};

struct Margin
{
    QByteArray content; // in the editor's own format; kPageNumberMark stands for the page's number
    Pages pages = Pages::Both;
    int verticalAlignment = 0; // in its space: 0 top, 1 centre, 2 bottom
    bool operator==(const Margin&) const = default;
};

// Where a page's number stands, besides any the headers and footers hold (the word processor's numbering of
// positions: 0 none, 1–3 top left, centre, right, 4–6 bottom left, centre, right, 7–10 outside and inside).
struct PageNumber
{
    int position = 0;
    int shape = 0; // the word processor's numbering shapes; see PageNumberText for those drawn other than as digits
    QString prefix;
    QString suffix;
    QChar dash; // drawn on both sides when set ("- 1 -")
    bool operator==(const PageNumber&) const = default;
};

struct Margins
{
    QList<Margin> headers;
    QList<Margin> footers;
    PageNumber number;
    bool isEmpty() const { return headers.isEmpty() && footers.isEmpty() && number.position == 0; }
    bool operator==(const Margins&) const = default;
};

// A noncharacter, which no document's text holds (Qt itself marks frames with U+FDD0 and U+FDD1), where a header
// or footer shows its page's number.
inline constexpr char16_t kPageNumberMark = 0xFDEF;

// The paragraphs of `document` in the editor's own format, and back.
QByteArray Content(const QTextDocument& document);
// Laid out `width` points wide on the layout's device; an empty document when `content` cannot be read.
std::unique_ptr<QTextDocument> ContentDocument(const QByteArray& content, double width);

// A caption on `format`, with the table's margin on its side made room for it. `tableWidth` in points.
void SetCaption(QTextTableFormat& format, const Caption& caption, double tableWidth);
std::optional<Caption> CaptionOf(const QTextFormat& format);
// Where the caption of a table whose frame the layout gives as `frame` stands, in the same coordinates, and how
// wide it is laid out.
QRectF CaptionRect(const Caption& caption, const QTextTableFormat& format, const QRectF& frame);

void SetMargins(QTextDocument& document, const Margins& margins);
Margins MarginsOf(const QTextDocument& document);
// The header or footer that stands on page `number` (from 1), or null.
const Margin* MarginOn(const QList<Margin>& margins, int number);
// The page number's text as the word processor writes it.
QString PageNumberText(const PageNumber& number, int page);

// What the editor's own format keeps of them beside its HTML, which holds none of it: each caption by the
// block number of its table's first paragraph, with the table's margins in points, and the document's headers,
// footers and page number.
struct Stored
{
    struct Placed
    {
        qint32 block = 0;
        QByteArray caption;
        double margins[4] = {}; // left, right, top, bottom
    };
    QList<Placed> captions;
    QByteArray margins;
};
Stored StoredOf(const QTextDocument& document);
void Write(QDataStream& out, const Stored& stored);
// False when what is read is no caption or margins.
bool Read(QDataStream& in, Stored& stored);
void Apply(QTextDocument& document, const Stored& stored);

// Paints the captions of the tables of `document` that fall in `clip`, in the layout's coordinates.
void PaintCaptions(QPainter* painter, QTextDocument* document, const QRectF& clip);
// Paints the header, footer and page number of page `number` (from 1), in page points.
void PaintMargins(QPainter* painter, const QTextDocument& document, const PageGeometry& page, int number);

} // namespace PageDecorations
