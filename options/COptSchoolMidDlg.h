#pragma once

#include "options/OptPanel.h"

class QTreeWidget;

// Middle-school internal exams: school, exam, grade, answer format, number, kind, and a curriculum section
// in three levels (grade and half-year, chapter, section).
class COptSchoolMidDlg : public COptPanel
{
    Q_OBJECT

public:
    COptSchoolMidDlg(QSettings* settings, CCommunicator* communicator, QWidget* parent = nullptr);
    ~COptSchoolMidDlg() override;

    // 25 numbers for either answer format, 1 when none is selected; the first is selected.
    void FillNumberCombo();

protected:
    void collectFields(CMapStringToString& fields) const override;
    void applyFields(const CMapStringToString& fields) override;

private:
    QComboBox* m_year;
    QComboBox* m_term;
    QComboBox* m_level;
    QComboBox* m_number;
    QComboBox* m_problemType;
    QComboBox* m_problemSubtype;
    QTreeWidget* m_tree;
};
