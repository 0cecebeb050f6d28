#pragma once

#include "ui/dialogs/SurfaceDrag.h"

#include <QDialog>

class CCommunicator;
class QLineEdit;
class QListWidget;
class QPushButton;

// Finds a school by part of its name through the server and lets the user pick one, or keep the typed text.
// m_strSchool is the text shown at the start and, after OK, the chosen school's name (without its region).
class CSearchSchoolDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CSearchSchoolDlg(CCommunicator* communicator, QWidget* parent = nullptr);

    QString m_strSchool;

    int exec() override;
    void done(int result) override;

    static QString UserInputItemText();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void OnFindSchool();
    void OnOK();
    void ClearList();

    CCommunicator* m_communicator;
    QLineEdit* m_editSchool;
    QListWidget* m_listSchools;
    QPushButton* m_findButton;
    SurfaceDrag m_drag;
};
