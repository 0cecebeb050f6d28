#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

// Answers the next modal dialog of type Dialog as a writer would: `use` works it (fills its fields, presses
// its keys); a dialog `use` leaves open is then accepted, or rejected when `acceptAfter` is false.
template<typename Dialog>
void AnswerNextDialog(std::function<void(Dialog*)> use, bool acceptAfter = true)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, use, acceptAfter] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        use(dialog);
        if (dialog->isVisible())
            acceptAfter ? dialog->accept() : dialog->reject();
    });
    timer->start();
}
