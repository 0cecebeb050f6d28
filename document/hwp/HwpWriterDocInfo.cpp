#include "document/hwp/HwpWriterDocInfo.h"

#include "document/hwp/Records.h"

namespace HwpWriter {

namespace {

using HwpRecords::DataWriter;

template <typename T> qsizetype keep(QList<T>& list, const T& value)
{
    const qsizetype found = list.indexOf(value);
    if (found >= 0)
        return found;
    list.append(value);
    return list.size() - 1;
}

// The seven language slots of face names and char shapes: Korean, Latin, Hanja, Japanese, other, symbols, user.
constexpr int kLanguages = 7;

// How a number or bullet stands before its paragraph: left-aligned, the gap to the text a share of the
// character size (bit 3), 50 units of space after the mark.
constexpr quint32 kHeadAttributes = 0x0C;
constexpr quint16 kHeadDistance = 50;

void headInfo(DataWriter& out, quint32 attributes)
{
    out.u32(attributes).u16(0).u16(kHeadDistance).u32(HwpValues::kNoColour); // the mark takes the text's shape
}

QByteArray borderFillRecord(const BorderFill& fill)
{
    DataWriter out;
    out.u16(fill.attributes);
    for (const Border& side : fill.sides)
        out.u8(side.type).u8(side.width).u32(side.colour);
    out.u8(fill.diagonal.type).u8(fill.diagonal.width).u32(fill.diagonal.colour);
    if (fill.fill == HwpValues::kNoColour) {
        out.u32(0).u32(0);
    } else {
        // A plain colour: face colour, hatch colour, no hatch; then no extra fill data, full opacity.
        out.u32(1).u32(fill.fill).u32(0).i32(-1).u32(0).u8(0);
    }
    return out.data();
}

QByteArray charShapeRecord(const CharShape& shape)
{
    DataWriter out;
    for (int i = 0; i < kLanguages; ++i)
        out.u16(shape.face);
    for (int i = 0; i < kLanguages; ++i)
        out.u8(shape.widthRatio);
    for (int i = 0; i < kLanguages; ++i)
        out.u8(quint8(shape.letterSpacing));
    for (int i = 0; i < kLanguages; ++i)
        out.u8(100);       // relative size
    out.zeros(kLanguages); // vertical offset
    out.i32(shape.height).u32(shape.attributes);
    out.u8(10).u8(10); // shadow offsets, unused while the shadow is off
    out.u32(shape.colour).u32(shape.colour).u32(shape.shade).u32(0xC0C0C0);
    out.u16(0);            // no border fill around the characters
    out.u32(shape.colour); // strike-out colour
    return out.data();
}

QByteArray paraShapeRecord(const ParaShape& shape)
{
    const quint32 spacingType = quint32(shape.spacingType);
    DataWriter out;
    // The old two-bit spacing kind in the first attribute knows no "at least"; readers of 5.0.2.5 and later
    // take the third attribute's.
    out.u32(shape.attributes | (spacingType == 3 ? 0 : spacingType));
    out.i32(shape.left).i32(shape.right).i32(shape.indent).i32(shape.before).i32(shape.after);
    out.i32(shape.spacing);
    out.u16(0).u16(shape.head).u16(0); // tab definition, numbering or bullet, no border fill
    out.zeros(8);                      // border spacings
    out.u32(0).u32(spacingType).u32(quint32(shape.spacing)).u32(shape.level);
    return out.data();
}

} // namespace

DocInfo::DocInfo() = default;

quint16 DocInfo::face(const QString& name)
{
    return quint16(keep(m_faces, name));
}

quint32 DocInfo::charShape(const CharShape& shape)
{
    return quint32(keep(m_charShapes, shape));
}

quint16 DocInfo::paraShape(const ParaShape& shape)
{
    return quint16(keep(m_paraShapes, shape));
}

quint16 DocInfo::borderFill(const BorderFill& fill)
{
    return quint16(keep(m_borderFills, fill) + 1);
}

quint16 DocInfo::numbering(const Numbering& numbering)
{
    m_numberings.append(numbering);
    return quint16(m_numberings.size());
}

quint16 DocInfo::bullet(QChar mark)
{
    return quint16(keep(m_bullets, mark) + 1);
}

quint16 DocInfo::binData(const QString& extension)
{
    m_binData.append(extension);
    return quint16(m_binData.size());
}

QByteArray DocInfo::stream() const
{
    using namespace HwpRecords;
    QByteArray stream;
    // One section; pages, footnotes, endnotes, pictures, tables and equations count from 1; the caret at the
    // start.
    DataWriter properties;
    properties.u16(1);
    for (int i = 0; i < 6; ++i)
        properties.u16(1);
    properties.u32(0).u32(0).u32(0);
    Append(stream, DocumentProperties, 0, properties.data());

    DataWriter counts;
    counts.i32(qint32(m_binData.size()));
    for (int i = 0; i < kLanguages; ++i)
        counts.i32(qint32(m_faces.size()));
    counts.i32(qint32(m_borderFills.size()))
        .i32(qint32(m_charShapes.size()))
        .i32(1) // one tab definition: the default stops
        .i32(qint32(m_numberings.size()))
        .i32(qint32(m_bullets.size()))
        .i32(qint32(m_paraShapes.size()))
        .i32(1) // one style
        .i32(0)
        .i32(0)
        .i32(0); // memo shapes, tracked changes, their authors
    Append(stream, IdMappings, 0, counts.data());

    for (qsizetype i = 0; i < m_binData.size(); ++i) {
        // Embedded, compressed as the storage says, under its id and extension.
        Append(stream, BinData, 1, DataWriter().u16(0x0001).u16(quint16(i + 1)).string(m_binData[i]).data());
    }
    for (int language = 0; language < kLanguages; ++language) {
        for (const QString& name : m_faces)
            Append(stream, FaceName, 1, DataWriter().u8(0).string(name).data());
    }
    for (const BorderFill& fill : m_borderFills)
        Append(stream, Tag::BorderFill, 1, borderFillRecord(fill));
    for (const HwpWriter::CharShape& shape : m_charShapes)
        Append(stream, Tag::CharShape, 1, charShapeRecord(shape));
    Append(stream, TabDef, 1, DataWriter().u32(0).i32(0).data());
    for (const Numbering& numbering : m_numberings) {
        DataWriter out;
        // Every level "prefix^level suffix" in the same shape: a paragraph's level picks its own. The seven
        // levels every reader knows, their start numbers, then the three more of 5.1 and theirs.
        const auto levels = [&](int first, int last) {
            for (int level = first; level <= last; ++level) {
                headInfo(out, kHeadAttributes | quint32(numbering.shape) << 5);
                out.string(numbering.prefix + u'^' + QString::number(level) + numbering.suffix);
            }
        };
        levels(1, HwpValues::kBasicLevels);
        out.u16(1);
        for (int level = 1; level <= HwpValues::kBasicLevels; ++level)
            out.u32(1);
        levels(HwpValues::kBasicLevels + 1, HwpValues::kLevels);
        for (int level = HwpValues::kBasicLevels + 1; level <= HwpValues::kLevels; ++level)
            out.u32(1);
        Append(stream, Tag::Numbering, 1, out.data());
    }
    for (QChar mark : m_bullets) {
        DataWriter out;
        headInfo(out, kHeadAttributes);
        out.u16(mark.unicode()).i32(0).u32(0).u16(mark.unicode()); // no picture bullet; the checked mark alike
        Append(stream, Bullet, 1, out.data());
    }
    for (const HwpWriter::ParaShape& shape : m_paraShapes)
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

} // namespace HwpWriter
