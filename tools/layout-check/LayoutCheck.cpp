#include "tools/layout-check/LayoutCheck.h"

#include "document/LayoutUnits.h"
#include "document/PageDecorations.h"
#include "document/PageLayout.h"
#include "document/TableEditing.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpBody.h"
#include "document/hwp/HwpFile.h"
#include "document/hwp/Records.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <optional>

namespace LayoutCheck {

namespace {

using HwpRecords::DataReader;
using HwpRecords::Record;

constexpr double kUnitsPerPoint = 100.0;

constexpr quint32 controlId(const char (&name)[5])
{
    return quint32(uchar(name[0])) << 24 | quint32(uchar(name[1])) << 16 | quint32(uchar(name[2])) << 8 |
           quint32(uchar(name[3]));
}

struct Section
{
    QList<Record> records;
    QList<qsizetype> ends; // where each record's children end
    QList<qsizetype> children(qsizetype parent) const
    {
        QList<qsizetype> list;
        for (qsizetype child = parent + 1; child < ends[parent]; child = ends[child])
            list.append(child);
        return list;
    }
};

// One line as the word processor laid it out.
struct TheirLine
{
    int start = 0;  // in the paragraph's text, in 16-bit units
    int top = 0;    // from the top of the body, or of the cell
    int column = 0; // where its column starts
    int height = 0;
    int textHeight = 0;
    int baseline = 0;
    int spacing = 0;
};

// One line as we lay it out, in points.
struct OurLine
{
    int start = 0; // in the block's text
    double x = 0;  // from the left of the column or cell
    double y = 0;  // the line's top, from the top of the whole text
    double baseline = 0;
};

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::optional<QList<Section>> readSections(const QByteArray& bytes, QString* error)
{
    const auto streams = HwpContainer::ReadStreams(bytes, error);
    if (!streams)
        return std::nullopt;
    const QByteArray header = streams->value(QStringLiteral("FileHeader"));
    const bool compressed = header.size() >= 40 && (qFromLittleEndian<quint32>(header.constData() + 36) & 0x1);
    QList<Section> sections;
    for (int i = 0; streams->contains(QStringLiteral("BodyText/Section%1").arg(i)); ++i) {
        QByteArray data = streams->value(QStringLiteral("BodyText/Section%1").arg(i));
        if (compressed) {
            const auto plain = HwpContainer::Inflate(data);
            if (!plain)
                return std::nullopt;
            data = *plain;
        }
        auto records = HwpRecords::Parse(data, error);
        if (!records)
            return std::nullopt;
        Section section{*records, QList<qsizetype>(records->size(), records->size())};
        QList<qsizetype> open;
        for (qsizetype k = 0; k < section.records.size(); ++k) {
            while (!open.isEmpty() && section.records[open.last()].level >= section.records[k].level)
                section.ends[open.takeLast()] = k;
            open.append(k);
        }
        sections.append(std::move(section));
    }
    return sections;
}

QList<TheirLine> theirLines(const Section& section, qsizetype paragraph)
{
    QList<TheirLine> lines;
    for (qsizetype child : section.children(paragraph)) {
        const Record& record = section.records[child];
        if (record.tag != HwpRecords::ParaLineSeg)
            continue;
        for (const HwpModel::LineSegment& segment : HwpBody::LineSegments(record.data)) {
            lines.append({.start = segment.textStart,
                          .top = segment.top,
                          .column = segment.columnStart,
                          .height = segment.height,
                          .textHeight = segment.textHeight,
                          .baseline = segment.baseline,
                          .spacing = segment.spacing});
        }
    }
    return lines;
}

// Where each 16-bit unit of the paragraph's text falls in our block's text; nullopt when the paragraph holds
// something that takes its text out of the one block (a table, a picture on a line of its own).
std::optional<QList<int>> ourPositions(const Section& section, qsizetype paragraph)
{
    QByteArray text;
    QList<quint32> controls;
    QList<quint32> properties;
    for (qsizetype child : section.children(paragraph)) {
        const Record& record = section.records[child];
        if (record.tag == HwpRecords::ParaText)
            text = record.data;
        else if (record.tag == HwpRecords::CtrlHeader) {
            DataReader in(record.data);
            controls.append(in.u32());
            properties.append(in.u32());
        }
    }
    const qsizetype length = text.size() / 2;
    const auto* units = reinterpret_cast<const uchar*>(text.constData());
    QList<int> positions(length + 1, 0);
    int ours = 0;
    qsizetype control = 0;
    for (qsizetype i = 0; i < length;) {
        const quint16 code = qFromLittleEndian<quint16>(units + 2 * i);
        int width = 1;
        int taken = 0;
        if (code >= 32 || code == 10 || code == 24 || code == 30 || code == 31) {
            taken = 1;
        } else if (code == 0 || code == 13 || (code >= 25 && code <= 29)) {
            taken = 0;
        } else {
            width = 8;
            if (code == 9)
                taken = 1;
            // An automatic number stands as its digits.
            if (code == 18 && control < controls.size() && controls[control] == controlId("atno"))
                taken = 1;
            if (code == 11 && control < controls.size()) {
                const quint32 id = controls[control];
                if (id == controlId("tbl "))
                    return std::nullopt;
                if (id == controlId("gso ") && !(properties[control] & 0x1))
                    return std::nullopt;
                taken = 1;
            }
            if (code == 1 || code == 2 || code == 3 || code == 11 || code == 12 || (code >= 14 && code <= 18) ||
                (code >= 21 && code <= 23))
                ++control;
        }
        for (qsizetype k = i; k < i + width && k < length; ++k)
            positions[k] = ours;
        ours += taken;
        i += width;
    }
    positions[length] = ours;
    return positions;
}

QList<OurLine> ourLines(QAbstractTextDocumentLayout* layout, const QTextBlock& block)
{
    QList<OurLine> lines;
    const QTextLayout* text = block.layout();
    if (!text)
        return lines;
    // Lines are placed from the layout's position, which is the left of the column or cell, and which the
    // bounding rectangle's corner gives in the whole text.
    const QPointF origin = layout->blockBoundingRect(block).topLeft();
    for (int i = 0; i < text->lineCount(); ++i) {
        const QTextLine line = text->lineAt(i);
        lines.append({line.textStart(), line.x(), origin.y() + line.y(), origin.y() + line.y() + line.ascent()});
    }
    return lines;
}

// A table's own rectangle: the layout's frame is as large as the table and its margins, which hold its caption.
QRectF tableRect(QAbstractTextDocumentLayout* layout, QTextTable* table)
{
    const QRectF frame = layout->frameBoundingRect(table);
    const QTextTableFormat format = table->format();
    return QRectF(frame.topLeft(),
                  QSizeF(frame.width() - LayoutUnits::ToPoints(format.leftMargin() + format.rightMargin()),
                         frame.height() - LayoutUnits::ToPoints(format.topMargin() + format.bottomMargin())));
}

// A caption's, header's or footer's paragraphs in the file, with the small document that holds them here, laid
// out as wide as it is drawn.
struct List
{
    int section = 0;
    QList<qsizetype> paragraphs;
    QByteArray content;
    double width = 0;
};

QList<List> decorationLists(const QList<Section>& sections, QTextDocument& document, const PageGeometry& page)
{
    QList<List> files;
    QList<List> headers;
    QList<List> footers;
    for (int s = 0; s < sections.size(); ++s) {
        const Section& section = sections[s];
        for (qsizetype k = 0; k < section.records.size(); ++k) {
            const Record& record = section.records[k];
            if (record.tag != HwpRecords::CtrlHeader || record.data.size() < 4)
                continue;
            const quint32 id = DataReader(record.data).u32();
            List list{s, {}, {}, 0};
            bool beforeTable = true;
            for (qsizetype child : section.children(k)) {
                const quint16 tag = section.records[child].tag;
                beforeTable = beforeTable && tag != HwpRecords::Table;
                if (tag == HwpRecords::ParaHeader && beforeTable)
                    list.paragraphs.append(child);
            }
            if (id == controlId("tbl ") && !list.paragraphs.isEmpty())
                files.append(list);
            else if (id == controlId("head") && s == 0)
                headers.append(list);
            else if (id == controlId("foot") && s == 0)
                footers.append(list);
        }
    }
    // Captions in the order of their tables; headers and footers as the reader keeps them, one for each kind of
    // page, in the order read.
    QList<QTextTable*> tables = TableEditing::Tables(document);
    tables.removeIf([](QTextTable* table) { return !PageDecorations::CaptionOf(table->format()); });
    QList<List> lists;
    if (tables.size() == files.size()) {
        QAbstractTextDocumentLayout* layout = document.documentLayout();
        for (qsizetype i = 0; i < tables.size(); ++i) {
            const auto caption = PageDecorations::CaptionOf(tables[i]->format());
            List list = files[i];
            list.content = caption->content;
            list.width =
                PageDecorations::CaptionRect(*caption, tables[i]->format(), layout->frameBoundingRect(tables[i]))
                    .width();
            lists.append(list);
        }
    }
    const PageDecorations::Margins margins = PageDecorations::MarginsOf(document);
    const double width = (page.paperWidth - page.leftMargin - page.rightMargin - page.gutter) / kUnitsPerPoint;
    const auto add = [&](const QList<List>& read, const QList<PageDecorations::Margin>& kept) {
        if (read.size() < kept.size())
            return;
        for (qsizetype i = 0; i < kept.size(); ++i) {
            List list = read[i];
            list.content = kept[i].content;
            list.width = width;
            lists.append(list);
        }
    };
    add(headers, margins.headers);
    add(footers, margins.footers);
    return lists;
}

} // namespace

Figures Measure(const QString& path)
{
    Figures figures;
    figures.file = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        figures.error = file.errorString();
        return figures;
    }
    const QByteArray bytes = file.readAll();
    QTextDocument document;
    PageGeometry page;
    QList<HwpFile::ParagraphPlace> places;
    if (!HwpFile::Read(document, page, bytes, &figures.error, nullptr, &places))
        return figures;
    const auto sections = readSections(bytes, &figures.error);
    if (!sections)
        return figures;
    PageLayout::Prepare(&document, page);
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    layout->documentSize(); // lays it all out
    figures.ourPages = int(PageLayout::PageStarts(&document, page).size());
    const double pageHeight = page.bodyRect().height();
    const auto ourPage = [pageHeight](double y) { return int(y / pageHeight + 0.01); };

