#include "options/COptEducationDlg.h"

#include "core/Messages.h"
#include "core/Vocabulary.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

COptEducationPanel::COptEducationPanel(const QString& section, const CurriculumTable& table, QSettings* settings,
                                       QWidget* parent)
    : COptPanel(section, settings, parent), m_table(table)
{
    auto* idLabel = new QLabel(QStringLiteral("ID"), this);
    m_grid->addWidget(idLabel, 0, 0);
    m_idEdit = new QLineEdit(this);
    m_idEdit->setObjectName(QStringLiteral("idEdit"));
    idLabel->setBuddy(m_idEdit);
    m_grid->addWidget(m_idEdit, 0, 1);

    // In the order the lists are built, collected, applied and stored.
    m_lists = {
        {"type", "Type", addCombo(QStringLiteral("typeCombo"), Msg::kNameQuestionSource)},
        {"prob", "Prob", addCombo(QStringLiteral("probCombo"), Msg::kNameAnswerFormat)},
        {"year", "Year", addCombo(QStringLiteral("yearCombo"), Msg::kNameYear)},
        {"month", "Month", addCombo(QStringLiteral("monthCombo"), Msg::kNameMonth)},
        {"level", "Level", addCombo(QStringLiteral("levelCombo"), Msg::kNameGrade)},
        {"department", "Department", addCombo(QStringLiteral("departmentCombo"), Msg::kNameTrack)},
        {"number", "Number", addCombo(QStringLiteral("numberCombo"), Msg::kNameNumber)},
        {"score", "Score", addCombo(QStringLiteral("scoreCombo"), Msg::kNameScore)},
    };
    fillCombo(m_lists[0].combo,
              {QStringLiteral("기출"), QStringLiteral("변형1"), QStringLiteral("변형2"), QStringLiteral("변형3")});
    fillCombo(m_lists[1].combo, {QStringLiteral("선택형"), QStringLiteral("단답형")});
    fillYears(m_lists[2].combo, 2005);
    fillCombo(m_lists[3].combo,
              {QStringLiteral("3월"), QStringLiteral("4월"), QStringLiteral("5월"), QStringLiteral("6월"),
               QStringLiteral("7월"), QStringLiteral("9월"), QStringLiteral("10월"), QStringLiteral("11월")});
    fillCombo(m_lists[4].combo, numbered(QStringLiteral("%1학년"), 1, 3));
    fillCombo(m_lists[5].combo, {QStringLiteral("공통"), QStringLiteral("문과"), QStringLiteral("이과")});
    fillCombo(m_lists[6].combo, numbered(QStringLiteral("%1번"), 1, 30));
    fillCombo(m_lists[7].combo, numbered(QStringLiteral("%1점"), 2, 4));
    for (std::size_t i = 0; i < m_lists.size(); ++i)
        m_grid->addWidget(m_lists[i].combo, 1 + int(i) / 2, int(i) % 2);

    m_tree = addTree(QStringLiteral("unitTree"), m_table);
    m_grid->addWidget(m_tree, 5, 0, 1, 2);
    m_grid->setRowStretch(5, 1);
    LoadOptions();
}

COptEducationPanel::~COptEducationPanel()
{
    SaveOptions();
}

int COptEducationPanel::GetUnitOrder(const QString& unit) const
{
    return ::GetUnitOrder(m_table, unit);
}

void COptEducationPanel::LoadOptions()
{
    for (const ListEntry& list : m_lists)
        restoreIndex(list.combo, QLatin1String(list.settingName));
}

void COptEducationPanel::SaveOptions()
{
    for (const ListEntry& list : m_lists)
        storeIndex(list.combo, QLatin1String(list.settingName));
}

void COptEducationPanel::collectFields(CMapStringToString& fields) const
{
    fields.SetAt(QStringLiteral("id"), m_idEdit->text());
    for (const ListEntry& list : m_lists)
        fields.SetAt(QLatin1String(list.key), comboText(list.combo));
    const QTreeWidgetItem* item = selectedItem(m_tree);
    const QString unit = item ? item->text(0) : QString();
    fields.SetAt(QStringLiteral("unit"), unit);
    fields.SetAt(QStringLiteral("sort"), QString::number(GetUnitOrder(unit)));
}

void COptEducationPanel::applyFields(const CMapStringToString& fields)
{
    for (const ListEntry& list : m_lists)
        applyCombo(list.combo, fields, QLatin1String(list.key));
    // A reply without an ID empties the field.
    m_idEdit->setText(FieldValue(fields, QStringLiteral("id")));

    // Only units are compared: a stored subject name selects nothing.
    const QString unit = FieldValue(fields, QStringLiteral("unit"));
    QTreeWidgetItem* found = nullptr;
    for (int s = 0; s < m_tree->topLevelItemCount() && !found; ++s) {
        QTreeWidgetItem* subject = m_tree->topLevelItem(s);
        for (int u = 0; u < subject->childCount(); ++u) {
            if (subject->child(u)->text(0) == unit) {
                found = subject->child(u);
                break;
            }
        }
    }
    selectItem(m_tree, found);
}

COptEducation2015Dlg::COptEducation2015Dlg(QSettings* settings, QWidget* parent)
    : COptEducationPanel(CategorySettingsSection(Category::Education2015), Curriculum2015(), settings, parent)
{
    setObjectName(QStringLiteral("COptEducation2015Dlg"));
}

COptEducation2022Dlg::COptEducation2022Dlg(QSettings* settings, QWidget* parent)
    : COptEducationPanel(CategorySettingsSection(Category::Education2022), Curriculum2022(), settings, parent)
{
    setObjectName(QStringLiteral("COptEducation2022Dlg"));
}
