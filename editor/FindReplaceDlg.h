#pragma once

#include <QDialog>
#include <QTextDocument>

class PageView;
class QCheckBox;
class QLabel;
class QLineEdit;

// Find and replace in one editor's document, from the cursor on and round past the end. The dialog stays open
// beside the editor; what it finds is selected in the view, which scrolls to it.
class FindReplaceDlg : public QDialog
{
    Q_OBJECT

public:
    explicit FindReplaceDlg(PageView* view, QWidget* parent = nullptr);

    // Starts a search for `text` (the selection the user had, for example).
    void setFindText(const QString& text);

    // Selects the next match after the cursor, starting over at the top when the end is passed. False when
    // the document has none.
    bool findNext();
    // Replaces the selected match, if the selection is one, and goes on to the next.
    void replace();
    // Replaces every match as one step to undo; gives how many.
    int replaceAll();

private:
    QTextDocument::FindFlags flags() const;
    bool selectionIsMatch() const;

    PageView* m_view;
    QLineEdit* m_findEdit;
    QLineEdit* m_replaceEdit;
    QCheckBox* m_caseCheck;
    QCheckBox* m_wholeWordCheck;
    QLabel* m_statusLabel;
};
