#include "document/model/TextDocumentToModel.h"

#include "document/CellDiagonals.h"
#include "document/FormulaObject.h"
#include "document/HwpShapes.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/PageDecorations.h"
#include "document/hwp/HwpValues.h"
#include "document/model/DocInfoBuilder.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace TextDocumentToModel {

namespace {

using namespace HwpModel::Code;
using HwpModel::Control;
using HwpValues::kParagraphUnitsPerPoint;
using HwpValues::kUnitsPerPoint;

// A line's height is this share of its text's size; the text stands on a baseline at 85 % of it.
constexpr double kLineHeightFactor = 1.6;
// A picture's pixels are 1/96 inch, as the editor sizes pictures.
constexpr double kUnitsPerPixel = 7200.0 / 96.0;

// A paragraph and the tables Qt puts after it: in the model the tables belong to the paragraph.
struct Item
{
    QTextBlock block;
    QList<QTextTable*> tables;
};

// Where the last line of a list of paragraphs stands (HWPUNIT): the bottom of its text from the list's top, and
// the spacing below it.
struct Extent
{
    qint32 bottom = 0;
    qint32 spacing = 0;
};

// An object of a paragraph's text, taken apart once the paragraph's own shapes are known.
struct Pending
{
    enum class Kind
    {
        Formula,
        Picture,
        PageNumber, // a header's or footer's number of its page
    } kind;
    QTextCharFormat format;
};

// The colour of a brush property, or an invalid colour when the format has no brush there.
QColor brushColour(const QTextFormat& format, int property)
{
    const QBrush brush = format.brushProperty(property);
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

// A padding of the editor's (a format length) as a cell margin, HWPUNIT.
int cellMargin(double padding)
{
    return int(std::clamp<long>(std::lround(LayoutUnits::ToPoints(padding) * kUnitsPerPoint), 0, 0xffff));
}

QByteArray pngOf(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// A table whose columns the layout sizes (from their content, or in percent of the table) is written with the
// columns where the writer saw them, which the reader gives back as fixed columns: equal shares would move them.
// In HWPUNIT, the outer columns with the room `border` the reader takes from them for the outer border; nothing
// when the table is not laid out `available` wide, or a column has no cell that starts in it.
std::optional<QList<qint32>> laidOutWidths(QTextTable* table, qint32 available, qint32 border)
{
    QAbstractTextDocumentLayout* layout = table->document()->documentLayout();
    const QRectF frame = layout->frameBoundingRect(table);
    // Around fixed columns, the layout of collapsed borders lays out three of the table's borders, in the
    // device's units (points), as many as the reader's columns will have around them; the drawn table is as
    // wide as the cells the reader reads.
    const auto total =
        qint32(std::lround((frame.width() - 3 * table->format().border()) * kUnitsPerPoint)) + 2 * border;
    if (frame.isEmpty() || std::abs(total - available) > available / 50)
        return std::nullopt;
    const int columns = table->columns();
    // Where each column's text starts; the cells of a table share their paddings and borders.
    QList<double> starts(columns, -1);
    for (int r = 0; r < table->rows(); ++r) {
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() == r && cell.column() == c && starts[c] < 0)
                starts[c] = layout->blockBoundingRect(cell.firstCursorPosition().block()).left();
        }
    }
    QList<qint32> widths(columns, 0);
    qint32 used = 0;
    for (int c = 0; c + 1 < columns; ++c) {
        if (starts[c] < 0 || starts[c + 1] <= starts[c])
            return std::nullopt;
        widths[c] = qint32(std::lround((starts[c + 1] - starts[c]) * kUnitsPerPoint)) + (c == 0 ? border : 0);
        used += widths[c];
    }
    // The last column takes what is left, its room for the border with it.
    widths.last() = total - used;
    if (widths.last() <= 2 * border)
        return std::nullopt;
    return widths;
}

// Column widths in HWPUNIT: fixed widths as given, percentages of `available`, the rest shared evenly.
QList<qint32> columnWidths(QTextTable* table, qint32 available)
{
    const int columns = table->columns();
    const QList<QTextLength> constraints = table->format().columnWidthConstraints();
    // The layout draws the table's outer border outside its fixed columns, where a cell holds its borders.
    const qint32 border = qint32(std::lround(LayoutUnits::ToPoints(table->format().border()) * kUnitsPerPoint));
    if (std::none_of(constraints.cbegin(), constraints.cend(),
                     [](const QTextLength& length) { return length.type() == QTextLength::FixedLength; })) {
        if (std::optional<QList<qint32>> laidOut = laidOutWidths(table, available, border))
            return *laidOut;
    }
    QList<qint32> widths(columns, 0);
    double used = 0;
    int open = 0;
    for (int c = 0; c < columns; ++c) {
        const QTextLength length = c < constraints.size() ? constraints[c] : QTextLength();
        if (length.type() == QTextLength::FixedLength)
            widths[c] = qint32(std::lround(LayoutUnits::ToPoints(length.rawValue()) * kUnitsPerPoint));
        else if (length.type() == QTextLength::PercentageLength)
            widths[c] = qint32(std::lround(available * length.rawValue() / 100.0));
        else
            ++open;
        used += widths[c];
    }
    const qint32 share = qint32(std::max(available - used, 0.0) / std::max(open, 1));
    for (qint32& width : widths) {
        if (width <= 0)
            width = std::max(share, 1000);
    }
    if (!constraints.isEmpty() && constraints.first().type() == QTextLength::FixedLength)
        widths.first() += border;
    if (constraints.size() == columns && constraints.last().type() == QTextLength::FixedLength)
        widths.last() += border;
    return widths;
}

HwpModel::BorderFill borderFillOf(const QTextTableCellFormat& cell, const QTextTableFormat& table)
{
    static constexpr int kSides[4][3] = {
        {QTextFormat::TableCellLeftBorder, QTextFormat::TableCellLeftBorderStyle,
         QTextFormat::TableCellLeftBorderBrush},
        {QTextFormat::TableCellRightBorder, QTextFormat::TableCellRightBorderStyle,
         QTextFormat::TableCellRightBorderBrush},
        {QTextFormat::TableCellTopBorder, QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellTopBorderBrush},
        {QTextFormat::TableCellBottomBorder, QTextFormat::TableCellBottomBorderStyle,
         QTextFormat::TableCellBottomBorderBrush},
    };
    HwpModel::BorderFill fill;
    // Sides without a line, and the diagonals when there are none: the thinnest black line that nothing draws.
    const HwpModel::Border none{.type = 0, .millimetres = HwpValues::kBorderMillimetres[0], .colour = 0};
    fill.sides.fill(none);
    fill.diagonal = {.type = 1, .millimetres = HwpValues::kBorderMillimetres[0], .colour = 0};
    for (int side = 0; side < 4; ++side) {
        const auto [widthProperty, styleProperty, brushProperty] = kSides[side];
        // A cell without borders of its own shows the table's grid.
        const double width = cell.hasProperty(widthProperty) ? cell.doubleProperty(widthProperty) : table.border();
        const auto style = QTextFrameFormat::BorderStyle(
            cell.hasProperty(styleProperty) ? cell.intProperty(styleProperty) : int(table.borderStyle()));
        const QColor colour =
            cell.hasProperty(brushProperty) ? brushColour(cell, brushProperty) : table.borderBrush().color();
        HwpModel::Border& border = fill.sides[side];
        if (width > 0 && style != QTextFrameFormat::BorderStyle_None) {
            border.type = HwpValues::BorderType(style);
            border.millimetres = HwpValues::kBorderMillimetres[HwpValues::BorderIndex(LayoutUnits::ToPoints(width))];
            border.colour = HwpValues::ColourRef(colour.isValid() ? colour : QColor(Qt::black));
        }
    }
    fill.face = HwpValues::ColourRef(brushColour(cell, QTextFormat::BackgroundBrush));
    const CellDiagonals::Diagonals diagonals = CellDiagonals::Of(cell);
    if (diagonals.lines && diagonals.style != QTextFrameFormat::BorderStyle_None) {
        constexpr int kCornerToCorner = 2;
        fill.slash = diagonals.lines & CellDiagonals::kSlash ? kCornerToCorner : 0;
        fill.backslash = diagonals.lines & CellDiagonals::kBackslash ? kCornerToCorner : 0;
        fill.diagonal = {.type = HwpValues::BorderType(diagonals.style),
                         .millimetres = HwpValues::kBorderMillimetres[HwpValues::BorderIndex(diagonals.width)],
                         .colour = HwpValues::ColourRef(diagonals.colour)};
    }
    return fill;
}

Control controlOf(Control::Kind kind)
{
    Control control;
    control.kind = kind;
    return control;
}

// A paragraph in single spacing, with nothing before it.
HwpModel::ParaShape plainParagraph()
{
    HwpModel::ParaShape shape;
    shape.lineSpacing = 100;
    return shape;
}

class Converter
{
public:
    Converter(const QTextDocument& document, const PageGeometry& page) : m_document(document), m_page(page)
    {
        const QFont font = document.defaultFont();
        m_defaultFamily = font.family().isEmpty() ? QStringLiteral("함초롬바탕") : font.family();
        m_defaultSize = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
        m_available = qint32(std::lround(page.columnWidth() * kUnitsPerPoint));
        // Shape 0 of each kind is the one the style names: the document's own font and a plain paragraph.
        m_info.charShape(charShapeOf(QTextCharFormat()));
        m_info.paraShape(plainParagraph());
    }

