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
    // Starts from the paragraph at the cursor, which advances `lineSpacing` percent of its font size a line.
    ParagraphDlg(const QTextBlockFormat& current, double lineSpacing, QWidget* parent = nullptr);

    // What the dialog sets, to merge into each selected paragraph, lengths in the layout's units; the line
    // spacing, in percent of the font size, each paragraph's fonts turn into a format of its own.
    QTextBlockFormat Format() const;
    int LineSpacingPercent() const;

private:
    QSpinBox* m_lineSpacing;
    QSpinBox* m_leftIndent;
    QSpinBox* m_firstLineIndent;
    QSpinBox* m_spaceBefore;
    QSpinBox* m_spaceAfter;
};
