#include "document/hwp/HwpBody.h"

#include "document/CellDiagonals.h"
#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/HwpShapes.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/TableEditing.h"

#include <QImage>
#include <QSet>
#include <QTextBlock>
#include <QBrush>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <array>

namespace {

using HwpRecords::DataReader;
using HwpRecords::Record;

using HwpShapes::kMaxTableCells;
using HwpShapes::kMaxTableColumns;
using HwpShapes::kMaxTableDepth;
using HwpShapes::kMaxTableRows;
// Cells of all tables together: a table record of a few bytes asks for thousands of cells, so many small
// records could otherwise ask for millions.
constexpr int kMaxAllCells = 65536;

// Controls that show nothing on the page: leaving them out loses nothing. Fields all start with '%'; the text
// between a field's start and end is ordinary text of the paragraph and stays.
// What a control the editor cannot show is, for the writer.
DroppedObjects::Kind droppedKind(quint32 id)
{
    if (id == HwpRecords::ControlId("fn  ") || id == HwpRecords::ControlId("en  "))
        return DroppedObjects::Kind::Note;
    if (id == HwpRecords::ControlId("tcmt"))
        return DroppedObjects::Kind::HiddenComment;
    if (id == HwpRecords::ControlId("form"))
        return DroppedObjects::Kind::FormObject;
    return DroppedObjects::Kind::Other;
}

bool showsNothing(quint32 id)
{
    static const QSet<quint32> ids = {HwpRecords::ControlId("bokm"), HwpRecords::ControlId("idxm"),
                                      HwpRecords::ControlId("pghd"), HwpRecords::ControlId("pgct"),
                                      HwpRecords::ControlId("nwno")};
    return (id >> 24) == '%' || ids.contains(id);
}

// Control characters in a paragraph's text: these take one unit, the others eight (the control's code, its
// id and its data, and the code again).
bool isCharControl(ushort code)
{
    return code == 0 || code == 10 || code == 13 || code >= 24;
}

// Those of eight units whose object comes as a CTRL_HEADER record below the paragraph, in text order.
bool isExtendedControl(ushort code)
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

} // namespace

int HwpBody::units(qint64 value)
{
    return HwpShapes::ClampedUnits(value);
}

struct HwpBody::Cell
{
    int column = 0;
    int row = 0;
    int columnSpan = 1;
    int rowSpan = 1;
    int width = 0;
    int height = 0;
    std::array<int, 4> margins{}; // left, right, top, bottom
    int borderFill = 0;
    QList<qsizetype> paragraphs;
};

std::pair<int, int> HwpBody::contentHeight(const Tree& tree, const QList<qsizetype>& paragraphs) const
{
    // The word processor's own layout of the cell: the bottom of its last line, and the spacing below that line,
    // which a cell leaves out.
    if (paragraphs.isEmpty())
        return {0, 0};
    for (qsizetype child : tree.children(paragraphs.last())) {
        const Record& record = tree.records[child];
        if (record.tag != HwpRecords::ParaLineSeg || record.data.size() < 36)
            continue;
        // The last line's record, read in place: a reader keeps a reference to its bytes.
        DataReader in(record.data, (record.data.size() / 36 - 1) * 36);
        in.skip(4);
        const qint32 top = in.i32();
        const qint32 height = in.i32();
        in.skip(8);
        const qint32 spacing = in.i32();
        return {units(qint64(top) + height), units(spacing)};
    }
    return {0, 0};
}

QList<qsizetype> HwpBody::Tree::children(qsizetype parent) const
{
    QList<qsizetype> list;
    for (qsizetype child = parent + 1; child < ends[parent]; child = ends[child])
        list.append(child);
    return list;
}

HwpBody::HwpBody(QTextDocument& document, const HwpDocInfo::DocInfo& info, const HwpContainer::Streams& streams,
                 bool compressed)
    : m_document(document), m_info(info), m_streams(streams), m_compressed(compressed), m_cursor(&document)
{
}

std::optional<PageGeometry> HwpBody::Page() const
{
    if (m_sawSection && m_section.isUsable())
        return m_section;
    return std::nullopt;
}

