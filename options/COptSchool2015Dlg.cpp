#include "options/COptSchool2015Dlg.h"

#include "options/CurriculumTables.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QTreeWidget>

COptSchool2015Dlg::COptSchool2015Dlg(QSettings* settings, CCommunicator* communicator, QWidget* parent)
    : COptPanel(QStringLiteral("School2015Opt"), settings, parent)
{
    setObjectName(QStringLiteral("COptSchool2015Dlg"));
    m_grid->addWidget(addSchoolEdit(communicator), 0, 0, 1, 2);
    m_year = addCombo(QStringLiteral("yearCombo"));
    m_term = addCombo(QStringLiteral("termCombo"));
    m_level = addCombo(QStringLiteral("levelCombo"));
    m_department = addCombo(QStringLiteral("departmentCombo"));
    m_problemType = addCombo(QStringLiteral("problemTypeCombo"));
    m_number = addCombo(QStringLiteral("numberCombo"));
    m_problemSubtype = addCombo(QStringLiteral("problemSubtypeCombo"));
    m_grid->addWidget(m_year, 0, 2);
    m_grid->addWidget(m_term, 1, 0);
    m_grid->addWidget(m_level, 1, 1);
    m_grid->addWidget(m_department, 1, 2);
    m_grid->addWidget(m_problemType, 2, 0);
    m_grid->addWidget(m_number, 2, 1);
    m_grid->addWidget(m_problemSubtype, 2, 2);

    fillYears(m_year, 2015);
    fillCombo(m_term, {QStringLiteral("1학기 중간"), QStringLiteral("1학기 기말"), QStringLiteral("2학기 중간"),
                       QStringLiteral("2학기 기말")});
    fillCombo(m_level, numbered(QStringLiteral("%1학년"), 1, 3));
    fillCombo(m_department, {QStringLiteral("공통"), QStringLiteral("문과"), QStringLiteral("이과")});
    fillCombo(m_problemType, {QStringLiteral("선택형"), QStringLiteral("서술형")});
    fillCombo(m_problemSubtype, {QStringLiteral("기본 문제"), QStringLiteral("변별력 문제")});
    m_tree = addTree(QStringLiteral("unitTree"), CurriculumHighSchool());
    m_grid->addWidget(m_tree, 3, 0, 1, 3);
    m_grid->setRowStretch(3, 1);
    // Only a change by the user rebuilds the numbers here; programmatic changes rebuild them explicitly.
    connect(m_problemType, &QComboBox::activated, this, [this] { FillNumberCombo(); });

    schoolEdit()->setText(restoreText(QStringLiteral("School")));
    restoreIndex(m_year, QStringLiteral("Year"));
    restoreIndex(m_term, QStringLiteral("Term"));
    restoreIndex(m_level, QStringLiteral("Level"));
    restoreIndex(m_department, QStringLiteral("Department"));
    restoreIndex(m_problemType, QStringLiteral("Type"));
    FillNumberCombo();
    restoreIndex(m_number, QStringLiteral("Number"));
    restoreIndex(m_problemSubtype, QStringLiteral("SubType"));
}

COptSchool2015Dlg::~COptSchool2015Dlg()
{
    storeText(QStringLiteral("School"), schoolEdit()->text());
    storeIndex(m_year, QStringLiteral("Year"));
    storeIndex(m_term, QStringLiteral("Term"));
    storeIndex(m_level, QStringLiteral("Level"));
    storeIndex(m_department, QStringLiteral("Department"));
    storeIndex(m_number, QStringLiteral("Number"));
    storeIndex(m_problemType, QStringLiteral("Type"));
    storeIndex(m_problemSubtype, QStringLiteral("SubType"));
}

void COptSchool2015Dlg::FillNumberCombo()
{
    const int type = m_problemType->currentIndex();
    const int count = type == 0 ? 25 : type == 1 ? 10 : 1;
    fillCombo(m_number, numbered(QStringLiteral("%1번"), 1, count));
}

void COptSchool2015Dlg::collectFields(CMapStringToString& fields) const
{
    fields.SetAt(QStringLiteral("school"), schoolEdit()->text());
    fields.SetAt(QStringLiteral("year"), comboText(m_year));
    fields.SetAt(QStringLiteral("term"), comboText(m_term));
    fields.SetAt(QStringLiteral("level"), comboText(m_level));
    fields.SetAt(QStringLiteral("department"), comboText(m_department));
    fields.SetAt(QStringLiteral("problem_type"), comboText(m_problemType));
    fields.SetAt(QStringLiteral("number"), comboText(m_number));
    fields.SetAt(QStringLiteral("problem_subtype"), comboText(m_problemSubtype));
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

void COptSchool2015Dlg::applyFields(const CMapStringToString& fields)
{
    applyCombo(m_year, fields, QStringLiteral("year"));
    applyCombo(m_term, fields, QStringLiteral("term"));
    applyCombo(m_level, fields, QStringLiteral("level"));
    applyCombo(m_department, fields, QStringLiteral("department"));
    applyCombo(m_problemType, fields, QStringLiteral("problem_type"));
    FillNumberCombo();
    applyCombo(m_number, fields, QStringLiteral("number"));
    applyCombo(m_problemSubtype, fields, QStringLiteral("problem_subtype"));

    const QString subject = FieldValue(fields, QStringLiteral("subject"));
    const QString unit = FieldValue(fields, QStringLiteral("unit"));
    QTreeWidgetItem* found = nullptr;
    for (int s = 0; s < m_tree->topLevelItemCount(); ++s) {
        QTreeWidgetItem* top = m_tree->topLevelItem(s);
        if (top->text(0) != subject)
            continue;
        for (int u = 0; u < top->childCount(); ++u) {
            if (top->child(u)->text(0) == unit) {
                found = top->child(u);
                break;
            }
        }
        break;
    }
    selectItem(m_tree, found);
}
