#include "options/COptSchoolPanel.h"

#include "core/Messages.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QTreeWidget>

COptSchoolPanel::COptSchoolPanel(const Setup& setup, QSettings* settings, CCommunicator* communicator, QWidget* parent)
    : COptPanel(CategorySettingsSection(setup.category), settings, parent), m_numbersForChoice(setup.numbersForChoice),
      m_numbersForWritten(setup.numbersForWritten)
{
    m_grid->addWidget(addSchoolEdit(communicator), 0, 0, 1, 2);
    m_year = addCombo(QStringLiteral("yearCombo"), Msg::kNameYear);
    m_term = addCombo(QStringLiteral("termCombo"), Msg::kNameTerm);
    m_level = addCombo(QStringLiteral("levelCombo"), Msg::kNameGrade);
    if (setup.hasDepartment)
        m_department = addCombo(QStringLiteral("departmentCombo"), Msg::kNameTrack);
    m_problemType = addCombo(QStringLiteral("problemTypeCombo"), Msg::kNameAnswerFormat);
    m_number = addCombo(QStringLiteral("numberCombo"), Msg::kNameNumber);
    m_problemSubtype = addCombo(QStringLiteral("problemSubtypeCombo"), Msg::kNameDifficulty);
    int cell = 2;
    for (QComboBox* list : {m_year, m_term, m_level, m_department, m_problemType, m_number, m_problemSubtype}) {
        if (list) {
            m_grid->addWidget(list, cell / 3, cell % 3);
            ++cell;
        }
    }

    fillYears(m_year, setup.firstYear);
    fillCombo(m_term, {QStringLiteral("1학기 중간"), QStringLiteral("1학기 기말"), QStringLiteral("2학기 중간"),
                       QStringLiteral("2학기 기말")});
    fillCombo(m_level, numbered(QStringLiteral("%1학년"), 1, 3));
    if (m_department)
        fillCombo(m_department, {QStringLiteral("공통"), QStringLiteral("문과"), QStringLiteral("이과")});
    fillCombo(m_problemType, {QStringLiteral("선택형"), QStringLiteral("서술형")});
    fillCombo(m_problemSubtype, {QStringLiteral("기본 문제"), QStringLiteral("변별력 문제")});
    m_tree = addTree(QStringLiteral("unitTree"), setup.table);
    m_grid->addWidget(m_tree, 3, 0, 1, 3);
    m_grid->setRowStretch(3, 1);
    // Only a change by the user rebuilds the numbers here; loading rebuilds them explicitly.
    connect(m_problemType, &QComboBox::activated, this, [this] { FillNumberCombo(); });

    schoolEdit()->setText(restoreText(QStringLiteral("School")));
    restoreIndex(m_year, QStringLiteral("Year"));
    restoreIndex(m_term, QStringLiteral("Term"));
    restoreIndex(m_level, QStringLiteral("Level"));
    if (m_department)
        restoreIndex(m_department, QStringLiteral("Department"));
    restoreIndex(m_problemType, QStringLiteral("Type"));
    // The number list gets the length of the restored answer format before its own index is applied.
    FillNumberCombo();
    restoreIndex(m_number, QStringLiteral("Number"));
    restoreIndex(m_problemSubtype, QStringLiteral("SubType"));
}

COptSchoolPanel::~COptSchoolPanel()
{
    storeText(QStringLiteral("School"), schoolEdit()->text());
    storeIndex(m_year, QStringLiteral("Year"));
    storeIndex(m_term, QStringLiteral("Term"));
    storeIndex(m_level, QStringLiteral("Level"));
    if (m_department)
        storeIndex(m_department, QStringLiteral("Department"));
    storeIndex(m_number, QStringLiteral("Number"));
    storeIndex(m_problemType, QStringLiteral("Type"));
    storeIndex(m_problemSubtype, QStringLiteral("SubType"));
}

void COptSchoolPanel::FillNumberCombo()
{
    const int type = m_problemType->currentIndex();
    const int count = type == 0 ? m_numbersForChoice : type == 1 ? m_numbersForWritten : 1;
    fillCombo(m_number, numbered(QStringLiteral("%1번"), 1, count));
}

void COptSchoolPanel::collectFields(CMapStringToString& fields) const
{
    fields.SetAt(QStringLiteral("school"), schoolEdit()->text());
    fields.SetAt(QStringLiteral("year"), comboText(m_year));
    fields.SetAt(QStringLiteral("term"), comboText(m_term));
    fields.SetAt(QStringLiteral("level"), comboText(m_level));
    if (m_department)
        fields.SetAt(QStringLiteral("department"), comboText(m_department));
    fields.SetAt(QStringLiteral("problem_type"), comboText(m_problemType));
    fields.SetAt(QStringLiteral("number"), comboText(m_number));
    fields.SetAt(QStringLiteral("problem_subtype"), comboText(m_problemSubtype));
    collectTreeFields(fields);
}

void COptSchoolPanel::applyFields(const CMapStringToString& fields)
{
    // The school stays: a loaded question's school is the one the search was made with.
    applyCombo(m_year, fields, QStringLiteral("year"));
    applyCombo(m_term, fields, QStringLiteral("term"));
    applyCombo(m_level, fields, QStringLiteral("level"));
    if (m_department)
        applyCombo(m_department, fields, QStringLiteral("department"));
    applyCombo(m_problemType, fields, QStringLiteral("problem_type"));
    FillNumberCombo();
    applyCombo(m_number, fields, QStringLiteral("number"));
    applyCombo(m_problemSubtype, fields, QStringLiteral("problem_subtype"));
    applyTreeFields(fields);
}
