#include "editor/TableDlgs.h"

#include "document/LayoutUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

namespace {

constexpr double kPointsPerMillimetre = 72.0 / 25.4;

void addButtons(QDialog* dialog, QFormLayout* form)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("설정"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    form->addRow(buttons);
}

} // namespace

TableCreateDlg::TableCreateDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("tableCreateDialog"));
    setWindowTitle(QStringLiteral("표 만들기"));
    auto* form = new QFormLayout(this);
    auto spin = [this](const char* name, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(1, 50);
        box->setValue(value);
        return box;
    };
    m_rows = spin("rowsSpin", 3);
    m_columns = spin("columnsSpin", 3);
    form->addRow(QStringLiteral("줄 수"), m_rows);
    form->addRow(QStringLiteral("칸 수"), m_columns);
    addButtons(this, form);
}

int TableCreateDlg::Rows() const
{
    return m_rows->value();
}

int TableCreateDlg::Columns() const
{
    return m_columns->value();
}

ColumnWidthDlg::ColumnWidthDlg(const QList<QTextLength>& current, int columns, double tableWidth, QWidget* parent)
    : QDialog(parent), m_tableWidth(tableWidth)
{
    setObjectName(QStringLiteral("columnWidthDialog"));
    setWindowTitle(QStringLiteral("칸 너비"));
    auto* form = new QFormLayout(this);
    m_unit = new QComboBox(this);
    m_unit->setObjectName(QStringLiteral("unitCombo"));
    m_unit->addItems({QStringLiteral("%"), QStringLiteral("mm")});
    form->addRow(QStringLiteral("단위"), m_unit);
    for (int column = 0; column < columns; ++column) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(QStringLiteral("widthSpin%1").arg(column));
        box->setDecimals(0);
        box->setRange(1, 1000);
        // Shown in percent first; a column of fixed width in its share of the table.
        const QTextLength length = column < current.size() ? current.at(column) : QTextLength();
        double percent = 100.0 / columns;
        if (length.type() == QTextLength::PercentageLength)
            percent = length.rawValue();
        else if (length.type() == QTextLength::FixedLength && tableWidth > 0)
            percent = LayoutUnits::ToPoints(length.rawValue()) * 100.0 / tableWidth;
        box->setValue(percent);
        m_widths.append(box);
        form->addRow(QStringLiteral("%1번째 칸").arg(column + 1), box);
    }
    connect(m_unit, &QComboBox::currentIndexChanged, this, &ColumnWidthDlg::showUnit);
    addButtons(this, form);
}

void ColumnWidthDlg::showUnit()
{
    // The same widths in the other unit.
    const bool millimetres = m_unit->currentIndex() == 1;
    if (millimetres == m_inMillimetres)
        return;
    const double toMillimetres = m_tableWidth / 100.0 / kPointsPerMillimetre;
    for (QDoubleSpinBox* box : m_widths)
        box->setValue(millimetres ? box->value() * toMillimetres : box->value() / toMillimetres);
    m_inMillimetres = millimetres;
}

QList<QTextLength> ColumnWidthDlg::Widths() const
{
    QList<QTextLength> widths;
    for (const QDoubleSpinBox* box : m_widths) {
        if (m_inMillimetres)
            widths.append(QTextLength(QTextLength::FixedLength,
                                      LayoutUnits::FromPoints(std::round(box->value() * kPointsPerMillimetre))));
        else
            widths.append(QTextLength(QTextLength::PercentageLength, box->value()));
    }
    return widths;
}

CellBorderDlg::CellBorderDlg(double currentWidth, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("cellBorderDialog"));
    setWindowTitle(QStringLiteral("셀 테두리"));
    auto* form = new QFormLayout(this);
    m_on = new QCheckBox(QStringLiteral("테두리 있음"), this);
    m_on->setObjectName(QStringLiteral("borderCheck"));
    m_on->setChecked(currentWidth > 0);
    m_width = new QDoubleSpinBox(this);
    m_width->setObjectName(QStringLiteral("borderWidthSpin"));
    m_width->setRange(0.1, 6.0);
    m_width->setSingleStep(0.1);
    m_width->setDecimals(1);
    m_width->setSuffix(QStringLiteral(" pt"));
    m_width->setValue(currentWidth > 0 ? currentWidth : 1.0);
    m_width->setEnabled(m_on->isChecked());
    connect(m_on, &QCheckBox::toggled, m_width, &QWidget::setEnabled);
    form->addRow(m_on);
    form->addRow(QStringLiteral("굵기"), m_width);
    addButtons(this, form);
}

double CellBorderDlg::Width() const
{
    return m_on->isChecked() ? m_width->value() : 0.0;
}
