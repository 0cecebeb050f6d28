#pragma once

#include <QDialog>
#include <QList>
#include <QTextLength>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

// "표 만들기": how many rows and columns a new table has.
class TableCreateDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TableCreateDlg(QWidget* parent = nullptr);
    int Rows() const;
    int Columns() const;

private:
    QSpinBox* m_rows;
    QSpinBox* m_columns;
};

// "칸 너비": the width of every column, in percent of the table or in millimetres.
class ColumnWidthDlg : public QDialog
{
    Q_OBJECT

public:
    // `current` as the table holds it (empty: the columns share the width); `tableWidth` in points.
    ColumnWidthDlg(const QList<QTextLength>& current, int columns, double tableWidth, QWidget* parent = nullptr);
    // Millimetres become whole points, which the document's HTML keeps as they are.
    QList<QTextLength> Widths() const;

private:
    void showUnit();

    QComboBox* m_unit;
    QList<QDoubleSpinBox*> m_widths;
    double m_tableWidth;
    bool m_inMillimetres = false;
};

// "셀 테두리": the selected cells' borders on or off, and their width in points.
class CellBorderDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CellBorderDlg(double currentWidth, QWidget* parent = nullptr);
    // 0 for no border.
    double Width() const;

private:
    QCheckBox* m_on;
    QDoubleSpinBox* m_width;
};
