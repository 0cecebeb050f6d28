#include "document/HwpmlReader.h"

#include "document/HwpShapes.h"
#include "document/hwp/HwpValues.h"
#include "document/model/ModelToTextDocument.h"

#include <QStringList>
#include <QTextDocument>

#include <algorithm>
#include <iterator>

#include <algorithm>

namespace {

using HwpShapes::kMaxTableDepth;
using HwpModel::Control;
// A document needs far fewer of each; past this a file is only making us hold memory.
constexpr int kMaxItems = 65536;

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

quint32 colour(QStringView text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && value >= 0 && value <= 0xFFFFFF ? quint32(value) : HwpModel::kNoColour;
}

// "0.12mm" and the like; negative when it is no number.
double millimetresOf(QStringView width)
{
    QStringView number = width;
    if (number.endsWith(u"mm"))
        number.chop(2);
    bool ok = false;
    const double millimetres = number.toDouble(&ok);
    return ok ? millimetres : -1;
}

// The binary format's code of a name, as its list gives it; `fallback` for names not in it.
int codeOf(QStringView name, std::initializer_list<const char16_t*> names, int fallback)
{
    int code = 0;
    for (const char16_t* known : names) {
        if (name == QStringView(known))
            return code;
        ++code;
    }
    return fallback;
}

int borderType(QStringView name)
{
    return HwpShapes::CodeOf(HwpShapes::kBorderNames, name, 1);
}

// The character a space-like element of a run stands for, as the binary format's control code.
QChar characterOf(QStringView name)
{
    using namespace HwpModel::Code;
    if (name == u"TAB")
        return QChar(kTab);
    if (name == u"LINEBREAK")
        return QChar(kLineBreak);
    if (name == u"NBSPACE")
        return QChar(kNonBreakingSpace);
    if (name == u"FWSPACE")
        return QChar(kFixedWidthSpace);
    if (name == u"HYPEN")
        return QChar(kHyphen);
    return {};
}

// The control codes the model gives the objects of a run.
using namespace HwpModel::Code;

int numberShape(QStringView name)
{
    return HwpShapes::CodeOf(HwpShapes::kNumberNames, name, 0);
}

} // namespace

HwpmlReader::HwpmlReader(QIODevice* device) : m_xml(device) {}

template <typename T> T* HwpmlReader::item(QList<T>& list, int index, const T& gap)
{
    if (index < 0 || index >= kMaxItems)
        return nullptr;
    while (list.size() <= index)
        list.append(gap);
    return &list[index];
}

HwpmlReader::Outcome HwpmlReader::Read(QTextDocument& document)
{
    bool sawRoot = false;
    Outcome outcome = Outcome::Read;
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
            HwpModel::Section section;
            section.paragraphs = readParagraphs(0);
            m_model.sections.push_back(std::move(section));
        } else if (name == u"TAIL") {
            m_xml.skipCurrentElement(); // the pictures' data, which the editor does not show yet
        }
    }
    if (m_xml.hasError())
        outcome = Outcome::XmlError;
    else if (!sawRoot)
        return Outcome::NotHwpml;
    m_model.dropped = m_dropped;
    ModelToTextDocument::Fill(document, m_model, &m_page, &m_dropped);
    return outcome;
}

void HwpmlReader::readFontFace()
{
    const bool hangul = m_xml.attributes().value(QLatin1String("Lang")) == u"Hangul";
    while (m_xml.readNextStartElement()) {
        const auto attributes = m_xml.attributes();
        if (hangul && m_xml.name() == u"FONT") {
            if (QString* face = item(m_model.info.fonts[0], integer(attributes, QLatin1String("Id"), -1)))
                *face = attributes.value(QLatin1String("Name")).toString();
        }
        m_xml.skipCurrentElement();
    }
}

