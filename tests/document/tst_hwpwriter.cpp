#include "document/CellDiagonals.h"
#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/PageDecorations.h"
#include "document/TableEditing.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpDocInfo.h"
#include "document/hwp/HwpFile.h"
#include "document/hwp/HwpValues.h"
#include "document/hwp/Records.h"
#include "tests/support/OutsideHwpReaders.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QVariant>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QtEndian>

#include <functional>
#include <memory>
#include <tuple>

using HwpRecords::Record;
using namespace Qt::Literals::StringLiterals;

namespace {

struct Parsed
{
    HwpContainer::Streams streams;
    QList<Record> docInfo;
    QList<Record> section;
};

QList<Record> withTag(const QList<Record>& records, quint16 tag)
{
    QList<Record> found;
    for (const Record& record : records) {
        if (record.tag == tag)
            found.append(record);
    }
    return found;
}

// What the editor shows of a character format, in words; the family and size a format leaves to the document
// are the document's.
QString describeChars(const QTextCharFormat& format, const QTextDocument& document)
{
    if (FormulaObject::IsFormula(format))
        return QStringLiteral("formula %1 %2pt %3")
            .arg(FormulaObject::Script(format))
            .arg(FormulaObject::PointSize(format))
            .arg(FormulaObject::Colour(format).name());
    if (format.isImageFormat()) {
        const QTextImageFormat image = format.toImageFormat();
        return QStringLiteral("picture %1x%2").arg(qRound(image.width())).arg(qRound(image.height()));
    }
    const QStringList families = format.fontFamilies().toStringList();
    const QBrush foreground = format.foreground();
    const QBrush background = format.background();
    return QStringLiteral("%1 %2pt%3%4%5%6 v%7 %8 %9")
        .arg(families.isEmpty() ? document.defaultFont().family() : families.first())
        .arg(format.fontPointSize() > 0 ? format.fontPointSize() : document.defaultFont().pointSizeF())
        .arg(format.fontWeight() >= QFont::DemiBold ? QStringLiteral(" bold") : QString())
        .arg(format.fontItalic() ? QStringLiteral(" italic") : QString())
        .arg(format.fontUnderline() ? QStringLiteral(" underline") : QString())
        .arg(format.fontStrikeOut() ? QStringLiteral(" strike") : QString())
        .arg(format.verticalAlignment() == QTextCharFormat::AlignSuperScript ? 1
             : format.verticalAlignment() == QTextCharFormat::AlignSubScript ? 2
                                                                             : 0)
        .arg(foreground.style() == Qt::NoBrush ? QStringLiteral("#000000") : foreground.color().name())
        .arg(background.style() == Qt::NoBrush ? QStringLiteral("none") : background.color().name());
}

// A cell border's width, style and brush properties, left, right, top and bottom.
constexpr int kSides[4][3] = {
    {QTextFormat::TableCellLeftBorder, QTextFormat::TableCellLeftBorderStyle, QTextFormat::TableCellLeftBorderBrush},
    {QTextFormat::TableCellRightBorder, QTextFormat::TableCellRightBorderStyle, QTextFormat::TableCellRightBorderBrush},
    {QTextFormat::TableCellTopBorder, QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellTopBorderBrush},
    {QTextFormat::TableCellBottomBorder, QTextFormat::TableCellBottomBorderStyle,
     QTextFormat::TableCellBottomBorderBrush},
};

// A cell's borders as the page shows them: its own, else the table's grid.
QString describeBorders(const QTextTableCellFormat& cell, const QTextTableFormat& table)
{
    QString text;
    for (const auto& [width, style, brush] : kSides) {
        const double w = cell.hasProperty(width) ? cell.doubleProperty(width) : table.border();
        const int s = cell.hasProperty(style) ? cell.intProperty(style) : int(table.borderStyle());
        const QColor c = cell.hasProperty(brush) ? cell.brushProperty(brush).color() : table.borderBrush().color();
        // Widths come back as the nearest width the file can hold.
        text +=
            w > 0 && s != QTextFrameFormat::BorderStyle_None
                ? QStringLiteral("%1/%2/%3 ").arg(HwpValues::BorderIndex(LayoutUnits::ToPoints(w))).arg(s).arg(c.name())
                : QStringLiteral("none ");
    }
    text += cell.background().style() == Qt::NoBrush ? QStringLiteral("fill none")
                                                     : QStringLiteral("fill ") + cell.background().color().name();
    const CellDiagonals::Diagonals diagonals = CellDiagonals::Of(cell);
    if (diagonals.lines)
        text += QStringLiteral(" diagonals %1%2 %3/%4/%5")
                    .arg(diagonals.lines & CellDiagonals::kSlash ? QStringLiteral("/") : QString())
                    .arg(diagonals.lines & CellDiagonals::kBackslash ? QStringLiteral("\\") : QString())
                    .arg(HwpValues::BorderIndex(diagonals.width))
                    .arg(int(diagonals.style))
                    .arg(diagonals.colour.name());
    return text;
}

// Left out of the descriptions, and counted apart: an empty paragraph right after a table, which the reader
// adds.
bool addedAfterTable(const QTextBlock& block)
{
    QTextTable* before = block.previous().isValid() ? QTextCursor(block.previous()).currentTable() : nullptr;
    const bool afterTable = before && before != QTextCursor(block).currentTable();
    return afterTable && block.length() == 1 && block.next().isValid();
}

// Where the layout starts a paragraph's text, in points to a hundredth: its margin, and its list's indent unless
// the paragraph's own indent takes that back.
double textStart(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    const int indent = format.indent() + (block.textList() ? block.textList()->format().indent() : 0);
    const double indentWidth = LayoutUnits::ToPoints(std::max(0, indent) * block.document()->indentWidth());
    return std::round((format.leftMargin() + indentWidth) * 100) / 100;
}

// The document as the editor shows it, a line per paragraph: where it stands (table cell), its paragraph
// format, its list, and its runs with their formats.
QStringList describe(const QTextDocument& document)
{
    const auto contentText = [](const QByteArray& content) {
        return PageDecorations::ContentDocument(content, 100)->toPlainText();
    };
    QStringList lines;
    // Headers, footers and the page number, before the text.
    const PageDecorations::Margins margins = PageDecorations::MarginsOf(document);
    for (const auto* list : {&margins.headers, &margins.footers}) {
        for (const PageDecorations::Margin& margin : *list)
            lines.append(QStringLiteral("%1 pages %2 aligned %3 «%4»")
                             .arg(list == &margins.headers ? "header" : "footer")
                             .arg(int(margin.pages))
                             .arg(margin.verticalAlignment)
                             .arg(contentText(margin.content)));
    }
    if (margins.number.position != 0)
        lines.append(QStringLiteral("page number at %1: %2")
                         .arg(margins.number.position)
                         .arg(PageDecorations::PageNumberText(margins.number, 3)));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString line;
        if (addedAfterTable(block))
            continue;
        if (QTextTable* table = QTextCursor(block).currentTable()) {
            const QTextTableCell cell = table->cellAt(block.position());
            line += QStringLiteral("[%1,%2 %3x%4 %5] ")
                        .arg(cell.row())
                        .arg(cell.column())
                        .arg(cell.rowSpan())
                        .arg(cell.columnSpan())
                        .arg(describeBorders(cell.format().toTableCellFormat(), table->format()));
            if (cell.firstPosition() == block.position() && cell.row() == 0 && cell.column() == 0) {
                // A table the editor made without widths shares its width evenly, and comes back so.
                QStringList widths;
                for (const QTextLength& width : table->format().columnWidthConstraints())
                    widths.append(QString::number(qRound(width.rawValue())));
                const bool even = widths.count(widths.value(0)) == widths.size();
                line += QStringLiteral("widths %1 ").arg(even ? QStringLiteral("even") : widths.join(u','));
                if (const auto caption = PageDecorations::CaptionOf(table->format())) {
                    const QTextTableFormat format = table->format();
                    line += QStringLiteral("caption side %1 gap %2 width %3 text width %4%5 aligned %6 room "
                                           "%7/%8/%9/%10 «%11» ")
                                .arg(int(caption->side))
                                .arg(caption->gap)
                                .arg(caption->width)
                                .arg(caption->textWidth)
                                .arg(caption->toMargins ? " to the margins" : "")
                                .arg(caption->verticalAlignment)
                                .arg(qRound(format.leftMargin()))
                                .arg(qRound(format.rightMargin()))
                                .arg(qRound(format.topMargin()))
                                .arg(qRound(format.bottomMargin()))
                                .arg(contentText(caption->content));
                }
            }
        }
        const QTextBlockFormat format = block.blockFormat();
        // The spacing as the word processor keeps it: in percent of the font size, or a kind and points.
        QString spacing;
        if (const double percent = LayoutUnits::PercentSpacing(block); percent > 0) {
            spacing = QStringLiteral("%1 %").arg(qRound(percent));
        } else if (format.hasProperty(LayoutUnits::kFixedSpacingProperty)) {
            spacing = QStringLiteral("fixed %1").arg(format.doubleProperty(LayoutUnits::kFixedSpacingProperty));
        } else if (format.hasProperty(LayoutUnits::kAddedSpacingProperty)) {
            spacing = QStringLiteral("added %1").arg(format.doubleProperty(LayoutUnits::kAddedSpacingProperty));
        } else {
            const QString kinds[] = {{}, {}, QStringLiteral("fixed"), QStringLiteral("least"), QStringLiteral("added")};
            spacing = QStringLiteral("%1 %2")
                          .arg(kinds[format.lineHeightType()])
                          .arg(std::round(LayoutUnits::ToPoints(format.lineHeight()) * 100) / 100);
        }
        line += QStringLiteral("align %1%2 line %3 margins %4/%5/%6/%7/%8")
                    .arg(int(format.alignment() & Qt::AlignHorizontal_Mask))
                    .arg(format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore ? " new page" : "")
                    .arg(spacing)
                    .arg(textStart(block))
                    .arg(format.rightMargin())
                    .arg(format.textIndent())
                    .arg(format.topMargin())
                    .arg(format.bottomMargin());
        if (QTextList* list = block.textList()) {
            const QTextListFormat listFormat = list->format();
            const auto style = ListNumbering::StyleOf(listFormat);
            line += QStringLiteral(" list %1 %2 indent %3 marker %4")
                        .arg(style ? int(*style) : -1)
                        .arg(int(listFormat.style()))
                        .arg(listFormat.indent())
                        .arg(ListNumbering::MarkerText(block));
        }
        for (auto it = block.begin(); !it.atEnd(); ++it)
            line += QStringLiteral(" «%1» %2")
                        .arg(it.fragment().text(), describeChars(it.fragment().charFormat(), document));
        lines.append(line);
    }
    return lines;
}

