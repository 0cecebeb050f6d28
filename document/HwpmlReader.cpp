#include "document/HwpmlReader.h"

#include "document/LayoutUnits.h"

#include "document/FormulaObject.h"
#include "document/HwpShapes.h"
#include "document/ListNumbering.h"
#include "document/TableEditing.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>

namespace {

using HwpShapes::kMaxTableCells;
using HwpShapes::kMaxTableColumns;
using HwpShapes::kMaxTableDepth;
using HwpShapes::kMaxTableRows;

// Controls that show nothing on the page: leaving them out loses nothing.
// What an element the editor cannot show is, for the writer.
DroppedObjects::Kind droppedKind(QStringView name)
{
    static const QStringList drawn = {QStringLiteral("RECTANGLE"), QStringLiteral("ELLIPSE"),
                                      QStringLiteral("ARC"),       QStringLiteral("POLYGON"),
                                      QStringLiteral("CURVE"),     QStringLiteral("LINE"),
                                      QStringLiteral("CONNECTLINE"), QStringLiteral("CONTAINER"),
                                      QStringLiteral("TEXTART"),   QStringLiteral("OLE")};
    static const QStringList form = {QStringLiteral("BUTTON"),   QStringLiteral("RADIOBUTTON"),
                                     QStringLiteral("CHECKBUTTON"), QStringLiteral("COMBOBOX"),
                                     QStringLiteral("EDIT"),     QStringLiteral("LISTBOX"),
                                     QStringLiteral("SCROLLBAR")};
    if (drawn.contains(name))
        return DroppedObjects::Kind::DrawnObject;
    if (name == u"PICTURE")
        return DroppedObjects::Kind::Picture;
    if (name == u"FOOTNOTE" || name == u"ENDNOTE")
        return DroppedObjects::Kind::Note;
    if (name == u"HIDDENCOMMENT")
        return DroppedObjects::Kind::HiddenComment;
    if (form.contains(name))
        return DroppedObjects::Kind::FormObject;
    return DroppedObjects::Kind::Other;
}

bool showsNothing(QStringView name)
{
    static const QStringList names = {
        QStringLiteral("FIELDBEGIN"), QStringLiteral("FIELDEND"),   QStringLiteral("BOOKMARK"),
        QStringLiteral("INDEXMARK"),  QStringLiteral("PAGEHIDING"), QStringLiteral("PAGENUMCTRL"),
        QStringLiteral("NEWNUM"),
    };
    return names.contains(name);
}

int units(const QXmlStreamAttributes& attributes, QLatin1String name, int fallback = 0)
{
    bool ok = false;
    const qint64 value = attributes.value(name).toLongLong(&ok);
    return ok ? HwpShapes::ClampedUnits(value) : fallback;
}

int integer(const QXmlStreamAttributes& attributes, QLatin1String name, int fallback)
{
    bool ok = false;
    const qint64 value = attributes.value(name).toLongLong(&ok);
    return ok ? int(std::clamp<qint64>(value, -1000000000, 1000000000)) : fallback;
}

QColor colour(QStringView text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? HwpShapes::Colour(value) : QColor();
}

// "0.12mm" and the like, in points.
double borderWidthOf(QStringView width)
{
    QStringView number = width;
    if (number.endsWith(u"mm"))
        number.chop(2);
    bool ok = false;
    const double millimetres = number.toDouble(&ok);
    return HwpShapes::BorderWidth(ok ? millimetres : -1);
}

// The character a space-like element of a run stands for.
QString characterOf(QStringView name)
{
    if (name == u"TAB")
        return QStringLiteral("\t");
    if (name == u"LINEBREAK")
        return QString(QChar::LineSeparator);
    if (name == u"NBSPACE")
        return QString(QChar::Nbsp);
    if (name == u"FWSPACE")
        return QString(QChar(0x2007)); // figure space: a digit's width, never stretched or broken
    if (name == u"HYPEN")
        return QStringLiteral("-");
    return {};
}

} // namespace