    // Every line of every block: none may start left of its column or cell.
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const OurLine& line : ourLines(layout, block))
            figures.outside += line.x < -0.5 ? 1 : 0;
    }

    // The word processor's pages: its vertical positions start again at the top of each column; with columns,
    // a column that starts in the first one's half starts a page. (A line's start is its column's left plus
    // the paragraph's margin.)
    int theirSegment = -1;
    int lastTop = 0;
    int firstColumn = 0;
    int lastSection = 0;
    figures.theirPages = 0;
    struct Compared
    {
        qsizetype place;
        QList<TheirLine> theirs;
        QList<OurLine> ours;
        QList<int> theirSegments;
    };
    QList<std::optional<Compared>> body; // the body's paragraphs in order; nullopt where not comparable
    QList<double> pitches;
    QList<double> pitchRatios;
    QHash<int, QList<double>> offsets; // by page
    for (qsizetype p = 0; p < places.size(); ++p) {
        const HwpFile::ParagraphPlace& place = places[p];
        if (place.section >= sections->size())
            continue;
        const Section& section = (*sections)[place.section];
        const QList<TheirLine> theirs = theirLines(section, place.record);
        QList<int> segments;
        if (place.depth == 0) {
            // A page or column break in the paragraph's header starts it on a new one, even at the same height.
            const QByteArray& paragraphHeader = section.records[place.record].data;
            const quint8 breaks = paragraphHeader.size() > 11 ? quint8(paragraphHeader.at(11)) : 0;
            // So does a new section.
            bool broken = theirSegment >= 0 && ((breaks & 0x0c) || place.section != lastSection);
            lastSection = place.section;
            for (const TheirLine& line : theirs) {
                if (theirSegment < 0 || line.top < lastTop || broken) {
                    ++theirSegment;
                    if (theirSegment == 0)
                        firstColumn = line.column;
                    if (theirSegment == 0 || page.columnCount == 1 ||
                        line.column < firstColumn + page.columnWidth() * kUnitsPerPoint / 2)
                        ++figures.theirPages;
                }
                broken = false;
                lastTop = line.top;
                segments.append(theirSegment);
            }
        }
        const auto positions = ourPositions(section, place.record);
        if (!positions || theirs.isEmpty()) {
            if (place.depth == 0)
                body.append(std::nullopt);
            continue;
        }
        const QList<OurLine> ours = ourLines(layout, place.block);
        ++figures.paragraphs;
        Compared compared{p, theirs, ours, segments};
        if (place.depth == 0)
            body.append(compared);
        if (ours.size() != theirs.size())
            continue;
        ++figures.sameLineCount;
        for (qsizetype i = 1; i < theirs.size(); ++i) {
            const int start = theirs[i].start;
            if (start < 0 || start >= positions->size() || positions->at(start) != ours[i].start) {
                ++figures.otherBreaks;
                break;
            }
        }
        // The pitch of a paragraph whose lines are all on one page, here and there.
        const qsizetype n = theirs.size();
        const bool onePage = place.depth > 0 ||
                             (segments.first() == segments.last() && ourPage(ours.first().y) == ourPage(ours.last().y));
        if (n >= 2 && onePage && theirs.last().top > theirs.first().top) {
            pitchRatios.append((ours.last().baseline - ours.first().baseline) /
                               ((theirs.last().top - theirs.first().top) / kUnitsPerPoint));
        }
        // Where the text is drawn; an empty paragraph draws nothing, and Qt gives one right after a table a place
        // inside the table.
        if (place.depth == 0 && !place.block.text().isEmpty()) {
            for (qsizetype i = 0; i < n; ++i) {
                const int pageHere = ourPage(ours[i].y);
                if (pageHere != segments[i])
                    continue;
                // Where the text stands: the baselines.
                offsets[pageHere].append(ours[i].baseline - pageHere * pageHeight -
                                         (theirs[i].top + theirs[i].baseline) / kUnitsPerPoint);
            }
        }
    }
    // Captions, headers and footers: their paragraphs one by one, as the page draws them.
    for (const List& list : decorationLists(*sections, document, page)) {
        const std::unique_ptr<QTextDocument> content = PageDecorations::ContentDocument(list.content, list.width);
        QAbstractTextDocumentLayout* contentLayout = content->documentLayout();
        contentLayout->documentSize();
        QTextBlock block = content->begin();
        for (qsizetype paragraph : list.paragraphs) {
            if (!block.isValid())
                break;
            const Section& section = (*sections)[list.section];
            const QList<TheirLine> theirs = theirLines(section, paragraph);
            const QList<OurLine> ours = ourLines(contentLayout, block);
            block = block.next();
            if (theirs.isEmpty() || !ourPositions(section, paragraph))
                continue;
            ++figures.paragraphs;
            ++figures.listParagraphs;
            if (ours.size() != theirs.size())
                continue;
            ++figures.sameLineCount;
            ++figures.listSameLineCount;
            if (theirs.size() >= 2 && theirs.last().top > theirs.first().top)
                pitchRatios.append((ours.last().baseline - ours.first().baseline) /
                                   ((theirs.last().top - theirs.first().top) / kUnitsPerPoint));
        }
    }
    figures.pitch = median(pitchRatios);
    figures.pitchSamples = int(pitchRatios.size());
    Q_UNUSED(pitches);

    // From one body paragraph's last line to the next one's first, where both are on one page.
    QList<double> gaps;
    for (qsizetype i = 1; i < body.size(); ++i) {
        if (!body[i - 1] || !body[i])
            continue;
        const Compared& before = *body[i - 1];
        const Compared& after = *body[i];
        if (before.ours.isEmpty() || after.ours.isEmpty() || before.theirSegments.last() != after.theirSegments.first())
            continue;
        const double theirs = (after.theirs.first().top + after.theirs.first().baseline - before.theirs.last().top -
                               before.theirs.last().baseline) /
                              kUnitsPerPoint;
        const double ours = after.ours.first().baseline - before.ours.last().baseline;
        if (theirs > 0 && ourPage(after.ours.first().y) == ourPage(before.ours.last().y))
            gaps.append(ours / theirs);
    }
    figures.gap = median(gaps);
    figures.gapSamples = int(gaps.size());

    QList<double> pageOffsets;
    for (auto it = offsets.cbegin(); it != offsets.cend(); ++it) {
        figures.verticalSamples += int(it->size());
        pageOffsets.append(median(*it));
    }
    for (double offset : std::as_const(pageOffsets))
        figures.verticalOffset = std::max(figures.verticalOffset, std::abs(offset));

    // A table's width as it is drawn, from the outer edge of its left border to that of its right one, on the
    // page painted four times over: Qt's frame rectangle is placed at the first cell's text and its size holds
    // more than the lines. Without lines, the frame's width.
    QHash<int, QImage> painted;
    const auto drawnWidth = [&](QTextTable* table) {
        const QRectF frame = tableRect(layout, table);
        // Not so far beside the table as to reach a caption there.
        const auto caption = PageDecorations::CaptionOf(table->format());
        const bool beside =
            caption && (caption->side == PageDecorations::Side::Left || caption->side == PageDecorations::Side::Right);
        const double slack = beside ? std::min(12.0, caption->gap / kUnitsPerPoint / 2) : 12.0;
        const QList<OurLine> first = ourLines(layout, table->cellAt(0, 0).firstCursorPosition().block());
        if (first.isEmpty())
            return frame.width();
        const int pageIndex = ourPage(first.first().y);
        const QList<int> starts = PageLayout::PageStarts(&document, page);
        const int physical = int(std::upper_bound(starts.cbegin(), starts.cend(), pageIndex) - starts.cbegin()) - 1;
        QImage& image = painted[physical];
        if (image.isNull()) {
            image = QImage((page.paperSize() * 4).toSize(), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.scale(4, 4);
            PageLayout::PaintPage(&painter, &document, page, physical);
        }
        // A row of pixels through the first row of cells, in the column the table is in.
        const int column = pageIndex - starts.value(physical);
        const double left = page.columnLeft(column);
        const int y = int((first.first().y - pageIndex * pageHeight + page.bodyRect().top() + 1) * 4);
        int from = -1;
        int to = -1;
        if (y >= 0 && y < image.height()) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            const int lo = std::max(0, int((left + frame.left() - slack) * 4));
            const int hi = std::min(image.width() - 1, int((left + frame.right() + slack) * 4));
            for (int x = lo; x <= hi; ++x) {
                if (qGray(line[x]) < 128) {
                    from = from < 0 ? x : from;
                    to = x;
                }
            }
        }
        return from >= 0 && to > from ? (to - from + 1) / 4.0 : frame.width();
    };

    // Tables: each by the first paragraph of its first cell, and the table control above it in the file.
    QSet<QTextTable*> seen;
    QList<double> widthRatios;
    QList<double> rowRatios;
    for (const HwpFile::ParagraphPlace& place : std::as_const(places)) {
        if (place.depth == 0 || place.section >= sections->size())
            continue;
        QTextTable* table = QTextCursor(place.block).currentTable();
        if (!table || seen.contains(table))
            continue;
        seen.insert(table);
        const Section& section = (*sections)[place.section];
        qsizetype control = place.record;
        while (control > 0 && section.records[control].level >= section.records[place.record].level)
            --control;
        if (section.records[control].tag != HwpRecords::CtrlHeader)
            continue;
        DataReader header(section.records[control].data);
        if (header.u32() != controlId("tbl "))
            continue;
        header.skip(4 + 4 + 4); // properties, offsets
        const double theirWidth = header.u32() / kUnitsPerPoint;
        const QRectF frame = tableRect(layout, table);
        if (theirWidth > 0) {
            widthRatios.append(drawnWidth(table) / theirWidth);
            ++figures.tables;
        }
        // Row heights: the word processor's from its cells one row high, ours from where each row's cells start.
        QHash<int, double> theirRows;
        bool cells = false; // list headers before the table record are its caption's
        for (qsizetype child : section.children(control)) {
            const Record& record = section.records[child];
            cells = cells || record.tag == HwpRecords::Table;
            if (record.tag != HwpRecords::ListHeader || !cells)
                continue;
            DataReader in(record.data);
            in.skip(8);
            in.skip(2);
            const int row = in.u16();
            in.skip(2);
            const int rowSpan = in.u16();
            in.skip(4);
            const double stored = in.u32() / kUnitsPerPoint;
            const double top = in.u16() / kUnitsPerPoint;
            in.skip(2);
            const double bottom = in.u16() / kUnitsPerPoint;
            in.skip(2);
            // A stored height is the least the row takes: its text, as the word processor laid it out, may
            // take more. The last line's text ends the cell, without the spacing below it.
            double text = 0;
            for (qsizetype k = child + 1; k < section.records.size() && section.records[k].level == record.level &&
                                          section.records[k].tag == HwpRecords::ParaHeader;
                 ++k) {
                const QList<TheirLine> lines = theirLines(section, k);
                if (!lines.isEmpty())
                    text = (lines.last().top + lines.last().height) / kUnitsPerPoint;
            }
            const double height = std::max(stored, top + text + bottom);
            if (in.ok() && rowSpan == 1)
                theirRows[row] = std::max(theirRows.value(row), height);
        }
        QList<double> tops(table->rows() + 1, frame.bottom());
        for (int r = 0; r < table->rows(); ++r) {
            double top = frame.bottom();
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue;
                const QTextBlock first = cell.firstCursorPosition().block();
                const QList<OurLine> lines = ourLines(layout, first);
                if (lines.isEmpty())
                    continue;
                const QTextTableCellFormat format = cell.format().toTableCellFormat();
                top = std::min(top, lines.first().y - LayoutUnits::ToPoints(format.topPadding()) -
                                        LayoutUnits::ToPoints(first.blockFormat().topMargin()));
            }
            tops[r] = top;
        }
        // Qt places the frame's rectangle at the first cell's text: the table ends that much higher.
        tops[table->rows()] = frame.bottom() - (frame.top() - tops[0]);
        for (int r = 0; r < table->rows(); ++r) {
            if (theirRows.value(r) > 0 && tops[r] < frame.bottom())
                rowRatios.append((tops[r + 1] - tops[r]) / theirRows.value(r));
        }
    }
    figures.tableWidth = median(widthRatios);
    for (double ratio : std::as_const(widthRatios)) {
        if (std::abs(ratio - 1) > std::abs(figures.worstTableWidth - 1))
            figures.worstTableWidth = ratio;
    }
    figures.rowHeight = median(rowRatios);
    figures.rows = int(rowRatios.size());
    return figures;
}