struct RoundTrip
{
    QByteArray bytes;
    bool read = false;
    QString error;
    PageGeometry page;
    std::unique_ptr<QTextDocument> document = std::make_unique<QTextDocument>();
};

RoundTrip roundTrip(const QTextDocument& original, const PageGeometry& page = PageGeometry())
{
    RoundTrip trip;
    trip.bytes = HwpFile::Bytes(original, page, &trip.error);
    trip.document->setDefaultFont(original.defaultFont());
    if (!trip.bytes.isEmpty())
        trip.read = HwpFile::Read(*trip.document, trip.page, trip.bytes, &trip.error);
    return trip;
}

// Every file the tests write goes through both outside readers; their text must be ours.
void checkOutside(const QByteArray& bytes, const QTextDocument& document, const QString& name)
{
    static QTemporaryDir dir;
    const QString path = WriteTestFile(dir.filePath(name + QStringLiteral(".hwp")), bytes);
    const auto olefile = OutsideHwpReaders::CheckWithOlefile(path);
    QVERIFY2(olefile.ran && olefile.ok, qPrintable(OutsideHwpReaders::Describe(olefile)));
    const auto hwpjs = OutsideHwpReaders::ReadWithHwpjs(path);
    QVERIFY2(hwpjs.ran && hwpjs.ok, qPrintable(OutsideHwpReaders::Describe(hwpjs)));
    // Top-level paragraphs as the readers give them: controls left out, a line break as "\n".
    QStringList expected;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        // The empty paragraph Qt keeps after a table that ends the document is none of the file's.
        if (it.currentBlock().isValid() &&
            !(it.currentBlock() == document.lastBlock() && it.currentBlock().length() == 1 &&
              QTextCursor(it.currentBlock().previous()).currentTable()))
            expected.append(it.currentBlock()
                                .text()
                                .remove(QChar::ObjectReplacementCharacter)
                                .replace(QChar::LineSeparator, u'\n')
                                .replace(QChar::Nbsp, u' '));
    }
    QStringList scripts;
    for (int position : FormulaObject::Positions(document))
        scripts.append(FormulaObject::Script(FormulaObject::FormatAt(document, position)));
    for (const QJsonObject& report : {olefile.report, hwpjs.report})
        QCOMPARE(OutsideHwpReaders::Strings(report.value(QStringLiteral("paragraphs")).toArray()), expected);
    QCOMPARE(OutsideHwpReaders::Strings(olefile.report.value(QStringLiteral("equations")).toArray()), scripts);
    // hwpjs names a cell's equation twice, for the reason it names a table in a cell twice (below).
    QStringList equations = OutsideHwpReaders::Strings(hwpjs.report.value(QStringLiteral("equations")).toArray());
    equations.removeDuplicates();
    QStringList unique = scripts;
    unique.removeDuplicates();
    QCOMPARE(equations, unique);
    // Tables, nested ones included, by their size.
    QStringList tables;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextTable* table = QTextCursor(block).currentTable();
        if (table && table->firstPosition() == block.position())
            tables.append(QStringLiteral("%1x%2").arg(table->rows()).arg(table->columns()));
    }
    const auto sizes = [](const QJsonArray& found) {
        QStringList list;
        for (const QJsonValue& table : found) {
            const QString size = QStringLiteral("%1x%2")
                                     .arg(table[QLatin1String("rows")].toInt())
                                     .arg(table[QLatin1String("cols")].toInt());
            list.append(size);
        }
        return list;
    };
    QCOMPARE(sizes(olefile.report.value(QStringLiteral("tables")).toArray()), tables);
    // The hwpjs report names a table in a cell twice: hwpjs keeps the cell's paragraphs both in the cell and in
    // a list beside the table, and the report looks into both.
    QStringList byHwpjs = sizes(hwpjs.report.value(QStringLiteral("tables")).toArray());
    byHwpjs.removeDuplicates();
    tables.removeDuplicates();
    QCOMPARE(byHwpjs, tables);
}

