#include "formula/Typesetter.h"

#include "formula/MathFont.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

namespace formula {

namespace {

using Glyph = MathFont::Glyph;

// A glyph at its baseline origin; y points up.
struct GlyphItem
{
    MathFont::Face face;
    unsigned id;
    double x, y, scale;
    bool piece = false; // of an assembled sign
};

// A filled rectangle; (x, y) is its lower left corner, y up.
struct RuleItem
{
    double x, y, width, height;
};

// A laid-out piece of a formula: its origin is the left end of its baseline, y up.
struct Box
{
    double width = 0, ascent = 0, descent = 0;
    // What a script after this box moves right by (italic letters lean out over their advance).
    double italic = 0;
    // The lowest ink, y up: above the baseline for marks that float over letters.
    double inkBottom = 0;
    AtomClass atom = AtomClass::Ord;
    bool italicText = false;
    bool blank = false;     // a space: no part in the spacing of its neighbours
    bool bigOperator = false;
    // When the box is one glyph: which, for accents placed over it and scripts on it.
    Glyph glyph;
    double glyphScale = 0;
    std::vector<GlyphItem> glyphs;
    std::vector<RuleItem> rules;
    QList<Part> parts;

    void place(const Box& other, double dx, double dy)
    {
        for (GlyphItem g : other.glyphs) {
            g.x += dx;
            g.y += dy;
            glyphs.push_back(g);
        }
        for (RuleItem r : other.rules) {
            r.x += dx;
            r.y += dy;
            rules.push_back(r);
        }
        for (Part p : other.parts) {
            p.rect.translate(dx, -dy);
            p.baseline -= dy;
            parts.append(p);
        }
    }
    void mark(Part::Kind kind, const Box& of, double dx, double dy, int row = 0, int column = 0)
    {
        Part p;
        p.kind = kind;
        p.rect = QRectF(dx, -(dy + of.ascent), of.width, of.ascent + of.descent);
        p.baseline = -dy;
        p.row = row;
        p.column = column;
        parts.append(p);
    }
    void rule(double x, double y, double w, double h) { rules.push_back({x, y, w, h}); }
};

struct Style
{
    int level = 0; // 0 display, 1 text, 2 script, 3 script of script
    bool cramped = false;

    Style script() const { return {level < 2 ? 2 : 3, cramped}; }
    Style subscript() const { return {level < 2 ? 2 : 3, true}; }
    Style fraction() const { return {level == 0 ? 1 : level == 1 ? 2 : 3, cramped}; }
    Style denominator() const { return {fraction().level, true}; }
    Style crampedStyle() const { return {level, true}; }
};

// Math alphanumerics for the letters of variables and for bold.
char32_t styled(char32_t c, FontStyle font)
{
    if (font == FontStyle::Italic) {
        if (c == 'h')
            return 0x210E;
        if (c >= 'a' && c <= 'z')
            return 0x1D44E + (c - 'a');
        if (c >= 'A' && c <= 'Z')
            return 0x1D434 + (c - 'A');
        if (c >= 0x3B1 && c <= 0x3C9)
            return 0x1D6FC + (c - 0x3B1);
    } else if (font == FontStyle::Bold) {
        if (c >= 'a' && c <= 'z')
            return 0x1D41A + (c - 'a');
        if (c >= 'A' && c <= 'Z')
            return 0x1D400 + (c - 'A');
        if (c >= '0' && c <= '9')
            return 0x1D7CE + (c - '0');
    }
    return c;
}

// Spacing between neighbours by their classes, in eighteenths of an em: positive always, negative only
// outside scripts, 0 none.
const int kSpacing[8][8] = {
    // Ord Op  Bin Rel Open Close Punct Inner
    {0, 3, -4, -5, 0, 0, 0, -3},      // Ord
    {3, 3, 0, -5, 0, 0, 0, -3},       // Op
    {-4, -4, 0, 0, -4, 0, 0, -4},     // Bin
    {-5, -5, 0, 0, -5, 0, 0, -5},     // Rel
    {0, 0, 0, 0, 0, 0, 0, 0},         // Open
    {0, 3, -4, -5, 0, 0, 0, -3},      // Close
    {-3, -3, 0, -3, -3, -3, -3, -3},  // Punct
    {-3, 3, -4, -5, -3, 0, -3, -3},   // Inner
};

class Typesetter
{
public:
    explicit Typesetter(double pointSize)
        : m_font(MathFont::instance())
        , m_pointSize(pointSize)
    {
        m_scriptScale = m_font.constant(HB_OT_MATH_CONSTANT_SCRIPT_PERCENT_SCALE_DOWN) / 100.0;
        m_scriptScriptScale = m_font.constant(HB_OT_MATH_CONSTANT_SCRIPT_SCRIPT_PERCENT_SCALE_DOWN) / 100.0;
        if (m_scriptScale <= 0)
            m_scriptScale = 0.7;
        if (m_scriptScriptScale <= 0)
            m_scriptScriptScale = 0.5;
    }