HwpmlReader::HwpmlReader(QIODevice* device) : m_xml(device) {}

HwpmlReader::Outcome HwpmlReader::Read(QTextDocument& document)
{
    QTextCursor cursor(&document);
    bool fresh = true;
    bool sawRoot = false;
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (!m_xml.isStartElement())
            continue;
        const QStringView name = m_xml.name();
        if (!sawRoot) {
            if (name != u"HWPML")
                return Outcome::NotHwpml;
            sawRoot = true;
        } else if (name == u"FONTFACE") {
            readFontFace();
        } else if (name == u"CHARSHAPE") {
            readCharShape();
        } else if (name == u"BORDERFILL") {
            readBorderFill();
        } else if (name == u"PARASHAPE") {
            readParaShape();
        } else if (name == u"NUMBERING") {
            readNumbering();
        } else if (name == u"SECTION") {
            readParagraphs(cursor, fresh, 0);
        } else if (name == u"TAIL") {
            m_xml.skipCurrentElement(); // the pictures' data, which the editor does not show yet
        }
    }
    if (m_xml.hasError())
        return Outcome::XmlError;
    if (!sawRoot)
        return Outcome::NotHwpml;
    if (m_sawSection && m_section.isUsable())
        m_page = m_section;
    return Outcome::Read;
}

void HwpmlReader::readFontFace()
{
    const bool hangul = m_xml.attributes().value(QLatin1String("Lang")) == u"Hangul";
    while (m_xml.readNextStartElement()) {
        const auto attributes = m_xml.attributes();
        if (hangul && m_xml.name() == u"FONT")
            m_hangulFonts.insert(attributes.value(QLatin1String("Id")).toString(),
                                 attributes.value(QLatin1String("Name")).toString());
        m_xml.skipCurrentElement();
    }
}

void HwpmlReader::readCharShape()
{
    const auto attributes = m_xml.attributes();
    QTextCharFormat format;
    const int height = integer(attributes, QLatin1String("Height"), 0);
    if (height > 0)
        format.setFontPointSize(std::min(height / 100.0, 4096.0));
    if (const QColor text = colour(attributes.value(QLatin1String("TextColor"))); text.isValid())
        format.setForeground(text);
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        if (name == u"FONTID") {
            const QString face = m_hangulFonts.value(m_xml.attributes().value(QLatin1String("Hangul")).toString());
            if (!face.isEmpty())
                format.setFontFamilies({face});
        } else if (name == u"BOLD") {
            format.setFontWeight(QFont::Bold);
        } else if (name == u"ITALIC") {
            format.setFontItalic(true);
        } else if (name == u"UNDERLINE") {
            format.setFontUnderline(true);
        } else if (name == u"STRIKEOUT") {
            format.setFontStrikeOut(true);
        } else if (name == u"SUPERSCRIPT") {
            format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        } else if (name == u"SUBSCRIPT") {
            format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        }
        m_xml.skipCurrentElement();
    }
    m_charShapes.insert(attributes.value(QLatin1String("Id")).toString(), format);
}

void HwpmlReader::readBorderFill()
{
    const QString id = m_xml.attributes().value(QLatin1String("Id")).toString();
    BorderFill fill;
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        const auto attributes = m_xml.attributes();
        static const QStringList sides = {QStringLiteral("LEFTBORDER"), QStringLiteral("RIGHTBORDER"),
                                          QStringLiteral("TOPBORDER"), QStringLiteral("BOTTOMBORDER")};
        if (const qsizetype side = sides.indexOf(name); side >= 0) {
            Border& border = fill.sides[side];
            border.style = HwpShapes::BorderStyle(attributes.value(QLatin1String("Type")));
            border.visible = border.style != QTextFrameFormat::BorderStyle_None;
            border.width = border.visible ? borderWidthOf(attributes.value(QLatin1String("Width"))) : 0;
            border.colour = colour(attributes.value(QLatin1String("Color")));
            if (!border.colour.isValid())
                border.colour = Qt::black;
            m_xml.skipCurrentElement();
        } else if (name == u"FILLBRUSH") {
            while (m_xml.readNextStartElement()) {
                if (m_xml.name() == u"WINDOWBRUSH")
                    fill.face = colour(m_xml.attributes().value(QLatin1String("FaceColor")));
                m_xml.skipCurrentElement();
            }
        } else {
            m_xml.skipCurrentElement();
        }
    }
    m_borderFills.insert(id, fill);
}

