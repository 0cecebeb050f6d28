#pragma once

#include "ui/dialogs/MessageBox.h"

#include <QAbstractItemModel>
#include <QMessageBox>
#include <QMetaEnum>
#include <QStringList>

// The boxes answered in advance so far, each as "icon|caption|text" (and "|button" where the box names the one
// Enter presses), and forgotten: one comparison checks a box whole and prints whatever differs.
inline QStringList ShownBoxes()
{
    QStringList boxes;
    for (const MessageBox::Shown& shown : MessageBox::TakeAnswered()) {
        QString box = QLatin1String(QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(shown.icon)) + u'|' +
                      shown.caption + u'|' + shown.text;
        if (shown.defaultButton != QMessageBox::NoButton)
            box += u'|' + QString::fromLatin1(
                              QMetaEnum::fromType<QMessageBox::StandardButtons>().valueToKey(shown.defaultButton));
        boxes.append(box);
    }
    return boxes;
}

// The text of every row of a list, a combo box's or a list widget's alike, in order.
inline QStringList RowTexts(const QAbstractItemModel* model)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts.append(model->index(row, 0).data().toString());
    return texts;
}