    Box lay(const Node& node, Style style)
    {
        switch (node.type) {
        case Node::Row: return row(node, style);
        case Node::Text: return text(node.text, node.font, style, node.atom);
        case Node::Symbol: return symbol(node, style);
        case Node::Space: {
            Box b;
            b.width = node.size * em(style);
            b.blank = true;
            return b;
        }
        case Node::Fraction: return fraction(node, style);
        case Node::Root: return root(node, style);
        case Node::Scripts: return scripts(node, style);
        case Node::BigOp: return bigOperator(node, style);
        case Node::Fenced: return fenced(node, style);
        case Node::Matrix: return matrix(node, style);
        case Node::Accent: return accent(node, style);
        }
        return {};
    }

    double axis(Style style) const { return c(HB_OT_MATH_CONSTANT_AXIS_HEIGHT, style); }

private:
    // Points per font unit of the math face in a style.
    double scale(Style style, MathFont::Face face = MathFont::Math) const
    {
        const double factor = style.level < 2 ? 1.0 : style.level == 2 ? m_scriptScale : m_scriptScriptScale;
        return m_pointSize * factor / m_font.unitsPerEm(face);
    }
    double em(Style style) const { return scale(style) * m_font.unitsPerEm(MathFont::Math); }
    double c(hb_ot_math_constant_t which, Style style) const { return m_font.constant(which) * scale(style); }

    Box glyphBox(const Glyph& g, Style style) const
    {
        const double s = scale(style, g.face);
        Box b;
        b.width = g.advance * s;
        b.ascent = std::max(0.0, g.yMax * s);
        b.descent = std::max(0.0, -g.yMin * s);
        b.inkBottom = g.yMin * s;
        b.italic = g.italic * s;
        b.glyph = g;
        b.glyphScale = s;
        b.glyphs.push_back({g.face, g.id, 0, 0, s});
        return b;
    }

    Box text(const std::u32string& content, FontStyle font, Style style, AtomClass atom)
    {
        Box b;
        b.atom = atom;
        int count = 0;
        for (char32_t ch : content) {
            Glyph g = m_font.mathGlyph(styled(ch, font));
            if (!g.valid())
                g = m_font.glyph(ch);
            if (!g.valid()) {
                // Nothing has this character: leave a blank of its place rather than a box.
                b.width += 0.5 * em(style);
                continue;
            }
            const double s = scale(style, g.face);
            b.glyphs.push_back({g.face, g.id, b.width, 0, s});
            b.width += g.advance * s;
            b.ascent = std::max(b.ascent, g.yMax * s);
            b.descent = std::max(b.descent, -g.yMin * s);
            b.italic = g.italic * s;
            b.glyph = g;
            b.glyphScale = s;
            ++count;
        }
        if (count != 1)
            b.glyph = {};
        b.italicText = font == FontStyle::Italic && b.italic > 0;
        return b;
    }

    Box symbol(const Node& node, Style style)
    {
        Box b = text(node.text, FontStyle::Roman, style, node.atom);
        b.atom = node.atom;
        return b;
    }

