#pragma once

#include <QPainterPath>
#include <QString>

#include <hb-ot.h>
#include <hb.h>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

class QRawFont;

namespace formula {

// The two faces a formula is set in: the OpenType math font (its MATH table through HarfBuzz, its outlines
// through Qt, both from the same file) and a text face for what the math font has no glyph for, such as
// Korean. Every measure is in font units of the face it belongs to; `unitsPerEm` converts.
class MathFont
{
public:
    enum Face
    {
        Math = 0,
        Text = 1,
    };

    struct Glyph
    {
        Face face = Math;
        unsigned id = 0;
        double advance = 0;
        // Ink extents, y up.
        double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
        double italic = 0;
        bool valid() const { return id != 0; }
    };

    // One piece of a glyph assembly, bottom to top or left to right.
    struct Piece
    {
        Glyph glyph;
        double startConnector = 0;
        double endConnector = 0;
        double fullAdvance = 0;
        bool extender = false;
    };

    // Opened once, by the first formula laid out.
    static MathFont& instance();

    bool hasMath() const { return m_math != nullptr; }
    QString path() const { return m_path; }
    QString error() const { return m_error; }
    double unitsPerEm(Face face) const { return face == Math ? m_mathUpem : kTextUpem; }

    // A MATH constant in font units (percentages as they stand); a stand-in value when there is no math font.
    double constant(hb_ot_math_constant_t which) const;
    // The glyph for a code point in the math font, else in the text face; invalid when neither has one.
    Glyph glyph(char32_t codepoint) const;
    // Only from the math font.
    Glyph mathGlyph(char32_t codepoint) const;
    // The sizes of a math glyph in a direction, the glyph itself first.
    std::vector<Glyph> variants(const Glyph& glyph, bool vertical) const;
    std::vector<Piece> assembly(const Glyph& glyph, bool vertical, double* italic = nullptr) const;
    double minConnectorOverlap(bool vertical) const;
    double topAccentAttachment(const Glyph& glyph) const;
    // How far a script at `height` (font units, y up) may move into the corner of a math glyph: its cut-in
    // kern, negative to move in; 0 where the font says nothing.
    double cornerKern(const Glyph& glyph, bool top, double height) const;

    // The outline of a glyph in font units, y down; shared and cached.
    const QPainterPath& outline(Face face, unsigned id) const;

private:
    MathFont();
    Glyph measure(Face face, unsigned id) const;

    static constexpr double kTextUpem = 1000;
    QString m_path;
    QString m_error;
    hb_blob_t* m_blob = nullptr;
    hb_face_t* m_face = nullptr;
    hb_font_t* m_math = nullptr;
    double m_mathUpem = 1000;
    std::unique_ptr<QRawFont> m_mathRaw;
    std::unique_ptr<QRawFont> m_textRaw;
    double m_constants[HB_OT_MATH_CONSTANT_RADICAL_DEGREE_BOTTOM_RAISE_PERCENT + 1] = {};
    // QRawFont is not thread-safe; every use of the two raw fonts after construction holds this lock.
    mutable std::mutex m_lock;
    mutable std::unordered_map<quint64, QPainterPath> m_outlines;
    mutable std::unordered_map<char32_t, Glyph> m_textGlyphs;
};

} // namespace formula
