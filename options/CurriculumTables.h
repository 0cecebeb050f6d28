#pragma once

#include <QList>
#include <QString>

// The curriculum trees of the option panels, fixed in the program: subjects (or grade and half-year) with
// their units (or chapters and sections), in display order.
struct CurriculumItem
{
    QString text;
    QList<CurriculumItem> children;
};

using CurriculumTable = QList<CurriculumItem>;

const CurriculumTable& Curriculum2015();
const CurriculumTable& Curriculum2022();
const CurriculumTable& CurriculumHighSchool();
const CurriculumTable& CurriculumMiddleSchool();

// The 1-based position of `unit` among all second-level items of the table, counted across subjects; the
// number of units when no item has that text.
int GetUnitOrder(const CurriculumTable& table, const QString& unit);
