#pragma once

#include "document/hwp/Records.h"
#include "document/model/HwpModel.h"

#include <QList>

// Turns the records of a BodyText section into the model's section. The records were checked when they were
// split (sizes, levels), so what is read here cannot fail: records too short are taken as far as they go, and
// every control is kept, also those the editor cannot show, as what it is.
class HwpBody
{
public:
    static HwpModel::Section ReadSection(const QList<HwpRecords::Record>& records);
    // The lines of a PARA_LINE_SEG record, as the word processor laid them out.
    static QList<HwpModel::LineSegment> LineSegments(const QByteArray& data);

private:
    // A section's records, with where each record's children end.
    struct Tree
    {
        const QList<HwpRecords::Record>& records;
        QList<qsizetype> ends;
        QList<qsizetype> children(qsizetype parent) const;
    };

    explicit HwpBody(const Tree& tree) : m_tree(tree) {}

    HwpModel::Paragraph paragraph(qsizetype index, int depth) const;
    HwpModel::Paragraphs paragraphs(const QList<qsizetype>& indexes, int depth) const;
    HwpModel::Control control(qsizetype index, int depth) const;
    std::optional<HwpModel::PageDef> sectionDef(qsizetype index) const;
    HwpModel::Table table(qsizetype index, int depth) const;
    HwpModel::Margin margin(qsizetype index, int depth) const;
    // In HwpBodyObjects.cpp, with the pictures.
    HwpModel::Equation equation(qsizetype index) const;
    HwpModel::Picture picture(qsizetype index) const;

    const Tree& m_tree;
};
