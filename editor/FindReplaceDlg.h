#pragma once

#include <QDialog>
#include <QRegularExpression>
#include <QTextCursor>
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
    // What is searched for inside a formula's script, with the same flags as the text.
    QRegularExpression scriptPattern() const;
    // The first formula at or after `from` whose script holds the text, selected; a null cursor when none.
    QTextCursor formulaFrom(int from) const;
    // The first match at or after `from`, in the text or a formula.
    QTextCursor matchFrom(int from) const;
    bool selectionIsMatch() const;
    // Replaces every match in the script of the formula at `position`, as one step to undo; false when
    // nothing changed (a replacement that would leave no script changes nothing).
    bool replaceInFormula(int position);

    PageView* m_view;
    QLineEdit* m_findEdit;
    QLineEdit* m_replaceEdit;
    QCheckBox* m_caseCheck;
    QCheckBox* m_wholeWordCheck;
    QCheckBox* m_formulaCheck;
    QLabel* m_statusLabel;
};
