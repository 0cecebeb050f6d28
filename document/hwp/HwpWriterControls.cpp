#include "document/hwp/HwpWriterControls.h"

#include "document/CellDiagonals.h"
#include "document/FormulaObject.h"
#include "document/LayoutUnits.h"
#include "document/PageDecorations.h"
#include "document/hwp/Records.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QtEndian>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

namespace HwpWriter {

namespace {

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
        qint32(std::lround((frame.width() - 3 * table->format().border()) * HwpValues::kUnitsPerPoint)) + 2 * border;
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
        widths[c] =
            qint32(std::lround((starts[c + 1] - starts[c]) * HwpValues::kUnitsPerPoint)) + (c == 0 ? border : 0);
        used += widths[c];
    }
    // The last column takes what is left, its room for the border with it.
    widths.last() = total - used;
    if (widths.last() <= 2 * border)
        return std::nullopt;
    return widths;
}

using HwpRecords::DataWriter;
using HwpRecords::kEquationCtrl;
using HwpRecords::kPictureComponent;
using HwpRecords::kPictureCtrl;
using HwpRecords::kTableCtrl;
using HwpValues::kUnitsPerPoint;

// Placement of an object (the common attribute of object controls): pictures and equations stand in the line
// as characters; tables sit below the text of their paragraph, the text flowing above and below them. Sizes
// are absolute, positions against the paragraph.
constexpr quint32 kTreatAsChar = 1u << 0;
constexpr quint32 kVerticalToParagraph = 2u << 3;
constexpr quint32 kHorizontalToColumn = 2u << 8;
constexpr quint32 kHorizontalToParagraph = 3u << 8;
constexpr quint32 kFlowWithText = 1u << 13;
constexpr quint32 kAbsoluteSize = 4u << 15 | 2u << 18;
constexpr quint32 kWrapTopAndBottom = 1u << 21;
constexpr quint32 kFigure = 1u << 26;
constexpr quint32 kTableKind = 2u << 26;
constexpr quint32 kEquationKind = 3u << 26;
constexpr quint32 kInlineObject =
    kTreatAsChar | kVerticalToParagraph | kHorizontalToParagraph | kFlowWithText | kAbsoluteSize | kWrapTopAndBottom;
constexpr quint32 kTableObject =
    kVerticalToParagraph | kHorizontalToColumn | kFlowWithText | kAbsoluteSize | kWrapTopAndBottom | kTableKind;

// A picture's pixels are 1/96 inch, as the editor sizes pictures.
constexpr double kUnitsPerPixel = 7200.0 / 96.0;
// A padding of the editor's (a format length) as a cell margin, HWPUNIT.
quint16 margin(double padding)
{
    return quint16(std::clamp<long>(std::lround(LayoutUnits::ToPoints(padding) * kUnitsPerPoint), 0, 0xffff));
}

