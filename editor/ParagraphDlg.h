#pragma once

#include <QDialog>
#include <QTextBlockFormat>

class QSpinBox;

// "문단 모양": line spacing in percent and the indents and spacing in points, for the selected paragraphs.
// Whole points, since the document's HTML keeps lengths in whole points.
class ParagraphDlg : public QDialog
{
    Q_OBJECT

public:
    // Starts from the paragraph at the cursor.
    explicit ParagraphDlg(const QTextBlockFormat& current, QWidget* parent = nullptr);

    // What the dialog sets, to merge into each selected paragraph.
    QTextBlockFormat Format() const;

private:
    QSpinBox* m_lineSpacing;
    QSpinBox* m_leftIndent;
    QSpinBox* m_firstLineIndent;
    QSpinBox* m_spaceBefore;
    QSpinBox* m_spaceAfter;
};
