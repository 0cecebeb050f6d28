// HwpBody's equations and pictures.
#include "document/hwp/HwpBody.h"

#include "document/HwpShapes.h"

#include <algorithm>

using HwpRecords::DataReader;

HwpModel::Equation HwpBody::equation(qsizetype index) const
{
    HwpModel::Equation equation;
    for (qsizetype child : m_tree.children(index)) {
        if (m_tree.records[child].tag != HwpRecords::EqEdit)
            continue;
        DataReader in(m_tree.records[child].data);
        in.skip(4); // properties
        equation.script = in.string();
        equation.baseUnit = in.u32();
        equation.colour = in.u32();
        // A record cut short gives the script alone: the size of the text around it, in black.
        if (!in.ok()) {
            equation.baseUnit = 0;
            equation.colour = HwpModel::kNoColour;
        }
        return equation;
    }
    equation.known = false;
    return equation;
}

HwpModel::Picture HwpBody::picture(qsizetype index) const
{
    HwpModel::Picture picture;
    // The picture's bin item sits in the picture record below the shape component.
    for (qsizetype component : m_tree.children(index)) {
        if (m_tree.records[component].tag != HwpRecords::ShapeComponent)
            continue;
        for (qsizetype child : m_tree.children(component)) {
            if (m_tree.records[child].tag != HwpRecords::ShapeComponentPicture)
                continue;
            DataReader in(m_tree.records[child].data);
            in.skip(4 + 4 + 4 + 32); // border, image corners
            const qint32 left = in.i32();
            const qint32 top = in.i32();
            const qint32 right = in.i32();
            const qint32 bottom = in.i32();
            in.skip(8 + 3); // padding, effects
            const quint16 id = in.u16();
            if (in.ok()) {
                picture.binId = id;
                picture.imageWidth = HwpShapes::ClampedUnits(qint64(right) - left);
                picture.imageHeight = HwpShapes::ClampedUnits(qint64(bottom) - top);
            }
        }
    }
    DataReader in(m_tree.records[index].data);
    in.skip(4);
    const quint32 properties = in.u32();
    in.skip(8); // offsets
    picture.width = HwpShapes::ClampedUnits(in.u32());
    picture.height = HwpShapes::ClampedUnits(in.u32());
    picture.asCharacter = properties & 0x1;
    picture.horizontal = int((properties >> 10) & 0x7);
    return picture;
}
