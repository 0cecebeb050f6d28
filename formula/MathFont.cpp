#include "formula/MathFont.h"

#include <QFile>
#include <QFont>
#include <QRawFont>

#include <cmath>

namespace formula {

namespace {

// Debian's OpenType math fonts, in the order we prefer them. VELLORIN_MATH_FONT names another file.
const char* const kMathFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuMathTeXGyre.ttf",
    "/usr/share/fonts/opentype/stix-word/STIXMath-Regular.otf",
    "/usr/share/texmf/fonts/opentype/public/tex-gyre-math/texgyretermes-math.otf",
};

// Korean and anything else the math font lacks is set in a serif text face, as the rest of a formula is.
const char kTextFamily[] = "NanumMyeongjo";

// What a formula is set with when no math font can be opened, in units of a 1000-unit em (the values of a
// typical math font), so that it still comes out readable.
double fallbackConstant(hb_ot_math_constant_t which)
{
    switch (which) {
    case HB_OT_MATH_CONSTANT_SCRIPT_PERCENT_SCALE_DOWN: return 70;
    case HB_OT_MATH_CONSTANT_SCRIPT_SCRIPT_PERCENT_SCALE_DOWN: return 55;
    case HB_OT_MATH_CONSTANT_AXIS_HEIGHT: return 250;
    case HB_OT_MATH_CONSTANT_ACCENT_BASE_HEIGHT: return 450;
    case HB_OT_MATH_CONSTANT_SUBSCRIPT_SHIFT_DOWN: return 150;
    case HB_OT_MATH_CONSTANT_SUBSCRIPT_TOP_MAX: return 350;
    case HB_OT_MATH_CONSTANT_SUBSCRIPT_BASELINE_DROP_MIN: return 200;
    case HB_OT_MATH_CONSTANT_SUPERSCRIPT_SHIFT_UP: return 360;
    case HB_OT_MATH_CONSTANT_SUPERSCRIPT_SHIFT_UP_CRAMPED: return 290;
    case HB_OT_MATH_CONSTANT_SUPERSCRIPT_BOTTOM_MIN: return 110;
    case HB_OT_MATH_CONSTANT_SUPERSCRIPT_BASELINE_DROP_MAX: return 250;
    case HB_OT_MATH_CONSTANT_SUB_SUPERSCRIPT_GAP_MIN: return 160;
    case HB_OT_MATH_CONSTANT_SUPERSCRIPT_BOTTOM_MAX_WITH_SUBSCRIPT: return 350;
    case HB_OT_MATH_CONSTANT_SPACE_AFTER_SCRIPT: return 50;
    case HB_OT_MATH_CONSTANT_UPPER_LIMIT_GAP_MIN: return 200;
    case HB_OT_MATH_CONSTANT_UPPER_LIMIT_BASELINE_RISE_MIN: return 110;
    case HB_OT_MATH_CONSTANT_LOWER_LIMIT_GAP_MIN: return 170;
    case HB_OT_MATH_CONSTANT_LOWER_LIMIT_BASELINE_DROP_MIN: return 600;
    case HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_SHIFT_UP:
    case HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_DISPLAY_STYLE_SHIFT_UP: return 680;
    case HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_SHIFT_DOWN:
    case HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_DISPLAY_STYLE_SHIFT_DOWN: return 690;
    case HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_GAP_MIN:
    case HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_GAP_MIN: return 40;
    case HB_OT_MATH_CONSTANT_FRACTION_NUM_DISPLAY_STYLE_GAP_MIN:
    case HB_OT_MATH_CONSTANT_FRACTION_DENOM_DISPLAY_STYLE_GAP_MIN: return 120;
    case HB_OT_MATH_CONSTANT_FRACTION_RULE_THICKNESS:
    case HB_OT_MATH_CONSTANT_OVERBAR_RULE_THICKNESS:
    case HB_OT_MATH_CONSTANT_UNDERBAR_RULE_THICKNESS:
    case HB_OT_MATH_CONSTANT_RADICAL_RULE_THICKNESS: return 40;
    case HB_OT_MATH_CONSTANT_OVERBAR_VERTICAL_GAP:
    case HB_OT_MATH_CONSTANT_UNDERBAR_VERTICAL_GAP: return 120;
    case HB_OT_MATH_CONSTANT_OVERBAR_EXTRA_ASCENDER:
    case HB_OT_MATH_CONSTANT_UNDERBAR_EXTRA_DESCENDER:
    case HB_OT_MATH_CONSTANT_RADICAL_EXTRA_ASCENDER: return 40;
    case HB_OT_MATH_CONSTANT_RADICAL_VERTICAL_GAP: return 50;
    case HB_OT_MATH_CONSTANT_RADICAL_DISPLAY_STYLE_VERTICAL_GAP: return 150;
    case HB_OT_MATH_CONSTANT_RADICAL_KERN_BEFORE_DEGREE: return 280;
    case HB_OT_MATH_CONSTANT_RADICAL_KERN_AFTER_DEGREE: return -560;
    case HB_OT_MATH_CONSTANT_RADICAL_DEGREE_BOTTOM_RAISE_PERCENT: return 60;
    case HB_OT_MATH_CONSTANT_DISPLAY_OPERATOR_MIN_HEIGHT: return 1300;
    default: return 0;
    }
}

quint64 outlineKey(MathFont::Face face, unsigned id)
{
    return (quint64(face) << 32) | id;
}

} // namespace

