#pragma once

#include "options/COptSchoolPanel.h"

// Middle-school internal exams: 25 numbers for either answer format, no track list, and a curriculum section
// in three levels (grade and half-year, chapter, section).
class COptSchoolMidDlg : public COptSchoolPanel
{
    Q_OBJECT

public:
    COptSchoolMidDlg(QSettings* settings, CCommunicator* communicator, QWidget* parent = nullptr);

protected:
    void collectTreeFields(CMapStringToString& fields) const override;
    void applyTreeFields(const CMapStringToString& fields) override;
};