    HwpModel::Document convert()
    {
        HwpModel::Document model;
        HwpModel::Section section;
        section.paragraphs = paragraphs(itemsOf(m_document.rootFrame()->begin()), true);
        model.sections.push_back(std::move(section));
        model.title = m_document.metaInformation(QTextDocument::DocumentTitle);
        model.info = m_info.info();
        model.binData = std::move(m_binData);
        return model;
    }

private:
    static QList<Item> itemsOf(QTextFrame::iterator it)
    {
        QList<Item> items;
        for (; !it.atEnd(); ++it) {
            if (it.currentBlock().isValid()) {
                items.append(Item{it.currentBlock(), {}});
            } else if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
                if (items.isEmpty())
                    items.append(Item{});
                items.last().tables.append(table);
            } else if (QTextFrame* frame = it.currentFrame()) {
                items.append(itemsOf(frame->begin()));
            }
        }
        // Qt keeps an empty paragraph after a table that ends a cell or the document, where nobody can leave
        // it out; in the file it would be a blank line of its own.
        if (items.size() > 1 && !items.last().tables.size() && items.last().block.length() <= 1 &&
            !items[items.size() - 2].tables.isEmpty())
            items.removeLast();
        if (items.isEmpty())
            items.append(Item{});
        return items;
    }

