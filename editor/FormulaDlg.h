#pragma once

#include <QColor>
#include <QDialog>
#include <QList>
#include <QString>

class QPlainTextEdit;

// "수식 입력": the script of a formula, typed or built from the buttons for the script's structures, with a
// preview of the formula as it will print. Enter takes the formula, Shift+Enter breaks the script's line.
class FormulaDlg : public QDialog
{
    Q_OBJECT

public:
    // A structure of the script: what its button puts in at the cursor, and where the cursor is then left
    // (the first place to fill in).
    struct Structure
    {
        const char* name; // the button's objectName
        QString label;
        QString tip;
        QString text;
        int cursorAt;
    };
    static const QList<Structure>& Structures();

    // `pointSize` and `colour` are the formula's, for the preview.
    explicit FormulaDlg(const QString& script, double pointSize, const QColor& colour, QWidget* parent = nullptr);

    QString Script() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* m_script = nullptr;
};