MathFont& MathFont::instance()
{
    // Never destroyed: the raw fonts must not outlive the application object, which goes first at exit.
    static MathFont* const font = new MathFont;
    return *font;
}

MathFont::MathFont()
{
    QStringList candidates;
    const QString chosen = qEnvironmentVariable("VELLORIN_MATH_FONT");
    if (!chosen.isEmpty())
        candidates << chosen;
    else
        for (const char* file : kMathFontFiles)
            candidates << QString::fromLatin1(file);

    for (const QString& candidate : candidates) {
        if (!QFile::exists(candidate))
            continue;
        hb_blob_t* blob = hb_blob_create_from_file_or_fail(QFile::encodeName(candidate).constData());
        if (!blob || hb_blob_get_length(blob) == 0) {
            hb_blob_destroy(blob);
            continue;
        }
        hb_face_t* face = hb_face_create(blob, 0);
        if (!hb_ot_math_has_data(face)) {
            hb_face_destroy(face);
            hb_blob_destroy(blob);
            continue;
        }
        // The outlines come from the same file, so that glyph ids mean the same glyphs on both sides.
        auto raw = std::make_unique<QRawFont>(candidate, hb_face_get_upem(face), QFont::PreferNoHinting);
        if (!raw->isValid()) {
            hb_face_destroy(face);
            hb_blob_destroy(blob);
            continue;
        }
        m_blob = blob;
        m_face = face;
        m_math = hb_font_create(face);
        m_mathUpem = hb_face_get_upem(face);
        m_mathRaw = std::move(raw);
        m_path = candidate;
        break;
    }
    if (!m_math)
        m_error = candidates.size() == 1 ? QStringLiteral("%1 is not an OpenType math font").arg(candidates.front())
                                         : QStringLiteral("no OpenType math font is installed (fonts-dejavu-extra)");

    for (int i = 0; i <= HB_OT_MATH_CONSTANT_RADICAL_DEGREE_BOTTOM_RAISE_PERCENT; ++i) {
        const auto which = static_cast<hb_ot_math_constant_t>(i);
        m_constants[i] = m_math ? hb_ot_math_get_constant(m_math, which) : fallbackConstant(which);
    }

    QFont text(QString::fromLatin1(kTextFamily));
    text.setPixelSize(int(kTextUpem));
    text.setStyleStrategy(QFont::PreferOutline);
    m_textRaw = std::make_unique<QRawFont>(QRawFont::fromFont(text));
}

double MathFont::constant(hb_ot_math_constant_t which) const
{
    return m_constants[which];
}

MathFont::Glyph MathFont::measure(Face face, unsigned id) const
{
    Glyph g;
    g.face = face;
    g.id = id;
    if (face == Math) {
        g.advance = hb_font_get_glyph_h_advance(m_math, id);
        hb_glyph_extents_t e {};
        if (hb_font_get_glyph_extents(m_math, id, &e)) {
            g.xMin = e.x_bearing;
            g.xMax = e.x_bearing + e.width;
            g.yMax = e.y_bearing;
            g.yMin = e.y_bearing + e.height;
        }
        g.italic = hb_ot_math_get_glyph_italics_correction(m_math, id);
    }
    return g;
}