    HwpModel::Paragraphs paragraphs(const QList<Item>& items, bool section)
    {
        HwpModel::Paragraphs list;
        list.reserve(items.size());
        for (qsizetype i = 0; i < items.size(); ++i)
            list.push_back(paragraph(items[i], section && i == 0));
        return list;
    }

    // The paragraphs of a list of their own (a cell, caption, header or footer), `width` wide from its top;
    // where its last line ends.
    Extent list(const QList<Item>& items, qint32 width, HwpModel::Paragraphs& paragraphsOut)
    {
        const qint32 outerPosition = m_verticalPosition;
        const qint32 outerWidth = m_available;
        const Extent outerLast = m_lastLine;
        m_verticalPosition = 0;
        m_available = width;
        m_lastLine = {};
        paragraphsOut = paragraphs(items, false);
        const Extent extent = m_lastLine;
        m_verticalPosition = outerPosition;
        m_available = outerWidth;
        m_lastLine = outerLast;
        return extent;
    }

    // A caption, header or footer kept in the editor's format.
    HwpModel::Paragraphs content(const QByteArray& bytes, qint32 width)
    {
        // Kept until the model is made: shapes and lists are remembered by the address of what made them.
        m_contents.push_back(PageDecorations::ContentDocument(bytes, width / kUnitsPerPoint));
        HwpModel::Paragraphs list;
        this->list(itemsOf(m_contents.back()->rootFrame()->begin()), width, list);
        return list;
    }