    Box row(const Node& node, Style style)
    {
        Box b;
        b.atom = node.atom;
        std::vector<Box> boxes;
        boxes.reserve(node.children.size());
        for (const auto& child : node.children)
            if (child)
                boxes.push_back(lay(*child, style));
        // A binary sign with nothing to combine on its left, or before a relation or a closing sign, is ordinary.
        AtomClass previous = AtomClass::Open;
        Box* previousBox = nullptr;
        for (Box& box : boxes) {
            if (box.blank)
                continue;
            if (box.atom == AtomClass::Bin
                && (previous == AtomClass::Bin || previous == AtomClass::Op || previous == AtomClass::Rel
                    || previous == AtomClass::Open || previous == AtomClass::Punct))
                box.atom = AtomClass::Ord;
            if (previousBox && previousBox->atom == AtomClass::Bin
                && (box.atom == AtomClass::Rel || box.atom == AtomClass::Close || box.atom == AtomClass::Punct))
                previousBox->atom = AtomClass::Ord;
            previous = box.atom;
            previousBox = &box;
        }
        if (previousBox && previousBox->atom == AtomClass::Bin)
            previousBox->atom = AtomClass::Ord;

        const Box* last = nullptr;
        double x = 0;
        for (const Box& box : boxes) {
            if (last && !box.blank) {
                const int space = kSpacing[int(last->atom)][int(box.atom)];
                if (space > 0 || (space < 0 && style.level < 2))
                    x += std::abs(space) * em(style) / 18.0;
                if (last->italicText && !box.italicText)
                    x += last->italic;
            }
            b.place(box, x, 0);
            x += box.width;
            b.ascent = std::max(b.ascent, box.ascent);
            b.descent = std::max(b.descent, box.descent);
            if (!box.blank)
                last = &box;
        }
        b.width = x;
        if (boxes.size() == 1) {
            b.glyph = boxes.front().glyph;
            b.glyphScale = boxes.front().glyphScale;
            b.italic = boxes.front().italic;
            b.italicText = boxes.front().italicText;
            b.bigOperator = boxes.front().bigOperator;
            b.atom = node.atom == AtomClass::Ord ? boxes.front().atom : node.atom;
        }
        return b;
    }

    Box fraction(const Node& node, Style style)
    {
        const Box num = lay(*node.children[0], style.fraction());
        const Box den = lay(*node.children[1], style.denominator());
        const bool display = style.level == 0;
        const double a = axis(style);
        double t = node.ruled ? c(HB_OT_MATH_CONSTANT_FRACTION_RULE_THICKNESS, style) : 0;
        double up, down;
        if (node.ruled) {
            up = c(display ? HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_DISPLAY_STYLE_SHIFT_UP
                           : HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_SHIFT_UP, style);
            down = c(display ? HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_DISPLAY_STYLE_SHIFT_DOWN
                             : HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_SHIFT_DOWN, style);
            const double numGap = c(display ? HB_OT_MATH_CONSTANT_FRACTION_NUM_DISPLAY_STYLE_GAP_MIN
                                            : HB_OT_MATH_CONSTANT_FRACTION_NUMERATOR_GAP_MIN, style);
            const double denGap = c(display ? HB_OT_MATH_CONSTANT_FRACTION_DENOM_DISPLAY_STYLE_GAP_MIN
                                            : HB_OT_MATH_CONSTANT_FRACTION_DENOMINATOR_GAP_MIN, style);
            up = std::max(up, a + t / 2 + numGap + num.descent);
            down = std::max(down, den.ascent + denGap - (a - t / 2));
        } else {
            up = c(display ? HB_OT_MATH_CONSTANT_STACK_TOP_DISPLAY_STYLE_SHIFT_UP
                           : HB_OT_MATH_CONSTANT_STACK_TOP_SHIFT_UP, style);
            down = c(display ? HB_OT_MATH_CONSTANT_STACK_BOTTOM_DISPLAY_STYLE_SHIFT_DOWN
                             : HB_OT_MATH_CONSTANT_STACK_BOTTOM_SHIFT_DOWN, style);
            const double gapMin = c(display ? HB_OT_MATH_CONSTANT_STACK_DISPLAY_STYLE_GAP_MIN
                                            : HB_OT_MATH_CONSTANT_STACK_GAP_MIN, style);
            const double gap = (up - num.descent) - (den.ascent - down);
            if (gap < gapMin) {
                up += (gapMin - gap) / 2;
                down += (gapMin - gap) / 2;
            }
        }
        // The bar reaches a little past the wider part, and a little room keeps neighbours off it.
        const double overhang = 0.08 * em(style);
        const double margin = 0.06 * em(style);
        const double inner = std::max(num.width, den.width) + 2 * overhang;
        Box b;
        b.width = inner + 2 * margin;
        b.place(num, margin + (inner - num.width) / 2, up);
        b.place(den, margin + (inner - den.width) / 2, -down);
        b.mark(Part::Numerator, num, margin + (inner - num.width) / 2, up);
        b.mark(Part::Denominator, den, margin + (inner - den.width) / 2, -down);
        if (node.ruled) {
            b.rule(margin, a - t / 2, inner, t);
            b.parts.append({Part::FractionBar, QRectF(margin, -(a + t / 2), inner, t), -a, 0, 0});
        }
        b.ascent = std::max(up + num.ascent, a + t / 2);
        b.descent = std::max(down + den.descent, 0.0);
        b.mark(Part::Fraction, b, 0, 0);
        return b;
    }