void HwpBody::ReadSection(const QList<Record>& records)
{
    // Every section after the first starts on a page of its own.
    m_sectionStart = ++m_sectionIndex > 0;
    // Where each record's descendants end: at the next record no deeper than it.
    Tree tree{records, QList<qsizetype>(records.size(), records.size())};
    QList<qsizetype> open;
    for (qsizetype i = 0; i < records.size(); ++i) {
        while (!open.isEmpty() && records[open.last()].level >= records[i].level)
            tree.ends[open.takeLast()] = i;
        open.append(i);
    }
    // The section definition sits in the first paragraph, whose own outline numbering depends on it.
    for (const Record& record : records) {
        if (record.tag == HwpRecords::CtrlHeader && DataReader(record.data).u32() == HwpRecords::kSectionDef) {
            DataReader in(record.data);
            in.skip(4 + 4 + 2 + 2 + 2 + 4); // id, properties, column gap, grids, default tab stop
            m_outlineNumbering = in.u16();
            break;
        }
    }
    for (qsizetype i = 0; i < records.size(); i = tree.ends[i]) {
        if (records[i].tag == HwpRecords::ParaHeader)
            readParagraph(tree, i, m_cursor, m_fresh, 0);
    }
}

void HwpBody::readParagraph(const Tree& tree, qsizetype index, QTextCursor& cursor, bool& fresh, int depth)
{
    DataReader header(tree.records[index].data);
    header.skip(8); // character count, control mask
    const int shapeId = header.u16();
    header.skip(1); // style
    const quint8 breaks = header.u8();

    HwpDocInfo::ParaShape shape;
    shape.format.setAlignment(Qt::AlignJustify);
    if (shapeId < m_info.paraShapes.size())
        shape = m_info.paraShapes[shapeId];
    QTextBlockFormat blockFormat = shape.format;
    // A page break starts the paragraph on a new page; a column break the editor cannot show.
    if (((breaks & 0x04) || (m_sectionStart && depth == 0)) && !fresh)
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
        m_places.append({m_sectionIndex, index, depth, cursor.block()});
    // The blocks this paragraph's text goes into: more than one when a picture or a table splits it.
    QList<QTextBlock> own = {cursor.block()};

    QByteArray text;
    QList<QPair<quint32, quint32>> runs; // (position, character shape)
    QList<qsizetype> controls;
    for (qsizetype child : tree.children(index)) {
        const Record& record = tree.records[child];
        if (record.tag == HwpRecords::ParaText) {
            text = record.data;
        } else if (record.tag == HwpRecords::ParaCharShape) {
            DataReader in(record.data);
            while (in.remaining() >= 8) {
                const quint32 position = in.u32();
                runs.append({position, in.u32()});
            }
        } else if (record.tag == HwpRecords::CtrlHeader) {
            controls.append(child);
        }
    }
    auto charShape = [this](quint32 id) {
        return id < quint32(m_info.charShapes.size()) ? m_info.charShapes[id] : QTextCharFormat();
    };

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

    const qsizetype length = text.size() / 2;
    const auto* units = reinterpret_cast<const uchar*>(text.constData());
    qsizetype nextControl = 0;
    qsizetype run = 0;
    QTextCharFormat format = charShape(runs.isEmpty() ? 0 : runs[0].second);
    // The paragraph mark takes the shape of the run it is in, the last: an empty paragraph is as tall as its
    // text would be, and the word processor spaces the lines by it. Merged: a cell keeps its own format in its
    // first paragraph's mark.
    cursor.mergeBlockCharFormat(charShape(runs.isEmpty() ? 0 : runs.last().second));
    for (qsizetype i = 0; i < length;) {
        // Runs come in text order; the shape changes only where one starts.
        if (run + 1 < runs.size() && runs[run + 1].first <= quint64(i)) {
            while (run + 1 < runs.size() && runs[run + 1].first <= quint64(i))
                ++run;
            format = charShape(runs[run].second);
        }
        const quint16 code = qFromLittleEndian<quint16>(units + 2 * i);
        if (code >= 32) {
            put(QChar(code), format);
            ++i;
            continue;
        }
        if (isCharControl(code)) {
            if (code == 10)
                put(QChar::LineSeparator, format);
            else if (code == 24)
                put(u'-', format);
            else if (code == 30)
                put(QChar::Nbsp, format);
            else if (code == 31)
                put(QChar(0x2007), format); // figure space: a digit's width, never stretched or broken
            ++i;
            continue;
        }
        if (code == 9)
            put(u'\t', format);
        if (isExtendedControl(code) && nextControl < controls.size()) {
            flush();
            startBlock();
            if (readControl(tree, controls[nextControl++], cursor, format, shape.format, depth))
                newBlock = true;
            if (own.last() != cursor.block())
                own.append(cursor.block());
        }
        i += 8;
    }
    flush();
    if (own.last() != cursor.block())
        own.append(cursor.block());
    // A spacing in percent of the font size, added to it or fixed depends on the fonts, known only now that the
    // text is in; so does the room its number takes.
    HwpShapes::SetSpacing(own, shape.percentSpacing, shape.addedSpacing, shape.fixedSpacing);
    HwpShapes::NumberAtMargin(own.first());
}