void HwpmlReader::readParaShape()
{
    const auto attributes = m_xml.attributes();
    ParaShape shape;
    shape.format.setAlignment(HwpShapes::Alignment(attributes.value(QLatin1String("Align"))));
    shape.headingType = attributes.value(QLatin1String("HeadingType")).toString();
    shape.heading = attributes.value(QLatin1String("Heading")).toString();
    shape.level = std::clamp(integer(attributes, QLatin1String("Level"), 0), 0, 6);
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"PARAMARGIN") {
            const auto margin = m_xml.attributes();
            QTextBlockFormat& format = shape.format;
            // Lengths go into the format in the layout's units; the side margins and the indent are points.
            const auto length = [](int units) { return LayoutUnits::FromPoints(units / PageGeometry::kUnitsPerPoint); };
            const auto points = [](int units) { return units / PageGeometry::kUnitsPerPoint; };
            const int left = std::max(0, units(margin, QLatin1String("Left")));
            const int indent = units(margin, QLatin1String("Indent"));
            // A negative indent hangs: the lines after the first start that much further in.
            format.setLeftMargin(points(indent < 0 ? left - indent : left));
            format.setRightMargin(points(std::max(0, units(margin, QLatin1String("Right")))));
            format.setTextIndent(points(indent));
            format.setTopMargin(length(std::max(0, units(margin, QLatin1String("Prev")))));
            format.setBottomMargin(length(std::max(0, units(margin, QLatin1String("Next")))));
            const QStringView type = margin.value(QLatin1String("LineSpacingType"));
            const int spacing = units(margin, QLatin1String("LineSpacing"), -1);
            if (spacing > 0 && (type.isEmpty() || type == u"Percent"))
                shape.percentSpacing = std::min(spacing, 1000);
            else if (spacing > 0 && type == u"Fixed")
                shape.fixedSpacing = spacing / PageGeometry::kUnitsPerPoint;
            else if (spacing > 0 && type == u"AtLeast")
                format.setLineHeight(length(spacing), QTextBlockFormat::MinimumHeight);
            else if (spacing >= 0 && type == u"BetweenLines")
                shape.addedSpacing = spacing / PageGeometry::kUnitsPerPoint;
        }
        m_xml.skipCurrentElement();
    }
    m_paraShapes.insert(attributes.value(QLatin1String("Id")).toString(), shape);
}

void HwpmlReader::readNumbering()
{
    QHash<int, ParaHead>& heads = m_numberings[m_xml.attributes().value(QLatin1String("Id")).toString()];
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() != u"PARAHEAD") {
            m_xml.skipCurrentElement();
            continue;
        }
        const auto attributes = m_xml.attributes();
        ParaHead head;
        head.numFormat = attributes.value(QLatin1String("NumFormat")).toString();
        const int level = integer(attributes, QLatin1String("Level"), 0);
        // The pattern is the element's text; some writers give it as an attribute instead.
        head.text = attributes.value(QLatin1String("Text")).toString();
        const QString content = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (head.text.isEmpty())
            head.text = content;
        if (level >= 1 && level <= 7)
            heads.insert(level, head);
    }
}

void HwpmlReader::readParagraphs(QTextCursor& cursor, bool& fresh, int depth)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"P")
            readParagraph(cursor, fresh, depth);
        else
            m_xml.skipCurrentElement();
    }
}

