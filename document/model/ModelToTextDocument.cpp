#include "document/model/ModelToTextDocument.h"

#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/HwpShapes.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/TableEditing.h"

#include <QBrush>
#include <QImage>
#include <QSet>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>

namespace {

using HwpShapes::kMaxTableCells;
using HwpShapes::kMaxTableColumns;
using HwpShapes::kMaxTableDepth;
using HwpShapes::kMaxTableRows;
using HwpShapes::kMaxUnits;
// Cells of all tables together: a table record of a few bytes asks for thousands of cells, so many small
// records could otherwise ask for millions.
constexpr int kMaxAllCells = 65536;
// Pictures decoded, all together; past this the rest are left out.
constexpr qsizetype kMaxAllPictureBytes = qsizetype(256) << 20;
// Paragraph shapes' lengths are in half units.
constexpr double kParagraphUnitsPerPoint = 200.0;

double paragraphPoints(qint32 units)
{
    return std::clamp(units, -kMaxUnits, kMaxUnits) / kParagraphUnitsPerPoint;
}

QColor colour(quint32 value)
{
    return HwpShapes::Colour(value);
}

QTextCharFormat charFormatOf(const HwpModel::CharShape& shape, const QStringList& hangulFaces)
{
    QTextCharFormat format;
    if (!shape.known)
        return format;
    const int face = shape.faces[0];
    if (face >= 0 && face < hangulFaces.size() && !hangulFaces[face].isEmpty())
        format.setFontFamilies({hangulFaces[face]});
    // The Hangul script's width ratio, letter spacing and relative size, which set a question's lines.
    const int relative = shape.relativeSizes[0];
    const int spacing = shape.spacings[0];
    const int ratio = shape.ratios[0];
    if (shape.height > 0) {
        const double size =
            std::min(shape.height / 100.0 * (relative >= 10 && relative <= 250 ? relative : 100) / 100.0, 4096.0);
        format.setFontPointSize(size);
        // Letter spacing in points, which are the layout's units for it.
        if (spacing != 0 && spacing >= -50 && spacing <= 50) {
            format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            format.setFontLetterSpacing(size * spacing / 100.0);
        }
    }
    if (ratio != 100 && ratio >= 50 && ratio <= 200)
        format.setFontStretch(ratio);
    if (const QColor text = colour(shape.textColour); text.isValid())
        format.setForeground(text);
    // White shading is how the word processor says "none" as often as the no-colour value.
    if (const QColor shade = colour(shape.shadeColour); shade.isValid() && shade != Qt::white)
        format.setBackground(shade);
    const quint32 properties = shape.properties;
    if (properties & 0x1)
        format.setFontItalic(true);
    if (properties & 0x2)
        format.setFontWeight(QFont::Bold);
    // The line's place: 1 below the text, 3 above it; 2 is the line through it, which the strike-out bits give.
    const int line = (properties >> 2) & 0x3;
    if (line == 1)
        format.setFontUnderline(true);
    else if (line == 3)
        format.setFontOverline(true);
    if (properties & (1u << 15))
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (properties & (1u << 16))
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if ((properties >> 18) & 0x7)
        format.setFontStrikeOut(true);
    return format;
}

QTextFrameFormat::BorderStyle borderStyle(int type)
{
    return HwpShapes::BorderStyle(HwpShapes::NameOf(HwpShapes::kBorderNames, type, u"Solid"));
}

} // namespace

void ModelToTextDocument::Fill(QTextDocument& document, const HwpModel::Document& model,
                               std::optional<PageGeometry>* page, DroppedObjects* dropped, QList<Place>* places)
{
    ModelToTextDocument mapping(document, model);
    for (const HwpModel::Section& section : model.sections)
        mapping.section(section);
    if (page)
        *page = mapping.m_sawSection && mapping.m_page.isUsable() ? std::optional(mapping.m_page) : std::nullopt;
    if (dropped) {
        *dropped = model.dropped;
        dropped->Add(mapping.m_dropped);
    }
    if (places)
        *places = mapping.m_places;
}