void HwpmlReader::readCharShape()
{
    const auto attributes = m_xml.attributes();
    HwpModel::CharShape shape;
    shape.faces.fill(-1);
    shape.height = std::max(0, integer(attributes, QLatin1String("Height"), 0));
    shape.textColour = colour(attributes.value(QLatin1String("TextColor")));
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        if (name == u"FONTID")
            shape.faces[0] = integer(m_xml.attributes(), QLatin1String("Hangul"), -1);
        else if (name == u"BOLD")
            shape.properties |= HwpValues::kBold;
        else if (name == u"ITALIC")
            shape.properties |= HwpValues::kItalic;
        else if (name == u"UNDERLINE")
            shape.properties |= HwpValues::kUnderlineBelow;
        else if (name == u"STRIKEOUT")
            shape.properties |= HwpValues::kStrikeOut;
        else if (name == u"SUPERSCRIPT")
            shape.properties |= HwpValues::kSuperscript;
        else if (name == u"SUBSCRIPT")
            shape.properties |= HwpValues::kSubscript;
        m_xml.skipCurrentElement();
    }
    // Ids the file skips are plain text, as any id it never defines.
    HwpModel::CharShape gap;
    gap.known = false;
    if (HwpModel::CharShape* to = item(m_model.info.charShapes, integer(attributes, QLatin1String("Id"), -1), gap))
        *to = shape;
}

void HwpmlReader::readBorderFill()
{
    HwpModel::BorderFill fill;
    const auto fillAttributes = m_xml.attributes();
    const int id = integer(fillAttributes, QLatin1String("Id"), -1);
    // The kinds of the two diagonals; 0 draws none.
    fill.slash = std::clamp(integer(fillAttributes, QLatin1String("Slash"), 0), 0, 7);
    fill.backslash = std::clamp(integer(fillAttributes, QLatin1String("BackSlash"), 0), 0, 7);
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        const auto attributes = m_xml.attributes();
        static const QStringList sides = {QStringLiteral("LEFTBORDER"), QStringLiteral("RIGHTBORDER"),
                                          QStringLiteral("TOPBORDER"), QStringLiteral("BOTTOMBORDER")};
        if (const qsizetype side = sides.indexOf(name); side >= 0) {
            HwpModel::Border& border = fill.sides[side];
            border.type = borderType(attributes.value(QLatin1String("Type")));
            border.millimetres = millimetresOf(attributes.value(QLatin1String("Width")));
            border.colour = colour(attributes.value(QLatin1String("Color")));
            m_xml.skipCurrentElement();
        } else if (name == u"DIAGONAL") {
            fill.diagonal.type = borderType(attributes.value(QLatin1String("Type")));
            fill.diagonal.millimetres = millimetresOf(attributes.value(QLatin1String("Width")));
            fill.diagonal.colour = colour(attributes.value(QLatin1String("Color")));
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
    // Border fills count from 1.
    HwpModel::BorderFill gap;
    gap.known = false;
    if (HwpModel::BorderFill* to = item(m_model.info.borderFills, id - 1, gap))
        *to = fill;
}

void HwpmlReader::readParaShape()
{
    const auto attributes = m_xml.attributes();
    HwpModel::ParaShape shape;
    shape.alignment =
        HwpShapes::CodeOf(HwpShapes::kAlignmentNames, attributes.value(QLatin1String("Align")), 0);
    shape.heading = HwpModel::Heading(
        codeOf(attributes.value(QLatin1String("HeadingType")), {u"None", u"Outline", u"Number", u"Bullet"}, 0));
    shape.numbering = integer(attributes, QLatin1String("Heading"), 0);
    shape.level = std::clamp(integer(attributes, QLatin1String("Level"), 0), 0, HwpModel::kLevels - 1);
    shape.lineSpacing = -1;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"PARAMARGIN") {
            // HWPUNIT here, half units in the model.
            const auto margin = m_xml.attributes();
            const auto half = [&margin](QLatin1String name, int fallback) {
                return HwpShapes::ClampedUnits(qint64(units(margin, name, fallback)) * 2);
            };
            shape.left = half(QLatin1String("Left"), 0);
            shape.right = half(QLatin1String("Right"), 0);
            shape.indent = half(QLatin1String("Indent"), 0);
            shape.above = half(QLatin1String("Prev"), 0);
            shape.below = half(QLatin1String("Next"), 0);
            const QStringView type = margin.value(QLatin1String("LineSpacingType"));
            shape.lineSpacingType = type.isEmpty() ? HwpModel::LineSpacing::Percent
                                                   : HwpModel::LineSpacing(codeOf(
                                                         type, {u"Percent", u"Fixed", u"BetweenLines", u"AtLeast"},
                                                         int(HwpModel::LineSpacing::Unknown)));
            const int spacing = units(margin, QLatin1String("LineSpacing"), -1);
            // A percentage is no length.
            shape.lineSpacing = shape.lineSpacingType == HwpModel::LineSpacing::Percent || spacing < 0
                                    ? spacing
                                    : HwpShapes::ClampedUnits(qint64(spacing) * 2);
        }
        m_xml.skipCurrentElement();
    }
    // Ids the file skips are plain justified paragraphs, as any id it never defines.
    HwpModel::ParaShape gap;
    gap.lineSpacing = -1;
    if (HwpModel::ParaShape* to = item(m_model.info.paraShapes, integer(attributes, QLatin1String("Id"), -1), gap))
        *to = shape;
}