void HwpmlReader::readParagraph(QTextCursor& cursor, bool& fresh, int depth)
{
    ParaShape shape;
    shape.format.setAlignment(Qt::AlignJustify);
    shape = m_paraShapes.value(m_xml.attributes().value(QLatin1String("ParaShape")).toString(), shape);
    if (fresh)
        cursor.setBlockFormat(shape.format);
    else
        cursor.insertBlock(shape.format, QTextCharFormat());
    fresh = false;
    number(cursor, shape);
    const QTextBlock first = cursor.block();
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"TEXT")
            readText(cursor, m_charShapes.value(m_xml.attributes().value(QLatin1String("CharShape")).toString()),
                     depth);
        else
            m_xml.skipCurrentElement();
    }
    // A spacing in percent of the font size, or added to it, is known only now that the text is in; a table in the
    // paragraph leaves the rest of its text in the block after the table.
    HwpShapes::SetSpacing(first == cursor.block() ? QList<QTextBlock>{first} : QList<QTextBlock>{first, cursor.block()},
                          shape.percentSpacing, shape.addedSpacing, shape.fixedSpacing);
    HwpShapes::NumberAtMargin(first);
}

void HwpmlReader::number(QTextCursor& cursor, const ParaShape& shape)
{
    QTextListFormat format;
    if (shape.headingType == u"Number") {
        const auto heads = m_numberings.constFind(shape.heading);
        if (heads == m_numberings.cend() || !heads->contains(shape.level + 1))
            return;
        const ParaHead head = heads->value(shape.level + 1);
        format = HwpShapes::NumberingFormat(head.numFormat, head.text);
    } else if (shape.headingType == u"Bullet") {
        format = ListNumbering::Format(ListNumbering::Style::Bullet);
    } else {
        return;
    }
    const QString key =
        QStringLiteral("%1/%2/%3/%4").arg(shape.headingType, shape.heading).arg(shape.level).arg(m_scope);
    HwpShapes::JoinList(cursor, format, shape.level, key, m_lists);
}

void HwpmlReader::readText(QTextCursor& cursor, const QTextCharFormat& format, int depth)
{
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        if (name == u"CHAR") {
            readChar(cursor, format);
        } else if (name == u"EQUATION") {
            readEquation(cursor, format);
        } else if (name == u"TABLE") {
            if (depth < kMaxTableDepth)
                readTable(cursor, depth);
            else
                drop(DroppedObjects::Kind::Table);
        } else if (name == u"SECDEF") {
            readSectionDef();
        } else if (name == u"COLDEF") {
            readColumnDef();
        } else if (showsNothing(name)) {
            m_xml.skipCurrentElement();
        } else {
            drop(droppedKind(name));
        }
    }
}

void HwpmlReader::readChar(QTextCursor& cursor, const QTextCharFormat& format)
{
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isCharacters()) {
            // A line feed in the XML is layout of the file, not a new paragraph.
            QString text = m_xml.text().toString();
            text.replace(u'\n', u' ').replace(u'\r', u' ').replace(QChar::ParagraphSeparator, u' ');
            cursor.insertText(text, format);
        } else if (m_xml.isStartElement()) {
            const QString character = characterOf(m_xml.name());
            if (!character.isEmpty())
                cursor.insertText(character, format);
            m_xml.skipCurrentElement();
        } else if (m_xml.isEndElement()) {
            return;
        }
    }
}

void HwpmlReader::readEquation(QTextCursor& cursor, const QTextCharFormat& format)
{
    const auto attributes = m_xml.attributes();
    // The base size in HWPUNIT, 100 to the point; without one the equation takes the size of its text.
    const int baseUnit = integer(attributes, QLatin1String("BaseUnit"), 0);
    const double size = baseUnit > 0 ? baseUnit / PageGeometry::kUnitsPerPoint : FormulaObject::PointSizeAround(format);
    QColor textColour = colour(attributes.value(QLatin1String("TextColor")));
    if (!textColour.isValid())
        textColour = Qt::black;
    QString script;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"SCRIPT")
            script = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
        else
            m_xml.skipCurrentElement(); // the placement, which is that of a character in the line
    }
    // An equation without a script shows nothing: leaving it out loses nothing.
    if (script.trimmed().isEmpty())
        return;
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(script, size, textColour, format));
}

