#include "document/hwp/HwpDocInfo.h"

#include "document/hwp/HwpValues.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace HwpDocInfo {

namespace {

using HwpRecords::DataReader;
using namespace HwpModel;

// A document needs far fewer of each; past this a file is only making us hold memory.
constexpr qsizetype kMaxItems = 65536;

// A width code past the list is the word processor's thin line.
double borderMillimetres(int code)
{
    return code >= 0 && code < int(HwpValues::kBorderMillimetres.size()) ? HwpValues::kBorderMillimetres[code] : 0.12;
}

CharShape charShape(const QByteArray& data)
{
    DataReader in(data);
    CharShape shape;
    for (int& face : shape.faces)
        face = in.u16();
    for (int& ratio : shape.ratios)
        ratio = in.u8();
    for (int& spacing : shape.spacings)
        spacing = qint8(in.u8());
    for (int& relative : shape.relativeSizes)
        relative = in.u8();
    in.skip(kLanguages); // the offsets
    shape.height = in.i32();
    shape.properties = in.u32();
    in.skip(2); // shadow offsets
    shape.textColour = in.u32();
    in.skip(4); // underline colour
    shape.shadeColour = in.u32();
    if (!in.ok()) {
        CharShape unknown;
        unknown.known = false;
        return unknown;
    }
    return shape;
}

ParaShape paraShape(const QByteArray& data)
{
    DataReader in(data);
    ParaShape shape;
    const quint32 properties = in.u32();
    shape.alignment = int((properties >> 2) & 0x7);
    shape.left = in.i32();
    shape.right = in.i32();
    shape.indent = in.i32();
    shape.above = in.i32();
    shape.below = in.i32();
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
    shape.level = in.ok() && level < quint32(kLevels) ? int(level) : int((properties >> 25) & 0x7);
    shape.lineSpacing = spacing;
    shape.lineSpacingType = spacingType <= 3 ? LineSpacing(spacingType) : LineSpacing::Unknown;
    shape.heading = Heading((properties >> 23) & 0x3);
    return shape;
}

BorderFill borderFill(const QByteArray& data)
{
    DataReader in(data);
    BorderFill fill;
    // Bits 2–4 and 5–7 say whether and how the slash and the backslash run.
    const quint16 properties = in.u16();
    for (Border& border : fill.sides) {
        border.type = in.u8();
        border.millimetres = borderMillimetres(in.u8());
        border.colour = in.u32();
    }
    fill.diagonal.type = in.u8();
    fill.diagonal.millimetres = borderMillimetres(in.u8());
    fill.diagonal.colour = in.u32();
    fill.slash = (properties >> 2) & 0x7;
    fill.backslash = (properties >> 5) & 0x7;
    const quint32 fillType = in.u32();
    if (fillType & 0x1)
        fill.face = in.u32();
    if (!in.ok())
        return BorderFill();
    return fill;
}

Numbering numbering(const QByteArray& data)
{
    DataReader in(data);
    Numbering heads;
    for (int level = 0; level < kLevels; ++level) {
        // The levels past the seventh follow the first seven's start numbers, in the files that have them.
        if (level == HwpValues::kBasicLevels)
            in.skip(2 + 4 * HwpValues::kBasicLevels);
        ParaHead& head = heads[level];
        const quint32 properties = in.u32();
        in.skip(2 + 2 + 4); // width adjustment, distance to the text, character shape
        head.pattern = in.string();
        head.numberShape = int((properties >> 5) & 0xf);
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

// How a number or bullet stands before its paragraph: left-aligned, the gap to the text a share of the
// character size (bit 3), 50 units of space after the mark.
constexpr quint32 kHeadAttributes = 0x0C;
constexpr quint16 kHeadDistance = 50;

void headInfo(HwpRecords::DataWriter& out, quint32 attributes)
{
    out.u32(attributes).u16(0).u16(kHeadDistance).u32(kNoColour); // the mark takes the text's shape
}

// The index of the listed width nearest to `millimetres`.
quint8 widthIndex(double millimetres)
{
    quint8 best = 0;
    for (quint8 i = 1; i < HwpValues::kBorderMillimetres.size(); ++i) {
        if (std::abs(HwpValues::kBorderMillimetres[i] - millimetres) <
            std::abs(HwpValues::kBorderMillimetres[best] - millimetres))
            best = i;
    }
    return best;
}

void border(HwpRecords::DataWriter& out, const Border& side)
{
    out.u8(quint8(side.type)).u8(widthIndex(side.millimetres)).u32(side.colour == kNoColour ? 0 : side.colour);
}

QByteArray borderFillRecord(const BorderFill& fill)
{
    HwpRecords::DataWriter out;
    out.u16(quint16((fill.slash & 0x7) << 2 | (fill.backslash & 0x7) << 5));
    for (const Border& side : fill.sides)
        border(out, side);
    border(out, fill.diagonal);
    if (fill.face == kNoColour) {
        out.u32(0).u32(0);
    } else {
        // A plain colour: face colour, hatch colour, no hatch; then no extra fill data, full opacity.
        out.u32(1).u32(fill.face).u32(0).i32(-1).u32(0).u8(0);
    }
    return out.data();
}

QByteArray charShapeRecord(const CharShape& shape)
{
    HwpRecords::DataWriter out;
    for (int face : shape.faces)
        out.u16(quint16(std::max(face, 0)));
    for (int ratio : shape.ratios)
        out.u8(quint8(ratio));
    for (int spacing : shape.spacings)
        out.u8(quint8(qint8(spacing)));
    for (int relative : shape.relativeSizes)
        out.u8(quint8(relative));
    out.zeros(kLanguages); // vertical offset
    out.i32(shape.height).u32(shape.properties);
    out.u8(10).u8(10); // shadow offsets, unused while the shadow is off
    const quint32 colour = shape.textColour == kNoColour ? 0 : shape.textColour;
    out.u32(colour).u32(colour).u32(shape.shadeColour).u32(0xC0C0C0); // text, underline, shade, shadow
    out.u16(0);                                                       // no border fill around the characters
    out.u32(colour);                                                  // strike-out colour
    return out.data();
}

QByteArray paraShapeRecord(const ParaShape& shape)
{
    const quint32 spacingType = quint32(shape.lineSpacingType);
    HwpRecords::DataWriter out;
    // The old two-bit spacing kind in the first attribute knows no "at least"; readers of 5.0.2.5 and later
    // take the third attribute's. The level's bits stop at the seventh; the whole level follows the spacing.
    const quint32 level = quint32(std::clamp(shape.level, 0, kLevels - 1));
    quint32 attributes = quint32(shape.alignment & 0x7) << 2 | (spacingType == 3 ? 0 : spacingType & 0x3);
    if (shape.heading != Heading::None)
        attributes |= quint32(shape.heading) << 23 | std::min<quint32>(level, HwpValues::kBasicLevels - 1) << 25;
    out.u32(attributes);
    out.i32(shape.left).i32(shape.right).i32(shape.indent).i32(shape.above).i32(shape.below);
    out.i32(shape.lineSpacing);
    out.u16(0).u16(quint16(shape.numbering)).u16(0); // tab definition, numbering or bullet, no border fill
    out.zeros(8);                                    // border spacings
    out.u32(0).u32(spacingType).u32(quint32(shape.lineSpacing)).u32(level);
    return out.data();
}

QByteArray numberingRecord(const Numbering& numbering)
{
    HwpRecords::DataWriter out;
    // The seven levels every reader knows, their start numbers, then the three more of 5.1 and theirs.
    const auto levels = [&](int first, int last) {
        for (int level = first; level < last; ++level) {
            headInfo(out, kHeadAttributes | quint32(numbering[level].numberShape & 0xf) << 5);
            out.string(numbering[level].pattern);
        }
    };
    levels(0, HwpValues::kBasicLevels);
    out.u16(1);
    for (int level = 0; level < HwpValues::kBasicLevels; ++level)
        out.u32(1);
    levels(HwpValues::kBasicLevels, kLevels);
    for (int level = HwpValues::kBasicLevels; level < kLevels; ++level)
        out.u32(1);
    return out.data();
}

} // namespace

QByteArray Write(const HwpModel::DocInfo& info, int sections)
{
    using namespace HwpRecords;
    QByteArray stream;
    // The sections the body has (readers look for as many streams); pages, footnotes, endnotes, pictures, tables
    // and equations count from 1; the caret at the start.
    DataWriter properties;
    properties.u16(quint16(std::clamp(sections, 1, 0xffff)));
    for (int i = 0; i < 6; ++i)
        properties.u16(1);
    properties.u32(0).u32(0).u32(0);
    Append(stream, DocumentProperties, 0, properties.data());

    QList<HwpModel::BinItem> items = info.binItems.values();
    std::sort(items.begin(), items.end(),
              [](const HwpModel::BinItem& a, const HwpModel::BinItem& b) { return a.id < b.id; });
    DataWriter counts;
    counts.i32(qint32(items.size()));
    for (const QStringList& faces : info.fonts)
        counts.i32(qint32(faces.size()));
    counts.i32(qint32(info.borderFills.size()))
        .i32(qint32(info.charShapes.size()))
        .i32(1) // one tab definition: the default stops
        .i32(qint32(info.numberings.size()))
        .i32(qint32(info.bullets.size()))
        .i32(qint32(info.paraShapes.size()))
        .i32(1) // one style
        .i32(0)
        .i32(0)
        .i32(0); // memo shapes, tracked changes, their authors
    Append(stream, IdMappings, 0, counts.data());

    for (const HwpModel::BinItem& item : std::as_const(items)) {
        // Embedded, compressed as the storage says, under its id and extension.
        Append(stream, Tag::BinData, 1,
               DataWriter()
                   .u16(quint16(0x0001 | (item.compression & 0x3) << 4))
                   .u16(quint16(item.id))
                   .string(item.extension)
                   .data());
    }
    for (const QStringList& faces : info.fonts) {
        for (const QString& name : faces)
            Append(stream, FaceName, 1, DataWriter().u8(0).string(name).data());
    }
    for (const HwpModel::BorderFill& fill : info.borderFills)
        Append(stream, Tag::BorderFill, 1, borderFillRecord(fill));
    for (const HwpModel::CharShape& shape : info.charShapes)
        Append(stream, Tag::CharShape, 1, charShapeRecord(shape));
    Append(stream, TabDef, 1, DataWriter().u32(0).i32(0).data());
    for (const HwpModel::Numbering& numbering : info.numberings)
        Append(stream, Tag::Numbering, 1, numberingRecord(numbering));
    for (QChar mark : info.bullets) {
        DataWriter out;
        headInfo(out, kHeadAttributes);
        out.u16(mark.unicode()).i32(0).u32(0).u16(mark.unicode()); // no picture bullet; the checked mark alike
        Append(stream, Tag::Bullet, 1, out.data());
    }
    for (const HwpModel::ParaShape& shape : info.paraShapes)
        Append(stream, Tag::ParaShape, 1, paraShapeRecord(shape));
    // The one style, "바탕글" (Normal), on the first paragraph and char shapes; Korean.
    Append(stream, Style, 1,
           DataWriter()
               .string(QStringLiteral("바탕글"))
               .string(QStringLiteral("Normal"))
               .u8(0)
               .u8(0)
               .i16(0x0412)
               .u16(0)
               .u16(0)
               .u16(0)
               .data());
    // Laid out as the current word processor lays out.
    Append(stream, CompatibleDocument, 0, DataWriter().u32(0).data());
    Append(stream, LayoutCompatibility, 1, DataWriter().zeros(20).data());
    return stream;
}

DocInfo Read(const QList<HwpRecords::Record>& records)
{
    DocInfo info;
    // Face names come grouped by language, in the order of the counts the mappings give.
    std::array<int, kLanguages> faceCounts{};
    bool sawCounts = false;
    int faceNames = 0;
    for (const HwpRecords::Record& record : records) {
        switch (record.tag) {
        case HwpRecords::IdMappings: {
            DataReader in(record.data);
            in.skip(4);
            for (int& count : faceCounts)
                count = int(std::min<quint32>(in.u32(), kMaxItems));
            sawCounts = true;
            break;
        }
        case HwpRecords::FaceName: {
            // Without the counts, every face is taken as a Korean one.
            int language = 0;
            if (sawCounts) {
                int before = faceNames;
                while (language < kLanguages && before >= faceCounts[language])
                    before -= faceCounts[language++];
            }
            ++faceNames;
            if (language < kLanguages && info.fonts[language].size() < kMaxItems) {
                DataReader in(record.data);
                in.skip(1);
                info.fonts[language].append(in.string());
            }
            break;
        }
        case HwpRecords::CharShape:
            if (info.charShapes.size() < kMaxItems)
                info.charShapes.append(charShape(record.data));
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
        case HwpRecords::Bullet:
            if (info.bullets.size() < kMaxItems) {
                DataReader in(record.data);
                in.skip(4 + 2 + 2 + 4); // how the mark stands: its attributes, width, distance, char shape
                info.bullets.append(QChar(in.u16()));
            }
            break;
        case HwpRecords::BinData:
            if (const BinItem item = binItem(record.data); !info.binItems.contains(item.id))
                info.binItems.insert(item.id, item);
            break;
        default:
            break;
        }
    }
    return info;
}

} // namespace HwpDocInfo
