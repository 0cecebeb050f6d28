#include "options/COptSchoolMidDlg.h"

#include "core/Vocabulary.h"

#include <QTreeWidget>

namespace {

QTreeWidgetItem* childWithText(QTreeWidgetItem* parent, const QString& text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    }
    return nullptr;
}

} // namespace

COptSchoolMidDlg::COptSchoolMidDlg(QSettings* settings, CCommunicator* communicator, QWidget* parent)
    : COptSchoolPanel({Category::SchoolMid, 2014, false, 25, 25, CurriculumMiddleSchool()}, settings, communicator,
                      parent)
{
    setObjectName(QStringLiteral("COptSchoolMidDlg"));
}

void COptSchoolMidDlg::collectTreeFields(CMapStringToString& fields) const
{
    QString classText;
    QString subclass;
    QString finalclass;
    if (const QTreeWidgetItem* item = selectedItem(m_tree)) {
        if (item->parent() && item->parent()->parent()) {
            classText = item->parent()->parent()->text(0);
            subclass = item->parent()->text(0);
            finalclass = item->text(0);
        } else if (item->parent()) {
            // A chapter goes in finalclass, with an empty subclass.
            classText = item->parent()->text(0);
            finalclass = item->text(0);
        } else {
            classText = item->text(0);
        }
    }
    fields.SetAt(QStringLiteral("class"), classText);
    fields.SetAt(QStringLiteral("subclass"), subclass);
    fields.SetAt(QStringLiteral("finalclass"), finalclass);
}

void COptSchoolMidDlg::applyTreeFields(const CMapStringToString& fields)
{
    // Only a section can be selected this way: every level must match.
    QTreeWidgetItem* grade = nullptr;
    const QString classText = FieldValue(fields, QStringLiteral("class"));
    for (int i = 0; i < m_tree->topLevelItemCount() && !grade; ++i) {
        if (m_tree->topLevelItem(i)->text(0) == classText)
            grade = m_tree->topLevelItem(i);
    }
    QTreeWidgetItem* chapter = childWithText(grade, FieldValue(fields, QStringLiteral("subclass")));
    selectItem(m_tree, childWithText(chapter, FieldValue(fields, QStringLiteral("finalclass"))));
}