void HwpmlReader::readSectionDef()
{
    // One page for the whole document: the first section's.
    const bool first = !m_sawSection;
    m_sawSection = true;
    while (m_xml.readNextStartElement()) {
        if (!first || m_xml.name() != u"PAGEDEF") {
            m_xml.skipCurrentElement();
            continue;
        }
        const auto page = m_xml.attributes();
        int width = units(page, QLatin1String("Width"), m_section.paperWidth);
        int height = units(page, QLatin1String("Height"), m_section.paperHeight);
        // The paper is given upright; a landscape page turns it.
        const QStringView landscape = page.value(QLatin1String("Landscape"));
        if ((landscape == u"1" || landscape.compare(u"true", Qt::CaseInsensitive) == 0) && width < height)
            std::swap(width, height);
        m_section.paperWidth = width;
        m_section.paperHeight = height;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"PAGEMARGIN") {
                const auto margin = m_xml.attributes();
                m_section.leftMargin = units(margin, QLatin1String("Left"), m_section.leftMargin);
                m_section.rightMargin = units(margin, QLatin1String("Right"), m_section.rightMargin);
                m_section.topMargin = units(margin, QLatin1String("Top"), m_section.topMargin);
                m_section.bottomMargin = units(margin, QLatin1String("Bottom"), m_section.bottomMargin);
                m_section.headerLength = units(margin, QLatin1String("Header"), m_section.headerLength);
                m_section.footerLength = units(margin, QLatin1String("Footer"), m_section.footerLength);
                m_section.gutter = units(margin, QLatin1String("Gutter"), m_section.gutter);
            }
            m_xml.skipCurrentElement();
        }
    }
}

void HwpmlReader::readColumnDef()
{
    if (!m_sawColumns) {
        m_sawColumns = true;
        const auto columns = m_xml.attributes();
        m_section.columnCount = std::clamp(integer(columns, QLatin1String("Count"), 1), 1, 16);
        m_section.columnGap = m_section.columnCount > 1 ? units(columns, QLatin1String("SameGap"), 0) : 0;
    }
    m_xml.skipCurrentElement();
}

void HwpmlReader::readTable(QTextCursor& cursor, int depth)
{
    const auto attributes = m_xml.attributes();
    const int columns = std::clamp(integer(attributes, QLatin1String("ColCount"), 1), 1, kMaxTableColumns);
    const int rows = std::clamp(integer(attributes, QLatin1String("RowCount"), 1), 1, kMaxTableCells / columns);
    // As the editor's own tables: cells without borders of their own show the table's thin black grid.
    QTextTableFormat format = TableEditing::GridFormat();
    QTextTable* table = cursor.insertTable(rows, columns, format);
    QSet<quint32> taken;
    QList<int> widths(columns, 0);
    int row = -1;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"SHAPEOBJECT") {
            // The table's placement, and a caption the editor cannot show yet.
            while (m_xml.readNextStartElement()) {
                if (m_xml.name() == u"CAPTION")
                    drop(DroppedObjects::Kind::Caption);
                else
                    m_xml.skipCurrentElement();
            }
            continue;
        }
        if (m_xml.name() != u"ROW") {
            m_xml.skipCurrentElement(); // inner margins, cell zones
            continue;
        }
        ++row;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"CELL")
                readCell(table, taken, widths, row, depth);
            else
                m_xml.skipCurrentElement();
        }
    }
    // Columns whose width no single cell gave share what is left.
    HwpShapes::ApplyColumnWidths(table, format, widths);
    cursor = table->lastCursorPosition();
    cursor.movePosition(QTextCursor::NextBlock);
}

