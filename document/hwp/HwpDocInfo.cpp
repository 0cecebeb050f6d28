#include "document/hwp/HwpDocInfo.h"

#include "document/LayoutUnits.h"

#include "document/HwpShapes.h"
#include "document/PageGeometry.h"
#include "document/hwp/HwpValues.h"

#include <QStringList>

#include <algorithm>

namespace HwpDocInfo {

namespace {

using HwpRecords::DataReader;

// The languages a character shape names a face for; the body's Korean text uses the first.
constexpr int kLanguages = 7;
// A document needs far fewer of each; past this a file is only making us hold memory.
constexpr qsizetype kMaxItems = 65536;
using HwpShapes::kMaxUnits;

// Paragraph shapes' lengths are in half units.
double paragraphPoints(qint32 units)
{
    return std::clamp(units, -kMaxUnits, kMaxUnits) / HwpValues::kParagraphUnitsPerPoint;
}

// The binary numbers of the shapes, by their HWP XML names.
QStringView alignmentName(int code)
{
    static const char16_t* const names[] = {u"Justify", u"Left", u"Right", u"Center", u"Distribute", u"Divide"};
    return code >= 0 && code < int(std::size(names)) ? QStringView(names[code]) : QStringView(u"Justify");
}

QStringView borderName(int code)
{
    static const char16_t* const names[] = {u"None",       u"Solid",      u"Dash",      u"Dot",
                                            u"DashDot",    u"DashDotDot", u"LongDash",  u"Circle",
                                            u"DoubleSlim", u"SlimThick",  u"ThickSlim", u"SlimThickSlim"};
    return code >= 0 && code < int(std::size(names)) ? QStringView(names[code]) : QStringView(u"Solid");
}

double borderMillimetres(int code)
{
    static const double widths[] = {0.1, 0.12, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0};
    return code >= 0 && code < int(std::size(widths)) ? widths[code] : 0.12;
}

QString numberName(int code)
{
    static const char* const names[] = {
        "Digit",      "CircledDigit",        "RomanCapital",      "RomanSmall",     "LatinCapital",
        "LatinSmall", "CircledLatinCapital", "CircledLatinSmall", "HangulSyllable", "CircledHangulSyllable",
        "HangulJamo", "CircledHangulJamo",   "HangulPhonetic",    "Ideograph",      "CircledIdeograph"};
    return code >= 0 && code < int(std::size(names)) ? QLatin1String(names[code]) : QLatin1String("Digit");
}

QTextCharFormat charShape(const QByteArray& data, const QStringList& hangulFaces)
{
    DataReader in(data);
    QTextCharFormat format;
    const int face = in.u16();
    in.skip(2 * (kLanguages - 1)); // the other scripts' faces
    // The Hangul script's width ratio, letter spacing and relative size, which set a question's lines: percent,
    // percent of the size, percent.
    const int ratio = in.u8();
    in.skip(kLanguages - 1);
    const int spacing = qint8(in.u8());
    in.skip(kLanguages - 1);
    const int relative = in.u8();
    in.skip(kLanguages - 1 + kLanguages); // the other relative sizes, the offsets
    const qint32 height = in.i32();
    const quint32 properties = in.u32();
    in.skip(2); // shadow offsets
    const QColor text = HwpShapes::Colour(in.u32());
    in.skip(4); // underline colour
    const QColor shade = HwpShapes::Colour(in.u32());
    if (!in.ok())
        return format;
    if (face < hangulFaces.size() && !hangulFaces[face].isEmpty())
        format.setFontFamilies({hangulFaces[face]});
    if (height > 0) {
        const double size =
            std::min(height / 100.0 * (relative >= 10 && relative <= 250 ? relative : 100) / 100.0, 4096.0);
        format.setFontPointSize(size);
        // Letter spacing in points, which are the layout's units for it.
        if (spacing != 0 && spacing >= -50 && spacing <= 50) {
            format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            format.setFontLetterSpacing(size * spacing / 100.0);
        }
    }
    if (ratio != 100 && ratio >= 50 && ratio <= 200)
        format.setFontStretch(ratio);
    if (text.isValid())
        format.setForeground(text);
    // White shading is how the word processor says "none" as often as the no-colour value.
    if (shade.isValid() && shade != Qt::white)
        format.setBackground(shade);
    if (properties & 0x1)
        format.setFontItalic(true);
    if (properties & 0x2)
        format.setFontWeight(QFont::Bold);
    // The line's place: 1 below the text, 3 above it; 2 is the line through it, which the strike-out bits give.
    const int line = (properties >> 2) & 0x3;
    if (line == 1)
        format.setFontUnderline(true);
    else if (line == 3)
        format.setFontOverline(true);
    if (properties & (1u << 15))
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (properties & (1u << 16))
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if ((properties >> 18) & 0x7)
        format.setFontStrikeOut(true);
    return format;
}

ParaShape paraShape(const QByteArray& data)
{
    DataReader in(data);
    ParaShape shape;
    const quint32 properties = in.u32();
    QTextBlockFormat& format = shape.format;
    format.setAlignment(HwpShapes::Alignment(alignmentName((properties >> 2) & 0x7)));
    // Lengths go into the format in the layout's units; the side margins and the indent are points.
    const auto length = [](double points) { return LayoutUnits::FromPoints(points); };
    const double left = std::max(0.0, paragraphPoints(in.i32()));
    format.setRightMargin(std::max(0.0, paragraphPoints(in.i32())));
    // A negative indent hangs: the first line starts at the margin and the lines after it that much further in,
    // where Qt starts every line at the margin and the first that much further out.
    const double indent = paragraphPoints(in.i32());
    format.setLeftMargin(indent < 0 ? left - indent : left);
    format.setTextIndent(indent);
    format.setTopMargin(length(std::max(0.0, paragraphPoints(in.i32()))));
    format.setBottomMargin(length(std::max(0.0, paragraphPoints(in.i32()))));
    qint32 spacing = in.i32();
    in.skip(2); // tab definition
    shape.numbering = in.u16();
    in.skip(2 + 8 + 4); // border fill, its offsets, more properties
    int spacingType = properties & 0x3;
    // Newer files give the spacing again, with more kinds of it.
    const quint32 moreProperties = in.u32();
    const qint32 newSpacing = in.i32();
    if (in.ok()) {
        spacingType = moreProperties & 0x1f;
        spacing = newSpacing;
    }
    // The level, whole, where the file gives it; else the first attribute's bits, which stop at the seventh.
    const quint32 level = in.u32();
    shape.level = in.ok() && level < quint32(HwpValues::kLevels) ? int(level) : int((properties >> 25) & 0x7);
    spacing = std::min(spacing, kMaxUnits);
    if (spacing > 0 && spacingType == 0)
        shape.percentSpacing = std::min(spacing, 1000);
    else if (spacing > 0 && spacingType == 1)
        shape.fixedSpacing = paragraphPoints(spacing);
    else if (spacing >= 0 && spacingType == 2)
        shape.addedSpacing = paragraphPoints(spacing);
    else if (spacing > 0 && spacingType == 3)
        format.setLineHeight(length(paragraphPoints(spacing)), QTextBlockFormat::MinimumHeight);
    static const Heading headings[] = {Heading::None, Heading::Outline, Heading::Number, Heading::Bullet};
    shape.heading = headings[(properties >> 23) & 0x3];
    return shape;
}

BorderFill borderFill(const QByteArray& data)
{
    DataReader in(data);
    BorderFill fill;
    // Bits 2–4 and 5–7 say whether and how the slash and the backslash run; the editor draws each corner to
    // corner, whatever the shape.
    const quint16 properties = in.u16();
    for (Border& border : fill.sides) {
        border.style = HwpShapes::BorderStyle(borderName(in.u8()));
        border.width = HwpShapes::BorderWidth(borderMillimetres(in.u8()));
        border.colour = HwpShapes::Colour(in.u32());
        if (border.style == QTextFrameFormat::BorderStyle_None)
            border.width = 0;
        if (!border.colour.isValid())
            border.colour = Qt::black;
    }
    const int diagonalType = in.u8();
    const int diagonalWidth = in.u8();
    const QColor diagonalColour = HwpShapes::Colour(in.u32());
    fill.diagonals.lines = ((properties >> 2) & 0x7 ? CellDiagonals::kSlash : 0) |
                           ((properties >> 5) & 0x7 ? CellDiagonals::kBackslash : 0);
    fill.diagonals.style = HwpShapes::BorderStyle(borderName(diagonalType));
    fill.diagonals.width = HwpShapes::BorderWidth(borderMillimetres(diagonalWidth));
    fill.diagonals.colour = diagonalColour.isValid() ? diagonalColour : QColor(Qt::black);
    if (fill.diagonals.style == QTextFrameFormat::BorderStyle_None)
        fill.diagonals.lines = 0;
    const quint32 fillType = in.u32();
    if (fillType & 0x1)
        fill.face = HwpShapes::Colour(in.u32());
    if (!in.ok())
        return BorderFill();
    return fill;
}

std::array<ParaHead, HwpValues::kLevels> numbering(const QByteArray& data)
{
    DataReader in(data);
    std::array<ParaHead, HwpValues::kLevels> heads;
    for (int level = 0; level < HwpValues::kLevels; ++level) {
        // The levels past the seventh follow the first seven's start numbers, in the files that have them.
        if (level == HwpValues::kBasicLevels)
            in.skip(2 + 4 * HwpValues::kBasicLevels);
        ParaHead& head = heads[level];
        const quint32 properties = in.u32();
        in.skip(2 + 2 + 4); // width adjustment, distance to the text, character shape
        head.pattern = in.string();
        head.numFormat = numberName((properties >> 5) & 0xf);
        if (!in.ok()) {
            head = ParaHead();
            break;
        }
    }
    return heads;
}

BinItem binItem(const QByteArray& data)
{
    DataReader in(data);
    BinItem item;
    const quint16 properties = in.u16();
    const int type = properties & 0xf;
    item.compression = (properties >> 4) & 0x3;
    if (type == 1 || type == 2) {
        item.id = in.u16();
        if (type == 1) {
            item.extension = in.string();
            item.embedded = in.ok();
        }
    }
    return item;
}

} // namespace

DocInfo Read(const QList<HwpRecords::Record>& records)
{
    DocInfo info;
    int hangulFaceCount = -1;
    int faceNames = 0;
    QStringList hangulFaces;
    QList<QByteArray> charShapes;
    for (const HwpRecords::Record& record : records) {
        switch (record.tag) {
        case HwpRecords::IdMappings: {
            // Face names come grouped by language, the Korean ones first; this says how many there are.
            DataReader in(record.data);
            in.skip(4);
            hangulFaceCount = int(std::min<quint32>(in.u32(), kMaxItems));
            break;
        }
        case HwpRecords::FaceName:
            if (faceNames++ < hangulFaceCount || hangulFaceCount < 0) {
                if (hangulFaces.size() < kMaxItems) {
                    DataReader in(record.data);
                    in.skip(1);
                    hangulFaces.append(in.string());
                }
            }
            break;
        case HwpRecords::CharShape:
            if (charShapes.size() < kMaxItems)
                charShapes.append(record.data);
            break;
        case HwpRecords::ParaShape:
            if (info.paraShapes.size() < kMaxItems)
                info.paraShapes.append(paraShape(record.data));
            break;
        case HwpRecords::BorderFill:
            if (info.borderFills.size() < kMaxItems)
                info.borderFills.append(borderFill(record.data));
            break;
        case HwpRecords::Numbering:
            if (info.numberings.size() < kMaxItems)
                info.numberings.append(numbering(record.data));
            break;
        case HwpRecords::BinData:
            if (const BinItem item = binItem(record.data); !info.binItems.contains(item.id))
                info.binItems.insert(item.id, item);
            break;
        default:
            break;
        }
    }
    // Character shapes name their face by index, and the faces may come after the mappings say how many.
    for (const QByteArray& data : charShapes)
        info.charShapes.append(charShape(data, hangulFaces));
    return info;
}

} // namespace HwpDocInfo
