#include "editor/ParagraphDlg.h"

#include "document/LayoutUnits.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

ParagraphDlg::ParagraphDlg(const QTextBlockFormat& current, double lineSpacing, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("paragraphDialog"));
    setWindowTitle(QStringLiteral("문단 모양"));
    auto spin = [this](const char* name, int minimum, int maximum, double value, const QString& suffix) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(minimum, maximum);
        box->setSuffix(suffix);
        box->setValue(int(std::lround(value)));
        return box;
    };
    // In percent of the font size, as the word processor gives it; a paragraph without a spacing of its own is at
    // single spacing, about 120 %.
    m_lineSpacing = spin("lineSpacingSpin", 50, 500, lineSpacing, QStringLiteral(" %"));
    const QString points = QStringLiteral(" pt");
    using LayoutUnits::ToPoints;
    // The side margin and the indent are points in the format already.
    m_leftIndent = spin("leftIndentSpin", 0, 300, current.leftMargin(), points);
    // Negative: a hanging first line, as for a numbered answer choice.
    m_firstLineIndent = spin("firstLineIndentSpin", -300, 300, current.textIndent(), points);
    m_spaceBefore = spin("spaceBeforeSpin", 0, 200, ToPoints(current.topMargin()), points);
    m_spaceAfter = spin("spaceAfterSpin", 0, 200, ToPoints(current.bottomMargin()), points);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("줄 간격"), m_lineSpacing);
    form->addRow(QStringLiteral("왼쪽 여백"), m_leftIndent);
    form->addRow(QStringLiteral("첫 줄 들여쓰기"), m_firstLineIndent);
    form->addRow(QStringLiteral("문단 위 간격"), m_spaceBefore);
    form->addRow(QStringLiteral("문단 아래 간격"), m_spaceAfter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("설정"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QTextBlockFormat ParagraphDlg::Format() const
{
    using LayoutUnits::FromPoints;
    QTextBlockFormat format;
    format.setLeftMargin(m_leftIndent->value());
    format.setTextIndent(m_firstLineIndent->value());
    format.setTopMargin(FromPoints(m_spaceBefore->value()));
    format.setBottomMargin(FromPoints(m_spaceAfter->value()));
    return format;
}

int ParagraphDlg::LineSpacingPercent() const
{
    return m_lineSpacing->value();
}
