#include "options/COptSchool2015Dlg.h"

#include "core/Vocabulary.h"

#include <QTreeWidget>

COptSchool2015Dlg::COptSchool2015Dlg(QSettings* settings, CCommunicator* communicator, QWidget* parent)
    : COptSchoolPanel({Category::School2015, 2015, true, 25, 10, CurriculumHighSchool()}, settings, communicator,
                      parent)
{
    setObjectName(QStringLiteral("COptSchool2015Dlg"));
}

void COptSchool2015Dlg::collectTreeFields(CMapStringToString& fields) const
{
    const QTreeWidgetItem* item = selectedItem(m_tree);
    QString subject;
    QString unit;
    if (item && item->parent()) {
        unit = item->text(0);
        subject = item->parent()->text(0);
    } else if (item) {
        subject = item->text(0);
    }
    fields.SetAt(QStringLiteral("unit"), unit);
    fields.SetAt(QStringLiteral("subject"), subject);
}

void COptSchool2015Dlg::applyTreeFields(const CMapStringToString& fields)
{
    const QString subject = FieldValue(fields, QStringLiteral("subject"));
    const QString unit = FieldValue(fields, QStringLiteral("unit"));
    QTreeWidgetItem* found = nullptr;
    for (int s = 0; s < m_tree->topLevelItemCount(); ++s) {
        QTreeWidgetItem* top = m_tree->topLevelItem(s);
        if (top->text(0) != subject)
            continue;
        for (int u = 0; u < top->childCount() && !found; ++u) {
            if (top->child(u)->text(0) == unit)
                found = top->child(u);
        }
        break;
    }
    selectItem(m_tree, found);
}