    // A glyph drawn at least `target` long (tall when vertical), from its sizes or assembled from pieces.
    // Vertical results stand on the baseline: their ink runs from 0 to their height.
    Box stretch(const Glyph& base, double target, bool vertical, Style style, bool assemble = true)
    {
        const double s = scale(style);
        auto extent = [&](const Glyph& g) { return (vertical ? g.yMax - g.yMin : g.xMax - g.xMin) * s; };
        const std::vector<Glyph> sizes = m_font.variants(base, vertical);
        Glyph chosen = base;
        bool fits = extent(base) >= target;
        for (const Glyph& g : sizes) {
            chosen = g;
            if (extent(g) >= target) {
                fits = true;
                break;
            }
        }
        if (!fits && assemble) {
            double italic = 0;
            const std::vector<MathFont::Piece> pieces = m_font.assembly(base, vertical, &italic);
            if (!pieces.empty())
                return assembly(pieces, target, vertical, style);
        }
        Box b = glyphBox(chosen, style);
        if (vertical) {
            // Stand the glyph's ink on the baseline.
            b.glyphs.front().y = -chosen.yMin * s;
            b.ascent = (chosen.yMax - chosen.yMin) * s;
            b.descent = 0;
        }
        return b;
    }

    Box assembly(const std::vector<MathFont::Piece>& pieces, double target, bool vertical, Style style)
    {
        const double s = scale(style);
        const double minOverlap = m_font.minConnectorOverlap(vertical);
        const double goal = target / s;
        // Repeat the extenders until the pieces, overlapped as little as allowed, reach the goal.
        std::vector<const MathFont::Piece*> chain;
        for (int repeats = 0; repeats <= 2000; ++repeats) {
            chain.clear();
            for (const auto& p : pieces)
                for (int i = 0; i < (p.extender ? repeats : 1); ++i)
                    chain.push_back(&p);
            double total = 0;
            for (const auto* p : chain)
                total += p->fullAdvance;
            if (chain.size() > 1)
                total -= minOverlap * double(chain.size() - 1);
            if (total >= goal || chain.size() > 4000)
                break;
        }
        // Then share the excess among the joins, each within what its connectors allow.
        double total = 0;
        double maxOverlap = 1e9;
        for (size_t i = 0; i < chain.size(); ++i) {
            total += chain[i]->fullAdvance;
            if (i + 1 < chain.size())
                maxOverlap = std::min(maxOverlap, std::min(chain[i]->endConnector, chain[i + 1]->startConnector));
        }
        double overlap = minOverlap;
        if (chain.size() > 1) {
            overlap = (total - goal) / double(chain.size() - 1);
            overlap = std::clamp(overlap, minOverlap, std::max(minOverlap, maxOverlap));
        }
        Box b;
        b.inkBottom = 1e9;
        double offset = 0;
        for (size_t i = 0; i < chain.size(); ++i) {
            const Glyph& g = chain[i]->glyph;
            if (vertical) {
                b.glyphs.push_back({g.face, g.id, 0, (offset - g.yMin) * s, s, true});
                b.width = std::max(b.width, g.advance * s);
            } else {
                b.glyphs.push_back({g.face, g.id, offset * s, 0, s, true});
                b.ascent = std::max(b.ascent, g.yMax * s);
                b.descent = std::max(b.descent, -g.yMin * s);
                b.inkBottom = std::min(b.inkBottom, g.yMin * s);
            }
            offset += chain[i]->fullAdvance - (i + 1 < chain.size() ? overlap : 0);
        }
        if (vertical) {
            b.ascent = offset * s;
            b.inkBottom = 0;
        } else {
            b.width = offset * s;
        }
        return b;
    }

    // A bracket at least `height` tall, centred on the axis; an empty one for no bracket.
    Box delimiter(char32_t codepoint, double height, Style style)
    {
        if (codepoint == 0) {
            Box b;
            b.width = 0.12 * em(style);
            return b;
        }
        const Glyph g = m_font.glyph(codepoint);
        if (!g.valid())
            return {};
        Box b = stretch(g, height, true, style);
        const double total = b.ascent + b.descent;
        const double shift = axis(style) + total / 2 - b.ascent;
        Box centred;
        centred.place(b, 0, shift);
        centred.width = b.width;
        centred.ascent = b.ascent + shift;
        centred.descent = total - centred.ascent;
        return centred;
    }