    HwpModel::CharShape charShapeOf(const QTextCharFormat& format)
    {
        HwpModel::CharShape shape;
        const QStringList families = format.fontFamilies().toStringList();
        shape.faces.fill(
            m_info.face(families.isEmpty() || families.first().isEmpty() ? m_defaultFamily : families.first()));
        const double size = format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0
                                ? format.fontPointSize()
                                : m_defaultSize;
        shape.height = qint32(std::lround(std::clamp(size, 0.1, 4096.0) * kUnitsPerPoint));
        if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold)
            shape.properties |= HwpValues::kBold;
        if (format.fontItalic())
            shape.properties |= HwpValues::kItalic;
        if (format.fontUnderline())
            shape.properties |= HwpValues::kUnderlineBelow;
        else if (format.fontOverline())
            shape.properties |= HwpValues::kUnderlineMask; // the line above the text
        if (format.fontStrikeOut())
            shape.properties |= HwpValues::kStrikeOut;
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            shape.properties |= HwpValues::kSuperscript;
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            shape.properties |= HwpValues::kSubscript;
        const QColor text = brushColour(format, QTextFormat::ForegroundBrush);
        shape.textColour = text.isValid() ? HwpValues::ColourRef(text) : 0;
        shape.shadeColour = HwpValues::ColourRef(brushColour(format, QTextFormat::BackgroundBrush));
        // Width ratio and letter spacing, as the reader sets them from the file.
        if (format.hasProperty(QTextFormat::FontStretch) && format.fontStretch() > 0)
            shape.ratios.fill(std::clamp(format.fontStretch(), 50, 200));
        if (format.hasProperty(QTextFormat::FontLetterSpacing) &&
            format.fontLetterSpacingType() == QFont::AbsoluteSpacing)
            shape.spacings.fill(int(std::clamp<long>(
                std::lround(format.fontLetterSpacing() / std::clamp(size, 0.1, 4096.0) * 100), -50, 50)));
        return shape;
    }

    int headOf(QTextList* list)
    {
        if (const auto known = m_heads.constFind(list); known != m_heads.cend())
            return *known;
        using Style = ListNumbering::Style;
        using HwpValues::NumberShape;
        const QTextListFormat format = list->format();
        int id = 0;
        const std::optional<Style> style = ListNumbering::StyleOf(format);
        const bool bullet = style == Style::Bullet || format.style() == QTextListFormat::ListCircle ||
                            format.style() == QTextListFormat::ListSquare;
        if (bullet) {
            id = m_info.bullet(format.style() == QTextListFormat::ListSquare   ? QChar(0x25A0)
                               : format.style() == QTextListFormat::ListCircle ? QChar(0x25CB)
                                                                               : QChar(0x25CF));
        } else {
            NumberShape shape = NumberShape::Digit;
            switch (format.style()) {
            case QTextListFormat::ListUpperAlpha:
                shape = NumberShape::LatinCapital;
                break;
            case QTextListFormat::ListLowerAlpha:
                shape = NumberShape::LatinSmall;
                break;
            case QTextListFormat::ListUpperRoman:
                shape = NumberShape::RomanCapital;
                break;
            case QTextListFormat::ListLowerRoman:
                shape = NumberShape::RomanSmall;
                break;
            default:
                shape = style == Style::Circled          ? NumberShape::CircledDigit
                        : style == Style::HangulSyllable ? NumberShape::HangulSyllable
                        : style == Style::HangulJamo     ? NumberShape::HangulJamo
                                                         : NumberShape::Digit;
            }
            // Qt puts a dot after a number whose list names no suffix; the counters drawn here have none.
            const QString suffix = format.hasProperty(QTextFormat::ListNumberSuffix) ? format.numberSuffix()
                                   : ListNumbering::PaintedHere(format)              ? QString()
                                                                                     : QStringLiteral(".");
            // Every level "prefix^level suffix" in the same shape: a paragraph's level picks its own.
            HwpModel::Numbering numbering;
            for (int level = 0; level < HwpModel::kLevels; ++level)
                numbering[level] = {int(shape), format.numberPrefix() + u'^' + QString::number(level + 1) + suffix};
            id = m_info.numbering(numbering);
        }
        m_heads.insert(list, id);
        m_bullets.insert(list, bullet);
        return id;
    }

    int paraShapeOf(const QTextBlock& block)
    {
        using HwpModel::LineSpacing;
        const QTextBlockFormat format = block.blockFormat();
        HwpModel::ParaShape shape = plainParagraph();
        // Format lengths are in the layout's units; the side margins and the indent are points.
        const auto units = [](double length) {
            return qint32(std::lround(LayoutUnits::ToPoints(length) * kParagraphUnitsPerPoint));
        };
        const auto points = [](double length) { return qint32(std::lround(length * kParagraphUnitsPerPoint)); };
        shape.alignment = int(HwpValues::AlignmentOf(format.alignment()));
        // A first line further out than the rest hangs: the word processor's margin is where it starts. A list
        // item's number starts there too.
        shape.left = points(HwpShapes::MarginBeforeNumber(block) + std::min(format.textIndent(), 0.0));
        shape.right = points(format.rightMargin());
        shape.indent = points(format.textIndent());
        shape.above = units(format.topMargin());
        shape.below = units(format.bottomMargin());
        const bool percent = format.hasProperty(LayoutUnits::kPercentSpacingProperty);
        const bool added = format.hasProperty(LayoutUnits::kAddedSpacingProperty);
        const bool fixed = format.hasProperty(LayoutUnits::kFixedSpacingProperty);
        const auto kept = [&format](int property) {
            return qint32(std::lround(format.doubleProperty(property) * kParagraphUnitsPerPoint));
        };
        switch (percent ? int(QTextBlockFormat::SingleHeight)
                : fixed ? int(QTextBlockFormat::FixedHeight)
                        : format.lineHeightType()) {
        case QTextBlockFormat::FixedHeight:
            shape.lineSpacingType = LineSpacing::Fixed;
            shape.lineSpacing = fixed ? kept(LayoutUnits::kFixedSpacingProperty) : units(format.lineHeight());
            break;
        case QTextBlockFormat::MinimumHeight:
            shape.lineSpacingType = LineSpacing::AtLeast;
            shape.lineSpacing = units(format.lineHeight());
            break;
        case QTextBlockFormat::LineDistanceHeight:
            shape.lineSpacingType = LineSpacing::BetweenLines;
            shape.lineSpacing = added ? kept(LayoutUnits::kAddedSpacingProperty) : units(format.lineHeight());
            break;
        default:
            // In percent of the font size, as the paragraph is laid out here; single spacing too.
            shape.lineSpacing = qint32(std::lround(LayoutUnits::PercentSpacing(block)));
        }
        if (QTextList* list = block.textList()) {
            shape.numbering = headOf(list);
            shape.heading = m_bullets.value(list) ? HwpModel::Heading::Bullet : HwpModel::Heading::Number;
            shape.level = std::clamp(list->format().indent() - 1, 0, HwpModel::kLevels - 1);
        }
        return m_info.paraShape(shape);
    }

    static void appendText(HwpModel::Paragraph& paragraph, const QString& run, QList<Pending>& objects)
    {
        for (QChar c : run) {
            switch (c.unicode()) {
            case PageDecorations::kPageNumberMark:
                paragraph.text += QChar(kAutoNumber);
                objects.append({Pending::Kind::PageNumber, {}});
                break;
            case u'\t':
                paragraph.text += QChar(kTab);
                break;
            case QChar::LineSeparator:
            case u'\n':
                paragraph.text += QChar(kLineBreak);
                break;
            case QChar::Nbsp:
                paragraph.text += QChar(kNonBreakingSpace);
                break;
            case 0x2007:
                paragraph.text += QChar(kFixedWidthSpace);
                break;
            case QChar::ObjectReplacementCharacter:
                break; // an object of no kind the file holds
            default:
                paragraph.text += c.unicode() < 32 ? QChar(u' ') : c;
            }
        }
    }

    HwpModel::Paragraph paragraph(const Item& item, bool sectionStart)
    {
        HwpModel::Paragraph paragraph;
        qint32 textHeight = 0; // the tallest char shape, HWPUNIT
        const auto shapeOf = [&](const QTextCharFormat& format) {
            const HwpModel::CharShape shape = charShapeOf(format);
            textHeight = std::max(textHeight, shape.height);
            return int(m_info.charShape(shape));
        };
        // A run starts where the shape changes.
        const auto shape = [&paragraph](int id) {
            const int at = int(paragraph.text.size());
            QList<HwpModel::CharRun>& runs = paragraph.runs;
            if (!runs.isEmpty() && runs.last().shape == id)
                return;
            if (!runs.isEmpty() && runs.last().position == at)
                runs.last().shape = id;
            else
                runs.append({at, id});
        };
        QList<Pending> objects;
        const QTextBlock& block = item.block;
        const int blockShape = shapeOf(block.isValid() ? block.charFormat() : QTextCharFormat());
        const PageDecorations::Margins margins =
            sectionStart ? PageDecorations::MarginsOf(m_document) : PageDecorations::Margins();
        if (sectionStart) {
            shape(blockShape);
            paragraph.text += QChar(kSectionColumn);
            paragraph.text += QChar(kSectionColumn);
            if (margins.number.position != 0)
                paragraph.text += QChar(kPageNumber);
            paragraph.text += QString(margins.headers.size() + margins.footers.size(), QChar(kHeaderFooter));
        }
        for (auto it = block.isValid() ? block.begin() : QTextBlock::iterator(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const bool formula = FormulaObject::IsFormula(format);
            if (formula || format.isImageFormat()) {
                // A picture whose pixels are gone is left out, as the editor's own file leaves it out.
                if (!formula && pictureOf(format.toImageFormat().name()).isNull())
                    continue;
                for (int i = 0; i < fragment.length(); ++i) {
                    shape(shapeOf(FormulaObject::TextFormat(format)));
                    paragraph.text += QChar(kObject);
                    objects.append({formula ? Pending::Kind::Formula : Pending::Kind::Picture, format});
                }
            } else {
                shape(shapeOf(format));
                appendText(paragraph, fragment.text(), objects);
            }
        }
        for (qsizetype i = 0; i < item.tables.size(); ++i) {
            if (paragraph.runs.isEmpty())
                shape(blockShape);
            paragraph.text += QChar(kObject);
        }
        if (paragraph.runs.isEmpty())
            shape(blockShape);
        // A paragraph of nothing but its end holds no text at all.
        if (!paragraph.text.isEmpty())
            paragraph.text += QChar(kParagraphEnd);
        paragraph.pageBreak =
            block.isValid() && block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
        paragraph.paraShape = block.isValid() ? paraShapeOf(block) : 0;
        paragraph.lines.append(line(textHeight > 0 ? textHeight : 1000));
        if (sectionStart)
            sectionControls(paragraph.controls, margins);
        for (const Pending& object : std::as_const(objects)) {
            switch (object.kind) {
            case Pending::Kind::Formula:
                paragraph.controls.push_back(equation(object.format));
                break;
            case Pending::Kind::Picture:
                paragraph.controls.push_back(picture(object.format.toImageFormat()));
                break;
            case Pending::Kind::PageNumber:
                // A page number in digits, without a symbol, prefix or suffix of its own.
                paragraph.controls.push_back(controlOf(Control::Kind::AutoNumber));
                paragraph.controls.back().autoNumber = {.kind = 0, .number = 1};
                break;
            }
        }
        for (QTextTable* table : item.tables)
            paragraph.controls.push_back(this->table(table));
        return paragraph;
    }

    // One line for the whole paragraph, below the one before it in its list.
    HwpModel::LineSegment line(qint32 textHeight)
    {
        const qint32 height = qint32(textHeight * kLineHeightFactor);
        const HwpModel::LineSegment segment{.textStart = 0,
                                            .top = m_verticalPosition,
                                            .height = textHeight,
                                            .textHeight = textHeight,
                                            .baseline = qint32(textHeight * 0.85),
                                            .spacing = height - textHeight,
                                            .columnStart = 0,
                                            .width = m_available,
                                            .flags = 0x00060000}; // the first and the last segment of its line
        m_lastLine = {m_verticalPosition + textHeight, height - textHeight};
        m_verticalPosition += height;
        return segment;
    }

    // The page and its columns, where the page number stands, and the headers and footers, each as wide as the
    // body.
    void sectionControls(std::vector<Control>& controls, const PageDecorations::Margins& margins)
    {
        // The paper upright, and a landscape mark when it lies on its side.
        const bool landscape = m_page.paperWidth > m_page.paperHeight;
        controls.push_back(controlOf(Control::Kind::SectionDef));
        controls.back().page = HwpModel::PageDef{
            .paperWidth = landscape ? m_page.paperHeight : m_page.paperWidth,
            .paperHeight = landscape ? m_page.paperWidth : m_page.paperHeight,
            .left = m_page.leftMargin,
            .right = m_page.rightMargin,
            .top = m_page.topMargin,
            .bottom = m_page.bottomMargin,
            .header = m_page.headerLength,
            .footer = m_page.footerLength,
            .gutter = m_page.gutter,
            .landscape = landscape,
        };
        const int columns = std::clamp(m_page.columnCount, 1, 255);
        controls.push_back(controlOf(Control::Kind::ColumnDef));
        controls.back().columnCount = columns;
        controls.back().columnGap = columns > 1 ? quint16(m_page.columnGap) : 0;
        if (margins.number.position != 0) {
            // The file holds one character of each.
            controls.push_back(controlOf(Control::Kind::PageNumber));
            controls.back().pageNumber = {.shape = margins.number.shape & 0xff,
                                          .position = margins.number.position,
                                          .prefix = margins.number.prefix.left(1),
                                          .suffix = margins.number.suffix.left(1),
                                          .dash =
                                              margins.number.dash.isNull() ? QString() : QString(margins.number.dash)};
        }
        const qint32 width = m_page.paperWidth - m_page.leftMargin - m_page.rightMargin - m_page.gutter;
        const auto margin = [&](const PageDecorations::Margin& kept, Control::Kind kind) {
            Control control = controlOf(kind);
            control.margin.pages = int(kept.pages);
            control.margin.verticalAlignment = kept.verticalAlignment;
            control.margin.paragraphs = content(kept.content, width);
            controls.push_back(std::move(control));
        };
        for (const PageDecorations::Margin& header : margins.headers)
            margin(header, Control::Kind::Header);
        for (const PageDecorations::Margin& footer : margins.footers)
            margin(footer, Control::Kind::Footer);
    }

    QImage pictureOf(const QString& name) const
    {
        const QImage image = m_document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
        return image.isNull() ? QImage(name) : image;
    }

    Control equation(const QTextCharFormat& format)
    {
        Control control = controlOf(Control::Kind::Equation);
        HwpModel::Equation& equation = control.equation;
        equation.script = FormulaObject::Script(format);
        const qint32 size = qint32(std::lround(FormulaObject::PointSize(format) * kUnitsPerPoint));
        equation.baseUnit = quint32(size);
        equation.colour = HwpValues::ColourRef(FormulaObject::Colour(format));
        // Rough extent for readers that place it before laying it out; the word processor measures it again.
        equation.width = std::max(qint32(std::max<qsizetype>(equation.script.size(), 1) * size / 2), 1);
        equation.height = std::max(size * 12 / 10, 1);
        return control;
    }

    Control picture(const QTextImageFormat& format)
    {
        const QString name = format.name();
        const QImage image = pictureOf(name);
        int bin = m_pictures.value(name);
        if (bin == 0) {
            bin = m_info.binData(QStringLiteral("png"));
            m_pictures.insert(name, bin);
            m_binData.insert(bin, pngOf(image));
        }
        const double pixelWidth = image.width();
        const double pixelHeight = image.height();
        const double width = format.width() > 0 ? format.width() : pixelWidth;
        const double height = format.height() > 0 ? format.height() : width * pixelHeight / pixelWidth;
        Control control = controlOf(Control::Kind::Picture);
        HwpModel::Picture& picture = control.picture;
        picture.binId = bin;
        picture.asCharacter = true;
        picture.width = std::max<qint64>(std::lround(LayoutUnits::ToPoints(width) * kUnitsPerPoint), 1);
        picture.height = std::max<qint64>(std::lround(LayoutUnits::ToPoints(height) * kUnitsPerPoint), 1);
        picture.imageWidth = qint32(std::lround(pixelWidth * kUnitsPerPixel));
        picture.imageHeight = qint32(std::lround(pixelHeight * kUnitsPerPixel));
        return control;
    }

    Control table(QTextTable* table)
    {
        Control control = controlOf(Control::Kind::Table);
        HwpModel::Table& model = control.table;
        const int rows = table->rows();
        const int columns = table->columns();
        model.rows = rows;
        model.columns = columns;
        const QList<qint32> widths = columnWidths(table, m_available);
        const QTextTableFormat format = table->format();

        // Cells in reading order, each where it starts; rows as tall as their paragraphs want.
        struct Placed
        {
            QTextTableCell cell;
            qint32 width;
        };
        QList<Placed> placed;
        QList<qint32> rowHeights(rows, 0);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (!cell.isValid() || cell.row() != r || cell.column() != c)
                    continue;
                qint32 width = 0;
                for (int k = c; k < c + cell.columnSpan() && k < columns; ++k)
                    width += widths[k];
                placed.append({cell, width});
                int paragraphCount = 0;
                for (auto it = cell.begin(); !it.atEnd(); ++it)
                    ++paragraphCount;
                if (cell.rowSpan() == 1)
                    rowHeights[r] = std::max(rowHeights[r], qint32(std::max(paragraphCount, 1) * 1600 + 282));
            }
        }
        qint32 tableWidth = 0;
        for (qint32 width : widths)
            tableWidth += width;
        for (qint32& height : rowHeights)
            height = std::max(height, 1882);

        if (const auto caption = PageDecorations::CaptionOf(format)) {
            const bool beside =
                caption->side == PageDecorations::Side::Left || caption->side == PageDecorations::Side::Right;
            HwpModel::Caption& kept = model.caption.emplace();
            kept.side = int(caption->side);
            kept.toMargins = caption->toMargins;
            kept.verticalAlignment = caption->verticalAlignment;
            kept.width = caption->width;
            kept.gap = std::min(caption->gap, 0xffff);
            kept.textWidth = caption->textWidth > 0 ? caption->textWidth : tableWidth;
            kept.paragraphs = content(caption->content, beside ? caption->width : kept.textWidth);
        }
        // The paddings the editor gives a cell without its own: the table's.
        const int tablePadding = cellMargin(format.cellPadding());
        model.margins.fill(tablePadding);
        // The table's own border fill is its grid: the very fill of every cell without borders of its own, so
        // that a reader can tell those cells from ones whose borders only look the same.
        model.borderFill = m_info.borderFill(borderFillOf(QTextTableCellFormat(), format));

        // A reader takes a cell's bottom margin as the room below its text less the spacing of the text's last
        // line and the grid's line between rows, as the word processor's own files need; the margin kept is the
        // cell's padding plus those, and a row is no taller than its shortest cell needs, so that the cells come
        // back with the paddings they have here. The word processor makes a row as tall as its text wants.
        const qint32 rule = qint32(std::lround(LayoutUnits::ToPoints(format.border()) * kUnitsPerPoint));
        QList<qint32> needs(rows, 0);
        const QTextFormat::Property paddings[4] = {QTextFormat::TableCellLeftPadding,
                                                   QTextFormat::TableCellRightPadding, QTextFormat::TableCellTopPadding,
                                                   QTextFormat::TableCellBottomPadding};
        for (const Placed& entry : std::as_const(placed)) {
            const QTextTableCell& cell = entry.cell;
            HwpModel::Cell& kept = model.cells.emplace_back();
            kept.column = cell.column();
            kept.row = cell.row();
            kept.columnSpan = cell.columnSpan();
            kept.rowSpan = cell.rowSpan();
            kept.width = entry.width;
            const QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            for (int side = 0; side < 4; ++side)
                kept.margins[side] = cellFormat.hasProperty(paddings[side])
                                         ? cellMargin(cellFormat.doubleProperty(paddings[side]))
                                         : tablePadding;
            kept.borderFill = m_info.borderFill(borderFillOf(cellFormat, format));
            // The cell's text is as wide as the cell less its margins.
            const Extent extent =
                list(itemsOf(cell.begin()), std::max(entry.width - kept.margins[0] - kept.margins[1], 1000),
                     kept.paragraphs);
            // A padding below the text may be negative: the word processor's files leave the last line's
            // spacing out of the cell, which the reader takes back from the margin. Kept as it is, not as the
            // nought a margin of its own would be, it comes back the same.
            const qint32 padding =
                cellFormat.hasProperty(QTextFormat::TableCellBottomPadding)
                    ? qint32(std::lround(LayoutUnits::ToPoints(cellFormat.bottomPadding()) * kUnitsPerPoint))
                    : kept.margins[3];
            kept.margins[3] = std::clamp(padding + extent.spacing + rule, 0, 0xffff);
            const qint32 need = kept.margins[2] + extent.bottom + kept.margins[3];
            // For now the height the cell needs; its rows' below.
            kept.height = need;
            if (cell.rowSpan() == 1)
                needs[cell.row()] = needs[cell.row()] > 0 ? std::min(needs[cell.row()], need) : need;
        }
        // Rows without a cell of their own keep the height their paragraphs gave them.
        qint32 tableHeight = 0;
        for (int r = 0; r < rows; ++r) {
            if (needs[r] > 0)
                rowHeights[r] = needs[r];
            tableHeight += rowHeights[r];
        }
        for (HwpModel::Cell& cell : model.cells) {
            cell.height = 0;
            for (int r = cell.row; r < cell.row + cell.rowSpan && r < rows; ++r)
                cell.height += rowHeights[r];
        }
        model.width = std::max(tableWidth, 1);
        model.height = std::max(tableHeight, 1);
        return control;
    }

    const QTextDocument& m_document;
    const PageGeometry& m_page;
    HwpModel::DocInfoBuilder m_info;
    QHash<int, QByteArray> m_binData;
    QHash<QString, int> m_pictures; // the document's picture names, by the bin item each went into
    QString m_defaultFamily;
    double m_defaultSize = 10;
    QHash<QTextList*, int> m_heads;
    QHash<QTextList*, bool> m_bullets;
    std::vector<std::unique_ptr<QTextDocument>> m_contents;
    qint32 m_verticalPosition = 0;
    // The line made last, in the list of paragraphs being taken apart.
    Extent m_lastLine;
    // How wide the text may run: the column, or the cell a table is in.
    qint32 m_available = 0;
};

} // namespace

HwpModel::Document Convert(const QTextDocument& document, const PageGeometry& page)
{
    return Converter(document, page).convert();
}

} // namespace TextDocumentToModel