QByteArray pngOf(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

QColor BrushColour(const QTextFormat& format, int property)
{
    const QBrush brush = format.brushProperty(property);
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

Controls::Controls(const QTextDocument& document, DocInfo& info, HwpContainer::Streams& streams)
    : m_document(document), m_info(info), m_streams(streams)
{
}

QByteArray Controls::objectHeader(quint32 id, quint32 attributes, qint32 width, qint32 height)
{
    DataWriter out;
    out.u32(id).u32(attributes).i32(0).i32(0).u32(quint32(std::max(width, 1))).u32(quint32(std::max(height, 1)));
    out.i32(m_zOrder++);
    out.zeros(8); // outer margins
    out.u32(++m_instance).i32(0).string(QString());
    return out.data();
}

void Controls::writeFormula(QByteArray& out, const QTextCharFormat& format, quint16 level)
{
    const QString script = FormulaObject::Script(format);
    const double points = FormulaObject::PointSize(format);
    const qint32 size = qint32(std::lround(points * kUnitsPerPoint));
    // Rough extent for readers that place it before laying it out; the word processor measures it again.
    const qint32 width = qint32(std::max<qsizetype>(script.size(), 1) * size / 2);
    HwpRecords::Append(out, HwpRecords::CtrlHeader, level,
                       objectHeader(kEquationCtrl, kInlineObject | kEquationKind, width, size * 12 / 10));
    DataWriter equation;
    equation.u32(0).string(script).u32(quint32(size)).u32(HwpValues::ColourRef(FormulaObject::Colour(format)));
    equation.i32(85).string(QStringLiteral("Equation Version 60")).string(QStringLiteral("HYhwpEQ"));
    // Two bytes more than the word processor writes: @ohah/hwpjs refuses an equation record without them,
    // and every other reader stops after the font name.
    equation.zeros(2);
    HwpRecords::Append(out, HwpRecords::EqEdit, level + 1, equation.data());
}

QImage Controls::pictureOf(const QString& name) const
{
    const QImage image = m_document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
    return image.isNull() ? QImage(name) : image;
}

void Controls::writePicture(QByteArray& out, const QTextImageFormat& format, quint16 level)
{
    using namespace HwpRecords;
    const QString name = format.name();
    const QImage image = pictureOf(name);
    quint16 bin = m_pictures.value(name);
    if (bin == 0) {
        bin = m_info.binData(QStringLiteral("png"));
        m_pictures.insert(name, bin);
        const QString number = QString::number(bin, 16).toUpper().rightJustified(4, u'0');
        m_streams.insert(QStringLiteral("BinData/BIN%1.png").arg(number), HwpContainer::Deflate(pngOf(image)));
    }
    const double pixelWidth = image.width();
    const double pixelHeight = image.height();
    double width = format.width() > 0 ? format.width() : pixelWidth;
    double height = format.height() > 0 ? format.height() : width * pixelHeight / pixelWidth;
    const qint32 w = qint32(std::lround(LayoutUnits::ToPoints(width) * kUnitsPerPoint));
    const qint32 h = qint32(std::lround(LayoutUnits::ToPoints(height) * kUnitsPerPoint));
    Append(out, CtrlHeader, level, objectHeader(kPictureCtrl, kInlineObject | kFigure, w, h));

    DataWriter component;
    component.u32(kPictureComponent).u32(kPictureComponent); // a top-level object names its kind twice
    component.i32(0).i32(0).u16(0).u16(1);                   // offset in the group, group level, version
    component.u32(quint32(w)).u32(quint32(h)).u32(quint32(w)).u32(quint32(h)); // original and current size
    component.u32(0).i16(0).i32(w / 2).i32(h / 2);                             // no flip or rotation, about the centre
    // The drawing matrices: no translation, one pair of unit scale and rotation.
    const auto identity = [&component] {
        for (double value : {1.0, 0.0, 0.0, 0.0, 1.0, 0.0}) {
            quint64 bits;
            std::memcpy(&bits, &value, sizeof bits);
            component.u32(quint32(bits)).u32(quint32(bits >> 32));
        }
    };
    component.u16(1);
    identity();
    identity();
    identity();
    Append(out, ShapeComponent, level + 1, component.data());

    const qint32 cropWidth = qint32(std::lround(pixelWidth * kUnitsPerPixel));
    const qint32 cropHeight = qint32(std::lround(pixelHeight * kUnitsPerPixel));
    DataWriter picture;
    picture.u32(0).i32(0).u32(0); // no border line
    picture.i32(0).i32(0).i32(w).i32(0).i32(w).i32(h).i32(0).i32(h);
    picture.i32(0).i32(0).i32(cropWidth).i32(cropHeight); // the whole image, uncropped
    picture.zeros(8);                                     // inner margins
    picture.u8(0).u8(0).u8(0).u16(bin);                   // brightness, contrast, effect, the image
    picture.u8(0).u32(m_instance).u32(0).i32(cropWidth).i32(cropHeight).u8(0);
    Append(out, ShapeComponentPicture, level + 2, picture.data());
}

QList<qint32> Controls::columnWidths(QTextTable* table, qint32 available) const
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

HwpModel::BorderFill Controls::borderFillOf(const QTextTableCellFormat& cell, const QTextTableFormat& table)
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
            cell.hasProperty(brushProperty) ? BrushColour(cell, brushProperty) : table.borderBrush().color();
        HwpModel::Border& border = fill.sides[side];
        if (width > 0 && style != QTextFrameFormat::BorderStyle_None) {
            border.type = HwpValues::BorderType(style);
            border.millimetres = HwpValues::kBorderMillimetres[HwpValues::BorderIndex(LayoutUnits::ToPoints(width))];
            border.colour = HwpValues::ColourRef(colour.isValid() ? colour : QColor(Qt::black));
        }
    }
    fill.face = HwpValues::ColourRef(BrushColour(cell, QTextFormat::BackgroundBrush));
    const CellDiagonals::Diagonals diagonals = CellDiagonals::Of(cell);
    if (diagonals.lines && diagonals.style != QTextFrameFormat::BorderStyle_None) {
        constexpr quint16 kCornerToCorner = 2;
        fill.slash = diagonals.lines & CellDiagonals::kSlash ? kCornerToCorner : 0;
        fill.backslash = diagonals.lines & CellDiagonals::kBackslash ? kCornerToCorner : 0;
        fill.diagonal = {.type = HwpValues::BorderType(diagonals.style),
                         .millimetres = HwpValues::kBorderMillimetres[HwpValues::BorderIndex(diagonals.width)],
                         .colour = HwpValues::ColourRef(diagonals.colour)};
    }
    return fill;
}