    Box fenced(const Node& node, Style style)
    {
        const Box inner = lay(*node.children[0], style);
        const double a = axis(style);
        const double half = std::max(inner.ascent - a, inner.descent + a);
        const double height = std::max(2 * half, inner.ascent + inner.descent);
        const Box open = delimiter(node.open, height, style);
        const Box close = delimiter(node.close, height, style);
        Box b;
        b.atom = AtomClass::Inner;
        b.place(open, 0, 0);
        if (node.open)
            b.mark(Part::Delimiter, open, 0, 0);
        b.place(inner, open.width, 0);
        b.place(close, open.width + inner.width, 0);
        if (node.close)
            b.mark(Part::Delimiter, close, open.width + inner.width, 0);
        b.width = open.width + inner.width + close.width;
        b.ascent = std::max({inner.ascent, open.ascent, close.ascent});
        b.descent = std::max({inner.descent, open.descent, close.descent});
        return b;
    }

    Box root(const Node& node, Style style)
    {
        const Box radicand = lay(*node.children[0], style.crampedStyle());
        const double t = c(HB_OT_MATH_CONSTANT_RADICAL_RULE_THICKNESS, style);
        double gap = c(style.level == 0 ? HB_OT_MATH_CONSTANT_RADICAL_DISPLAY_STYLE_VERTICAL_GAP
                                        : HB_OT_MATH_CONSTANT_RADICAL_VERTICAL_GAP, style);
        const double target = radicand.ascent + radicand.descent + gap + t;
        Box sign;
        const Glyph radical = m_font.glyph(0x221A);
        if (radical.valid())
            sign = stretch(radical, target, true, style);
        const double signHeight = sign.ascent + sign.descent;
        if (signHeight > target)
            gap += (signHeight - target) / 2;
        const double ruleTop = radicand.ascent + gap + t;
        const double signShift = ruleTop - sign.ascent;

        Box b;
        double x = 0;
        double degreeAscent = 0;
        if (node.children.size() > 1) {
            const Box degree = lay(*node.children[1], {3, true});
            const double before = c(HB_OT_MATH_CONSTANT_RADICAL_KERN_BEFORE_DEGREE, style);
            const double after = c(HB_OT_MATH_CONSTANT_RADICAL_KERN_AFTER_DEGREE, style);
            const double raise =
                m_font.constant(HB_OT_MATH_CONSTANT_RADICAL_DEGREE_BOTTOM_RAISE_PERCENT) / 100.0 * signHeight;
            const double baseline = signShift - sign.descent + raise;
            b.place(degree, before, baseline);
            b.mark(Part::RootIndex, degree, before, baseline);
            degreeAscent = baseline + degree.ascent;
            x = std::max(0.0, before + degree.width + after);
        }
        b.place(sign, x, signShift);
        b.mark(Part::Radical, sign, x, signShift);
        const double bodyX = x + sign.width;
        b.rule(bodyX, ruleTop - t, radicand.width, t);
        b.place(radicand, bodyX, 0);
        b.mark(Part::Radicand, radicand, bodyX, 0);
        b.width = bodyX + radicand.width;
        b.ascent = std::max(ruleTop + c(HB_OT_MATH_CONSTANT_RADICAL_EXTRA_ASCENDER, style), degreeAscent);
        b.descent = std::max(radicand.descent, sign.descent - signShift);
        return b;
    }

    Box bigOperator(const Node& node, Style style)
    {
        if (node.text.size() != 1 || node.text.front() < 0x2000) {
            // A word such as "lim", upright.
            Box b = text(node.text, FontStyle::Roman, style, AtomClass::Op);
            b.bigOperator = true;
            b.glyph = {};
            return b;
        }
        Glyph g = m_font.glyph(node.text.front());
        if (!g.valid())
            return {};
        if (style.level == 0 && g.face == MathFont::Math) {
            const double least = m_font.constant(HB_OT_MATH_CONSTANT_DISPLAY_OPERATOR_MIN_HEIGHT);
            for (const Glyph& v : m_font.variants(g, true)) {
                g = v;
                if (v.yMax - v.yMin >= least)
                    break;
            }
        }
        Box sign = glyphBox(g, style);
        const double s = scale(style);
        const double shift = axis(style) - (g.yMax + g.yMin) * s / 2;
        Box b;
        b.place(sign, 0, shift);
        b.width = sign.width;
        b.ascent = g.yMax * s + shift;
        b.descent = -(g.yMin * s + shift);
        b.italic = g.italic * s;
        b.atom = AtomClass::Op;
        b.bigOperator = true;
        return b;
    }

