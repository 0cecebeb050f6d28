#include "ui/dialogs/MessageBox.h"

#include <QGuiApplication>
#include <QPointer>

#include <cstdio>

namespace {

// The user-interface thread is the only one that shows boxes, so these need no lock.
QList<QMessageBox::StandardButton> g_answers;
QList<MessageBox::Shown> g_answered;
QList<QPointer<QMessageBox>> g_open;
bool g_answerUnseen = false;

QMessageBox::StandardButton refusal(QMessageBox::StandardButtons buttons)
{
    return (buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
}

} // namespace

bool MessageBox::Unattended()
{
    return qEnvironmentVariableIsSet("VELLORIN_UNATTENDED");
}

bool MessageBox::Reporting()
{
    return Unattended() || qEnvironmentVariableIsSet("VELLORIN_REPORT");
}

void MessageBox::Report(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                             const QString& text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    if (!g_answers.isEmpty()) {
        g_answered.append({icon, caption, text, defaultButton});
        return g_answers.takeFirst();
    }
    if (g_answerUnseen)
        return refusal(buttons);
    if (Reporting()) {
        QString flat = text;
        flat.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
        Report(QStringLiteral("message box: %1: %2").arg(caption, flat));
    }
    if (Unattended()) {
        const bool yes = qEnvironmentVariable("VELLORIN_UNATTENDED") == QLatin1String("yes");
        return (buttons & QMessageBox::Yes) && yes ? QMessageBox::Yes : refusal(buttons);
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    g_open.append(&box);
    // A box waits for the user: it has the normal pointer even when the program is busy behind it.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const auto answer = QMessageBox::StandardButton(box.exec());
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    g_open.removeAll(&box);
    return answer;
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton answer)
{
    g_answers.append(answer);
}

bool MessageBox::HasNextAnswer()
{
    return !g_answers.isEmpty();
}

QList<MessageBox::Shown> MessageBox::TakeAnswered()
{
    QList<Shown> answered;
    answered.swap(g_answered);
    return answered;
}

void MessageBox::DismissOpen()
{
    for (const QPointer<QMessageBox>& box : std::as_const(g_open)) {
        if (box)
            box->done(refusal(box->standardButtons()));
    }
}

void MessageBox::AnswerUnseen(bool on)
{
    g_answerUnseen = on;
}
