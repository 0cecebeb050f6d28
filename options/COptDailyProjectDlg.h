#pragma once

#include "options/OptPanel.h"

// Varud Aroruva: volume, weekday and slot. The server gets the day and the slot joined as `prob`.
class COptDailyProjectDlg : public COptPanel
{
    Q_OBJECT

public:
    explicit COptDailyProjectDlg(QSettings* settings, QWidget* parent = nullptr);
    ~COptDailyProjectDlg() override;

protected:
    void collectFields(CMapStringToString& fields) const override;
    void applyFields(const CMapStringToString& fields) override;

private:
    QComboBox* m_volume;
    QComboBox* m_day;
    QComboBox* m_slot;
};