ModelToTextDocument::ModelToTextDocument(QTextDocument& document, const HwpModel::Document& model)
    : m_document(document), m_model(model), m_cursor(&document)
{
    const HwpModel::DocInfo& info = model.info;
    for (const HwpModel::CharShape& shape : info.charShapes)
        m_charFormats.append(charFormatOf(shape, info.fonts[0]));
    for (const HwpModel::ParaShape& shape : info.paraShapes) {
        ParaFormat para;
        QTextBlockFormat& format = para.format;
        format.setAlignment(HwpShapes::Alignment(HwpShapes::NameOf(HwpShapes::kAlignmentNames, shape.alignment, u"Justify")));
        // Lengths go into the format in the layout's units; the side margins and the indent are points.
        const auto length = [](double points) { return LayoutUnits::FromPoints(points); };
        const double left = std::max(0.0, paragraphPoints(shape.left));
        format.setRightMargin(std::max(0.0, paragraphPoints(shape.right)));
        // A negative indent hangs: the first line starts at the margin and the lines after it that much further
        // in, where Qt starts every line at the margin and the first that much further out.
        const double indent = paragraphPoints(shape.indent);
        format.setLeftMargin(indent < 0 ? left - indent : left);
        format.setTextIndent(indent);
        format.setTopMargin(length(std::max(0.0, paragraphPoints(shape.above))));
        format.setBottomMargin(length(std::max(0.0, paragraphPoints(shape.below))));
        const qint32 spacing = std::min(shape.lineSpacing, kMaxUnits);
        using HwpModel::LineSpacing;
        if (spacing > 0 && shape.lineSpacingType == LineSpacing::Percent)
            para.percentSpacing = std::min(spacing, 1000);
        else if (spacing > 0 && shape.lineSpacingType == LineSpacing::Fixed)
            para.fixedSpacing = paragraphPoints(spacing);
        else if (spacing >= 0 && shape.lineSpacingType == LineSpacing::BetweenLines)
            para.addedSpacing = paragraphPoints(spacing);
        else if (spacing > 0 && shape.lineSpacingType == LineSpacing::AtLeast)
            format.setLineHeight(length(paragraphPoints(spacing)), QTextBlockFormat::MinimumHeight);
        para.heading = shape.heading;
        para.numbering = shape.numbering;
        para.level = std::clamp(shape.level, 0, HwpModel::kLevels - 1);
        m_paraFormats.append(para);
    }
    for (const HwpModel::BorderFill& fill : info.borderFills) {
        CellFill mapped;
        for (int side = 0; side < 4; ++side) {
            const HwpModel::Border& border = fill.sides[side];
            Border& to = mapped.sides[side];
            to.style = borderStyle(border.type);
            to.width = to.style == QTextFrameFormat::BorderStyle_None ? 0 : HwpShapes::BorderWidth(border.millimetres);
            to.colour = colour(border.colour);
            if (!to.colour.isValid())
                to.colour = Qt::black;
        }
        // The editor draws each diagonal corner to corner, whatever its kind.
        mapped.diagonals.lines =
            (fill.slash ? CellDiagonals::kSlash : 0) | (fill.backslash ? CellDiagonals::kBackslash : 0);
        mapped.diagonals.style = borderStyle(fill.diagonal.type);
        mapped.diagonals.width = HwpShapes::BorderWidth(fill.diagonal.millimetres);
        const QColor diagonal = colour(fill.diagonal.colour);
        mapped.diagonals.colour = diagonal.isValid() ? diagonal : QColor(Qt::black);
        if (mapped.diagonals.style == QTextFrameFormat::BorderStyle_None)
            mapped.diagonals.lines = 0;
        mapped.face = colour(fill.face);
        m_fills.append(mapped);
    }
}

QTextCharFormat ModelToTextDocument::charFormat(int id) const
{
    return id >= 0 && id < m_charFormats.size() ? m_charFormats[id] : QTextCharFormat();
}

void ModelToTextDocument::section(const HwpModel::Section& section)
{
    // Every section after the first starts on a page of its own.
    m_sectionStart = ++m_sectionIndex > 0;
    m_outlineNumbering = section.outlineNumbering;
    for (const HwpModel::Paragraph& paragraph : section.paragraphs)
        this->paragraph(paragraph, m_cursor, m_fresh, 0);
}

