#pragma once

#include "options/OptPanel.h"

class QTreeWidget;

// High-school internal exams: school, exam, grade, track, answer format, number, kind, and subject or unit.
class COptSchool2015Dlg : public COptPanel
{
    Q_OBJECT

public:
    COptSchool2015Dlg(QSettings* settings, CCommunicator* communicator, QWidget* parent = nullptr);
    ~COptSchool2015Dlg() override;

    // The number list for the answer format shown: 25 numbers for "선택형", 10 for "서술형", 1 for none.
    void FillNumberCombo();

protected:
    void collectFields(CMapStringToString& fields) const override;
    void applyFields(const CMapStringToString& fields) override;

private:
    QComboBox* m_year;
    QComboBox* m_term;
    QComboBox* m_level;
    QComboBox* m_department;
    QComboBox* m_problemType;
    QComboBox* m_number;
    QComboBox* m_problemSubtype;
    QTreeWidget* m_tree;
};