    Box scripts(const Node& node, Style style)
    {
        const Box base = lay(*node.children[0], style);
        Box b;
        b.atom = base.atom;
        if (node.limits)
            return limits(node, base, style);

        const bool simple = base.glyph.valid();
        const bool hasSup = node.children[1] != nullptr;
        const bool hasSub = node.children[2] != nullptr;
        Box sup, sub;
        if (hasSup)
            sup = lay(*node.children[1], style.script());
        if (hasSub)
            sub = lay(*node.children[2], style.subscript());

        double supShift = 0, subShift = 0;
        if (hasSup) {
            supShift = std::max({c(style.cramped ? HB_OT_MATH_CONSTANT_SUPERSCRIPT_SHIFT_UP_CRAMPED
                                                 : HB_OT_MATH_CONSTANT_SUPERSCRIPT_SHIFT_UP, style),
                                 simple ? 0.0 : base.ascent - c(HB_OT_MATH_CONSTANT_SUPERSCRIPT_BASELINE_DROP_MAX, style),
                                 sup.descent + c(HB_OT_MATH_CONSTANT_SUPERSCRIPT_BOTTOM_MIN, style)});
        }
        if (hasSub) {
            subShift = std::max({c(HB_OT_MATH_CONSTANT_SUBSCRIPT_SHIFT_DOWN, style),
                                 simple ? 0.0 : base.descent + c(HB_OT_MATH_CONSTANT_SUBSCRIPT_BASELINE_DROP_MIN, style),
                                 sub.ascent - c(HB_OT_MATH_CONSTANT_SUBSCRIPT_TOP_MAX, style)});
        }
        if (hasSup && hasSub) {
            const double gap = (supShift - sup.descent) - (sub.ascent - subShift);
            const double least = c(HB_OT_MATH_CONSTANT_SUB_SUPERSCRIPT_GAP_MIN, style);
            if (gap < least)
                subShift += least - gap;
        }
        double supX = base.bigOperator ? base.width : base.width + base.italic;
        // An italic letter leans out over its advance at the top, not at the foot: its subscript moves in by
        // the lean, as a large operator's does.
        double subX = base.bigOperator || base.italicText ? base.width - base.italic : base.width;
        // A single letter's corners may take a script in closer: its cut-in kerns, at the script's height.
        if (simple && !base.bigOperator && base.glyphScale > 0) {
            if (hasSup)
                supX += m_font.cornerKern(base.glyph, true, (supShift - sup.descent) / base.glyphScale) * base.glyphScale;
            if (hasSub)
                subX += m_font.cornerKern(base.glyph, false, (sub.ascent - subShift) / base.glyphScale) * base.glyphScale;
        }
        b.place(base, 0, 0);
        b.mark(Part::Base, base, 0, 0);
        b.width = base.width;
        b.ascent = base.ascent;
        b.descent = base.descent;
        if (hasSup) {
            b.place(sup, supX, supShift);
            b.mark(Part::Superscript, sup, supX, supShift);
            b.width = std::max(b.width, supX + sup.width);
            b.ascent = std::max(b.ascent, supShift + sup.ascent);
        }
        if (hasSub) {
            b.place(sub, subX, -subShift);
            b.mark(Part::Subscript, sub, subX, -subShift);
            b.width = std::max(b.width, subX + sub.width);
            b.descent = std::max(b.descent, subShift + sub.descent);
        }
        b.width += c(HB_OT_MATH_CONSTANT_SPACE_AFTER_SCRIPT, style);
        return b;
    }

    Box limits(const Node& node, const Box& base, Style style)
    {
        Box upper, lower;
        const bool hasUpper = node.children[1] != nullptr;
        const bool hasLower = node.children[2] != nullptr;
        if (hasUpper)
            upper = lay(*node.children[1], style.script());
        if (hasLower)
            lower = lay(*node.children[2], style.subscript());
        const double width = std::max({base.width, upper.width, lower.width});
        // Limits of a slanted sign (an integral) follow its slant.
        const double lean = base.bigOperator ? base.italic / 2 : 0;
        Box b;
        b.atom = base.atom == AtomClass::Ord ? AtomClass::Op : base.atom;
        b.width = width;
        b.place(base, (width - base.width) / 2, 0);
        b.mark(Part::Base, base, (width - base.width) / 2, 0);
        b.ascent = base.ascent;
        b.descent = base.descent;
        if (hasUpper) {
            const double shift = base.ascent
                                 + std::max(c(HB_OT_MATH_CONSTANT_UPPER_LIMIT_BASELINE_RISE_MIN, style),
                                            c(HB_OT_MATH_CONSTANT_UPPER_LIMIT_GAP_MIN, style) + upper.descent);
            const double x = (width - upper.width) / 2 + lean;
            b.place(upper, x, shift);
            b.mark(Part::UpperLimit, upper, x, shift);
            b.ascent = shift + upper.ascent;
            b.width = std::max(b.width, x + upper.width);
        }
        if (hasLower) {
            const double drop = base.descent
                                + std::max(c(HB_OT_MATH_CONSTANT_LOWER_LIMIT_BASELINE_DROP_MIN, style),
                                           c(HB_OT_MATH_CONSTANT_LOWER_LIMIT_GAP_MIN, style) + lower.ascent);
            const double x = std::max(0.0, (width - lower.width) / 2 - lean);
            b.place(lower, x, -drop);
            b.mark(Part::LowerLimit, lower, x, -drop);
            b.descent = drop + lower.descent;
        }
        return b;
    }

