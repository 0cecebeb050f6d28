#pragma once

#include "options/CurriculumTables.h"
#include "options/OptPanel.h"

class QLineEdit;
class QTreeWidget;

// The mock-exam panels: question ID, exam, grade, track, number, score, variant, answer format and one
// curriculum unit. The 2015 and 2022 panels differ only in their unit table and settings section.
class COptEducationPanel : public COptPanel
{
    Q_OBJECT

public:
    ~COptEducationPanel() override;

    QTreeWidget* UnitTree() const { return m_tree; }
    // The unit's position in this panel's table (its "sort" value).
    int GetUnitOrder(const QString& unit) const;

protected:
    COptEducationPanel(const QString& section, const CurriculumTable& table, QSettings* settings, QWidget* parent);

    void collectFields(CMapStringToString& fields) const override;
    void applyFields(const CMapStringToString& fields) override;

private:
    struct ListEntry
    {
        const char* key;
        const char* settingName;
        QComboBox* combo;
    };

    void LoadOptions();
    void SaveOptions();

    const CurriculumTable& m_table;
    QLineEdit* m_idEdit;
    QTreeWidget* m_tree;
    std::vector<ListEntry> m_lists;
};

class COptEducation2015Dlg : public COptEducationPanel
{
    Q_OBJECT

public:
    explicit COptEducation2015Dlg(QSettings* settings, QWidget* parent = nullptr);
};

class COptEducation2022Dlg : public COptEducationPanel
{
    Q_OBJECT

public:
    explicit COptEducation2022Dlg(QSettings* settings, QWidget* parent = nullptr);
};