void ModelToTextDocument::paragraph(const HwpModel::Paragraph& paragraph, QTextCursor& cursor, bool& fresh,
                                    int depth)
{
    ParaFormat shape;
    shape.format.setAlignment(Qt::AlignJustify);
    if (paragraph.paraShape >= 0 && paragraph.paraShape < m_paraFormats.size())
        shape = m_paraFormats[paragraph.paraShape];
    QTextBlockFormat blockFormat = shape.format;
    // A page break starts the paragraph on a new page; a column break the editor cannot show.
    if ((paragraph.pageBreak || (m_sectionStart && depth == 0)) && !fresh)
        blockFormat.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (depth == 0)
        m_sectionStart = false;
    // The empty block that a document always keeps after a table is where the paragraph after the table goes;
    // a block of its own would add a blank line at every save and reopen. In a cell too: there the block before
    // is in a table inside the cell, not the cell's own table, which is why the frames are compared.
    const QTextTable* before = QTextCursor(cursor.block().previous()).currentTable();
    const bool afterTable =
        !fresh && cursor.block().length() == 1 && before && before->parentFrame() == cursor.currentFrame();
    if (fresh || afterTable)
        cursor.setBlockFormat(blockFormat);
    else
        cursor.insertBlock(blockFormat, QTextCharFormat());
    fresh = false;
    number(cursor, shape);
    // A caption's, header's or footer's paragraphs go into a document of their own, which the layout reaches
    // through the table or the page.
    if (cursor.document() == &m_document)
        m_places.append({m_sectionIndex, paragraph.source, depth, cursor.block()});
    // The blocks this paragraph's text goes into: more than one when a picture or a table splits it.
    QList<QTextBlock> own = {cursor.block()};

    QString pending;
    QTextCharFormat pendingFormat;
    // After a picture on a line of its own, the rest of the paragraph starts a line of its own again.
    bool newBlock = false;
    auto startBlock = [&] {
        if (newBlock)
            cursor.insertBlock(shape.format, QTextCharFormat());
        newBlock = false;
    };
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        startBlock();
        cursor.insertText(pending, pendingFormat);
        pending.clear();
    };
    auto put = [&](QChar c, const QTextCharFormat& format) {
        if (!pending.isEmpty() && format != pendingFormat)
            flush();
        pendingFormat = format;
        pending.append(c);
    };

    const QList<HwpModel::CharRun>& runs = paragraph.runs;
    qsizetype nextControl = 0;
    qsizetype run = 0;
    QTextCharFormat format = charFormat(runs.isEmpty() ? 0 : runs[0].shape);
    // The paragraph mark takes the shape of the run it is in, the last: an empty paragraph is as tall as its
    // text would be, and the word processor spaces the lines by it. Merged: a cell keeps its own format in its
    // first paragraph's mark.
    cursor.mergeBlockCharFormat(charFormat(runs.isEmpty() ? 0 : runs.last().shape));
    const QString& text = paragraph.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Runs come in text order; the shape changes only where one starts.
        if (run + 1 < runs.size() && runs[run + 1].position <= i) {
            while (run + 1 < runs.size() && runs[run + 1].position <= i)
                ++run;
            format = charFormat(runs[run].shape);
        }
        const ushort code = text[i].unicode();
        if (code >= 32) {
            put(text[i], format);
            continue;
        }
        switch (code) {
        case HwpModel::Code::kTab:
            put(u'\t', format);
            continue;
        case HwpModel::Code::kLineBreak:
            put(QChar::LineSeparator, format);
            continue;
        case HwpModel::Code::kHyphen:
            put(u'-', format);
            continue;
        case HwpModel::Code::kNonBreakingSpace:
            put(QChar::Nbsp, format);
            continue;
        case HwpModel::Code::kFixedWidthSpace:
            put(QChar(0x2007), format); // figure space: a digit's width, never stretched or broken
            continue;
        default:
            break;
        }
        if (HwpModel::IsExtendedControl(code) && nextControl < qsizetype(paragraph.controls.size())) {
            flush();
            startBlock();
            const HwpModel::Control& object = paragraph.controls[nextControl++];
            if (control(object, cursor, format, shape.format, depth))
                newBlock = true;
            // The text after a table goes on in the block after it, which is still the paragraph's.
            if (object.kind == HwpModel::Control::Kind::Table && own.last() != cursor.block())
                cursor.setBlockFormat(shape.format);
            if (own.last() != cursor.block())
                own.append(cursor.block());
        }
    }
    flush();
    if (own.last() != cursor.block())
        own.append(cursor.block());
    // A spacing in percent of the font size, added to it or fixed depends on the fonts, known only now that the
    // text is in; so does the room its number takes.
    HwpShapes::SetSpacing(own, shape.percentSpacing, shape.addedSpacing, shape.fixedSpacing);
    HwpShapes::NumberAtMargin(own.first());
}