    Box matrix(const Node& node, Style style)
    {
        const Style cellStyle = style.level == 0 ? Style {1, style.cramped} : style;
        const int rows = std::max(node.rows, 1);
        const int columns = std::max(node.columns, 1);
        std::vector<Box> cells;
        cells.reserve(node.children.size());
        for (const auto& child : node.children)
            cells.push_back(child ? lay(*child, cellStyle) : Box());
        cells.resize(size_t(rows) * size_t(columns));

        const double unit = em(cellStyle);
        std::vector<double> widths(size_t(columns), 0.0), ascents(size_t(rows), 0.7 * unit),
            descents(size_t(rows), 0.3 * unit);
        for (int r = 0; r < rows; ++r)
            for (int col = 0; col < columns; ++col) {
                const Box& cell = cells[size_t(r) * size_t(columns) + size_t(col)];
                widths[size_t(col)] = std::max(widths[size_t(col)], cell.width);
                ascents[size_t(r)] = std::max(ascents[size_t(r)], cell.ascent);
                descents[size_t(r)] = std::max(descents[size_t(r)], cell.descent);
            }
        const bool lines = node.matrix == Node::Lines;
        const double rowGap = (lines ? 0.4 : 0.3) * unit;
        const double columnGap = node.matrix == Node::Cases ? 1.0 * unit : lines ? 0.0 : 0.8 * unit;
        double height = 0;
        for (int r = 0; r < rows; ++r)
            height += ascents[size_t(r)] + descents[size_t(r)] + (r > 0 ? rowGap : 0);
        const double top = axis(style) + height / 2;

        Box body;
        double y = top;
        for (int r = 0; r < rows; ++r) {
            y -= ascents[size_t(r)];
            double x = 0;
            for (int col = 0; col < columns; ++col) {
                const Box& cell = cells[size_t(r) * size_t(columns) + size_t(col)];
                const double room = widths[size_t(col)] - cell.width;
                double dx = room / 2;
                switch (node.matrix) {
                case Node::Cases:
                case Node::LeftPile: dx = 0; break;
                case Node::RightPile: dx = room; break;
                case Node::Lines: dx = columns == 1 || col % 2 == 1 ? 0 : room; break;
                default: break;
                }
                body.place(cell, x + dx, y);
                body.mark(Part::Cell, cell, x + dx, y, r, col);
                x += widths[size_t(col)] + columnGap;
            }
            body.width = std::max(body.width, x - columnGap);
            y -= descents[size_t(r)] + rowGap;
        }
        body.ascent = top;
        body.descent = height - top;

        char32_t open = 0, close = 0;
        switch (node.matrix) {
        case Node::Paren: open = '(', close = ')'; break;
        case Node::Bracket: open = '[', close = ']'; break;
        case Node::Bars: open = close = '|'; break;
        case Node::Cases: open = '{'; break;
        default: break;
        }
        if (!open)
            return body;
        Box b;
        b.atom = AtomClass::Inner;
        const double tall = height + 0.2 * unit;
        const Box left = delimiter(open, tall, style);
        b.place(left, 0, 0);
        b.mark(Part::Delimiter, left, 0, 0);
        const double pad = 0.1 * unit;
        b.place(body, left.width + pad, 0);
        b.width = left.width + pad + body.width + pad;
        b.ascent = std::max(body.ascent, left.ascent);
        b.descent = std::max(body.descent, left.descent);
        if (close) {
            const Box right = delimiter(close, tall, style);
            b.place(right, b.width, 0);
            b.mark(Part::Delimiter, right, b.width, 0);
            b.width += right.width;
            b.ascent = std::max(b.ascent, right.ascent);
            b.descent = std::max(b.descent, right.descent);
        }
        return b;
    }

