#include "ui/dialogs/MessageBox.h"

namespace {

QList<QMessageBox::StandardButton> g_answers;
QList<MessageBox::Shown> g_answered;

} // namespace

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                             const QString& text, QMessageBox::StandardButtons buttons)
{
    if (!g_answers.isEmpty()) {
        g_answered.append({icon, caption, text});
        return g_answers.takeFirst();
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton answer)
{
    g_answers.append(answer);
}

QList<MessageBox::Shown> MessageBox::TakeAnswered()
{
    QList<Shown> answered;
    answered.swap(g_answered);
    return answered;
}