bool ModelToTextDocument::control(const HwpModel::Control& control, QTextCursor& cursor,
                                  const QTextCharFormat& format, const QTextBlockFormat& paragraph, int depth)
{
    using Kind = HwpModel::Control::Kind;
    switch (control.kind) {
    case Kind::SectionDef:
        sectionDef(control);
        break;
    case Kind::ColumnDef:
        if (!m_sawColumns) {
            m_sawColumns = true;
            m_page.columnCount = std::clamp(control.columnCount, 1, 16);
            m_page.columnGap = m_page.columnCount > 1 ? HwpShapes::ClampedUnits(control.columnGap) : 0;
        }
        break;
    case Kind::Table:
        if (depth < kMaxTableDepth)
            table(control.table, cursor, depth);
        else
            m_dropped.Add(DroppedObjects::Kind::Table);
        break;
    case Kind::Equation:
        equation(control.equation, cursor, format);
        break;
    case Kind::Picture:
        return picture(control.picture, cursor, paragraph);
    case Kind::Header:
    case Kind::Footer:
        margin(control.margin, control.kind == Kind::Header, depth);
        break;
    case Kind::PageNumber:
        pageNumber(control.pageNumber);
        break;
    case Kind::AutoNumber:
        // A page number in a header or footer is each page's own; any other stands as the number it had.
        if (control.autoNumber.kind == 0 && m_inMargin)
            cursor.insertText(QString(QChar(PageDecorations::kPageNumberMark)), format);
        else
            cursor.insertText(QString::number(control.autoNumber.number), format);
        break;
    case Kind::Invisible:
        break;
    case Kind::Other:
        m_dropped.Add(control.dropped);
        break;
    }
    return false;
}

void ModelToTextDocument::sectionDef(const HwpModel::Control& control)
{
    // One page for the whole document: the first section's.
    const bool first = !m_sawSection;
    m_sawSection = true;
    if (!first || !control.page)
        return;
    const HwpModel::PageDef& page = *control.page;
    const auto units = [](int value) { return HwpShapes::ClampedUnits(value); };
    int width = units(page.paperWidth);
    int height = units(page.paperHeight);
    if (page.landscape && width < height)
        std::swap(width, height);
    m_page.paperWidth = width;
    m_page.paperHeight = height;
    m_page.leftMargin = units(page.left);
    m_page.rightMargin = units(page.right);
    m_page.topMargin = units(page.top);
    m_page.bottomMargin = units(page.bottom);
    m_page.headerLength = units(page.header);
    m_page.footerLength = units(page.footer);
    m_page.gutter = units(page.gutter);
}

