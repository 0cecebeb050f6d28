#include "document/hwp/HwpWriterControls.h"

#include "document/hwp/Records.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace HwpWriter {

namespace {

using HwpRecords::DataWriter;

// Placement of an object (the common attribute of object controls): pictures and equations stand in the line
// as characters; tables sit below the text of their paragraph, the text flowing above and below them. Sizes
// are absolute, positions against the paragraph.
constexpr quint32 kTreatAsChar = 1u << 0;
constexpr quint32 kVerticalToParagraph = 2u << 3;
constexpr quint32 kHorizontalToColumn = 2u << 8;
constexpr quint32 kHorizontalToParagraph = 3u << 8;
constexpr quint32 kFlowWithText = 1u << 13;
constexpr quint32 kAbsoluteSize = 4u << 15 | 2u << 18;
constexpr quint32 kWrapTopAndBottom = 1u << 21;
constexpr quint32 kFigure = 1u << 26;
constexpr quint32 kTableKind = 2u << 26;
constexpr quint32 kEquationKind = 3u << 26;
constexpr quint32 kInlineObject =
    kTreatAsChar | kVerticalToParagraph | kHorizontalToParagraph | kFlowWithText | kAbsoluteSize | kWrapTopAndBottom;
constexpr quint32 kTableObject =
    kVerticalToParagraph | kHorizontalToColumn | kFlowWithText | kAbsoluteSize | kWrapTopAndBottom | kTableKind;

quint16 u16Of(int value)
{
    return quint16(std::clamp(value, 0, 0xffff));
}

} // namespace

QByteArray Controls::objectHeader(quint32 id, quint32 attributes, qint64 width, qint64 height)
{
    const auto size = [](qint64 length) { return quint32(std::clamp<qint64>(length, 1, 0xffffffffLL)); };
    DataWriter out;
    out.u32(id).u32(attributes).i32(0).i32(0).u32(size(width)).u32(size(height));
    out.i32(m_zOrder++);
    out.zeros(8); // outer margins
    out.u32(++m_instance).i32(0).string(QString());
    return out.data();
}

void Controls::writeEquation(QByteArray& out, const HwpModel::Equation& equation, quint16 level)
{
    HwpRecords::Append(
        out, HwpRecords::CtrlHeader, level,
        objectHeader(HwpRecords::kEquationCtrl, kInlineObject | kEquationKind, equation.width, equation.height));
    DataWriter record;
    record.u32(0).string(equation.script).u32(equation.baseUnit).u32(equation.colour);
    record.i32(85).string(QStringLiteral("Equation Version 60")).string(QStringLiteral("HYhwpEQ"));
    // Two bytes more than the word processor writes: @ohah/hwpjs refuses an equation record without them,
    // and every other reader stops after the font name.
    record.zeros(2);
    HwpRecords::Append(out, HwpRecords::EqEdit, level + 1, record.data());
}

void Controls::writePicture(QByteArray& out, const HwpModel::Picture& picture, quint16 level)
{
    using namespace HwpRecords;
    const auto w = qint32(std::clamp<qint64>(picture.width, 1, INT_MAX));
    const auto h = qint32(std::clamp<qint64>(picture.height, 1, INT_MAX));
    // A picture not set as a character stands on a line of its own, aligned as it says.
    const quint32 placement =
        picture.asCharacter ? kInlineObject : (kInlineObject & ~kTreatAsChar) | quint32(picture.horizontal & 0x7) << 10;
    Append(out, CtrlHeader, level, objectHeader(kPictureCtrl, placement | kFigure, w, h));

    DataWriter component;
    component.u32(kPictureComponent).u32(kPictureComponent); // a top-level object names its kind twice
    component.i32(0).i32(0).u16(0).u16(1);                   // offset in the group, group level, version
    component.u32(quint32(w)).u32(quint32(h)).u32(quint32(w)).u32(quint32(h)); // original and current size
    component.u32(0).i16(0).i32(w / 2).i32(h / 2);                             // no flip or rotation, about the centre
    // The drawing matrices: no translation, one pair of unit scale and rotation.
    const auto identity = [&component] {
        for (double value : {1.0, 0.0, 0.0, 0.0, 1.0, 0.0}) {
            quint64 bits;
            std::memcpy(&bits, &value, sizeof bits);
            component.u32(quint32(bits)).u32(quint32(bits >> 32));
        }
    };
    component.u16(1);
    identity();
    identity();
    identity();
    Append(out, ShapeComponent, level + 1, component.data());

    DataWriter record;
    record.u32(0).i32(0).u32(0); // no border line
    record.i32(0).i32(0).i32(w).i32(0).i32(w).i32(h).i32(0).i32(h);
    record.i32(0).i32(0).i32(picture.imageWidth).i32(picture.imageHeight); // the image from its corner
    record.zeros(8);                                                       // inner margins
    record.u8(0).u8(0).u8(0).u16(u16Of(picture.binId));                    // brightness, contrast, effect, the image
    record.u8(0).u32(m_instance).u32(0).i32(picture.imageWidth).i32(picture.imageHeight).u8(0);
    Append(out, ShapeComponentPicture, level + 2, record.data());
}

void Controls::writeTable(QByteArray& out, const HwpModel::Table& table, quint16 level)
{
    using namespace HwpRecords;
    Append(out, CtrlHeader, level, objectHeader(kTableCtrl, kTableObject, table.width, table.height));
    // The caption is the list before the table's own record.
    if (const std::optional<HwpModel::Caption>& caption = table.caption) {
        DataWriter list;
        list.u32(ListCount(caption->paragraphs)).u32(quint32(caption->verticalAlignment) << 5);
        list.u32(quint32(caption->side & 0x3) | (caption->toMargins ? 0x4u : 0u));
        list.u32(quint32(std::max(caption->width, 0))).u16(u16Of(caption->gap));
        list.u32(quint32(std::max(caption->textWidth, 0)));
        Append(out, ListHeader, level + 1, list.data());
        m_paragraphs(out, caption->paragraphs, level + 1);
    }
    DataWriter record;
    record.u32(0x2); // a table that crosses a page is split between rows
    record.u16(u16Of(table.rows)).u16(u16Of(table.columns)).u16(0);
    for (int margin : table.margins)
        record.u16(u16Of(margin));
    QList<int> perRow(std::max(table.rows, 0), 0);
    for (const HwpModel::Cell& cell : table.cells) {
        if (cell.row >= 0 && cell.row < perRow.size())
            ++perRow[cell.row];
    }
    for (int count : std::as_const(perRow))
        record.u16(u16Of(count));
    record.u16(u16Of(table.borderFill)).u16(0);
    Append(out, Table, level + 1, record.data());

    for (const HwpModel::Cell& cell : table.cells) {
        DataWriter list;
        list.i16(qint16(std::min<quint32>(ListCount(cell.paragraphs), 0x7fff)))
            .u32(0)
            .u16(0); // from the top, left to right
        list.u16(u16Of(cell.column)).u16(u16Of(cell.row));
        list.u16(u16Of(cell.columnSpan)).u16(u16Of(cell.rowSpan));
        list.u32(quint32(std::max(cell.width, 0))).u32(quint32(std::max(cell.height, 0)));
        for (int margin : cell.margins)
            list.u16(u16Of(margin));
        list.u16(u16Of(cell.borderFill));
        list.u32(quint32(std::max(cell.width, 0))).zeros(9); // the text's width; no field name
        Append(out, ListHeader, level + 1, list.data());
        m_paragraphs(out, cell.paragraphs, level + 1);
    }
}

} // namespace HwpWriter