// The records of the file written for `document`, which goes through the outside readers first.
Parsed written(const QTextDocument& document, const PageGeometry& page = PageGeometry())
{
    static int files = 0;
    const QByteArray bytes = HwpFile::Bytes(document, page);
    checkOutside(bytes, document, QStringLiteral("written-%1").arg(++files));
    Parsed parsed;
    const auto streams = HwpContainer::ReadStreams(bytes);
    if (!streams)
        return parsed;
    parsed.streams = *streams;
    const auto records = [&](const QString& name) {
        const auto inflated = HwpContainer::Inflate(streams->value(name));
        const auto list = inflated ? HwpRecords::Parse(*inflated) : std::nullopt;
        return list ? *list : QList<Record>();
    };
    parsed.docInfo = records(QStringLiteral("DocInfo"));
    parsed.section = records(QStringLiteral("BodyText/Section0"));
    return parsed;
}

std::unique_ptr<QTextDocument> formattedDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    const auto run = [&cursor](const QString& text, const std::function<void(QTextCharFormat&)>& set) {
        QTextCharFormat format;
        set(format);
        cursor.insertText(text, format);
    };
    run(QStringLiteral("보통 "), [](QTextCharFormat&) {});
    run(QStringLiteral("굵게 "), [](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); });
    run(QStringLiteral("기울임 "), [](QTextCharFormat& f) { f.setFontItalic(true); });
    run(QStringLiteral("밑줄 "), [](QTextCharFormat& f) { f.setFontUnderline(true); });
    run(QStringLiteral("취소선 "), [](QTextCharFormat& f) { f.setFontStrikeOut(true); });
    run(QStringLiteral("2"), [](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); });
    run(QStringLiteral("i"), [](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); });
    run(QStringLiteral(" 빨강"), [](QTextCharFormat& f) { f.setForeground(QColor(200, 0, 0)); });
    run(QStringLiteral(" 형광"), [](QTextCharFormat& f) { f.setBackground(QColor(255, 255, 0)); });
    run(QStringLiteral(" 돋움 14"), [](QTextCharFormat& f) {
        f.setFontFamilies({QStringLiteral("NanumGothic")});
        f.setFontPointSize(14);
    });
    cursor.insertText(QStringLiteral("\t탭") + QChar(QChar::LineSeparator) + QStringLiteral("줄") + QChar(QChar::Nbsp),
                      QTextCharFormat());
    const auto paragraph = [&cursor](Qt::Alignment alignment, double left, double indent, double before,
                                     QTextBlockFormat::LineHeightTypes type, double height, const QString& text) {
        QTextBlockFormat format;
        format.setAlignment(alignment);
        format.setLeftMargin(left);
        format.setRightMargin(left / 2);
        format.setTextIndent(indent);
        format.setTopMargin(before);
        format.setBottomMargin(before * 2);
        if (type != QTextBlockFormat::SingleHeight)
            format.setLineHeight(height, type);
        cursor.insertBlock(format, QTextCharFormat());
        cursor.insertText(text);
    };
    paragraph(Qt::AlignHCenter, 10, 0, 3, QTextBlockFormat::ProportionalHeight, 160, QStringLiteral("가운데"));
    paragraph(Qt::AlignRight, 0, 0, 0, QTextBlockFormat::FixedHeight, 20, QStringLiteral("오른쪽"));
    paragraph(Qt::AlignJustify, 20, -10, 0, QTextBlockFormat::MinimumHeight, 15, QStringLiteral("양쪽"));
    paragraph(Qt::AlignLeft, 0, 12, 0, QTextBlockFormat::LineDistanceHeight, 4, QStringLiteral("왼쪽"));
    paragraph(Qt::AlignLeft, 0, 0, 0, QTextBlockFormat::SingleHeight, 0, QString());
    QTextBlockFormat newPage; // as the editor's page break makes it
    newPage.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    cursor.insertBlock(newPage, QTextCharFormat());
    cursor.insertText(QStringLiteral("다음 쪽 ") + QString(2100, u'가')); // a text record past 4095 bytes
    return document;
}

std::unique_ptr<QTextDocument> listDocument()
{
    using Style = ListNumbering::Style;
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    cursor.insertText(QStringLiteral("문제"));
    for (Style style : {Style::Decimal, Style::Parenthesized, Style::Circled, Style::HangulSyllable, Style::HangulJamo,
                        Style::Bullet}) {
        QTextListFormat format = ListNumbering::Format(style);
        cursor.insertBlock();
        QTextList* list = cursor.createList(format);
        cursor.insertText(QStringLiteral("첫째"));
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("둘째"));
        list->add(cursor.block());
    }
    // A second level under the last list's items.
    cursor.insertBlock();
    QTextListFormat deeper = ListNumbering::Format(Style::HangulSyllable);
    deeper.setIndent(2);
    deeper.setNumberSuffix(QStringLiteral(")"));
    cursor.createList(deeper);
    cursor.insertText(QStringLiteral("안쪽"));
    // And one at the tenth level, past the seven every file knows.
    cursor.insertBlock();
    QTextListFormat tenth = ListNumbering::Format(Style::Decimal);
    tenth.setIndent(10);
    cursor.createList(tenth);
    cursor.insertText(QStringLiteral("열째"));
    return document;
}

std::unique_ptr<QTextDocument> tableDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    cursor.insertText(QStringLiteral("표 위"));
    QTextTable* table = cursor.insertTable(3, 3, TableEditing::GridFormat());
    QTextCursor cells = table->cellAt(0, 0).firstCursorPosition();
    TableEditing::SetColumnWidths(cells, {QTextLength(QTextLength::FixedLength, 100),
                                          QTextLength(QTextLength::FixedLength, 60),
                                          QTextLength(QTextLength::FixedLength, 140)});
    table->mergeCells(0, 0, 2, 1);
    table->mergeCells(2, 1, 1, 2);
    table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("세로 병합"));
    QTextCursor bordered = table->cellAt(0, 1).firstCursorPosition();
    bordered.insertText(QStringLiteral("굵은 테두리"));
    TableEditing::SetCellBorders(bordered, 3);
    QTextCursor none = table->cellAt(0, 2).firstCursorPosition();
    TableEditing::SetCellBorders(none, 0);
    // Each side its own, as an imported document's cells may have.
    QTextTableCell sides = table->cellAt(1, 1);
    QTextTableCellFormat format = sides.format().toTableCellFormat();
    // Left, right, top and bottom; widths in points, as the layout takes them.
    const std::tuple<double, QTextFrameFormat::BorderStyle, QColor> own[] = {
        {3, QTextFrameFormat::BorderStyle_Dashed, QColor(200, 0, 0)},
        {1, QTextFrameFormat::BorderStyle_Dotted, Qt::black},
        {0, QTextFrameFormat::BorderStyle_None, Qt::black},
        {2, QTextFrameFormat::BorderStyle_Double, QColor(0, 0, 200)},
    };
    for (int side = 0; side < 4; ++side) {
        const auto& [points, style, colour] = own[side];
        format.setProperty(kSides[side][0], LayoutUnits::FromPoints(points));
        format.setProperty(kSides[side][1], int(style));
        format.setProperty(kSides[side][2], QBrush(colour));
    }
    sides.setFormat(format);
    // A backslash dashed in blue, and a plain slash in another cell.
    const auto diagonal = [table](int row, int column, const CellDiagonals::Diagonals& diagonals) {
        QTextTableCell cell = table->cellAt(row, column);
        QTextCharFormat crossed = cell.format();
        CellDiagonals::Set(crossed, diagonals);
        cell.setFormat(crossed);
    };
    diagonal(1, 2, {CellDiagonals::kBackslash, 2, QTextFrameFormat::BorderStyle_Dashed, QColor(0, 0, 200)});
    diagonal(2, 0, {CellDiagonals::kSlash, 1, QTextFrameFormat::BorderStyle_Solid, Qt::black});
    QTextCursor shaded = table->cellAt(2, 1).firstCursorPosition();
    shaded.insertText(QStringLiteral("가로 병합"));
    TableEditing::SetCellShading(shaded, QColor(230, 230, 250));
    shaded.insertBlock();
    shaded.insertText(QStringLiteral("둘째 문단"));
    QTextTable* inner = shaded.insertTable(1, 2, TableEditing::GridFormat());
    inner->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("안쪽 표"));
    QTextCursor after(document.get());
    after.movePosition(QTextCursor::End);
    after.insertText(QStringLiteral("표 아래"));
    // And a table as the very last thing, with the paragraph Qt keeps after it.
    after.insertBlock();
    after.insertTable(1, 1, TableEditing::GridFormat())->cellAt(0, 0).firstCursorPosition().insertText(u"끝"_s);
    return document;
}

