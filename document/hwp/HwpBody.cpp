#include "document/hwp/HwpBody.h"

#include "document/HwpShapes.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

using HwpRecords::DataReader;
using HwpRecords::Record;
using HwpModel::Control;

// Lengths and sizes as far as a damaged file may take them, HWPUNIT.
int units(qint64 value)
{
    return HwpShapes::ClampedUnits(value);
}

// The size in an object control's header, after its id, properties and offsets.
std::pair<qint32, qint32> objectSize(const Record& record)
{
    DataReader in(record.data);
    in.skip(16);
    const qint64 width = in.u32();
    return {units(width), units(in.u32())};
}

// Controls that show nothing on the page: leaving them out loses nothing. Fields all start with '%'; the text
// between a field's start and end is ordinary text of the paragraph and stays.
bool showsNothing(quint32 id)
{
    static const QSet<quint32> ids = {HwpRecords::ControlId("bokm"), HwpRecords::ControlId("idxm"),
                                      HwpRecords::ControlId("pghd"), HwpRecords::ControlId("pgct"),
                                      HwpRecords::ControlId("nwno")};
    return (id >> 24) == '%' || ids.contains(id);
}

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

} // namespace

QList<HwpModel::LineSegment> HwpBody::LineSegments(const QByteArray& data)
{
    QList<HwpModel::LineSegment> lines;
    DataReader in(data);
    while (in.remaining() >= 36) {
        HwpModel::LineSegment line;
        line.textStart = in.i32();
        line.top = in.i32();
        line.height = in.i32();
        line.textHeight = in.i32();
        line.baseline = in.i32();
        line.spacing = in.i32();
        line.columnStart = in.i32();
        line.width = in.i32();
        line.flags = in.u32();
        lines.append(line);
    }
    return lines;
}

QList<qsizetype> HwpBody::Tree::children(qsizetype parent) const
{
    QList<qsizetype> list;
    for (qsizetype child = parent + 1; child < ends[parent]; child = ends[child])
        list.append(child);
    return list;
}

HwpModel::Section HwpBody::ReadSection(const QList<Record>& records)
{
    // Where each record's descendants end: at the next record no deeper than it.
    Tree tree{records, QList<qsizetype>(records.size(), records.size())};
    QList<qsizetype> open;
    for (qsizetype i = 0; i < records.size(); ++i) {
        while (!open.isEmpty() && records[open.last()].level >= records[i].level)
            tree.ends[open.takeLast()] = i;
        open.append(i);
    }
    HwpModel::Section section;
    // The section definition sits in the first paragraph, whose own outline numbering depends on it.
    for (const Record& record : records) {
        if (record.tag == HwpRecords::CtrlHeader && DataReader(record.data).u32() == HwpRecords::kSectionDef) {
            DataReader in(record.data);
            in.skip(4 + 4 + 2 + 2 + 2 + 4); // id, properties, column gap, grids, default tab stop
            section.outlineNumbering = in.u16();
            break;
        }
    }
    const HwpBody body(tree);
    for (qsizetype i = 0; i < records.size(); i = tree.ends[i]) {
        if (records[i].tag == HwpRecords::ParaHeader)
            section.paragraphs.push_back(body.paragraph(i, 0));
    }
    return section;
}

HwpModel::Paragraphs HwpBody::paragraphs(const QList<qsizetype>& indexes, int depth) const
{
    HwpModel::Paragraphs list;
    for (qsizetype index : indexes)
        list.push_back(paragraph(index, depth));
    return list;
}