void HwpmlReader::readCell(QTextTable* table, QSet<quint32>& taken, QList<int>& widths, int row, int depth)
{
    const auto attributes = m_xml.attributes();
    const auto key = [](int r, int c) { return quint32(r) << 16 | quint32(c); };
    row = integer(attributes, QLatin1String("RowAddr"), row);
    int column = integer(attributes, QLatin1String("ColAddr"), -1);
    if (column < 0 && !attributes.hasAttribute(QLatin1String("ColAddr"))) {
        column = 0;
        while (column < kMaxTableColumns && taken.contains(key(row, column)))
            ++column;
    }
    // A table that said it had fewer rows or columns than its cells use grows to hold them.
    if (row < 0 || column < 0 || row >= kMaxTableRows || column >= kMaxTableColumns ||
        std::max(row + 1, table->rows()) * std::max(column + 1, table->columns()) > kMaxTableCells) {
        drop(DroppedObjects::Kind::TableCell);
        return;
    }
    if (row >= table->rows())
        table->appendRows(row + 1 - table->rows());
    if (column >= table->columns())
        table->appendColumns(column + 1 - table->columns());
    // Spans end at the table's edge, and never reach into a cell already placed.
    int rowSpan = std::clamp(integer(attributes, QLatin1String("RowSpan"), 1), 1, table->rows() - row);
    int columnSpan = std::clamp(integer(attributes, QLatin1String("ColSpan"), 1), 1, table->columns() - column);
    bool free = true;
    for (int r = row; r < row + rowSpan && free; ++r)
        for (int c = column; c < column + columnSpan && free; ++c)
            free = !taken.contains(key(r, c));
    if (!free)
        rowSpan = columnSpan = 1;
    // A cell placed twice adds its paragraphs to the first.
    const bool again = taken.contains(key(row, column));
    if (!again) {
        if (rowSpan > 1 || columnSpan > 1)
            table->mergeCells(row, column, rowSpan, columnSpan);
        for (int r = row; r < row + rowSpan; ++r)
            for (int c = column; c < column + columnSpan; ++c)
                taken.insert(key(r, c));
    }
    QTextTableCell cell = table->cellAt(row, column);
    if (!cell.isValid()) {
        drop(DroppedObjects::Kind::TableCell);
        return;
    }
    if (!again) {
        QTextTableCellFormat format = cell.format().toTableCellFormat();
        const QString fillId = attributes.value(QLatin1String("BorderFill")).toString();
        if (const auto fill = m_borderFills.constFind(fillId); fill != m_borderFills.cend()) {
            const auto& [left, right, top, bottom] = fill->sides;
            format.setLeftBorder(LayoutUnits::FromPoints(left.width));
            format.setLeftBorderStyle(left.style);
            format.setLeftBorderBrush(left.colour);
            format.setRightBorder(LayoutUnits::FromPoints(right.width));
            format.setRightBorderStyle(right.style);
            format.setRightBorderBrush(right.colour);
            format.setTopBorder(LayoutUnits::FromPoints(top.width));
            format.setTopBorderStyle(top.style);
            format.setTopBorderBrush(top.colour);
            format.setBottomBorder(LayoutUnits::FromPoints(bottom.width));
            format.setBottomBorderStyle(bottom.style);
            format.setBottomBorderBrush(bottom.colour);
            if (fill->face.isValid())
                format.setBackground(fill->face);
        }
        cell.setFormat(format);
        const int width = units(attributes, QLatin1String("Width"));
        if (columnSpan == 1 && width > 0 && column < widths.size() && widths[column] == 0)
            widths[column] = width;
    }
    QTextCursor cursor = again ? cell.lastCursorPosition() : cell.firstCursorPosition();
    bool fresh = !again;
    const int outer = m_scope;
    m_scope = ++m_scopes;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"PARALIST")
            readParagraphs(cursor, fresh, depth + 1);
        else
            m_xml.skipCurrentElement();
    }
    m_scope = outer;
}

void HwpmlReader::drop(DroppedObjects::Kind kind)
{
    m_dropped.Add(kind);
    m_xml.skipCurrentElement();
}
