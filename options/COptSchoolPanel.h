#pragma once

#include "options/CurriculumTables.h"
#include "options/OptPanel.h"
#include "core/Vocabulary.h"

class QTreeWidget;

// What the two internal-exam panels share: the school field with its search, the exam lists, the answer
// format with its dependent number list, the kind of question, and a curriculum tree. The high-school panel
// adds a track list; the trees and the fields they give differ.
class COptSchoolPanel : public COptPanel
{
    Q_OBJECT

public:
    ~COptSchoolPanel() override;

    // Rebuilds the number list for the answer format shown and selects its first number.
    void FillNumberCombo();

protected:
    struct Setup
    {
        Category category; // gives the settings section
        int firstYear;
        bool hasDepartment;
        int numbersForChoice;  // "선택형"
        int numbersForWritten; // "서술형"
        const CurriculumTable& table;
    };

    COptSchoolPanel(const Setup& setup, QSettings* settings, CCommunicator* communicator, QWidget* parent);

    void collectFields(CMapStringToString& fields) const override;
    void applyFields(const CMapStringToString& fields) override;
    virtual void collectTreeFields(CMapStringToString& fields) const = 0;
    virtual void applyTreeFields(const CMapStringToString& fields) = 0;

    QTreeWidget* m_tree;

private:
    int m_numbersForChoice;
    int m_numbersForWritten;
    QComboBox* m_year;
    QComboBox* m_term;
    QComboBox* m_level;
    QComboBox* m_department = nullptr;
    QComboBox* m_problemType;
    QComboBox* m_number;
    QComboBox* m_problemSubtype;
};