void ModelToTextDocument::table(const HwpModel::Table& model, QTextCursor& cursor, int depth)
{
    const int columns = std::clamp(model.columns, 1, kMaxTableColumns);
    const int rows = std::clamp(model.rows, 1, std::min(kMaxTableRows, kMaxTableCells / columns));
    if (!model.known || rows * columns > kMaxAllCells - m_cells) {
        m_dropped.Add(DroppedObjects::Kind::Table);
        return;
    }
    m_cells += rows * columns;
    // As the editor's own tables: cells without borders of their own show the table's thin black grid, unless
    // the table's own border fill has no lines at all.
    QTextTableFormat format = TableEditing::GridFormat();
    const CellFill* grid = model.borderFill >= 1 && model.borderFill <= m_fills.size() &&
                               m_model.info.borderFills[model.borderFill - 1].known
                           ? &m_fills[model.borderFill - 1]
                           : nullptr;
    if (grid && std::all_of(grid->sides.cbegin(), grid->sides.cend(), [](const Border& side) {
            return side.style == QTextFrameFormat::BorderStyle_None;
        })) {
        format.setBorder(0);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_None);
    } else if (grid) {
        // The grid as thin as the file draws it: the layout makes every row taller by its lines.
        format.setBorder(LayoutUnits::FromPoints(grid->sides[2].width));
    }
    QTextTable* table = cursor.insertTable(rows, columns, format);
    QSet<quint32> taken;
    const auto key = [](int r, int c) { return quint32(r) << 16 | quint32(c); };
    QList<int> widths(columns, 0);
    for (const HwpModel::Cell& cell : model.cells) {
        int row = cell.row;
        int column = cell.column;
        if (column == -1 && model.grows) {
            column = 0;
            while (column < kMaxTableColumns && taken.contains(key(row, column)))
                ++column;
        }
        // A table that said it had fewer rows or columns than its cells use grows to hold them, when its form
        // lets it; in the other forms such cells are damage.
        const bool fits = row >= 0 && column >= 0 && row < table->rows() && column < table->columns();
        if (!fits && (!model.grows || row < 0 || column < 0 || row >= kMaxTableRows || column >= kMaxTableColumns ||
                      std::max(row + 1, table->rows()) * std::max(column + 1, table->columns()) > kMaxTableCells)) {
            m_dropped.Add(DroppedObjects::Kind::TableCell);
            continue;
        }
        if (row >= table->rows())
            table->appendRows(row + 1 - table->rows());
        if (column >= table->columns())
            table->appendColumns(column + 1 - table->columns());
        // Spans end at the table's edge, and never reach into a cell already placed.
        int rowSpan = std::clamp(cell.rowSpan, 1, table->rows() - row);
        int columnSpan = std::clamp(cell.columnSpan, 1, table->columns() - column);
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
        QTextTableCell tableCell = table->cellAt(row, column);
        if (!tableCell.isValid()) {
            m_dropped.Add(DroppedObjects::Kind::TableCell);
            continue;
        }
        if (!again) {
            QTextTableCellFormat cellFormat = tableCell.format().toTableCellFormat();
            if (cell.borderFill >= 1 && cell.borderFill <= m_fills.size() &&
                m_model.info.borderFills[cell.borderFill - 1].known) {
                const CellFill& fill = m_fills[cell.borderFill - 1];
                // Every side as the cell's own, also where it is the table's grid: Qt draws a grid between cells
                // thinner than its lines, with gaps where they cross.
                static constexpr QTextFormat::Property kWidth[] = {
                    QTextFormat::TableCellLeftBorder, QTextFormat::TableCellRightBorder,
                    QTextFormat::TableCellTopBorder, QTextFormat::TableCellBottomBorder};
                static constexpr QTextFormat::Property kStyle[] = {
                    QTextFormat::TableCellLeftBorderStyle, QTextFormat::TableCellRightBorderStyle,
                    QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellBottomBorderStyle};
                static constexpr QTextFormat::Property kBrush[] = {
                    QTextFormat::TableCellLeftBorderBrush, QTextFormat::TableCellRightBorderBrush,
                    QTextFormat::TableCellTopBorderBrush, QTextFormat::TableCellBottomBorderBrush};
                for (int side = 0; side < 4; ++side) {
                    cellFormat.setProperty(kWidth[side], LayoutUnits::FromPoints(fill.sides[side].width));
                    cellFormat.setProperty(kStyle[side], int(fill.sides[side].style));
                    cellFormat.setProperty(kBrush[side], QBrush(fill.sides[side].colour));
                }
                if (fill.face.isValid())
                    cellFormat.setBackground(fill.face);
                CellDiagonals::Set(cellFormat, fill.diagonals);
            }
            if (model.hasMargins) {
                // The cell's own margins, or the table's when it has none (as the word processor's cells always
                // do).
                const bool ownMargins =
                    std::any_of(cell.margins.cbegin(), cell.margins.cend(), [](int m) { return m > 0; });
                const std::array<int, 4>& margins = ownMargins ? cell.margins : model.margins;
                const auto padding = [](int margin) {
                    return LayoutUnits::FromPoints(margin / PageGeometry::kUnitsPerPoint);
                };
                cellFormat.setLeftPadding(padding(margins[0]));
                cellFormat.setRightPadding(padding(margins[1]));
                cellFormat.setTopPadding(padding(margins[2]));
                // A row is at least as tall as the file says, however little its text takes: the room left below
                // the text goes to the bottom margin. And a cell ends at its last line's text, where our layout
                // counts the line's spacing below it too, and the grid's line between rows, which the word
                // processor draws over the cells: that much less margin.
                int content = 0;
                int spacing = 0;
                if (!cell.paragraphs.empty() && !cell.paragraphs.back().lines.isEmpty()) {
                    const HwpModel::LineSegment& last = cell.paragraphs.back().lines.last();
                    content = HwpShapes::ClampedUnits(qint64(last.top) + last.height);
                    spacing = HwpShapes::ClampedUnits(last.spacing);
                }
                int bottom = margins[3];
                if (rowSpan == 1 && cell.height > 0)
                    bottom = std::max(bottom, cell.height - margins[2] - content);
                const int rule =
                    int(std::lround(LayoutUnits::ToPoints(format.border()) * PageGeometry::kUnitsPerPoint));
                cellFormat.setBottomPadding(padding(bottom - spacing - rule));
            }
            tableCell.setFormat(cellFormat);
            if (columnSpan == 1 && cell.width > 0 && column < widths.size() && widths[column] == 0)
                widths[column] = cell.width;
        }
        QTextCursor cellCursor = again ? tableCell.lastCursorPosition() : tableCell.firstCursorPosition();
        bool fresh = !again;
        const int outer = m_scope;
        m_scope = ++m_scopes;
        for (const HwpModel::Paragraph& paragraph : cell.paragraphs)
            this->paragraph(paragraph, cellCursor, fresh, depth + 1);
        m_scope = outer;
    }
    // Columns whose width no single cell gave share what is left.
    HwpShapes::ApplyColumnWidths(table, format, widths);
    if (model.caption) {
        const HwpModel::Caption& from = *model.caption;
        PageDecorations::Caption caption;
        caption.width = std::max(0, HwpShapes::ClampedUnits(from.width));
        caption.gap = std::max(0, HwpShapes::ClampedUnits(from.gap));
        caption.textWidth = std::max(0, HwpShapes::ClampedUnits(from.textWidth));
        caption.side = PageDecorations::Side(from.side & 0x3);
        caption.toMargins = from.toMargins;
        caption.verticalAlignment = std::clamp(from.verticalAlignment, 0, 2);
        caption.content = list(from.paragraphs, depth);
        QTextTableFormat withCaption = table->format();
        double tableWidth = 0;
        for (int width : std::as_const(widths))
            tableWidth += width / PageGeometry::kUnitsPerPoint;
        PageDecorations::SetCaption(withCaption, caption, tableWidth);
        table->setFormat(withCaption);
    }
    cursor = table->lastCursorPosition();
    cursor.movePosition(QTextCursor::NextBlock);
}