bool HwpBody::readControl(const Tree& tree, qsizetype index, QTextCursor& cursor, const QTextCharFormat& format,
                          const QTextBlockFormat& paragraph, int depth)
{
    const quint32 id = DataReader(tree.records[index].data).u32();
    if (id == HwpRecords::kSectionDef) {
        readSectionDef(tree, index);
    } else if (id == HwpRecords::kColumnDef) {
        readColumnDef(tree.records[index]);
    } else if (id == HwpRecords::kTableCtrl) {
        if (depth < kMaxTableDepth)
            readTable(tree, index, cursor, depth);
        else
            m_dropped.Add(DroppedObjects::Kind::Table);
    } else if (id == HwpRecords::kEquationCtrl) {
        readEquation(tree, index, cursor, format);
    } else if (id == HwpRecords::kPictureCtrl) {
        return readPicture(tree, index, cursor, paragraph);
    } else if (id == HwpRecords::kHeaderCtrl || id == HwpRecords::kFooterCtrl) {
        readMargin(tree, index, id == HwpRecords::kHeaderCtrl, depth);
    } else if (id == HwpRecords::kPageNumberCtrl) {
        readPageNumber(tree.records[index]);
    } else if (id == HwpRecords::kAutoNumberCtrl) {
        readAutoNumber(tree.records[index], cursor, format);
    } else if (!showsNothing(id)) {
        m_dropped.Add(droppedKind(id));
    }
    return false;
}

void HwpBody::readSectionDef(const Tree& tree, qsizetype index)
{
    // One page for the whole document: the first section's.
    const bool first = !m_sawSection;
    m_sawSection = true;
    if (!first)
        return;
    for (qsizetype child : tree.children(index)) {
        if (tree.records[child].tag != HwpRecords::PageDef)
            continue;
        DataReader page(tree.records[child].data);
        int width = units(page.u32());
        int height = units(page.u32());
        const int left = units(page.u32());
        const int right = units(page.u32());
        const int top = units(page.u32());
        const int bottom = units(page.u32());
        const int header = units(page.u32());
        const int footer = units(page.u32());
        const int gutter = units(page.u32());
        const quint32 properties = page.u32();
        if (!page.ok())
            return;
        // The paper is given upright; a landscape page turns it.
        if ((properties & 0x1) && width < height)
            std::swap(width, height);
        m_section.paperWidth = width;
        m_section.paperHeight = height;
        m_section.leftMargin = left;
        m_section.rightMargin = right;
        m_section.topMargin = top;
        m_section.bottomMargin = bottom;
        m_section.headerLength = header;
        m_section.footerLength = footer;
        m_section.gutter = gutter;
        return;
    }
}

