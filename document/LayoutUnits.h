#pragma once

#include <QTextFormat>

class QTextBlock;
class QTextDocument;

// The one place that knows how the editor's document layout measures.
//
// The layout runs on a 72 dpi device, so that its coordinates are points. Most lengths in text formats (space
// above and below paragraphs, fixed, least and added line heights, table column widths, cell paddings and
// borders, picture sizes) are what Qt calls pixels: it scales them by the device's resolution over the screen's
// logical one (96 on most desktops), so a length of points stored as it is comes out at 72/96 of itself. Those
// go into a format, and come out of one, through FromPoints and ToPoints. A paragraph's left and right margins
// and its first line's indent Qt takes as they are, in units of the device: points.
//
// Line spacing in percent is of the font size in the word processor: 10 pt text at 160 % advances 16 pt a line,
// and a line that holds a formula as tall as the formula and 6 pt. Qt's proportional spacing multiplies the
// whole line's height, which is the font's ascent and descent (1.15 em for the Nanum fonts) rounded up to whole
// points, formula and all: 19.2 pt for that text. So a paragraph's percent is kept in a property of its own, and
// laid out as a distance between lines: what the percent of its largest font's size adds to a line of that font.
// A spacing added between lines (the word processor's "between lines" kind) is kept the same way, since the word
// processor adds it to the font size and Qt to the font's line height; and so is a fixed line pitch, since the
// word processor draws the text at the top of a fixed line where Qt lowers it to four fifths of the pitch.
// Whoever changes a paragraph's fonts refreshes its spacing.
namespace LayoutUnits {

// Format lengths per point.
double FormatPerPoint();
inline double FromPoints(double points)
{
    return points * FormatPerPoint();
}
inline double ToPoints(double length)
{
    return length / FormatPerPoint();
}

// The properties that hold a paragraph's line spacing in percent of its font size, the spacing added to its font
// size in points, and a fixed pitch in points (doubles). A paragraph has one of them at most.
inline constexpr int kPercentSpacingProperty = QTextFormat::UserProperty + 0x300;
inline constexpr int kAddedSpacingProperty = QTextFormat::UserProperty + 0x301;
inline constexpr int kFixedSpacingProperty = QTextFormat::UserProperty + 0x302;
inline constexpr int kSpacingProperties[] = {kPercentSpacingProperty, kAddedSpacingProperty, kFixedSpacingProperty};

// The percent of its largest font's size that `block` advances a line at its format's spacing, single spacing
// too (about 120 for the Nanum fonts); 0 for a fixed, least or added spacing.
double PercentSpacing(const QTextBlock& block);
// Sets `format`, the block's or one to be given to it, to advance `percent` of its largest font's size a line.
// Each of these takes the place of a spacing of another kind.
void SetPercentSpacing(QTextBlockFormat& format, double percent, const QTextBlock& block);
// Sets `format` to advance its largest font's size and `points` a line.
void SetAddedSpacing(QTextBlockFormat& format, double points, const QTextBlock& block);
// Sets `format` to advance `points` a line, with the text at the top of each.
void SetFixedSpacing(QTextBlockFormat& format, double points, const QTextBlock& block);
// Sets `format`'s spacing to `value` of the kind `property` (one of kSpacingProperties).
void SetSpacing(QTextBlockFormat& format, int property, double value, const QTextBlock& block);
// Works the block's spacing out again for the fonts it has now, when it is kept in one of those properties.
void RefreshSpacing(const QTextBlock& block);

// Multiplies the lengths Qt scales of every paragraph, table and cell of `document` by `lengths`, and the sizes
// of its pictures by `pictures`: for a document whose formats were written for other units.
void ScaleLengths(QTextDocument& document, double lengths, double pictures);

// Qt's layout leaves out the space above the first paragraph of a frame, where the word processor keeps it above
// the document's first paragraph: the document's own top margin stands in for it. For a document being filled,
// before it is shown: changing the document's margin is an edit.
void KeepFirstSpacing(QTextDocument& document);

} // namespace LayoutUnits
