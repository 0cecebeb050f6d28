#pragma once

#include <QMessageBox>

#include <functional>

// Every modal box of the program goes through here, so that a test can answer the next box in advance
// (and see what it said) instead of hanging on a window nobody sees.
//
// With the environment variable VELLORIN_UNATTENDED set, no box is shown at all: each is printed on the
// standard output as "message box: CAPTION: TEXT" and answered with OK, or with No ("Yes" when the variable
// is "yes"). Tests and benchmarks that start the real program use this; so can scripts.
//
// With VELLORIN_REPORT set instead, boxes are shown and wait for the user as usual, and each is also printed
// as above when it opens: for scripts that drive the program with real keystrokes and need to know what it
// asks.
class MessageBox
{
public:
    struct Shown
    {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    // `defaultButton` is the one Enter presses. A question whose Yes gives up work names No: left to itself,
    // Qt makes Yes the default.
    static QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                            const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static void Error(QWidget* parent, const QString& text)
    {
        Show(parent, QMessageBox::Critical, QStringLiteral("Error"), text);
    }

    // The next box is not shown: it is recorded and answered with `answer`.
    static void SetNextAnswer(QMessageBox::StandardButton answer);
    static bool HasNextAnswer();
    // The boxes answered in advance so far, and forget them.
    static QList<Shown> TakeAnswered();

    // Ends every box that is open now as if No (or, without a No button, OK) had been pressed. For a program
    // that is asked to end while it waits for an answer.
    static void DismissOpen();
    // While on, every box is answered at once as DismissOpen() answers it, and not shown: for a program that
    // is on its way out and lets the code it cancelled run to its end.
    static void AnswerUnseen(bool on);

    // Unattended mode (see above): whether it is on, and a line for the standard output in it.
    static bool Unattended();
    // Whether what is shown is told on the standard output: in unattended and in report mode.
    static bool Reporting();
    static void Report(const QString& line);
};
