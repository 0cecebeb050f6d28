#pragma once

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <memory>

class QPainter;

// Formulas written in the equation script of the word processor ("{-b +- sqrt {b^2 - 4ac}} over {2a}"), laid
// out with the constants, glyph variants and glyph assemblies of an OpenType math font.
//
// Every script is accepted: unknown words are set as text, unbalanced braces are closed at the end, and
// structures nested deeper than kMaxDepth are set as plain text, so no script can exhaust the stack.
namespace formula {

inline constexpr int kMaxDepth = 256;
// Scripts longer than this (no formula of a page comes near) are shown up to here and then "…", so that a
// pasted megabyte cannot take the editor's memory; the script itself is kept whole.
inline constexpr int kMaxShownLength = 32768;

// One structural part of a laid-out formula, for the editor's hit tests and for checking the geometry. Rects
// are in points with y pointing down and the origin at the left end of the formula's baseline.
struct Part
{
    enum Kind
    {
        Fraction,
        Numerator,
        Denominator,
        FractionBar,
        Radical,    // the radical sign
        Radicand,
        RootIndex,
        Base,       // what carries scripts or limits
        Superscript,
        Subscript,
        UpperLimit,
        LowerLimit,
        Delimiter,  // a bracket of left … right, of a matrix or of cases
        Cell,       // a cell of a matrix, cases or pile: `row` and `column` say which
        Accent,
    };
    Kind kind;
    QRectF rect;
    double baseline = 0; // y of the part's own baseline
    int row = 0;
    int column = 0;
};

// A glyph of a laid-out formula: its face (0 the math font, 1 the text face), its id in that face, the left end
// of its baseline in points (y down) and the points per font unit it is drawn at.
struct PlacedGlyph
{
    int face;
    quint32 id;
    double x;
    double y;
    double scale;
};

// A formula laid out at a size: the outlines to fill, its extent and its parts.
class Layout
{
public:
    double width = 0;
    double ascent = 0;  // above the baseline, in points
    double descent = 0; // below the baseline, in points
    // The math axis above the baseline (where fraction bars sit), in points.
    double axis = 0;
    // Every glyph and rule as one outline, in points, y down, origin at the left end of the baseline. Filled
    // as one path, overlapping pieces of stretched brackets show no seams.
    QPainterPath outline;
    QList<Part> parts;
    // The same ink for painting: glyphs one by one, and the rules and the pieces of stretched signs as one
    // outline (pieces overlap, and filled apart they would show darker seams).
    QList<PlacedGlyph> glyphs;
    QPainterPath shapes;

    QRectF bounds() const { return QRectF(0, -ascent, width, ascent + descent); }
    // Paints the formula in `colour`, the baseline's left end at `origin`. On raster devices without rotation
    // or shear the glyphs come from a cache of rendered glyphs, as text does; elsewhere the outline is filled.
    void paint(QPainter* painter, const QPointF& origin, const QColor& colour) const;
    QList<Part> partsOf(Part::Kind kind) const;
};

// Lays `script` out at `pointSize` (the size of the surrounding text). Layouts are cached: the same script at
// the same size gives the same object. Safe to call from any thread once a QGuiApplication exists.
std::shared_ptr<const Layout> Lay(const QString& script, double pointSize);

// The file of the math font in use, and why none could be loaded (then formulas are set in the text font).
QString MathFontPath();
QString MathFontError();

} // namespace formula