// A table in a cell with the cell's text going on below it: the table's paragraph holds nothing of its own, the
// text goes on in the block after the table, and no empty paragraph comes between them.
std::unique_ptr<QTextDocument> tableInCellDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextTable* outer = QTextCursor(document.get()).insertTable(1, 1, TableEditing::GridFormat());
    outer->cellAt(0, 0).firstCursorPosition().insertTable(1, 1, TableEditing::GridFormat());
    outer->cellAt(0, 0).lastCursorPosition().insertText(QStringLiteral("아래"));
    QTextCursor below(document.get());
    below.movePosition(QTextCursor::End);
    below.insertText(QStringLiteral("표 아래"));
    return document;
}

// A page number beside a header that holds one, a footer on even pages, and tables with captions beside and
// above them.
std::unique_ptr<QTextDocument> decoratedDocument()
{
    using namespace PageDecorations;
    const auto content = [](const QString& text) {
        QTextDocument paragraphs;
        QTextCursor(&paragraphs).insertText(text);
        return Content(paragraphs);
    };
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    cursor.insertText(QStringLiteral("본문"));
    Margins margins;
    margins.headers.append(
        {content(QStringLiteral("머리말 ") + QChar(kPageNumberMark) + QStringLiteral(" 쪽")), Pages::Both, 0});
    margins.footers.append({content(QStringLiteral("짝수 쪽 꼬리말")), Pages::Even, 2});
    margins.number = {6, 0, {}, {}, u'-'};
    SetMargins(*document, margins);
    for (const Side side : {Side::Left, Side::Top}) {
        QTextTable* table = cursor.insertTable(1, 2, TableEditing::GridFormat());
        table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("칸"));
        QTextTableFormat format = table->format();
        Caption caption;
        caption.content = content(side == Side::Left ? QStringLiteral("표 1 왼쪽") : QStringLiteral("표 2 위"));
        caption.side = side;
        caption.gap = 567;
        caption.width = 5000;
        caption.textWidth = side == Side::Top ? 30000 : 14000;
        caption.verticalAlignment = side == Side::Left ? 2 : 0;
        caption.toMargins = side == Side::Top;
        SetCaption(format, caption, 200);
        table->setFormat(format);
        cursor = table->lastCursorPosition();
        cursor.movePosition(QTextCursor::NextBlock);
        cursor.insertText(QStringLiteral("표 뒤"));
    }
    return document;
}

// Formulas among text, two in a row, in a table's cell and alone at the end, and a picture on a centred line of
// its own, as the editor places them.
std::unique_ptr<QTextDocument> objectDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int x = 0; x < 30; ++x)
        image.setPixelColor(x, x % 20, QColor(x * 8, 100, 255 - x * 8));
    document->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("vellorin-picture:1")), image);
    QTextCursor cursor(document.get());
    cursor.insertText(QStringLiteral("넓이는 "));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(QStringLiteral("{1} over {2} ah"), 13, QColor(0, 0, 160)));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(QStringLiteral("a over b"), 10, Qt::black));
    cursor.insertText(QStringLiteral(" 이다."));
    QTextCursor cell = cursor.insertTable(1, 2, TableEditing::GridFormat())->cellAt(0, 1).firstCursorPosition();
    cell.insertText(QStringLiteral("칸 "));
    cell.insertText(QString(QChar::ObjectReplacementCharacter),
                    FormulaObject::MakeFormat(QStringLiteral("x_k"), 11.5, QColor(0, 128, 0)));
    // The picture in the paragraph after the table.
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(centred);
    QTextImageFormat picture;
    picture.setName(QStringLiteral("vellorin-picture:1"));
    picture.setWidth(60);
    picture.setHeight(40);
    cursor.insertImage(picture);
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(QStringLiteral("sqrt {x^2 +1}"), 20, Qt::black));
    return document;
}

} // namespace

Q_DECLARE_METATYPE(PageGeometry)