void HwpmlReader::readNumbering()
{
    HwpModel::Numbering heads;
    const int id = integer(m_xml.attributes(), QLatin1String("Id"), -1);
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() != u"PARAHEAD") {
            m_xml.skipCurrentElement();
            continue;
        }
        const auto attributes = m_xml.attributes();
        HwpModel::ParaHead head;
        head.numberShape = numberShape(attributes.value(QLatin1String("NumFormat")));
        const int level = integer(attributes, QLatin1String("Level"), 0);
        // The pattern is the element's text; some writers give it as an attribute instead.
        head.pattern = attributes.value(QLatin1String("Text")).toString();
        const QString content = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (head.pattern.isEmpty())
            head.pattern = content;
        if (level >= 1 && level <= HwpModel::kLevels)
            heads[level - 1] = head;
    }
    // Numberings count from 1.
    if (HwpModel::Numbering* to = item(m_model.info.numberings, id - 1))
        *to = heads;
}

HwpModel::Paragraphs HwpmlReader::readParagraphs(int depth)
{
    HwpModel::Paragraphs paragraphs;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"P")
            paragraphs.push_back(readParagraph(depth));
        else
            m_xml.skipCurrentElement();
    }
    return paragraphs;
}

HwpModel::Paragraph HwpmlReader::readParagraph(int depth)
{
    HwpModel::Paragraph paragraph;
    const auto attributes = m_xml.attributes();
    paragraph.paraShape = integer(attributes, QLatin1String("ParaShape"), -1);
    paragraph.style = integer(attributes, QLatin1String("Style"), 0);
    paragraph.pageBreak = attributes.value(QLatin1String("PageBreak")) == u"true";
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"TEXT") {
            const int shape = integer(m_xml.attributes(), QLatin1String("CharShape"), -1);
            // A run's shape holds from where it starts; one with the shape of the run before adds nothing.
            if (paragraph.runs.isEmpty() || paragraph.runs.last().shape != shape) {
                if (!paragraph.runs.isEmpty() && paragraph.runs.last().position == paragraph.text.size())
                    paragraph.runs.last().shape = shape;
                else
                    paragraph.runs.append({int(paragraph.text.size()), shape});
            }
            readText(paragraph, depth);
        } else {
            m_xml.skipCurrentElement();
        }
    }
    return paragraph;
}

