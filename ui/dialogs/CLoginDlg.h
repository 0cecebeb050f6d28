#pragma once

#include "ui/dialogs/SurfaceDrag.h"

#include <QDialog>

class CCommunicator;
class QLineEdit;
class QSettings;

// Asks for the login name and password, starts a server session and logs in. It ends with OK only after a
// successful login, when the name has been stored ("Account"/"UserID") for the next start; a failed attempt
// shows why and leaves the dialog open.
class CLoginDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CLoginDlg(QSettings& settings, QWidget* parent = nullptr);

    void SetCommunicator(CCommunicator* pCommunicator) { m_pCommunicator = pCommunicator; }

protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void OnOK();

    QSettings& m_settings;
    QLineEdit* m_editId;
    QLineEdit* m_editPassword;
    CCommunicator* m_pCommunicator = nullptr;
    SurfaceDrag m_drag;
};