namespace {

// The model as the editor takes it: ids resolved to what they name, only the fields the editor reads, the page and
// columns of the first definitions, the headers and footers of the first section, a paragraph's text after a table
// as a paragraph of its own, empty paragraphs left out. What the writer does not write yet is left out when `unwritten`
// names it: "later sections" (their pages), "later columns" (columns that change inside the document), "objects" (drawn
// shapes, notes and other objects the editor cannot show), "floating pictures" (written as characters on a line of
// their own). A document read, written and read again gives the same lines, line records aside. The values, in words,
// one space apart.
template <typename... Values> QString words(const Values&... values)
{
    QStringList list;
    (list.append(QVariant::fromValue(values).toString()), ...);
    return list.join(u' ');
}

// A model without what the writer does not write back (objects it cannot write yet, tables and equations the
// file left without their records, styles) and without where each paragraph stood in its file.
void forgetUnwritten(HwpModel::Paragraphs& paragraphs)
{
    using HwpModel::Control;
    for (HwpModel::Paragraph& paragraph : paragraphs) {
        paragraph.source = -1;
        paragraph.style = 0; // the writer keeps one style
        QString text;
        QList<int> moved(paragraph.text.size() + 1, 0);
        std::vector<Control> kept;
        std::size_t next = 0;
        for (qsizetype i = 0; i < paragraph.text.size(); ++i) {
            moved[i] = int(text.size());
            const ushort code = paragraph.text[i].unicode();
            if (code < 32 && HwpModel::IsExtendedControl(code) && next < paragraph.controls.size()) {
                Control& control = paragraph.controls[next++];
                if (control.kind == Control::Kind::Other || control.kind == Control::Kind::Invisible ||
                    (control.kind == Control::Kind::Picture && control.picture.binId < 0) ||
                    (control.kind == Control::Kind::Table && !control.table.known) ||
                    (control.kind == Control::Kind::Equation && !control.equation.known))
                    continue;
                if (control.table.caption)
                    forgetUnwritten(control.table.caption->paragraphs);
                forgetUnwritten(control.margin.paragraphs);
                for (HwpModel::Cell& cell : control.table.cells)
                    forgetUnwritten(cell.paragraphs);
                kept.push_back(std::move(control));
            }
            text += paragraph.text[i];
        }
        moved.last() = int(text.size());
        QList<HwpModel::CharRun> runs;
        for (HwpModel::CharRun run : std::as_const(paragraph.runs)) {
            run.position = moved[std::clamp<qsizetype>(run.position, 0, paragraph.text.size())];
            if (!runs.isEmpty() && runs.last().position == run.position)
                runs.last() = run;
            else
                runs.append(run);
        }
        paragraph.text = text;
        paragraph.runs = runs;
        paragraph.controls = std::move(kept);
    }
}

QStringList modelLines(const HwpModel::Document& model, const QStringList& unwritten = {})
{
    using HwpModel::Control;
    const HwpModel::DocInfo& info = model.info;
    const auto fillOf = [&info](int id) {
        if (id < 1 || id > info.borderFills.size() || !info.borderFills[id - 1].known)
            return QStringLiteral("-");
        const HwpModel::BorderFill& fill = info.borderFills[id - 1];
        QStringList sides;
        for (const HwpModel::Border& side : fill.sides)
            sides.append(side.type == 0
                             ? QStringLiteral("0")
                             : QStringLiteral("%1/%2/%3").arg(side.type).arg(side.millimetres).arg(side.colour, 0, 16));
        return sides.join(u',') + QStringLiteral(" diag %1%2 face %3")
                                      .arg(fill.slash ? 1 : 0)
                                      .arg(fill.backslash ? 1 : 0)
                                      .arg(fill.face == 0xFFFFFF ? HwpModel::kNoColour : fill.face, 0, 16);
    };
    const auto charOf = [&info](int id) {
        if (id < 0 || id >= info.charShapes.size() || !info.charShapes[id].known)
            return QStringLiteral("plain");
        const HwpModel::CharShape& shape = info.charShapes[id];
        const int face = shape.faces[0];
        const QString name = face >= 0 && face < info.fonts[0].size() ? info.fonts[0][face] : QString();
        const int relative =
            shape.relativeSizes[0] >= 10 && shape.relativeSizes[0] <= 250 ? shape.relativeSizes[0] : 100;
        // The line's place, below or above; a line through the text is the strike-out's.
        const quint32 line = (shape.properties >> 2) & 3;
        const quint32 bits = (shape.properties & 3) | (line == 2 ? 0 : line << 2) | (shape.properties & (3u << 15)) |
                             ((shape.properties >> 18) & 7 ? 1u << 18 : 0);
        return words(name, qint64(shape.height) * relative / 100, shape.ratios[0], shape.spacings[0], bits,
                     shape.textColour, shape.shadeColour == 0xFFFFFF ? HwpModel::kNoColour : shape.shadeColour);
    };
    int outline = 0;
    const auto paraOf = [&info, &outline](int id) {
        HwpModel::ParaShape shape;
        if (id >= 0 && id < info.paraShapes.size())
            shape = info.paraShapes[id];
        QString head = QStringLiteral("none");
        const int numbering = shape.heading == HwpModel::Heading::Outline ? outline : shape.numbering;
        if (shape.heading == HwpModel::Heading::Bullet) {
            head = QStringLiteral("bullet");
        } else if (shape.heading != HwpModel::Heading::None && numbering >= 1 && numbering <= info.numberings.size()) {
            const HwpModel::ParaHead& level = info.numberings[numbering - 1][shape.level];
            if (!level.pattern.isEmpty())
                head = words(level.numberShape, level.pattern, shape.level);
        }
        return u'a' + words(shape.alignment >= 4 ? 0 : shape.alignment, shape.left, shape.right, shape.indent,
                            shape.above, shape.below, int(shape.lineSpacingType), shape.lineSpacing, head);
    };
    QStringList lines;
    QStringList decorations; // the first section's headers, footers and page number
    bool sawPage = false;
    bool sawColumns = false;
    bool inMargin = false;
    int section = 0;
    std::function<void(const HwpModel::Paragraphs&, int, bool)> paragraphs;
    const auto control = [&](const Control& object, int depth) -> QString {
        const QString indent(depth, u' ');
        switch (object.kind) {
        case Control::Kind::Table: {
            const HwpModel::Table& table = object.table;
            // Of the table's own lines the editor takes whether there are any, and how thick the top one is.
            QString grid = QStringLiteral("-");
            if (table.borderFill >= 1 && table.borderFill <= info.borderFills.size()) {
                const HwpModel::BorderFill& fill = info.borderFills[table.borderFill - 1];
                grid = std::all_of(fill.sides.cbegin(), fill.sides.cend(),
                                   [](const HwpModel::Border& side) { return side.type == 0; })
                           ? u"none"_s
                           : QString::number(fill.sides[2].millimetres);
            }
            lines.append(
                QStringLiteral("%1table %2x%3 grid %4").arg(indent).arg(table.rows).arg(table.columns).arg(grid));
            if (table.caption) {
                const HwpModel::Caption& caption = *table.caption;
                lines.append(indent + words(u"caption"_s, caption.side, caption.toMargins, caption.verticalAlignment,
                                            caption.width, caption.gap, caption.textWidth));
                paragraphs(caption.paragraphs, depth + 1, false);
            }
            for (const HwpModel::Cell& cell : table.cells) {
                const bool own = std::any_of(cell.margins.cbegin(), cell.margins.cend(), [](int m) { return m > 0; });
                const std::array<int, 4>& margins = own ? cell.margins : table.margins;
                // The room below the text: a row at least as tall as stored gives what its text leaves to the
                // bottom margin, less the spacing below the last line.
                int content = 0;
                int spacing = 0;
                if (!cell.paragraphs.empty() && !cell.paragraphs.back().lines.isEmpty()) {
                    content = cell.paragraphs.back().lines.last().top + cell.paragraphs.back().lines.last().height;
                    spacing = cell.paragraphs.back().lines.last().spacing;
                }
                const int below =
                    (cell.rowSpan == 1 && cell.height > 0 ? std::max(margins[3], cell.height - margins[2] - content)
                                                          : margins[3]) -
                    spacing;
                lines.append(indent + words(u"cell"_s, cell.row, cell.column, cell.rowSpan, cell.columnSpan, cell.width,
                                            below, margins[0], margins[1], margins[2], fillOf(cell.borderFill)));
                paragraphs(cell.paragraphs, depth + 1, false);
            }
            return QStringLiteral("⟨table⟩");
        }
        case Control::Kind::Equation:
            return object.equation.known && !object.equation.script.trimmed().isEmpty()
                       ? u'⟨' +
                             words(u"eq"_s, object.equation.script, object.equation.baseUnit, object.equation.colour) +
                             u'⟩'
                       : QString();
        case Control::Kind::Picture:
            if (model.binData.contains(object.picture.binId) && unwritten.contains(u"floating pictures"_s))
                return QStringLiteral("⟨picture %1x%2⟩").arg(object.picture.width).arg(object.picture.height);
            if (model.binData.contains(object.picture.binId))
                return u'⟨' +
                       words(u"picture"_s, object.picture.asCharacter,
                             object.picture.asCharacter ? 0 : object.picture.horizontal, object.picture.width,
                             object.picture.height) +
                       u'⟩';
            return unwritten.contains(u"objects"_s) ? QString() : QStringLiteral("⟨drawn⟩");
        case Control::Kind::Header:
        case Control::Kind::Footer: {
            const QString kind = object.kind == Control::Kind::Header ? u"header"_s : u"footer"_s;
            const QString line =
                QStringLiteral("%1 %2 %3").arg(kind).arg(object.margin.pages).arg(object.margin.verticalAlignment);
            if (section > 0 || std::any_of(decorations.cbegin(), decorations.cend(), [&](const QString& kept) {
                    return kept.startsWith(kind + u' ' + QString::number(object.margin.pages) + u' ');
                }))
                return {};
            const QStringList outer = std::exchange(lines, {});
            inMargin = true;
            paragraphs(object.margin.paragraphs, 1, false);
            inMargin = false;
            decorations.append(line + u'\n' + lines.join(u'\n'));
            lines = outer;
            return {};
        }
        case Control::Kind::PageNumber:
            if (section == 0 && !std::any_of(decorations.cbegin(), decorations.cend(),
                                             [](const QString& kept) { return kept.startsWith(u"page number"_s); }))
                decorations.append(words(u"page number"_s, object.pageNumber.shape, object.pageNumber.position,
                                         object.pageNumber.prefix, object.pageNumber.suffix, object.pageNumber.dash));
            return {};
        case Control::Kind::AutoNumber:
            // A header's or footer's page number is each page's; any other number stands as the number it had.
            return object.autoNumber.kind == 0 && inMargin ? u"⟨page⟩"_s : QString::number(object.autoNumber.number);
        case Control::Kind::SectionDef:
            if (!object.page || ((sawPage || section > 0) && unwritten.contains(u"later sections"_s)))
                return {};
            sawPage = true;
            return u'⟨' +
                   words(u"page"_s, object.page->paperWidth, object.page->paperHeight, object.page->landscape,
                         object.page->left, object.page->right, object.page->top, object.page->bottom,
                         object.page->header, object.page->footer, object.page->gutter) +
                   u'⟩';
        case Control::Kind::ColumnDef:
            if ((sawColumns && unwritten.contains(u"later columns"_s)) ||
                (section > 0 && unwritten.contains(u"later sections"_s)))
                return {};
            sawColumns = true;
            return QStringLiteral("⟨columns %1 %2⟩")
                .arg(object.columnCount)
                .arg(object.columnCount > 1 ? object.columnGap : 0);
        case Control::Kind::Invisible:
            return {};
        case Control::Kind::Other:
            return unwritten.contains(u"objects"_s) ? QString()
                                                    : QStringLiteral("⟨object %1⟩").arg(int(object.dropped));
        }
        return {};
    };
    paragraphs = [&](const HwpModel::Paragraphs& list, int depth, bool sectionStart) {
        for (const HwpModel::Paragraph& paragraph : list) {
            qsizetype at = lines.size();
            QString text;
            QStringList runs;
            QString shape;
            const QString head = QString(depth, u' ') + (paragraph.pageBreak || sectionStart ? u"page "_s : u" "_s) +
                                 paraOf(paragraph.paraShape);
            const auto put = [&] {
                // An empty paragraph is left to the block count: the editor takes one after a table into the
                // block Qt keeps there, and writes that block as a paragraph of its own.
                // A picture on a line of its own is written as a character of its line, with the picture's
                // alignment for the paragraph's.
                QString shown = head;
                if (unwritten.contains(u"floating pictures"_s) && text.startsWith(u"⟨picture"_s) &&
                    text.endsWith(u'⟩') && text.count(u'⟨') == 1)
                    shown.replace(QRegularExpression(u"^(\\s*(page )?)a\\d"_s), u"\\1a*"_s);
                if (!text.isEmpty())
                    lines.insert(at, QStringLiteral("%1 «%2» %3").arg(shown, text, runs.join(u' ')));
                text.clear();
                runs.clear();
                shape.clear();
            };
            qsizetype run = 0;
            qsizetype next = 0;
            for (qsizetype i = 0; i < paragraph.text.size(); ++i) {
                while (run < paragraph.runs.size() && paragraph.runs[run].position <= i)
                    ++run;
                const ushort code = paragraph.text[i].unicode();
                bool shown = code >= 32 || code == 9 || code == 10 || code == 24 || code == 30 || code == 31;
                QString piece = shown ? QString(paragraph.text[i]) : QString();
                bool table = false;
                if (HwpModel::IsExtendedControl(code) && next < qsizetype(paragraph.controls.size())) {
                    const Control& object = paragraph.controls[std::size_t(next++)];
                    piece = control(object, depth + 1);
                    shown = object.kind == Control::Kind::Equation;
                    table = object.kind == Control::Kind::Table;
                }
                if (piece.isEmpty())
                    continue;
                // Only what shows takes a shape.
                if (const QString now = charOf(run > 0 ? paragraph.runs[run - 1].shape : 0); shown && now != shape) {
                    runs.append(QStringLiteral("%1:%2").arg(text.size()).arg(now));
                    shape = now;
                }
                text += piece;
                // What follows a table in its paragraph is a paragraph of its own.
                if (table && i + 1 < paragraph.text.size()) {
                    put();
                    at = lines.size();
                }
            }
            put();
            sectionStart = false;
        }
    };
    for (const HwpModel::Section& each : model.sections) {
        outline = each.outlineNumbering;
        paragraphs(each.paragraphs, 0, section > 0);
        ++section;
    }
    return lines + decorations;
}

} // namespace

class TestHwpWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streamsBesideTheBody();
    void paragraphRecords();
    void storedForms();
    void unwritable();
    void roundTrips_data();
    void roundTrips();
    void decorationsInTheOwnFormat();
    void samplesKeepTheirModel();
};

// What the outside readers do not look at: the picture's bytes, the preview and the summary.
void TestHwpWriter::streamsBesideTheBody()
{
    const auto document = objectDocument();
    const Parsed parsed = written(*document);
    const auto png = HwpContainer::Inflate(parsed.streams.value(QStringLiteral("BinData/BIN0001.png")));
    QVERIFY(png);
    QCOMPARE(QImage::fromData(*png, "PNG").pixelColor(1, 1), QColor(8, 100, 247));
    const QByteArray preview = parsed.streams.value(QStringLiteral("PrvText"));
    QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(preview.constData()), preview.size() / 2),
             QStringLiteral("넓이는    이다.\r\n\r\n칸  \r\n \r\n "));
    const QByteArray summary = parsed.streams.value(QStringLiteral("\005HwpSummaryInformation"));
    QVERIFY(summary.startsWith("\xfe\xff"));
    QCOMPARE(summary.mid(28, 4), QByteArray::fromHex("60b6a29f")); // the word processor's format id
    QVERIFY(summary.contains(QByteArray("V\0e\0l\0l\0o\0r\0i\0n\0", 16)));
}

// Each paragraph's header against its records: the control mask names every control in the text (line breaks
// too, which the outside readers do not check), and only the last paragraph of a list is marked as such.
void TestHwpWriter::paragraphRecords()
{
    QList<bool> lastMarks;
    for (const auto& document : {formattedDocument(), tableInCellDocument(), tableDocument()}) {
        const Parsed parsed = written(*document);
        lastMarks.clear();
        for (qsizetype i = 0; i < parsed.section.size(); ++i) {
            const Record& header = parsed.section[i];
            if (header.tag != HwpRecords::ParaHeader)
                continue;
            HwpRecords::DataReader in(header.data);
            lastMarks.append(in.u32() & 0x80000000u);
            const quint32 mask = in.u32();
            const bool hasText = i + 1 < parsed.section.size() && parsed.section[i + 1].tag == HwpRecords::ParaText;
            const QByteArray text = hasText ? parsed.section[i + 1].data : QByteArray();
            quint32 seen = 0;
            for (qsizetype u = 0; u + 1 < text.size();) {
                const quint16 unit = qFromLittleEndian<quint16>(text.constData() + u);
                if (unit < 32 && unit != 13)
                    seen |= 1u << unit;
                // Controls other than the one-unit ones (line break, paragraph end, blanks) take eight units.
                u += unit < 24 && unit != 0 && unit != 10 && unit != 13 ? 16 : 2;
            }
            QCOMPARE(mask, seen);
            if (hasText) // every text ends the paragraph
                QCOMPARE(qFromLittleEndian<quint16>(text.constData() + text.size() - 2), quint16(13));
        }
    }
    // In the order the records come: the paragraph above the table, the table's cells (the seventh holding two
    // paragraphs, the second with the table in it, whose cells follow), the paragraph below, the last table's
    // paragraph and its cell.
    QCOMPARE(lastMarks,
             (QList<bool>{false, true, true, true, true, true, true, false, true, true, true, false, true, true}));
}