void HwpmlReader::readText(HwpModel::Paragraph& paragraph, int depth)
{
    const auto object = [&paragraph](Control control, char16_t code) {
        paragraph.text.append(QChar(code));
        paragraph.controls.push_back(std::move(control));
    };
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        Control control;
        if (name == u"CHAR") {
            readChar(paragraph);
        } else if (name == u"EQUATION") {
            control.kind = Control::Kind::Equation;
            control.equation = readEquation();
            object(std::move(control), kObject);
        } else if (name == u"TABLE") {
            control.kind = Control::Kind::Table;
            // Tables deeper than the editor follows are left out whole.
            if (depth < kMaxTableDepth)
                control.table = readTable(depth);
            else
                m_xml.skipCurrentElement();
            object(std::move(control), kObject);
        } else if (name == u"SECDEF") {
            control.kind = Control::Kind::SectionDef;
            control.page = readSectionDef();
            object(std::move(control), kSectionColumn);
        } else if (name == u"COLDEF") {
            const auto columns = m_xml.attributes();
            control.kind = Control::Kind::ColumnDef;
            control.columnCount = integer(columns, QLatin1String("Count"), 1);
            control.columnGap = units(columns, QLatin1String("SameGap"), 0);
            m_xml.skipCurrentElement();
            object(std::move(control), kSectionColumn);
        } else if (name == u"HEADER" || name == u"FOOTER") {
            control.kind = name == u"HEADER" ? Control::Kind::Header : Control::Kind::Footer;
            control.margin.pages =
                codeOf(m_xml.attributes().value(QLatin1String("ApplyPageType")), {u"Both", u"Even", u"Odd"}, 0);
            control.margin.paragraphs = readList(depth, &control.margin.verticalAlignment);
            object(std::move(control), kHeaderFooter);
        } else if (name == u"PAGENUM") {
            const auto number = m_xml.attributes();
            control.kind = Control::Kind::PageNumber;
            control.pageNumber.shape = numberShape(number.value(QLatin1String("FormatType")));
            control.pageNumber.position =
                codeOf(number.value(QLatin1String("Pos")),
                       {u"None", u"TopLeft", u"TopCenter", u"TopRight", u"BottomLeft", u"BottomCenter",
                        u"BottomRight", u"OutsideTop", u"OutsideBottom", u"InsideTop", u"InsideBottom"},
                       0);
            control.pageNumber.dash = number.value(QLatin1String("SideChar")).left(1).toString();
            m_xml.skipCurrentElement();
            object(std::move(control), kPageNumber);
        } else if (name == u"AUTONUM") {
            const auto number = m_xml.attributes();
            control.kind = Control::Kind::AutoNumber;
            control.autoNumber.kind = number.value(QLatin1String("NumberType")) == u"Page" ? 0 : 1;
            control.autoNumber.number = integer(number, QLatin1String("Number"), 0);
            m_xml.skipCurrentElement();
            object(std::move(control), kAutoNumber);
        } else if (showsNothing(name)) {
            m_xml.skipCurrentElement();
        } else {
            control.kind = Control::Kind::Other;
            control.dropped = droppedKind(name);
            m_xml.skipCurrentElement();
            object(std::move(control), kObject);
        }
    }
}

void HwpmlReader::readChar(HwpModel::Paragraph& paragraph)
{
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isCharacters()) {
            // A line feed in the XML is layout of the file, not a new paragraph.
            QString text = m_xml.text().toString();
            text.replace(u'\n', u' ').replace(u'\r', u' ').replace(QChar::ParagraphSeparator, u' ');
            paragraph.text.append(text);
        } else if (m_xml.isStartElement()) {
            if (const QChar character = characterOf(m_xml.name()); !character.isNull())
                paragraph.text.append(character);
            m_xml.skipCurrentElement();
        } else if (m_xml.isEndElement()) {
            return;
        }
    }
}

HwpModel::Equation HwpmlReader::readEquation()
{
    const auto attributes = m_xml.attributes();
    HwpModel::Equation equation;
    equation.baseUnit = quint32(std::max(0, integer(attributes, QLatin1String("BaseUnit"), 0)));
    equation.colour = colour(attributes.value(QLatin1String("TextColor")));
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"SCRIPT")
            equation.script = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
        else
            m_xml.skipCurrentElement(); // the placement, which is that of a character in the line
    }
    return equation;
}

