#include "document/HwpShapes.h"

#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/PageGeometry.h"

#include <QHash>
#include <QTextCursor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace HwpShapes {

QColor Colour(qint64 colorRef)
{
    if (colorRef < 0 || colorRef > 0xffffff)
        return {};
    return QColor(int(colorRef & 0xff), int((colorRef >> 8) & 0xff), int((colorRef >> 16) & 0xff));
}

Qt::Alignment Alignment(QStringView name)
{
    if (name == u"Center")
        return Qt::AlignHCenter;
    if (name == u"Right")
        return Qt::AlignRight;
    if (name == u"Left")
        return Qt::AlignLeft;
    return Qt::AlignJustify;
}

QTextFrameFormat::BorderStyle BorderStyle(QStringView type)
{
    if (type == u"None")
        return QTextFrameFormat::BorderStyle_None;
    if (type == u"Dot" || type == u"Circle")
        return QTextFrameFormat::BorderStyle_Dotted;
    if (type == u"Dash" || type == u"LongDash")
        return QTextFrameFormat::BorderStyle_Dashed;
    if (type == u"DashDot")
        return QTextFrameFormat::BorderStyle_DotDash;
    if (type == u"DashDotDot")
        return QTextFrameFormat::BorderStyle_DotDotDash;
    if (type.startsWith(u"Double") || type.contains(u"Thick"))
        return QTextFrameFormat::BorderStyle_Double;
    return QTextFrameFormat::BorderStyle_Solid;
}

double BorderWidth(double millimetres)
{
    if (!(millimetres >= 0))
        return 1;
    return std::clamp(millimetres * 72.0 / 25.4, 1.0, 10.0);
}

QTextListFormat NumberingFormat(QStringView numFormat, const QString& pattern)
{
    using Style = ListNumbering::Style;
    const qsizetype caret = pattern.indexOf(u'^');
    const QString prefix = caret < 0 ? QString() : pattern.left(caret);
    qsizetype after = caret < 0 ? pattern.size() : caret + 1;
    while (after < pattern.size() && pattern.at(after).isDigit())
        ++after;
    const QString suffix = pattern.mid(after);
    QTextListFormat format;
    if (numFormat == u"CircledDigit")
        format = ListNumbering::Format(Style::Circled);
    else if (numFormat == u"HangulSyllable")
        format = ListNumbering::Format(Style::HangulSyllable);
    else if (numFormat == u"HangulJamo")
        format = ListNumbering::Format(Style::HangulJamo);
    else if (prefix == u"(" && suffix == u")")
        format = ListNumbering::Format(Style::Parenthesized);
    else
        format = ListNumbering::Format(Style::Decimal);
    static const QHash<QString, QTextListFormat::Style> qtStyles = {
        {QStringLiteral("LatinCapital"), QTextListFormat::ListUpperAlpha},
        {QStringLiteral("LatinSmall"), QTextListFormat::ListLowerAlpha},
        {QStringLiteral("RomanCapital"), QTextListFormat::ListUpperRoman},
        {QStringLiteral("RomanSmall"), QTextListFormat::ListLowerRoman},
    };
    if (const auto style = qtStyles.constFind(numFormat.toString()); style != qtStyles.cend())
        format.setStyle(*style);
    format.setNumberPrefix(prefix);
    format.setNumberSuffix(suffix);
    return format;
}

void JoinList(QTextCursor& cursor, QTextListFormat format, int level, const QString& key,
              QHash<QString, QTextList*>& lists)
{
    format.setIndent(level + 1);
    QTextBlockFormat block = cursor.blockFormat();
    block.setTextIndent(0);
    cursor.setBlockFormat(block);
    if (QTextList* list = lists.value(key)) {
        list->add(cursor.block());
        return;
    }
    lists.insert(key, cursor.createList(format));
}

void NumberAtMargin(const QTextBlock& block)
{
    QTextList* list = block.textList();
    if (!list)
        return;
    QTextBlockFormat format = block.blockFormat();
    // The block's own indent takes back the list's, and the margin makes room for the marker.
    format.setIndent(-list->format().indent());
    format.setLeftMargin(format.leftMargin() + ListNumbering::MarkerRoom(block));
    QTextCursor(block).setBlockFormat(format);
}

double MarginBeforeNumber(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    QTextList* list = block.textList();
    if (!list)
        return format.leftMargin();
    // The layout sets a list's text in by the block's and the list's indents together, never out.
    const int indent = std::max(0, format.indent() + list->format().indent());
    const double text = format.leftMargin() + LayoutUnits::ToPoints(indent * block.document()->indentWidth());
    return std::max(0.0, text - ListNumbering::MarkerRoom(block));
}

QList<QTextLength> ColumnWidths(QList<int> widths, const QTextTableFormat& table)
{
    if (widths.isEmpty() || std::none_of(widths.cbegin(), widths.cend(), [](int width) { return width > 0; }))
        return {};
    const int border = int(std::lround(LayoutUnits::ToPoints(table.border()) * PageGeometry::kUnitsPerPoint));
    if (widths.first() > 2 * border)
        widths.first() -= border;
    if (widths.last() > 2 * border)
        widths.last() -= border;
    QList<QTextLength> constraints;
    for (int width : std::as_const(widths))
        constraints.append(width > 0 ? QTextLength(QTextLength::FixedLength,
                                                   LayoutUnits::FromPoints(width / PageGeometry::kUnitsPerPoint))
                                     : QTextLength());
    return constraints;
}

void ApplyColumnWidths(QTextTable* table, QTextTableFormat format, QList<int> widths)
{
    widths.resize(table->columns());
    if (const QList<QTextLength> constraints = ColumnWidths(widths, format); !constraints.isEmpty()) {
        format.setColumnWidthConstraints(constraints);
        table->setFormat(format);
    }
}

void SetSpacing(const QList<QTextBlock>& blocks, double percent, double added, double fixed)
{
    const auto [property, value] = percent > 0  ? std::pair(LayoutUnits::kPercentSpacingProperty, percent)
                                   : added >= 0 ? std::pair(LayoutUnits::kAddedSpacingProperty, added)
                                                : std::pair(LayoutUnits::kFixedSpacingProperty, fixed);
    if (value < 0)
        return;
    for (const QTextBlock& block : blocks) {
        QTextBlockFormat spaced = block.blockFormat();
        LayoutUnits::SetSpacing(spaced, property, value, block);
        QTextCursor(block).setBlockFormat(spaced);
    }
}

} // namespace HwpShapes
