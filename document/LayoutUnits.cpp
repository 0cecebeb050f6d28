#include "document/LayoutUnits.h"

#include "document/PageLayout.h"

#include <QPaintDevice>
#include <QTextLayout>
#include <QSet>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTextBlock>
#include <QTextBlockFormat>

#include <algorithm>
#include <cmath>

// The resolution Qt's document layout takes format lengths to be in: the screen's logical one, or 96 when the
// application asks for it. Qt exports it for exactly this use.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT int qt_defaultDpiY();
QT_END_NAMESPACE

namespace LayoutUnits {

double FormatPerPoint()
{
    return qt_defaultDpiY() / double(PageLayout::LayoutDevice()->logicalDpiY());
}

namespace {

// The size of the block's largest font, and the height Qt's layout gives a line of it at single spacing: ascent,
// descent and leading of a line on the layout device, rounded up to whole units of the device. Measured on the
// block's own text, as the layout measures it: an empty line takes the font's first face, a line of Hangul the
// face that has it, and their heights differ by a unit at some sizes.
struct LineMeasure
{
    double size = 10;
    double height = 0;
};

LineMeasure measure(const QTextBlock& block)
{
    // What a format leaves open is the document's default, as the layout takes it. An empty paragraph is as
    // tall as its own character format says; the word processor spaces a paragraph by its mark's size too, when
    // that is the largest, where Qt's line is as tall as the text in it.
    const QFont fallback = block.document() ? block.document()->defaultFont() : QFont();
    const QFont mark = block.charFormat().font().resolve(fallback);
    QFont largest = mark;
    QString sample;
    bool first = true;
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
        const QTextCharFormat format = fragment.fragment().charFormat();
        // A formula or a picture sets its own height, not the text's.
        if (format.isImageFormat() || format.objectType() != QTextFormat::NoObject)
            continue;
        const QFont font = format.font().resolve(fallback);
        if (first || font.pointSizeF() > largest.pointSizeF()) {
            largest = font;
            sample = fragment.fragment().text().left(32);
        }
        first = false;
    }
    QTextLayout layout(sample, largest, PageLayout::LayoutDevice());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    LineMeasure result;
    result.size = std::max(largest.pointSizeF(), mark.pointSizeF());
    if (result.size <= 0)
        result.size = 10.0;
    result.height = std::ceil(line.ascent() + line.descent() + std::max(line.leading(), 0.0));
    return result;
}

// Keeps `property` at `value`, and none of the other kinds.
void keep(QTextBlockFormat& format, int property, double value)
{
    for (int other : kSpacingProperties)
        format.clearProperty(other);
    format.setProperty(property, value);
}

} // namespace

void SetPercentSpacing(QTextBlockFormat& format, double percent, const QTextBlock& block)
{
    const LineMeasure line = measure(block);
    keep(format, kPercentSpacingProperty, percent);
    format.setLineHeight(FromPoints(percent * line.size / 100.0 - line.height), QTextBlockFormat::LineDistanceHeight);
}

void SetAddedSpacing(QTextBlockFormat& format, double points, const QTextBlock& block)
{
    const LineMeasure line = measure(block);
    keep(format, kAddedSpacingProperty, points);
    format.setLineHeight(FromPoints(line.size + points - line.height), QTextBlockFormat::LineDistanceHeight);
}

void SetFixedSpacing(QTextBlockFormat& format, double points, const QTextBlock& block)
{
    const LineMeasure line = measure(block);
    keep(format, kFixedSpacingProperty, points);
    format.setLineHeight(FromPoints(points - line.height), QTextBlockFormat::LineDistanceHeight);
}

void SetSpacing(QTextBlockFormat& format, int property, double value, const QTextBlock& block)
{
    if (property == kPercentSpacingProperty)
        SetPercentSpacing(format, value, block);
    else if (property == kAddedSpacingProperty)
        SetAddedSpacing(format, value, block);
    else if (property == kFixedSpacingProperty)
        SetFixedSpacing(format, value, block);
}

void RefreshSpacing(const QTextBlock& block)
{
    QTextBlockFormat format = block.blockFormat();
    const auto kept = std::find_if(std::begin(kSpacingProperties), std::end(kSpacingProperties),
                                   [&format](int property) { return format.hasProperty(property); });
    if (kept == std::end(kSpacingProperties))
        return;
    SetSpacing(format, *kept, format.doubleProperty(*kept), block);
    if (format != block.blockFormat())
        QTextCursor(block).setBlockFormat(format);
}