QByteArray ModelToTextDocument::list(const HwpModel::Paragraphs& paragraphs, int depth)
{
    QTextDocument content;
    content.setUndoRedoEnabled(false);
    content.setDefaultFont(m_document.defaultFont());
    QTextCursor cursor(&content);
    bool fresh = true;
    // A list of its own numbers its paragraphs apart from the body's.
    const int outer = m_scope;
    m_scope = ++m_scopes;
    for (const HwpModel::Paragraph& paragraph : paragraphs)
        this->paragraph(paragraph, cursor, fresh, depth + 1);
    m_scope = outer;
    return PageDecorations::Content(content);
}

void ModelToTextDocument::margin(const HwpModel::Margin& model, bool header, int depth)
{
    using PageDecorations::Margin;
    Margin margin;
    margin.pages = PageDecorations::Pages(std::clamp(model.pages, 0, 2));
    margin.verticalAlignment = std::clamp(model.verticalAlignment, 0, 2);
    // One page for the whole document, the first section's, and so its headers and footers.
    QList<Margin>& margins = header ? m_margins.headers : m_margins.footers;
    if (m_sectionIndex > 0 || std::any_of(margins.cbegin(), margins.cend(),
                                          [&margin](const Margin& kept) { return kept.pages == margin.pages; }))
        return;
    const bool outer = m_inMargin;
    m_inMargin = true;
    margin.content = list(model.paragraphs, depth);
    m_inMargin = outer;
    margins.append(margin);
    PageDecorations::SetMargins(m_document, m_margins);
}

void ModelToTextDocument::pageNumber(const HwpModel::PageNumber& model)
{
    if (m_sectionIndex > 0 || m_margins.number.position != 0)
        return;
    PageDecorations::PageNumber& number = m_margins.number;
    number.shape = model.shape;
    number.prefix = model.prefix;
    number.suffix = model.suffix;
    number.dash = model.dash.isEmpty() ? QChar() : model.dash.front();
    number.position = std::clamp(model.position, 0, 10);
    PageDecorations::SetMargins(m_document, m_margins);
}

void ModelToTextDocument::equation(const HwpModel::Equation& equation, QTextCursor& cursor,
                                   const QTextCharFormat& format)
{
    if (!equation.known) {
        m_dropped.Add(DroppedObjects::Kind::Formula);
        return;
    }
    // An equation without a script shows nothing: leaving it out loses nothing.
    if (equation.script.trimmed().isEmpty())
        return;
    // The base size in HWPUNIT, 100 to the point; without one the equation takes the size of its text.
    const double size = equation.baseUnit > 0
                            ? std::min<quint32>(equation.baseUnit, 100000) / PageGeometry::kUnitsPerPoint
                            : FormulaObject::PointSizeAround(format);
    QColor textColour = colour(equation.colour);
    if (!textColour.isValid())
        textColour = Qt::black;
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(equation.script, size, textColour, format));
}