void HwpBody::readColumnDef(const Record& record)
{
    if (m_sawColumns)
        return;
    m_sawColumns = true;
    DataReader in(record.data);
    in.skip(4);
    const quint16 properties = in.u16();
    const int gap = units(in.u16());
    m_section.columnCount = std::clamp((properties >> 2) & 0xff, 1, 16);
    m_section.columnGap = m_section.columnCount > 1 ? gap : 0;
}

void HwpBody::readTable(const Tree& tree, qsizetype index, QTextCursor& cursor, int depth)
{
    int rows = 0;
    int columns = 0;
    QList<Cell> cells;
    bool sawTable = false;
    int tableFill = 0;
    std::optional<PageDecorations::Caption> caption;
    std::array<int, 4> tableMargins{};
    const QList<qsizetype> children = tree.children(index);
    for (qsizetype k = 0; k < children.size(); ++k) {
        const Record& record = tree.records[children[k]];
        if (record.tag == HwpRecords::Table) {
            DataReader in(record.data);
            in.skip(4);
            rows = in.u16();
            columns = in.u16();
            in.skip(2); // cell spacing
            for (int& margin : tableMargins)
                margin = in.u16();
            in.skip(2 * qsizetype(rows)); // cells per row
            tableFill = in.u16();
            sawTable = true;
            continue;
        }
        if (record.tag != HwpRecords::ListHeader)
            continue;
        // A list's paragraphs follow its header.
        QList<qsizetype> paragraphs;
        while (k + 1 < children.size() && tree.records[children[k + 1]].tag == HwpRecords::ParaHeader)
            paragraphs.append(children[++k]);
        if (!sawTable) {
            // The list before the table is its caption.
            DataReader in(record.data);
            in.skip(4);
            const quint32 listProperties = in.u32();
            const quint32 properties = in.u32();
            PageDecorations::Caption read;
            read.width = std::max(0, units(in.u32()));
            read.gap = std::max(0, units(in.u16()));
            read.textWidth = std::max(0, units(in.u32()));
            read.side = PageDecorations::Side(properties & 0x3);
            read.toMargins = properties & 0x4;
            read.verticalAlignment = std::min<int>((listProperties >> 5) & 0x3, 2);
            read.content = readList(tree, paragraphs, depth);
            caption = read;
            continue;
        }
        DataReader in(record.data);
        in.skip(8); // paragraph count and properties, which real files give eight bytes

        Cell cell;
        cell.column = in.u16();
        cell.row = in.u16();
        cell.columnSpan = std::max<int>(1, in.u16());
        cell.rowSpan = std::max<int>(1, in.u16());
        cell.width = units(in.u32());
        cell.height = units(in.u32());
        for (int& margin : cell.margins)
            margin = in.u16();
        cell.borderFill = in.u16();
        cell.paragraphs = paragraphs;
        cells.append(cell);
    }
    columns = std::clamp(columns, 1, kMaxTableColumns);
    rows = std::clamp(rows, 1, std::min(kMaxTableRows, kMaxTableCells / columns));
    if (!sawTable || rows * columns > kMaxAllCells - m_cells) {
        m_dropped.Add(DroppedObjects::Kind::Table);
        return;
    }
    m_cells += rows * columns;
    // As the editor's own tables: cells without borders of their own show the table's thin black grid, unless
    // the table's own border fill has no lines at all.
    QTextTableFormat format = TableEditing::GridFormat();
    const HwpDocInfo::BorderFill* grid =
        tableFill >= 1 && tableFill <= m_info.borderFills.size() ? &m_info.borderFills[tableFill - 1] : nullptr;
    if (grid && std::all_of(grid->sides.cbegin(), grid->sides.cend(), [](const HwpDocInfo::Border& side) {
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
    for (const Cell& cell : std::as_const(cells)) {
        if (cell.row >= rows || cell.column >= columns) {
            m_dropped.Add(DroppedObjects::Kind::TableCell);
            continue;
        }
        // Spans end at the table's edge, and never reach into a cell already placed.
        int rowSpan = std::min(cell.rowSpan, rows - cell.row);
        int columnSpan = std::min(cell.columnSpan, columns - cell.column);
        bool free = true;
        for (int r = cell.row; r < cell.row + rowSpan && free; ++r)
            for (int c = cell.column; c < cell.column + columnSpan && free; ++c)
                free = !taken.contains(key(r, c));
        if (!free)
            rowSpan = columnSpan = 1;
        // A cell placed twice adds its paragraphs to the first.
        const bool again = taken.contains(key(cell.row, cell.column));
        if (!again) {
            if (rowSpan > 1 || columnSpan > 1)
                table->mergeCells(cell.row, cell.column, rowSpan, columnSpan);
            for (int r = cell.row; r < cell.row + rowSpan; ++r)
                for (int c = cell.column; c < cell.column + columnSpan; ++c)
                    taken.insert(key(r, c));
        }
        QTextTableCell tableCell = table->cellAt(cell.row, cell.column);
        if (!tableCell.isValid()) {
            m_dropped.Add(DroppedObjects::Kind::TableCell);
            continue;
        }
        if (!again) {
            QTextTableCellFormat cellFormat = tableCell.format().toTableCellFormat();
            if (cell.borderFill >= 1 && cell.borderFill <= m_info.borderFills.size()) {
                const auto& fill = m_info.borderFills[cell.borderFill - 1];
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
            // The cell's own margins, or the table's when it has none (as the word processor's cells always do).
            const bool ownMargins =
                std::any_of(cell.margins.cbegin(), cell.margins.cend(), [](int m) { return m > 0; });
            const std::array<int, 4>& margins = ownMargins ? cell.margins : tableMargins;
            const auto padding = [](int margin) {
                return LayoutUnits::FromPoints(margin / PageGeometry::kUnitsPerPoint);
            };
            cellFormat.setLeftPadding(padding(margins[0]));
            cellFormat.setRightPadding(padding(margins[1]));
            cellFormat.setTopPadding(padding(margins[2]));
            // A row is at least as tall as the file says, however little its text takes: the room left below
            // the text goes to the bottom margin. And a cell ends at its last line's text, where our layout
            // counts the line's spacing below it too, and the grid's line between rows, which the word processor
            // draws over the cells: that much less margin.
            const auto [content, spacing] = contentHeight(tree, cell.paragraphs);
            int bottom = margins[3];
            if (rowSpan == 1 && cell.height > 0)
                bottom = std::max(bottom, cell.height - margins[2] - content);
            const int rule = int(std::lround(LayoutUnits::ToPoints(format.border()) * PageGeometry::kUnitsPerPoint));
            cellFormat.setBottomPadding(padding(bottom - spacing - rule));
            tableCell.setFormat(cellFormat);
            if (columnSpan == 1 && cell.width > 0 && widths[cell.column] == 0)
                widths[cell.column] = cell.width;
        }
        QTextCursor cellCursor = again ? tableCell.lastCursorPosition() : tableCell.firstCursorPosition();
        bool fresh = !again;
        const int outer = m_scope;
        m_scope = ++m_scopes;
        for (qsizetype paragraph : cell.paragraphs)
            readParagraph(tree, paragraph, cellCursor, fresh, depth + 1);
        m_scope = outer;
    }
    // Columns whose width no single cell gave share what is left.
    HwpShapes::ApplyColumnWidths(table, format, widths);
    if (caption) {
        QTextTableFormat withCaption = table->format();
        double tableWidth = 0;
        for (int width : std::as_const(widths))
            tableWidth += width / PageGeometry::kUnitsPerPoint;
        PageDecorations::SetCaption(withCaption, *caption, tableWidth);
        table->setFormat(withCaption);
    }
    cursor = table->lastCursorPosition();
    cursor.movePosition(QTextCursor::NextBlock);
}

QByteArray HwpBody::readList(const Tree& tree, const QList<qsizetype>& paragraphs, int depth)
{
    QTextDocument content;
    content.setUndoRedoEnabled(false);
    content.setDefaultFont(m_document.defaultFont());
    QTextCursor cursor(&content);
    bool fresh = true;
    // A list of its own numbers its paragraphs apart from the body's.
    const int outer = m_scope;
    m_scope = ++m_scopes;
    for (qsizetype paragraph : paragraphs)
        readParagraph(tree, paragraph, cursor, fresh, depth + 1);
    m_scope = outer;
    return PageDecorations::Content(content);
}

void HwpBody::readMargin(const Tree& tree, qsizetype index, bool header, int depth)
{
    using PageDecorations::Margin;
    DataReader control(tree.records[index].data);
    control.skip(4);
    Margin margin;
    margin.pages = PageDecorations::Pages(std::min<quint32>(control.u32() & 0x3, 2));
    QList<qsizetype> paragraphs;
    bool sawList = false;
    for (qsizetype child : tree.children(index)) {
        const Record& record = tree.records[child];
        if (record.tag == HwpRecords::ListHeader && !sawList) {
            sawList = true;
            DataReader in(record.data);
            in.skip(4);
            margin.verticalAlignment = std::min<int>((in.u32() >> 5) & 0x3, 2);
        } else if (record.tag == HwpRecords::ParaHeader) {
            paragraphs.append(child);
        }
    }
    // One page for the whole document, the first section's, and so its headers and footers.
    QList<Margin>& margins = header ? m_margins.headers : m_margins.footers;
    if (m_sectionIndex > 0 || std::any_of(margins.cbegin(), margins.cend(),
                                          [&margin](const Margin& kept) { return kept.pages == margin.pages; }))
        return;
    const bool outer = m_inMargin;
    m_inMargin = true;
    margin.content = readList(tree, paragraphs, depth);
    m_inMargin = outer;
    margins.append(margin);
    PageDecorations::SetMargins(m_document, m_margins);
}

void HwpBody::readPageNumber(const Record& record)
{
    if (m_sectionIndex > 0 || m_margins.number.position != 0)
        return;
    DataReader in(record.data);
    in.skip(4);
    const quint32 properties = in.u32();
    const auto character = [&in] {
        const quint16 code = in.u16();
        return code >= 32 ? QString(QChar(code)) : QString();
    };
    PageDecorations::PageNumber& number = m_margins.number;
    number.shape = int(properties & 0xff);
    character(); // the user's own symbol, for shapes of symbols, which are drawn as digits here
    number.prefix = character();
    number.suffix = character();
    const QString dash = character();
    number.dash = dash.isEmpty() ? QChar() : dash.front();
    number.position = std::min<int>((properties >> 8) & 0xf, 10);
    PageDecorations::SetMargins(m_document, m_margins);
}

void HwpBody::readAutoNumber(const Record& record, QTextCursor& cursor, const QTextCharFormat& format)
{
    DataReader in(record.data);
    in.skip(4);
    const quint32 properties = in.u32();
    const quint16 number = in.u16();
    // A page number in a header or footer is each page's own; any other stands as the number it had.
    if ((properties & 0xf) == 0 && m_inMargin)
        cursor.insertText(QString(QChar(PageDecorations::kPageNumberMark)), format);
    else
        cursor.insertText(QString::number(number), format);
}

void HwpBody::number(QTextCursor& cursor, const HwpDocInfo::ParaShape& shape)
{
    using HwpDocInfo::Heading;
    QTextListFormat format;
    int id = shape.numbering;
    if (shape.heading == Heading::Outline)
        id = m_outlineNumbering; // outline paragraphs number by the section's outline numbering
    if (shape.heading == Heading::Number || shape.heading == Heading::Outline) {
        if (id < 1 || id > m_info.numberings.size())
            return;
        const HwpDocInfo::ParaHead& head = m_info.numberings[id - 1][shape.level];
        if (head.pattern.isEmpty())
            return;
        format = HwpShapes::NumberingFormat(head.numFormat, head.pattern);
    } else if (shape.heading == Heading::Bullet) {
        format = ListNumbering::Format(ListNumbering::Style::Bullet);
    } else {
        return;
    }
    const QString key = QStringLiteral("%1/%2/%3/%4").arg(int(shape.heading)).arg(id).arg(shape.level).arg(m_scope);
    HwpShapes::JoinList(cursor, format, shape.level, key, m_lists);
}
