#pragma once

#include <QDialog>
#include <QIcon>

// The program's icon, drawn rather than loaded, so that the program shows it wherever it is started from.
QIcon ProgramIcon();

// "About Vellorin": the icon, the program's name and version, OK.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
