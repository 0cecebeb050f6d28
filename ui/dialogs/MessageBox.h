#pragma once

#include <QMessageBox>

#include <functional>

// Every modal box of the program goes through here, so that a test can answer the next box in advance
// (and see what it said) instead of hanging on a window nobody sees.
class MessageBox
{
public:
    struct Shown
    {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
    };

    static QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                            const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    static void Error(QWidget* parent, const QString& text)
    {
        Show(parent, QMessageBox::Critical, QStringLiteral("Error"), text);
    }

    // The next box is not shown: it is recorded and answered with `answer`.
    static void SetNextAnswer(QMessageBox::StandardButton answer);
    // The boxes answered in advance so far, and forget them.
    static QList<Shown> TakeAnswered();
};