bool ModelToTextDocument::picture(const HwpModel::Picture& model, QTextCursor& cursor,
                                  const QTextBlockFormat& paragraph)
{
    const int binId = model.binId;
    // A picture shown twice is decoded once and kept once; one that did not decode is not tried again.
    if (!m_pictureNames.contains(binId)) {
        const auto bytes = m_model.binData.constFind(binId);
        const QImage image = bytes == m_model.binData.cend() ? QImage() : QImage::fromData(*bytes);
        QString name;
        if (!image.isNull() && image.sizeInBytes() <= kMaxAllPictureBytes - m_pictureBytes) {
            m_pictureBytes += image.sizeInBytes();
            name = QStringLiteral("%1:%2").arg(QLatin1String(DocumentFile::kPictureScheme)).arg(++m_pictures);
            m_document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        }
        m_pictureNames.insert(binId, name);
    }
    const QString resource = m_pictureNames.value(binId);
    if (resource.isEmpty()) {
        // A shape without a picture is a drawn one: a line, a rectangle, a text box.
        m_dropped.Add(binId < 0 ? DroppedObjects::Kind::DrawnObject : DroppedObjects::Kind::Picture);
        return false;
    }
    const QSize imageSize = m_document.resource(QTextDocument::ImageResource, QUrl(resource)).value<QImage>().size();
    const qint64 width = HwpShapes::ClampedUnits(model.width);
    const qint64 height = HwpShapes::ClampedUnits(model.height);
    QTextImageFormat picture;
    picture.setName(resource);
    // Picture sizes are in the layout's units, as for pictures inserted in the editor, and the size the file gives:
    // one wider than the column runs into the margin, as the word processor draws it.
    const auto length = [](qint64 units) { return LayoutUnits::FromPoints(units / PageGeometry::kUnitsPerPoint); };
    picture.setWidth(width > 0 && height > 0 ? length(width) : imageSize.width());
    picture.setHeight(width > 0 && height > 0 ? length(height) : imageSize.height());
    if (model.asCharacter) {
        cursor.insertImage(picture);
        return false;
    }
    // On a line of its own, which takes the picture's alignment.
    if (!cursor.atBlockStart())
        cursor.insertBlock(paragraph, QTextCharFormat());
    cursor.insertImage(picture);
    QTextBlockFormat block = cursor.blockFormat();
    block.setAlignment(model.horizontal == 1   ? Qt::AlignHCenter
                       : model.horizontal == 2 ? Qt::AlignRight
                                               : Qt::AlignLeft);
    block.setTextIndent(0);
    cursor.setBlockFormat(block);
    return true;
}

void ModelToTextDocument::number(QTextCursor& cursor, const ParaFormat& shape)
{
    using HwpModel::Heading;
    QTextListFormat format;
    int id = shape.numbering;
    if (shape.heading == Heading::Outline)
        id = m_outlineNumbering; // outline paragraphs number by the section's outline numbering
    if (shape.heading == Heading::Number || shape.heading == Heading::Outline) {
        if (id < 1 || id > m_model.info.numberings.size())
            return;
        const HwpModel::ParaHead& head = m_model.info.numberings[id - 1][shape.level];
        if (head.pattern.isEmpty())
            return;
        format = HwpShapes::NumberingFormat(HwpShapes::NameOf(HwpShapes::kNumberNames, head.numberShape, u"Digit"),
                                             head.pattern);
    } else if (shape.heading == Heading::Bullet) {
        format = ListNumbering::Format(ListNumbering::Style::Bullet);
    } else {
        return;
    }
    const QString key = QStringLiteral("%1/%2/%3/%4").arg(int(shape.heading)).arg(id).arg(shape.level).arg(m_scope);
    HwpShapes::JoinList(cursor, format, shape.level, key, m_lists);
}

namespace HwpModel {

bool IsExtendedControl(ushort code)
{
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 11:
    case 12:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 21:
    case 22:
    case 23:
        return true;
    default:
        return false;
    }
}

} // namespace HwpModel
