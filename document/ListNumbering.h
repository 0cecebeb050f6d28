#pragma once

#include <QString>
#include <QTextListFormat>

#include <optional>

class QPainter;
class QRectF;
class QTextBlock;
class QTextDocument;

// The numbering styles of question texts. Qt draws "1.", "(1)" and bullets itself; circled digits and the
// Korean counters it does not know, so such a list has no Qt style at all (Qt then draws no marker but
// keeps the indent) and carries its style in kNumberingProperty, and PaintMarkers draws the markers.
namespace ListNumbering {

enum class Style
{
    Decimal,        // 1. 2. 3.
    Circled,        // ① ② ③
    Parenthesized,  // (1) (2) (3)
    HangulSyllable, // 가. 나. 다.
    HangulJamo,     // ㄱ. ㄴ. ㄷ.
    Bullet,
};

// Where a list keeps a style Qt cannot draw. Qt's HTML drops it: the native file stores it beside.
inline constexpr int kNumberingProperty = QTextFormat::UserProperty + 0x100;

QTextListFormat Format(Style style);
// The style of a list, or none for one this editor did not make (a pasted roman numbering, say).
std::optional<Style> StyleOf(const QTextListFormat& format);
// Whether PaintMarkers, not Qt, draws this list's markers.
bool PaintedHere(const QTextListFormat& format);
// The sign of `number` in a counting style ("③", "다"); digits where the style's run of signs ends.
QString Counter(Style style, int number);
// The marker of a list item as the page shows it ("③", "다."); empty for bullets and plain paragraphs.
QString MarkerText(const QTextBlock& block);
// How far left of a list item's first line its marker starts, in points: the marker's width and the space after
// it, as Qt or PaintMarkers draws it on the layout's device; 0 for a block in no list.
double MarkerRoom(const QTextBlock& block);
// Draws the markers Qt leaves out, for the blocks that meet `clip` (layout coordinates).
void PaintMarkers(QPainter* painter, QTextDocument* document, const QRectF& clip);

} // namespace ListNumbering
