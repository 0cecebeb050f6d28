#pragma once

#include "options/COptSchoolPanel.h"

// High-school internal exams: 25 numbers for "선택형", 10 for "서술형"; a track list; subject and unit.
class COptSchool2015Dlg : public COptSchoolPanel
{
    Q_OBJECT

public:
    COptSchool2015Dlg(QSettings* settings, CCommunicator* communicator, QWidget* parent = nullptr);

protected:
    void collectTreeFields(CMapStringToString& fields) const override;
    void applyTreeFields(const CMapStringToString& fields) override;
};