void Controls::writeTable(QByteArray& out, QTextTable* table, quint16 level, qint32 available, CellText& cells)
{
    using namespace HwpRecords;
    const int rows = table->rows();
    const int columns = table->columns();
    const QList<qint32> widths = columnWidths(table, available);
    const QTextTableFormat format = table->format();

    // Cells in reading order, each where it starts; rows as tall as their paragraphs want.
    struct Cell
    {
        QTextTableCell cell;
        qint32 width;
    };
    QList<Cell> placed;
    QList<int> perRow(rows, 0);
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
            ++perRow[r];
            int paragraphs = 0;
            for (auto it = cell.begin(); !it.atEnd(); ++it)
                ++paragraphs;
            if (cell.rowSpan() == 1)
                rowHeights[r] = std::max(rowHeights[r], qint32(std::max(paragraphs, 1) * 1600 + 282));
        }
    }
    qint32 tableWidth = 0;
    for (qint32 width : widths)
        tableWidth += width;
    qint32 tableHeight = 0;
    for (qint32& height : rowHeights) {
        height = std::max(height, 1882);
        tableHeight += height;
    }

    // The rows' heights are known once the cells are written (below), and put in then.
    const qsizetype tableHeader = out.size() + 4;
    Append(out, CtrlHeader, level, objectHeader(kTableCtrl, kTableObject, tableWidth, tableHeight));
    // The caption is the list before the table's own record.
    if (const auto caption = PageDecorations::CaptionOf(format)) {
        const bool beside =
            caption->side == PageDecorations::Side::Left || caption->side == PageDecorations::Side::Right;
        const qint32 textWidth = caption->textWidth > 0 ? caption->textWidth : tableWidth;
        QByteArray paragraphs;
        const qsizetype count =
            cells.writeContent(paragraphs, caption->content, level + 1, beside ? caption->width : textWidth);
        DataWriter list;
        list.u32(quint32(count)).u32(quint32(caption->verticalAlignment) << 5);
        list.u32(quint32(caption->side) | (caption->toMargins ? 0x4u : 0u));
        list.u32(quint32(caption->width)).u16(quint16(std::min(caption->gap, 0xffff))).u32(quint32(textWidth));
        Append(out, ListHeader, level + 1, list.data());
        out += paragraphs;
    }
    DataWriter record;
    record.u32(0x2); // a table that crosses a page is split between rows
    record.u16(quint16(rows)).u16(quint16(columns)).u16(0);
    // The paddings the editor gives a cell without its own: the table's.
    const quint16 tablePadding = margin(format.cellPadding());
    for (int side = 0; side < 4; ++side)
        record.u16(tablePadding);
    for (int count : std::as_const(perRow))
        record.u16(quint16(count));
    // The table's own border fill is its grid: the very fill of every cell without borders of its own, so
    // that a reader can tell those cells from ones whose borders only look the same.
    record.u16(m_info.borderFill(borderFillOf(QTextTableCellFormat(), format))).u16(0);
    Append(out, Table, level + 1, record.data());

    // A reader takes a cell's bottom margin as the room below its text less the spacing of the text's last line
    // and the grid's line between rows, as the word processor's own files need; the margin written is the
    // cell's padding plus those, and a row is no taller than its shortest cell needs, so that the cells come
    // back with the paddings they have here. The word processor makes a row as tall as its text wants.
    const qint32 rule = qint32(std::lround(LayoutUnits::ToPoints(format.border()) * kUnitsPerPoint));
    struct Written
    {
        qsizetype list; // where the cell's list header's data starts in `out`
        qint32 need;    // the row height that leaves its bottom margin as written
    };
    QList<Written> written;
    QList<qint32> needs(rows, 0);
    for (const Cell& entry : std::as_const(placed)) {
        const QTextTableCell& cell = entry.cell;
        DataWriter list;
        list.i16(qint16(cells.paragraphCount(cell))).u32(0).u16(0); // text from the top, left to right
        list.u16(quint16(cell.column())).u16(quint16(cell.row()));
        list.u16(quint16(cell.columnSpan())).u16(quint16(cell.rowSpan()));
        list.u32(quint32(entry.width)).u32(0); // the height, put in below
        const QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
        std::array<quint16, 4> margins{};
        const QTextFormat::Property paddings[4] = {QTextFormat::TableCellLeftPadding,
                                                   QTextFormat::TableCellRightPadding, QTextFormat::TableCellTopPadding,
                                                   QTextFormat::TableCellBottomPadding};
        for (int side = 0; side < 4; ++side)
            margins[side] = cellFormat.hasProperty(paddings[side]) ? margin(cellFormat.doubleProperty(paddings[side]))
                                                                   : tablePadding;
        for (quint16 side : margins)
            list.u16(side);
        list.u16(m_info.borderFill(borderFillOf(cell.format().toTableCellFormat(), format)));
        list.u32(quint32(entry.width)).zeros(9); // the text's width; no field name
        const qsizetype header = out.size() + 4;
        Append(out, ListHeader, level + 1, list.data());
        // The cell's text is as wide as the cell less its margins.
        const CellText::Extent extent =
            cells.write(out, cell, level + 1, std::max(entry.width - margins[0] - margins[1], 1000));
        // A padding below the text may be negative: the word processor's files leave the last line's spacing
        // out of the cell, which the reader takes back from the margin. Written as it is, not as the nought a
        // margin of its own would be, it comes back the same.
        const qint32 padding =
            cellFormat.hasProperty(QTextFormat::TableCellBottomPadding)
                ? qint32(std::lround(LayoutUnits::ToPoints(cellFormat.bottomPadding()) * kUnitsPerPoint))
                : margins[3];
        const qint32 bottom = std::clamp(padding + extent.spacing + rule, 0, 0xffff);
        qToLittleEndian<quint16>(quint16(bottom), out.data() + header + 30);
        const qint32 need = margins[2] + extent.bottom + bottom;
        written.append({header, need});
        if (cell.rowSpan() == 1)
            needs[cell.row()] = needs[cell.row()] > 0 ? std::min(needs[cell.row()], need) : need;
    }
    // Rows without a cell of their own keep the height their paragraphs gave them.
    tableHeight = 0;
    for (int r = 0; r < rows; ++r) {
        if (needs[r] > 0)
            rowHeights[r] = needs[r];
        tableHeight += rowHeights[r];
    }
    qToLittleEndian<quint32>(quint32(std::max(tableHeight, 1)), out.data() + tableHeader + 20);
    for (qsizetype i = 0; i < placed.size(); ++i) {
        const QTextTableCell& cell = placed[i].cell;
        qint32 height = 0;
        for (int r = cell.row(); r < cell.row() + cell.rowSpan() && r < rows; ++r)
            height += rowHeights[r];
        qToLittleEndian<quint32>(quint32(height), out.data() + written[i].list + 20);
    }
}

} // namespace HwpWriter