HwpModel::Paragraph HwpBody::paragraph(qsizetype index, int depth) const
{
    HwpModel::Paragraph paragraph;
    paragraph.source = index;
    DataReader header(m_tree.records[index].data);
    header.skip(8); // character count, control mask
    paragraph.paraShape = header.u16();
    paragraph.style = header.u8();
    paragraph.pageBreak = header.u8() & 0x04;

    QByteArray text;
    QList<QPair<quint32, quint32>> runs; // (position in the file's units, character shape)
    for (qsizetype child : m_tree.children(index)) {
        const Record& record = m_tree.records[child];
        if (record.tag == HwpRecords::ParaText) {
            text = record.data;
        } else if (record.tag == HwpRecords::ParaCharShape) {
            DataReader in(record.data);
            while (in.remaining() >= 8) {
                const quint32 position = in.u32();
                runs.append({position, in.u32()});
            }
        } else if (record.tag == HwpRecords::ParaLineSeg) {
            paragraph.lines = LineSegments(record.data);
        } else if (record.tag == HwpRecords::CtrlHeader) {
            paragraph.controls.push_back(control(child, depth));
        }
    }
    // The model keeps one character per control; a run's start moves to the character that starts at or after it.
    const qsizetype length = text.size() / 2;
    const auto* codes = reinterpret_cast<const uchar*>(text.constData());
    QList<qsizetype> starts;
    paragraph.text.reserve(length);
    for (qsizetype i = 0; i < length;) {
        const quint16 code = qFromLittleEndian<quint16>(codes + 2 * i);
        starts.append(i);
        paragraph.text.append(QChar(code));
        i += code >= 32 || HwpModel::IsCharControl(code) ? 1 : 8;
    }
    for (const auto& [position, shape] : std::as_const(runs)) {
        const qsizetype at = std::lower_bound(starts.cbegin(), starts.cend(), qsizetype(position)) - starts.cbegin();
        paragraph.runs.append({int(at), int(std::min<quint32>(shape, INT_MAX))});
    }
    return paragraph;
}

Control HwpBody::control(qsizetype index, int depth) const
{
    Control control;
    const Record& record = m_tree.records[index];
    const quint32 id = DataReader(record.data).u32();
    using Kind = Control::Kind;
    if (id == HwpRecords::kSectionDef) {
        control.kind = Kind::SectionDef;
        control.page = sectionDef(index);
    } else if (id == HwpRecords::kColumnDef) {
        control.kind = Kind::ColumnDef;
        DataReader in(record.data);
        in.skip(4);
        const quint16 properties = in.u16();
        control.columnCount = (properties >> 2) & 0xff;
        control.columnGap = units(in.u16());
    } else if (id == HwpRecords::kTableCtrl) {
        control.kind = Kind::Table;
        // Tables deeper than the editor follows are left out whole; their cells are not read.
        if (depth < HwpShapes::kMaxTableDepth)
            control.table = table(index, depth);
        std::tie(control.table.width, control.table.height) = objectSize(record);
    } else if (id == HwpRecords::kEquationCtrl) {
        control.kind = Kind::Equation;
        control.equation = equation(index);
        std::tie(control.equation.width, control.equation.height) = objectSize(record);
    } else if (id == HwpRecords::kPictureCtrl) {
        control.kind = Kind::Picture;
        control.picture = picture(index);
    } else if (id == HwpRecords::kHeaderCtrl || id == HwpRecords::kFooterCtrl) {
        control.kind = id == HwpRecords::kHeaderCtrl ? Kind::Header : Kind::Footer;
        control.margin = margin(index, depth);
    } else if (id == HwpRecords::kPageNumberCtrl) {
        control.kind = Kind::PageNumber;
        DataReader in(record.data);
        in.skip(4);
        const quint32 properties = in.u32();
        const auto character = [&in] {
            const quint16 code = in.u16();
            return code >= 32 ? QString(QChar(code)) : QString();
        };
        HwpModel::PageNumber& number = control.pageNumber;
        number.shape = int(properties & 0xff);
        character(); // the user's own symbol, for shapes of symbols, which are drawn as digits here
        number.prefix = character();
        number.suffix = character();
        number.dash = character();
        number.position = int((properties >> 8) & 0xf);
    } else if (id == HwpRecords::kAutoNumberCtrl) {
        control.kind = Kind::AutoNumber;
        DataReader in(record.data);
        in.skip(4);
        control.autoNumber.kind = int(in.u32() & 0xf);
        control.autoNumber.number = in.u16();
    } else if (showsNothing(id)) {
        control.kind = Kind::Invisible;
    } else {
        control.kind = Kind::Other;
        control.dropped = droppedKind(id);
    }
    return control;
}

