#include "editor/HwpShapes.h"

#include "editor/ListNumbering.h"

#include <QHash>
#include <QTextCursor>
#include <QTextList>

#include <algorithm>

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

} // namespace HwpShapes
