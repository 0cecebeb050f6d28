#include "options/COptSchoolMidDlg.h"

#include "options/CurriculumTables.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
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
    : COptPanel(QStringLiteral("SchoolOptMid"), settings, parent)
{
    setObjectName(QStringLiteral("COptSchoolMidDlg"));
    m_grid->addWidget(addSchoolEdit(communicator), 0, 0, 1, 2);
    m_year = addCombo(QStringLiteral("yearCombo"));
    m_term = addCombo(QStringLiteral("termCombo"));
    m_level = addCombo(QStringLiteral("levelCombo"));
    m_number = addCombo(QStringLiteral("numberCombo"));
    m_problemType = addCombo(QStringLiteral("problemTypeCombo"));
    m_problemSubtype = addCombo(QStringLiteral("problemSubtypeCombo"));
    m_grid->addWidget(m_year, 0, 2);
    m_grid->addWidget(m_term, 1, 0);
    m_grid->addWidget(m_level, 1, 1);
    m_grid->addWidget(m_number, 1, 2);
    m_grid->addWidget(m_problemType, 2, 0);
    m_grid->addWidget(m_problemSubtype, 2, 1);

    fillYears(m_year, 2014);
    fillCombo(m_term, {QStringLiteral("1학기 중간"), QStringLiteral("1학기 기말"), QStringLiteral("2학기 중간"),
                       QStringLiteral("2학기 기말")});
    fillCombo(m_level, numbered(QStringLiteral("%1학년"), 1, 3));
    fillCombo(m_problemType, {QStringLiteral("선택형"), QStringLiteral("서술형")});
    fillCombo(m_problemSubtype, {QStringLiteral("기본 문제"), QStringLiteral("변별력 문제")});
    m_tree = addTree(QStringLiteral("unitTree"), CurriculumMiddleSchool());
    m_grid->addWidget(m_tree, 3, 0, 1, 3);
    m_grid->setRowStretch(3, 1);
    connect(m_problemType, &QComboBox::activated, this, [this] { FillNumberCombo(); });

    schoolEdit()->setText(restoreText(QStringLiteral("School")));
    restoreIndex(m_year, QStringLiteral("Year"));
    restoreIndex(m_term, QStringLiteral("Term"));
    restoreIndex(m_level, QStringLiteral("Level"));
    restoreIndex(m_problemType, QStringLiteral("Type"));
    FillNumberCombo();
    restoreIndex(m_number, QStringLiteral("Number"));
    restoreIndex(m_problemSubtype, QStringLiteral("SubType"));
}

COptSchoolMidDlg::~COptSchoolMidDlg()
{
    storeText(QStringLiteral("School"), schoolEdit()->text());
    storeIndex(m_year, QStringLiteral("Year"));
    storeIndex(m_term, QStringLiteral("Term"));
    storeIndex(m_level, QStringLiteral("Level"));
    storeIndex(m_number, QStringLiteral("Number"));
    storeIndex(m_problemType, QStringLiteral("Type"));
    storeIndex(m_problemSubtype, QStringLiteral("SubType"));
}

void COptSchoolMidDlg::FillNumberCombo()
{
    fillCombo(m_number, numbered(QStringLiteral("%1번"), 1, m_problemType->currentIndex() < 0 ? 1 : 25));
}

void COptSchoolMidDlg::collectFields(CMapStringToString& fields) const
{
    fields.SetAt(QStringLiteral("school"), schoolEdit()->text());
    fields.SetAt(QStringLiteral("year"), comboText(m_year));
    fields.SetAt(QStringLiteral("term"), comboText(m_term));
    fields.SetAt(QStringLiteral("level"), comboText(m_level));
    fields.SetAt(QStringLiteral("problem_type"), comboText(m_problemType));
    fields.SetAt(QStringLiteral("number"), comboText(m_number));
    fields.SetAt(QStringLiteral("problem_subtype"), comboText(m_problemSubtype));
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

void COptSchoolMidDlg::applyFields(const CMapStringToString& fields)
{
    applyCombo(m_year, fields, QStringLiteral("year"));
    applyCombo(m_term, fields, QStringLiteral("term"));
    applyCombo(m_level, fields, QStringLiteral("level"));
    applyCombo(m_problemType, fields, QStringLiteral("problem_type"));
    FillNumberCombo();
    applyCombo(m_number, fields, QStringLiteral("number"));
    applyCombo(m_problemSubtype, fields, QStringLiteral("problem_subtype"));

    QTreeWidgetItem* grade = nullptr;
    const QString classText = FieldValue(fields, QStringLiteral("class"));
    for (int i = 0; i < m_tree->topLevelItemCount() && !grade; ++i) {
        if (m_tree->topLevelItem(i)->text(0) == classText)
            grade = m_tree->topLevelItem(i);
    }
    QTreeWidgetItem* chapter = childWithText(grade, FieldValue(fields, QStringLiteral("subclass")));
    selectItem(m_tree, childWithText(chapter, FieldValue(fields, QStringLiteral("finalclass"))));
}