    Box accent(const Node& node, Style style)
    {
        const Box base = lay(*node.children[0], style.crampedStyle());
        Box b;
        b.atom = base.atom;
        b.place(base, 0, 0);
        b.mark(Part::Base, base, 0, 0);
        b.width = base.width;
        b.ascent = base.ascent;
        b.descent = base.descent;
        b.italic = base.italic;
        b.italicText = base.italicText;
        if (node.accent == 0x0305 || node.accent == 0x0332) {
            // Over- and underlines are rules as wide as what they mark.
            const bool over = node.accent == 0x0305;
            const double gap = c(over ? HB_OT_MATH_CONSTANT_OVERBAR_VERTICAL_GAP
                                      : HB_OT_MATH_CONSTANT_UNDERBAR_VERTICAL_GAP, style);
            const double t = c(over ? HB_OT_MATH_CONSTANT_OVERBAR_RULE_THICKNESS
                                    : HB_OT_MATH_CONSTANT_UNDERBAR_RULE_THICKNESS, style);
            const double extra = c(over ? HB_OT_MATH_CONSTANT_OVERBAR_EXTRA_ASCENDER
                                        : HB_OT_MATH_CONSTANT_UNDERBAR_EXTRA_DESCENDER, style);
            const double y = over ? base.ascent + gap : -(base.descent + gap + t);
            b.rule(0, y, base.width, t);
            b.parts.append({Part::Accent, QRectF(0, -(y + t), base.width, t), -y, 0, 0});
            if (over)
                b.ascent = y + t + extra;
            else
                b.descent = -y + extra;
            return b;
        }
        const Glyph mark = m_font.mathGlyph(node.accent);
        if (!mark.valid())
            return b;
        const bool arrow = node.accent == 0x20D7 || node.accent == 0x20E1;
        const double inkWidth = base.width - (base.italicText ? base.italic : 0);
        Box sign = stretch(mark, arrow ? inkWidth : inkWidth * 0.9, false, style, arrow);
        double signLeft = 0, signRight = sign.width;
        if (sign.glyph.valid()) {
            signLeft = sign.glyph.xMin * sign.glyphScale;
            signRight = sign.glyph.xMax * sign.glyphScale;
        }
        const double baseAttach = base.glyph.valid() ? m_font.topAccentAttachment(base.glyph) * base.glyphScale
                                                     : inkWidth / 2;
        const double dx = baseAttach - (signLeft + signRight) / 2;
        const double dy = std::max(0.0, base.ascent - c(HB_OT_MATH_CONSTANT_ACCENT_BASE_HEIGHT, style));
        b.place(sign, dx, dy);
        b.parts.append({Part::Accent, QRectF(dx + signLeft, -(dy + sign.ascent), signRight - signLeft,
                                              sign.ascent - sign.inkBottom), -dy, 0, 0});
        b.ascent = std::max(b.ascent, dy + sign.ascent);
        return b;
    }

    const MathFont& m_font;
    double m_pointSize;
    double m_scriptScale = 0.7;
    double m_scriptScriptScale = 0.5;
};

} // namespace

Layout Typeset(const Node& root, double pointSize)
{
    Layout layout;
    if (!(pointSize > 0) || !std::isfinite(pointSize))
        return layout;
    Typesetter setter(pointSize);
    const Box box = setter.lay(root, {0, false});
    layout.width = box.width;
    layout.ascent = box.ascent;
    layout.descent = box.descent;
    layout.axis = setter.axis({0, false});
    layout.parts = box.parts;
    const MathFont& font = MathFont::instance();
    QPainterPath outline;
    QPainterPath shapes;
    for (const GlyphItem& g : box.glyphs) {
        const QPainterPath& shape = font.outline(g.face, g.id);
        if (shape.isEmpty())
            continue;
        const QPainterPath placed = QTransform(g.scale, 0, 0, g.scale, g.x, -g.y).map(shape);
        outline.addPath(placed);
        if (g.piece)
            shapes.addPath(placed);
        else
            layout.glyphs.append({int(g.face), g.id, g.x, -g.y, g.scale});
    }
    for (const RuleItem& r : box.rules) {
        outline.addRect(r.x, -(r.y + r.height), r.width, r.height);
        shapes.addRect(r.x, -(r.y + r.height), r.width, r.height);
    }
    // Glyph outlines wind one way; overlapping pieces add up rather than cancel.
    outline.setFillRule(Qt::WindingFill);
    shapes.setFillRule(Qt::WindingFill);
    layout.outline = outline;
    layout.shapes = shapes;
    return layout;
}

} // namespace formula
