#pragma once

#include <QColor>
#include <QHash>
#include <QString>
#include <QTextFormat>
#include <QList>
#include <QTextLength>
#include <QTextListFormat>

#include <algorithm>
#include <cstddef>

// How the word processor's shapes become the editor's formats. HWP XML names them ("Center", "DashDot",
// "HangulSyllable") and binary HWP numbers them; both readers map through here, the binary one by way of the
// XML names, so that a document looks the same whichever form it came in.
class QTextBlock;
class QTextCursor;
class QTextList;
class QTextTable;
class QTextTableFormat;

namespace HwpShapes {

// Bounds for what a damaged or hostile file may ask for, the same in either form. A question's table is far
// smaller; cells past these are left out and counted like any other object the editor cannot show.
inline constexpr int kMaxTableRows = 500;
inline constexpr int kMaxTableColumns = 64;
inline constexpr int kMaxTableCells = 4096;
// Tables in table cells, as deep as the editor follows them.
inline constexpr int kMaxTableDepth = 8;
// Lengths beyond a metre of paper (HWPUNIT) are nonsense; clamping keeps the layout arithmetic far from
// overflow.
inline constexpr int kMaxUnits = 1000000;
inline int ClampedUnits(qint64 value)
{
    return int(std::clamp<qint64>(value, -kMaxUnits, kMaxUnits));
}

// The HWP XML names of the shapes the binary format numbers: a name's index is its binary code.
inline constexpr QStringView kAlignmentNames[] = {u"Justify", u"Left", u"Right", u"Center", u"Distribute", u"Divide"};
inline constexpr QStringView kBorderNames[] = {u"None",       u"Solid",     u"Dash",      u"Dot",
                                               u"DashDot",    u"DashDotDot", u"LongDash",  u"Circle",
                                               u"DoubleSlim", u"SlimThick", u"ThickSlim", u"SlimThickSlim"};
inline constexpr QStringView kNumberNames[] = {
    u"Digit",      u"CircledDigit",        u"RomanCapital",      u"RomanSmall",     u"LatinCapital",
    u"LatinSmall", u"CircledLatinCapital", u"CircledLatinSmall", u"HangulSyllable", u"CircledHangulSyllable",
    u"HangulJamo", u"CircledHangulJamo",   u"HangulPhonetic",    u"Ideograph",      u"CircledIdeograph"};
// Name `code` of `names`, `fallback` for a code past them; and back.
template <std::size_t N> QStringView NameOf(const QStringView (&names)[N], int code, QStringView fallback)
{
    return code >= 0 && code < int(N) ? names[code] : fallback;
}
template <std::size_t N> int CodeOf(const QStringView (&names)[N], QStringView name, int fallback)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name)
            return int(i);
    }
    return fallback;
}

// A Windows COLORREF (0x00BBGGRR); anything above 24 bits means "no colour" and gives an invalid colour.
QColor Colour(qint64 colorRef);
Qt::Alignment Alignment(QStringView name);
QTextFrameFormat::BorderStyle BorderStyle(QStringView type);
// A line width in millimetres, in points. Qt draws a collapsed border thinner than a point as nothing at
// all, so a visible line is never thinner than that; a width that is no number draws a point wide.
double BorderWidth(double millimetres);
// The list format of numbering `numFormat` ("Digit", "CircledDigit", …) whose level pattern is `pattern`
// ("^1.", "(^2)"): what stands around the "^n" frames the number.
QTextListFormat NumberingFormat(QStringView numFormat, const QString& pattern);

// Puts the cursor's paragraph at `level` (0 for the first) of the list `key` names, making the list with
// `format` when it is the first paragraph of it. The list's indent takes the place of a hanging first line.
void JoinList(QTextCursor& cursor, QTextListFormat format, int level, const QString& key,
              QHash<QString, QTextList*>& lists);

// Sets the paragraph of `block`, a list item, as the word processor sets a numbered paragraph: the number at the
// paragraph's margin and the text after it, where Qt sets the text in by the list's indent, level by level, and
// hangs the marker before it. For a paragraph whose text is in: the marker's width depends on its font.
void NumberAtMargin(const QTextBlock& block);
// Where the word processor's number starts for the paragraph of `block`, in points: where its text starts less the
// marker's room; the left margin of a paragraph in no list. NumberAtMargin's partner, for writing.
double MarginBeforeNumber(const QTextBlock& block);

// The column widths of a table whose cells, one column wide, gave `widths` in HWPUNIT (0 where none did, and those
// columns share what is left). A cell's width holds its borders, and the layout draws the table's outer border
// outside its fixed columns: the outer columns give it that much.
QList<QTextLength> ColumnWidths(QList<int> widths, const QTextTableFormat& table);
// Gives `table`, made with `format`, the column widths of ColumnWidths; one entry of `widths` per column of the
// table, those it grew by sharing what is left. Nothing when no cell gave a width.
void ApplyColumnWidths(QTextTable* table, QTextTableFormat format, QList<int> widths);

// A paragraph's line spacing: in percent of its font size when `percent` is above 0, else added to the font size
// when `added` is 0 or more, else a fixed pitch when `fixed` is 0 or more (points). Set on each of `blocks`, the
// paragraph's, from their fonts; nothing when none is given.
void SetSpacing(const QList<QTextBlock>& blocks, double percent, double added, double fixed);

} // namespace HwpShapes