// Values whose stored form our own reader forgives but the word processor does not.
void TestHwpWriter::storedForms()
{
    const auto document = formattedDocument();
    PageGeometry page;
    page.paperWidth = 84188; // A4 on its side
    page.paperHeight = 59528;
    const Parsed parsed = written(*document, page);
    const Record pageDef = withTag(parsed.section, HwpRecords::PageDef).value(0);
    HwpRecords::DataReader paper(pageDef.data);
    QCOMPARE(paper.u32(), 59528u); // stored upright …
    QCOMPARE(paper.u32(), 84188u);
    paper.skip(7 * 4);
    QCOMPARE(paper.u32() & 1, 1u); // … and marked as lying on its side
    // Equal shapes are stored once: ten kinds of run, the paragraphs' own formats all plain.
    QCOMPARE(withTag(parsed.docInfo, HwpRecords::CharShape).size(), 10);
    const Parsed lists = written(*listDocument());
    const Record circled = withTag(lists.docInfo, HwpRecords::Numbering).value(2);
    HwpRecords::DataReader numbering(circled.data, 12);
    QCOMPARE(numbering.string(), QStringLiteral("^1")); // circled digits stand alone, without Qt's dot
    // The tenth level: the level bits of its paragraph's shape stop at the seventh, and the whole level follows
    // the spacing; its numbering's tenth pattern comes after the first seven's start numbers and two more.
    const Record lastParagraph = withTag(lists.section, HwpRecords::ParaHeader).constLast();
    const Record deepShape =
        withTag(lists.docInfo, HwpRecords::ParaShape).value(HwpRecords::DataReader(lastParagraph.data, 8).u16());
    QCOMPARE(HwpRecords::DataReader(deepShape.data).u32() >> 25 & 0x7, 6u);
    QCOMPARE(HwpRecords::DataReader(deepShape.data, 54).u32(), 9u);
    // The reader keeps a reference to the bytes: the record is held for as long as it reads.
    const Record deepNumbering = withTag(lists.docInfo, HwpRecords::Numbering).constLast();
    HwpRecords::DataReader deep(deepNumbering.data);
    QStringList patterns;
    for (int level = 0; level < 10; ++level) {
        if (level == 7)
            deep.skip(2 + 7 * 4);
        deep.skip(12);
        patterns.append(deep.string());
    }
    QCOMPARE(patterns.mid(6), QStringList({"^7.", "^8.", "^9.", "^10."}));

    // A picture whose pixels are gone is left out, its paragraph kept.
    QTextDocument lost;
    QTextImageFormat missing;
    missing.setName(QStringLiteral("vellorin-picture:9"));
    QTextCursor(&lost).insertImage(missing);
    const Parsed withoutPicture = written(lost);
    QCOMPARE(withTag(withoutPicture.section, HwpRecords::ParaHeader).size(), 1);
    QVERIFY(withTag(withoutPicture.section, HwpRecords::ShapeComponentPicture).isEmpty());
    // So is one whose extension (a damaged file's) no stream name can hold, rather than the whole file.
    std::optional<HwpModel::Document> odd = HwpFile::ReadModel(HwpFile::Bytes(*objectDocument(), PageGeometry()));
    QVERIFY(odd && odd->binData.size() == 1);
    odd->info.binItems[odd->binData.keys().first()].extension = QString(30, u'x');
    const std::optional<HwpModel::Document> back = HwpFile::ReadModel(HwpFile::Bytes(*odd));
    QVERIFY(back && back->binData.isEmpty());

    // A table without widths in a cell shares the cell's width, not the page's.
    const auto tables = tableDocument();
    const Parsed withCells = written(*tables);
    quint32 cellWidth = 0;
    for (const Record& record : withCells.section) {
        HwpRecords::DataReader in(record.data);
        if (record.tag == HwpRecords::ListHeader) {
            in.skip(16); // to the cell's width
            cellWidth = in.u32();
        } else if (record.tag == HwpRecords::CtrlHeader && record.level > 1 && in.u32() == 0x74626c20 /* "tbl " */ &&
                   cellWidth > 0) {
            in.skip(12); // to the table's width
            QVERIFY2(in.u32() <= cellWidth, "a table is wider than its cell");
        }
    }
    // The diagonals: their shapes (2, corner to corner) in the attributes, slash then backslash, and their line.
    QStringList diagonals;
    for (const Record& record : withTag(withCells.docInfo, HwpRecords::BorderFill)) {
        HwpRecords::DataReader fill(record.data);
        const quint16 attributes = fill.u16();
        fill.skip(4 * 6);
        const int type = fill.u8();
        const int width = fill.u8();
        if (attributes & 0xfc)
            diagonals.append(QStringLiteral("%1/%2 %3 %4 %5")
                                 .arg(attributes >> 2 & 7)
                                 .arg(attributes >> 5 & 7)
                                 .arg(type)
                                 .arg(width)
                                 .arg(fill.u32(), 6, 16, QChar(u'0')));
    }
    QCOMPARE(diagonals, QStringList({QStringLiteral("0/2 2 9 c80000"), QStringLiteral("2/0 1 1 000000")}));
    // The outer table's own border fill is the one its cells without borders of their own (the first) use.
    const Record outer = withTag(withCells.section, HwpRecords::Table).value(0);
    const Record firstCell = withTag(withCells.section, HwpRecords::ListHeader).value(0);
    HwpRecords::DataReader table(outer.data, 18 + 2 * 3), cell(firstCell.data, 32);
    QCOMPARE(table.u16(), cell.u16());
}