QImage OurFirstPage(const QString& path, int width)
{
    QTextDocument document;
    PageGeometry page;
    if (!HwpFile::Load(document, page, path))
        return {};
    PageLayout::Prepare(&document, page);
    const double scale = width / page.paperSize().width();
    QImage image((page.paperSize() * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    PageLayout::PaintPage(&painter, &document, page, 0);
    return image;
}

QImage TheirFirstPage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto streams = HwpContainer::ReadStreams(file.readAll());
    return streams ? QImage::fromData(streams->value(QStringLiteral("PrvImage"))) : QImage();
}

QString Report(const Figures& f)
{
    if (!f.error.isEmpty())
        return QStringLiteral("%1: %2").arg(f.file, f.error);
    const auto ratio = [](double value, int samples) {
        return samples > 0 ? QStringLiteral("%1 (%2)").arg(value, 0, 'f', 3).arg(samples) : QStringLiteral("-");
    };
    return QStringLiteral("%1: pages %2/%3, same lines %4/%5 (%6 %), other breaks %7, pitch %8, gap %9, "
                          "tables %10 worst %11, rows %12, outside %13, vertical %14 pt (%15), "
                          "captions, headers and footers %16/%17")
        .arg(f.file)
        .arg(f.ourPages)
        .arg(f.theirPages)
        .arg(f.sameLineCount)
        .arg(f.paragraphs)
        .arg(100.0 * f.sameLineShare(), 0, 'f', 1)
        .arg(f.otherBreaks)
        .arg(ratio(f.pitch, f.pitchSamples), ratio(f.gap, f.gapSamples), ratio(f.tableWidth, f.tables))
        .arg(f.tables > 0 ? QString::number(f.worstTableWidth, 'f', 3) : QStringLiteral("-"))
        .arg(ratio(f.rowHeight, f.rows))
        .arg(f.outside)
        .arg(f.verticalOffset, 0, 'f', 2)
        .arg(f.verticalSamples)
        .arg(f.listSameLineCount)
        .arg(f.listParagraphs);
}

QStringList Shortfalls(const Figures& f, const QStringList& excused)
{
    if (!f.error.isEmpty())
        return {f.error};
    QStringList shortfalls;
    const auto check = [&](const char* target, bool met, const QString& text) {
        if (!met && !excused.contains(QLatin1String(target)))
            shortfalls << text;
    };
    check("pages", f.ourPages == f.theirPages,
          QStringLiteral("%1 pages where the word processor has %2").arg(f.ourPages).arg(f.theirPages));
    check("tables", f.tables == 0 || std::abs(f.worstTableWidth - 1) <= 0.01,
          QStringLiteral("a table at %1 of its width").arg(f.worstTableWidth, 0, 'f', 3));
    check("pitch", f.pitchSamples == 0 || std::abs(f.pitch - 1) <= 0.03,
          QStringLiteral("line pitch at %1").arg(f.pitch, 0, 'f', 3));
    check("gap", f.gapSamples == 0 || std::abs(f.gap - 1) <= 0.05,
          QStringLiteral("paragraph distance at %1").arg(f.gap, 0, 'f', 3));
    check("lines", f.sameLineShare() >= 0.9,
          QStringLiteral("%1 of %2 paragraphs with as many lines").arg(f.sameLineCount).arg(f.paragraphs));
    check("outside", f.outside == 0, QStringLiteral("%1 lines outside their column").arg(f.outside));
    check("vertical", f.verticalOffset <= 1.0,
          QStringLiteral("a page's lines %1 pt off").arg(f.verticalOffset, 0, 'f', 2));
    return shortfalls;
}

} // namespace LayoutCheck
