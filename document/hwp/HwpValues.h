#pragma once

#include <QColor>
#include <QTextFrameFormat>
#include <QtGlobal>

#include <array>
#include <cmath>

// Values that HWP 5.0 records store as codes, and the editor's counterparts, for the writer and the reader
// alike: a value written through one of these reads back through its partner.
namespace HwpValues {

// Lengths on the page (paper, margins, object sizes, character heights) are HWPUNIT, 1/7200 inch: 100 to the
// point. Paragraph shapes keep their margins, indents, spacings and fixed line heights in half units, 200 to the
// point: the word processor's body style, indented 15 pt, is stored as 3000, and its outline levels, 10 pt
// apart, 2000 apart.
inline constexpr double kUnitsPerPoint = 100.0;
inline constexpr double kParagraphUnitsPerPoint = 200.0;

// COLORREF: 0x00BBGGRR. A value above 24 bits (0xFFFFFFFF) means no colour.
inline constexpr quint32 kNoColour = 0xFFFFFFFFu;
inline quint32 ColourRef(const QColor& colour)
{
    if (!colour.isValid())
        return kNoColour;
    return quint32(colour.red()) | quint32(colour.green()) << 8 | quint32(colour.blue()) << 16;
}
inline QColor FromColourRef(quint32 value)
{
    if (value > 0xFFFFFFu)
        return {};
    return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}

// Paragraph alignment, bits 2–4 of a paragraph shape's first attribute.
enum class Alignment : quint32
{
    Justify = 0,
    Left = 1,
    Right = 2,
    Centre = 3,
};
inline Alignment AlignmentOf(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignJustify)
        return Alignment::Justify;
    if (alignment & Qt::AlignHCenter)
        return Alignment::Centre;
    if (alignment & (Qt::AlignRight | Qt::AlignTrailing))
        return Alignment::Right;
    return Alignment::Left;
}
inline Qt::Alignment QtAlignment(quint32 code)
{
    switch (code) {
    case quint32(Alignment::Left):
        return Qt::AlignLeft;
    case quint32(Alignment::Right):
        return Qt::AlignRight;
    case quint32(Alignment::Centre):
        return Qt::AlignHCenter;
    default:
        return Qt::AlignJustify; // distributed and divided lines come closest to justified
    }
}

// Outline and numbering levels: seven in every file, and three more that 5.1 files add at the end of a
// numbering. A paragraph shape's level bits (25–27 of its first attribute) stop at the seventh; 5.1 files give
// the level again, whole, after the spacing.
inline constexpr int kLevels = 10;
inline constexpr int kBasicLevels = 7;

// Line spacing kinds (bits 0–4 of a paragraph shape's third attribute).
enum class LineSpacing : quint32
{
    Percent = 0,
    Fixed = 1,
    BetweenLines = 2,
    AtLeast = 3,
};

// Border line kinds of a border fill: 0 is no line at all.
inline quint8 BorderType(QTextFrameFormat::BorderStyle style)
{
    switch (style) {
    case QTextFrameFormat::BorderStyle_None:
        return 0;
    case QTextFrameFormat::BorderStyle_Dashed:
        return 2;
    case QTextFrameFormat::BorderStyle_Dotted:
        return 3;
    case QTextFrameFormat::BorderStyle_DotDash:
        return 4;
    case QTextFrameFormat::BorderStyle_DotDotDash:
        return 5;
    case QTextFrameFormat::BorderStyle_Double:
        return 8;
    default:
        return 1; // solid, and the 3D styles Qt draws as solid lines anyway
    }
}
inline QTextFrameFormat::BorderStyle QtBorderStyle(quint8 type)
{
    switch (type) {
    case 0:
        return QTextFrameFormat::BorderStyle_None;
    case 2:
    case 6:
        return QTextFrameFormat::BorderStyle_Dashed;
    case 3:
    case 7:
        return QTextFrameFormat::BorderStyle_Dotted;
    case 4:
        return QTextFrameFormat::BorderStyle_DotDash;
    case 5:
        return QTextFrameFormat::BorderStyle_DotDotDash;
    case 8:
    case 9:
    case 10:
    case 11:
        return QTextFrameFormat::BorderStyle_Double;
    default:
        return QTextFrameFormat::BorderStyle_Solid;
    }
}

// Border widths are an index into this list of millimetres.
inline constexpr std::array<double, 16> kBorderMillimetres = {0.1, 0.12, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5,
                                                              0.6, 0.7,  1.0,  1.5, 2.0,  3.0, 4.0, 5.0};
inline double BorderPoints(quint8 index)
{
    return kBorderMillimetres[std::min<std::size_t>(index, kBorderMillimetres.size() - 1)] * 72.0 / 25.4;
}
// The listed width nearest to `points`. The reader draws the thin lines (up to 0.3 mm) a point wide, so that
// they show on a screen; a point or less goes back as the word processor's own thin line, 0.12 mm.
inline constexpr double kThinnestDrawnPoints = 1.0;
inline quint8 BorderIndex(double points)
{
    if (points <= kThinnestDrawnPoints + 1e-6)
        return 1;
    const double millimetres = points * 25.4 / 72.0;
    quint8 best = 0;
    for (quint8 i = 1; i < kBorderMillimetres.size(); ++i) {
        if (std::abs(kBorderMillimetres[i] - millimetres) < std::abs(kBorderMillimetres[best] - millimetres))
            best = i;
    }
    return best;
}

// Number shapes of a numbering level (bits 5–8 of its head attribute).
enum class NumberShape : quint32
{
    Digit = 0,
    CircledDigit = 1,
    RomanCapital = 2,
    RomanSmall = 3,
    LatinCapital = 4,
    LatinSmall = 5,
    HangulSyllable = 8,
    HangulJamo = 10,
};

// Character shape attributes.
inline constexpr quint32 kItalic = 1u << 0;
inline constexpr quint32 kBold = 1u << 1;
inline constexpr quint32 kUnderlineBelow = 1u << 2; // bits 2–3: 1 below the text, 3 above it
inline constexpr quint32 kUnderlineMask = 3u << 2;
inline constexpr quint32 kSuperscript = 1u << 15;
inline constexpr quint32 kSubscript = 1u << 16;
inline constexpr quint32 kStrikeOut = 1u << 18; // bits 18–20: any kind of line through the text
inline constexpr quint32 kStrikeOutMask = 7u << 18;

// Paragraph heads (bits 23–24 of a paragraph shape's first attribute; the level in bits 25–27).
enum class HeadingType : quint32
{
    None = 0,
    Outline = 1,
    Number = 2,
    Bullet = 3,
};

// Ids of border fills, numberings and bullets count from 1 (0 is none); char shapes, paragraph shapes, face
// names and binary data items are referred to by their index from 0, binary data from 1.

} // namespace HwpValues
