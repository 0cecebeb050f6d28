#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QListWidget;

// "기호 넣기": the marks a maths question uses, in groups. A click on a mark, or Enter on the current one,
// hands it to the editor; the dialog stays open for the next.
class SymbolDlg : public QDialog
{
    Q_OBJECT

public:
    struct Group
    {
        QString title;
        QString symbols; // one mark per character
    };
    static const QList<Group>& Groups();

    explicit SymbolDlg(QWidget* parent = nullptr);

Q_SIGNALS:
    void symbolChosen(const QString& symbol);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