double PercentSpacing(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    if (format.hasProperty(kPercentSpacingProperty))
        return format.doubleProperty(kPercentSpacingProperty);
    if (format.hasProperty(kAddedSpacingProperty) || format.hasProperty(kFixedSpacingProperty))
        return 0;
    const LineMeasure line = measure(block);
    double proportion = 0;
    switch (format.lineHeightType()) {
    case QTextBlockFormat::SingleHeight:
        proportion = 100.0;
        break;
    case QTextBlockFormat::ProportionalHeight: // from pasted HTML, or a file of an earlier version
        proportion = format.lineHeight();
        break;
    default:
        return 0;
    }
    // To a hundredth of a percent: the word processor keeps whole percents.
    return std::round(proportion * line.height / line.size * 100.0) / 100.0;
}

void KeepFirstSpacing(QTextDocument& document)
{
    document.setDocumentMargin(0);
    QTextFrameFormat root = document.rootFrame()->frameFormat();
    root.setTopMargin(document.begin().blockFormat().topMargin());
    document.rootFrame()->setFrameFormat(root);
}

void ScaleLengths(QTextDocument& document, double lengths, double pictures)
{
    if (lengths == 1.0 && pictures == 1.0)
        return;
    // Side margins and indents are points whatever the screen.
    static constexpr QTextFormat::Property kBlockLengths[] = {QTextFormat::BlockTopMargin,
                                                              QTextFormat::BlockBottomMargin};
    static constexpr QTextFormat::Property kCellLengths[] = {
        QTextFormat::TableCellLeftPadding,   QTextFormat::TableCellRightPadding, QTextFormat::TableCellTopPadding,
        QTextFormat::TableCellBottomPadding, QTextFormat::TableCellLeftBorder,   QTextFormat::TableCellRightBorder,
        QTextFormat::TableCellTopBorder,     QTextFormat::TableCellBottomBorder};
    const auto scale = [](QTextFormat& format, const auto& properties, double factor) {
        for (QTextFormat::Property property : properties) {
            if (format.hasProperty(property))
                format.setProperty(property, format.doubleProperty(property) * factor);
        }
    };
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    QSet<QTextTable*> tables;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        scale(format, kBlockLengths, lengths);
        // A spacing in percent was worked out in these units already.
        const bool kept = std::any_of(std::begin(kSpacingProperties), std::end(kSpacingProperties),
                                      [&format](int property) { return format.hasProperty(property); });
        if (!kept && (format.lineHeightType() == QTextBlockFormat::FixedHeight ||
                      format.lineHeightType() == QTextBlockFormat::MinimumHeight ||
                      format.lineHeightType() == QTextBlockFormat::LineDistanceHeight))
            format.setLineHeight(format.lineHeight() * lengths, format.lineHeightType());
        QTextCursor(block).setBlockFormat(format);
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            QTextCharFormat character = fragment.fragment().charFormat();
            if (!character.isImageFormat())
                continue;
            QTextImageFormat image = character.toImageFormat();
            if (image.width() > 0)
                image.setWidth(image.width() * pictures);
            if (image.height() > 0)
                image.setHeight(image.height() * pictures);
            QTextCursor at(&document);
            at.setPosition(fragment.fragment().position());
            at.setPosition(fragment.fragment().position() + fragment.fragment().length(), QTextCursor::KeepAnchor);
            at.setCharFormat(image);
        }
        QTextCursor in(block);
        QTextTable* table = in.currentTable();
        if (!table || tables.contains(table))
            continue;
        tables.insert(table);
        QTextTableFormat tableFormat = table->format();
        QList<QTextLength> widths = tableFormat.columnWidthConstraints();
        for (QTextLength& width : widths) {
            if (width.type() == QTextLength::FixedLength)
                width = QTextLength(QTextLength::FixedLength, width.rawValue() * lengths);
        }
        tableFormat.setColumnWidthConstraints(widths);
        table->setFormat(tableFormat);
        for (int r = 0; r < table->rows(); ++r) {
            for (int c = 0; c < table->columns(); ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue;
                QTextCharFormat cellFormat = cell.format();
                scale(cellFormat, kCellLengths, lengths);
                cell.setFormat(cellFormat);
            }
        }
    }
    cursor.endEditBlock();
}

} // namespace LayoutUnits