std::optional<HwpModel::PageDef> HwpmlReader::readSectionDef()
{
    std::optional<HwpModel::PageDef> found;
    while (m_xml.readNextStartElement()) {
        if (found || m_xml.name() != u"PAGEDEF") {
            m_xml.skipCurrentElement();
            continue;
        }
        const auto page = m_xml.attributes();
        HwpModel::PageDef def;
        def.paperWidth = units(page, QLatin1String("Width"), def.paperWidth);
        def.paperHeight = units(page, QLatin1String("Height"), def.paperHeight);
        const QStringView landscape = page.value(QLatin1String("Landscape"));
        def.landscape = landscape == u"1" || landscape.compare(u"true", Qt::CaseInsensitive) == 0;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"PAGEMARGIN") {
                const auto margin = m_xml.attributes();
                def.left = units(margin, QLatin1String("Left"), def.left);
                def.right = units(margin, QLatin1String("Right"), def.right);
                def.top = units(margin, QLatin1String("Top"), def.top);
                def.bottom = units(margin, QLatin1String("Bottom"), def.bottom);
                def.header = units(margin, QLatin1String("Header"), def.header);
                def.footer = units(margin, QLatin1String("Footer"), def.footer);
                def.gutter = units(margin, QLatin1String("Gutter"), def.gutter);
            }
            m_xml.skipCurrentElement();
        }
        found = def;
    }
    return found;
}

HwpModel::Table HwpmlReader::readTable(int depth)
{
    const auto attributes = m_xml.attributes();
    HwpModel::Table table;
    table.columns = integer(attributes, QLatin1String("ColCount"), 1);
    table.rows = integer(attributes, QLatin1String("RowCount"), 1);
    // The cells keep the editor's own inner margins, and a table grows to hold the cells it places.
    table.hasMargins = false;
    table.grows = true;
    int row = -1;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"SHAPEOBJECT") {
            // The table's placement, which the editor takes from the text, and its caption.
            while (m_xml.readNextStartElement()) {
                if (m_xml.name() == u"CAPTION")
                    table.caption = readCaption(depth);
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
                table.cells.push_back(readCell(row, depth));
            else
                m_xml.skipCurrentElement();
        }
    }
    return table;
}

HwpModel::Cell HwpmlReader::readCell(int row, int depth)
{
    const auto attributes = m_xml.attributes();
    HwpModel::Cell cell;
    cell.row = integer(attributes, QLatin1String("RowAddr"), row);
    // A column not given is the next free one of the row; a negative one given is damage.
    cell.column = attributes.hasAttribute(QLatin1String("ColAddr"))
                      ? std::min(integer(attributes, QLatin1String("ColAddr"), -2), kMaxItems)
                      : -1;
    if (cell.column == -1 && attributes.hasAttribute(QLatin1String("ColAddr")))
        cell.column = -2;
    cell.rowSpan = integer(attributes, QLatin1String("RowSpan"), 1);
    cell.columnSpan = integer(attributes, QLatin1String("ColSpan"), 1);
    cell.width = units(attributes, QLatin1String("Width"));
    cell.borderFill = integer(attributes, QLatin1String("BorderFill"), 0);
    cell.paragraphs = readList(depth, nullptr);
    return cell;
}

HwpModel::Caption HwpmlReader::readCaption(int depth)
{
    const auto attributes = m_xml.attributes();
    HwpModel::Caption caption;
    caption.side = codeOf(attributes.value(QLatin1String("Side")), {u"Left", u"Right", u"Top", u"Bottom"}, 3);
    caption.toMargins = attributes.value(QLatin1String("FullSize")) == u"true";
    caption.width = std::max(0, units(attributes, QLatin1String("Width"), caption.width));
    caption.gap = std::max(0, units(attributes, QLatin1String("Gap"), caption.gap));
    caption.textWidth = std::max(0, units(attributes, QLatin1String("LastWidth"), caption.textWidth));
    caption.paragraphs = readList(depth, &caption.verticalAlignment);
    return caption;
}

HwpModel::Paragraphs HwpmlReader::readList(int depth, int* verticalAlignment)
{
    HwpModel::Paragraphs paragraphs;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() != u"PARALIST") {
            m_xml.skipCurrentElement();
            continue;
        }
        if (verticalAlignment)
            *verticalAlignment =
                codeOf(m_xml.attributes().value(QLatin1String("VertAlign")), {u"Top", u"Center", u"Bottom"}, 0);
        HwpModel::Paragraphs more = readParagraphs(depth + 1);
        std::move(more.begin(), more.end(), std::back_inserter(paragraphs));
    }
    return paragraphs;
}

void HwpmlReader::drop(DroppedObjects::Kind kind)
{
    m_dropped.Add(kind);
    m_xml.skipCurrentElement();
}