std::optional<HwpModel::PageDef> HwpBody::sectionDef(qsizetype index) const
{
    for (qsizetype child : m_tree.children(index)) {
        if (m_tree.records[child].tag != HwpRecords::PageDef)
            continue;
        DataReader in(m_tree.records[child].data);
        HwpModel::PageDef page;
        page.paperWidth = units(in.u32());
        page.paperHeight = units(in.u32());
        page.left = units(in.u32());
        page.right = units(in.u32());
        page.top = units(in.u32());
        page.bottom = units(in.u32());
        page.header = units(in.u32());
        page.footer = units(in.u32());
        page.gutter = units(in.u32());
        page.landscape = in.u32() & 0x1;
        if (!in.ok())
            return std::nullopt;
        return page;
    }
    return std::nullopt;
}

HwpModel::Table HwpBody::table(qsizetype index, int depth) const
{
    HwpModel::Table table;
    table.known = false;
    const QList<qsizetype> children = m_tree.children(index);
    for (qsizetype k = 0; k < children.size(); ++k) {
        const Record& record = m_tree.records[children[k]];
        if (record.tag == HwpRecords::Table) {
            DataReader in(record.data);
            in.skip(4);
            table.rows = in.u16();
            table.columns = in.u16();
            in.skip(2); // cell spacing
            for (int& margin : table.margins)
                margin = in.u16();
            in.skip(2 * qsizetype(table.rows)); // cells per row
            table.borderFill = in.u16();
            table.known = true;
            continue;
        }
        if (record.tag != HwpRecords::ListHeader)
            continue;
        // A list's paragraphs follow its header.
        QList<qsizetype> list;
        while (k + 1 < children.size() && m_tree.records[children[k + 1]].tag == HwpRecords::ParaHeader)
            list.append(children[++k]);
        if (!table.known) {
            // The list before the table is its caption.
            DataReader in(record.data);
            in.skip(4);
            const quint32 listProperties = in.u32();
            const quint32 properties = in.u32();
            HwpModel::Caption caption;
            caption.width = std::max(0, units(in.u32()));
            caption.gap = std::max(0, units(in.u16()));
            caption.textWidth = std::max(0, units(in.u32()));
            caption.side = int(properties & 0x3);
            caption.toMargins = properties & 0x4;
            caption.verticalAlignment = int((listProperties >> 5) & 0x3);
            caption.paragraphs = paragraphs(list, depth + 1);
            table.caption = std::move(caption);
            continue;
        }
        DataReader in(record.data);
        in.skip(8); // paragraph count and properties, which real files give eight bytes
        HwpModel::Cell cell;
        cell.column = in.u16();
        cell.row = in.u16();
        cell.columnSpan = std::max<int>(1, in.u16());
        cell.rowSpan = std::max<int>(1, in.u16());
        cell.width = units(in.u32());
        cell.height = units(in.u32());
        for (int& margin : cell.margins)
            margin = in.u16();
        cell.borderFill = in.u16();
        cell.paragraphs = paragraphs(list, depth + 1);
        table.cells.push_back(std::move(cell));
    }
    return table;
}

HwpModel::Margin HwpBody::margin(qsizetype index, int depth) const
{
    DataReader control(m_tree.records[index].data);
    control.skip(4);
    HwpModel::Margin margin;
    margin.pages = int(control.u32() & 0x3);
    QList<qsizetype> list;
    bool sawList = false;
    for (qsizetype child : m_tree.children(index)) {
        const Record& record = m_tree.records[child];
        if (record.tag == HwpRecords::ListHeader && !sawList) {
            sawList = true;
            DataReader in(record.data);
            in.skip(4);
            margin.verticalAlignment = int((in.u32() >> 5) & 0x3);
        } else if (record.tag == HwpRecords::ParaHeader) {
            list.append(child);
        }
    }
    margin.paragraphs = paragraphs(list, depth + 1);
    return margin;
}