MathFont::Glyph MathFont::mathGlyph(char32_t codepoint) const
{
    hb_codepoint_t id = 0;
    if (!m_math || !hb_font_get_nominal_glyph(m_math, codepoint, &id) || id == 0)
        return {};
    return measure(Math, id);
}

MathFont::Glyph MathFont::glyph(char32_t codepoint) const
{
    Glyph g = mathGlyph(codepoint);
    if (g.valid())
        return g;
    std::lock_guard lock(m_lock);
    if (auto found = m_textGlyphs.find(codepoint); found != m_textGlyphs.end())
        return found->second;
    Glyph t;
    if (m_textRaw && m_textRaw->isValid()) {
        const QString text = QString::fromUcs4(&codepoint, 1);
        const QList<quint32> ids = m_textRaw->glyphIndexesForString(text);
        if (ids.size() == 1 && ids.front() != 0) {
            t.face = Text;
            t.id = ids.front();
            const QList<QPointF> advances = m_textRaw->advancesForGlyphIndexes(ids);
            t.advance = advances.value(0).x();
            const QRectF ink = m_textRaw->boundingRect(t.id);
            t.xMin = ink.left();
            t.xMax = ink.right();
            t.yMax = -ink.top();
            t.yMin = -ink.bottom();
        }
    }
    // Remember misses too: a long run of a character no face has is then cheap.
    m_textGlyphs.emplace(codepoint, t);
    return t;
}

std::vector<MathFont::Glyph> MathFont::variants(const Glyph& glyph, bool vertical) const
{
    std::vector<Glyph> found;
    if (!m_math || glyph.face != Math)
        return found;
    const hb_direction_t direction = vertical ? HB_DIRECTION_TTB : HB_DIRECTION_LTR;
    hb_ot_math_glyph_variant_t list[64];
    unsigned count = 64;
    hb_ot_math_get_glyph_variants(m_math, glyph.id, direction, 0, &count, list);
    for (unsigned i = 0; i < count; ++i)
        found.push_back(measure(Math, list[i].glyph));
    return found;
}

std::vector<MathFont::Piece> MathFont::assembly(const Glyph& glyph, bool vertical, double* italic) const
{
    std::vector<Piece> pieces;
    if (!m_math || glyph.face != Math)
        return pieces;
    const hb_direction_t direction = vertical ? HB_DIRECTION_TTB : HB_DIRECTION_LTR;
    hb_ot_math_glyph_part_t parts[32];
    unsigned count = 32;
    hb_position_t correction = 0;
    hb_ot_math_get_glyph_assembly(m_math, glyph.id, direction, 0, &count, parts, &correction);
    for (unsigned i = 0; i < count; ++i) {
        Piece piece;
        piece.glyph = measure(Math, parts[i].glyph);
        piece.startConnector = parts[i].start_connector_length;
        piece.endConnector = parts[i].end_connector_length;
        piece.fullAdvance = parts[i].full_advance;
        piece.extender = parts[i].flags & HB_OT_MATH_GLYPH_PART_FLAG_EXTENDER;
        pieces.push_back(piece);
    }
    if (italic)
        *italic = correction;
    return pieces;
}

double MathFont::minConnectorOverlap(bool vertical) const
{
    return m_math ? hb_ot_math_get_min_connector_overlap(m_math, vertical ? HB_DIRECTION_TTB : HB_DIRECTION_LTR) : 0;
}

double MathFont::topAccentAttachment(const Glyph& glyph) const
{
    if (m_math && glyph.face == Math)
        return hb_ot_math_get_glyph_top_accent_attachment(m_math, glyph.id);
    return glyph.advance / 2;
}

double MathFont::cornerKern(const Glyph& glyph, bool top, double height) const
{
    if (!m_math || glyph.face != Math)
        return 0;
    return hb_ot_math_get_glyph_kerning(m_math, glyph.id, top ? HB_OT_MATH_KERN_TOP_RIGHT : HB_OT_MATH_KERN_BOTTOM_RIGHT,
                                        hb_position_t(std::lround(height)));
}

const QPainterPath& MathFont::outline(Face face, unsigned id) const
{
    std::lock_guard lock(m_lock);
    auto [entry, added] = m_outlines.try_emplace(outlineKey(face, id));
    if (added) {
        QRawFont* raw = face == Math ? m_mathRaw.get() : m_textRaw.get();
        if (raw && raw->isValid())
            entry->second = raw->pathForGlyph(id);
    }
    return entry->second;
}

} // namespace formula
