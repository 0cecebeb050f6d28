#include "document/hwp/HwpDocInfo.h"

#include "document/hwp/HwpValues.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace HwpDocInfo {

namespace {

using HwpRecords::DataReader;
using namespace HwpModel;

// A document needs far fewer of each; past this a file is only making us hold memory.
constexpr qsizetype kMaxItems = 65536;

double borderMillimetres(int code)
{
    static const double widths[] = {0.1, 0.12, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0};
    return code >= 0 && code < int(std::size(widths)) ? widths[code] : 0.12;
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

} // namespace

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