void TestHwpWriter::unwritable()
{
    const auto document = formattedDocument();
    // A folder that cannot hold files, whoever runs the test: its name is taken by a file.
    QTemporaryDir dir;
    const QString blocker = WriteTestFile(dir.filePath(QStringLiteral("blocker")), {});
    QString error;
    QVERIFY(!HwpFile::Save(*document, PageGeometry(), blocker + QStringLiteral("/문제.hwp"), &error));
    QVERIFY2(error.startsWith(QStringLiteral("파일을 쓸 수 없습니다.")), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("blocker")});
    QCOMPARE(QFileInfo(blocker).size(), 0);

    PageGeometry broken;
    broken.paperWidth = 0;
    error.clear();
    QVERIFY(HwpFile::Bytes(*document, broken, &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void TestHwpWriter::roundTrips_data()
{
    QTest::addColumn<std::shared_ptr<QTextDocument>>("document");
    QTest::addColumn<PageGeometry>("page");
    PageGeometry b4; // on its side, in two columns, every length its own
    b4.paperWidth = 72852;
    b4.paperHeight = 51588;
    b4.topMargin = 2835;
    b4.bottomMargin = 2126;
    b4.leftMargin = 4252;
    b4.rightMargin = 3969;
    b4.headerLength = 1417;
    b4.footerLength = 850;
    b4.gutter = 567;
    b4.columnCount = 2;
    b4.columnGap = 2268;
    QTest::newRow("text and formats") << std::shared_ptr<QTextDocument>(formattedDocument()) << PageGeometry();
    QTest::newRow("lists") << std::shared_ptr<QTextDocument>(listDocument()) << PageGeometry();
    QTest::newRow("tables") << std::shared_ptr<QTextDocument>(tableDocument()) << PageGeometry();
    QTest::newRow("table in a cell") << std::shared_ptr<QTextDocument>(tableInCellDocument()) << PageGeometry();
    QTest::newRow("objects on B4") << std::shared_ptr<QTextDocument>(objectDocument()) << b4;
    QTest::newRow("captions, headers and footers")
        << std::shared_ptr<QTextDocument>(decoratedDocument()) << PageGeometry();
}

// Saved and reopened, then saved and reopened again, for what a reopened document writes otherwise.
void TestHwpWriter::roundTrips()
{
    QFETCH(std::shared_ptr<QTextDocument>, document);
    QFETCH(PageGeometry, page);
    const RoundTrip trip = roundTrip(*document, page);
    QVERIFY2(trip.read, qPrintable(trip.error));
    checkOutside(trip.bytes, *document, QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    const RoundTrip again = roundTrip(*trip.document, trip.page);
    QVERIFY2(again.read, qPrintable(again.error));
    const QStringList before = describe(*document);
    const QStringList names = DocumentFile::PictureNames(*document);
    const auto image = [](const QTextDocument& d, const QString& name) {
        return d.resource(QTextDocument::ImageResource, QUrl(name))
            .value<QImage>()
            .convertToFormat(QImage::Format_RGB32);
    };
    for (const RoundTrip* back : {&trip, &again}) {
        QCOMPARE(back->page, page);
        QCOMPARE(describe(*back->document), before);
        QCOMPARE(back->document->blockCount(), document->blockCount());
        // The pictures' own pixels, whatever names the reader gives them.
        const QStringList namesBack = DocumentFile::PictureNames(*back->document);
        QCOMPARE(namesBack.size(), names.size());
        for (qsizetype i = 0; i < names.size(); ++i)
            QCOMPARE(image(*back->document, namesBack[i]), image(*document, names[i]));
    }
}

void TestHwpWriter::decorationsInTheOwnFormat()
{
    // The editor's own format, which its clipboard and its kept copies use, holds captions, headers, footers and
    // the page number as HWP does.
    const std::unique_ptr<QTextDocument> document = decoratedDocument();
    QBuffer native;
    native.setData(DocumentFile::NativeBytes(*document, PageGeometry()));
    QVERIFY(native.open(QIODevice::ReadOnly));
    QTextDocument reopened;
    reopened.setDefaultFont(document->defaultFont());
    PageGeometry page;
    QVERIFY(DocumentFile::ReadNative(reopened, page, native));
    QCOMPARE(describe(reopened), describe(*document));
    // A caption that is no caption is a damaged file, not a table with nonsense beside it.
    QByteArray damaged = native.data();
    const QByteArray caption = document->rootFrame()
                                   ->childFrames()
                                   .first()
                                   ->format()
                                   .property(PageDecorations::kCaptionProperty)
                                   .toByteArray();
    const qsizetype at = damaged.lastIndexOf(caption);
    QVERIFY(at > 0);
    damaged[at] = char(9); // an unknown version of the caption's own stream
    QBuffer broken(&damaged);
    QVERIFY(broken.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY(!DocumentFile::ReadNative(reopened, page, broken, &error));
    QVERIFY(!error.isEmpty());
}

// Every shared sample that opens, read, written and read again: the same model, as far as the editor takes it.
void TestHwpWriter::samplesKeepTheirModel()
{
    // What the writer does not write yet, by sample.
    const QHash<QString, QStringList> unwritten = {
        {u"aligns.hwp"_s, {u"objects"_s}},
        {u"lists.hwp"_s, {u"later sections"_s}},
        {u"matrix.hwp"_s, {u"objects"_s}},
        {u"multicolumns.hwp"_s, {u"later columns"_s}},
        {u"multicolumns-layout.hwp"_s, {u"later columns"_s, u"objects"_s}},
        {u"pagedefs.hwp"_s, {u"later sections"_s}},
        {u"sample-5017.hwp"_s, {u"floating pictures"_s}},
    };
    QStringList differences;
    QTemporaryDir folder;
    for (const QString& name : ReadableSamples()) {
        const QByteArray bytes = ReadSample(name);
        const std::optional<HwpModel::Document> read = HwpFile::ReadModel(bytes);
        QVERIFY2(read, qPrintable(name));
        // The shapes alone, through the DocInfo stream and back: the writer's records say what the reader reads.
        const auto records = HwpRecords::Parse(HwpDocInfo::Write(read->info));
        QVERIFY(records);
        if (!(HwpDocInfo::Read(*records) == read->info))
            differences.append(name + u": the shapes changed through the DocInfo stream"_s);
        QTextDocument document;
        PageGeometry page;
        QVERIFY(HwpFile::Read(document, page, bytes));
        QString error;
        const QByteArray written = HwpFile::Bytes(document, page);
        const std::optional<HwpModel::Document> again = HwpFile::ReadModel(written, &error);
        QVERIFY2(again, qPrintable(name + u' ' + error));
        QTextDocument reopened;
        QVERIFY(HwpFile::Read(reopened, page, written));
        if (reopened.blockCount() != document.blockCount())
            differences.append(QStringLiteral("%1: %2 blocks, %3 once written")
                                   .arg(name)
                                   .arg(document.blockCount())
                                   .arg(reopened.blockCount()));
        // The model alone through the writer: what it writes comes back as it was, the word processor's line
        // records and the objects' sizes included.
        const QByteArray own = HwpFile::Bytes(*read);
        const std::optional<HwpModel::Document> direct = HwpFile::ReadModel(own, &error);
        QVERIFY2(direct, qPrintable(name + u' ' + error));
        // Other readers look for as many sections as the document information counts.
        if (read->sections.size() > 1) {
            const auto olefile = OutsideHwpReaders::CheckWithOlefile(WriteTestFile(folder.filePath(name), own));
            if (!olefile.ok)
                differences.append(OutsideHwpReaders::Describe(olefile));
        }
        HwpModel::Document expected = *read;
        HwpModel::Document back = *direct;
        for (HwpModel::Document* model : {&expected, &back}) {
            for (HwpModel::Section& section : model->sections)
                forgetUnwritten(section.paragraphs);
        }
        for (std::size_t s = 0; s < std::max(expected.sections.size(), back.sections.size()); ++s) {
            const HwpModel::Paragraphs none;
            const HwpModel::Paragraphs& from = s < expected.sections.size() ? expected.sections[s].paragraphs : none;
            const HwpModel::Paragraphs& to = s < back.sections.size() ? back.sections[s].paragraphs : none;
            const auto [at, _] = std::mismatch(from.cbegin(), from.cend(), to.cbegin(), to.cend());
            if (at != from.cend() || from.size() != to.size())
                differences.append(QStringLiteral("%1: section %2 paragraph %3 changed through its own bytes")
                                       .arg(name)
                                       .arg(s)
                                       .arg(at - from.cbegin()));
        }
        if (!(expected.info == back.info && expected.binData == back.binData))
            differences.append(name + u": the shapes or pictures changed through its own bytes"_s);
        const QStringList before = modelLines(*read, unwritten.value(name));
        const QStringList after = modelLines(*again, unwritten.value(name));
        for (qsizetype i = 0; i < std::max(before.size(), after.size()); ++i) {
            if (before.value(i) != after.value(i)) {
                differences.append(
                    QStringLiteral("%1 line %2:\n  read:\n    %3\n  written:\n    %4")
                        .arg(name)
                        .arg(i)
                        .arg(before.mid(i - 2, 5).join(u"\n    "_s), after.mid(i - 2, 5).join(u"\n    "_s)));
                break;
            }
        }
    }
    for (const QString& difference : std::as_const(differences))
        qWarning("%s", qPrintable(difference));
    QVERIFY2(differences.isEmpty(), "a model changed on its way through the writer; its first line differing is above");
}

QTEST_MAIN(TestHwpWriter)
#include "tst_hwpwriter.moc"
