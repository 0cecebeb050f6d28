#include "document/CellDiagonals.h"
#include "document/FormulaObject.h"
#include "document/HwpmlReader.h"
#include "document/HwpShapes.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/PageDecorations.h"
#include "document/TableEditing.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpFile.h"
#include "document/hwp/Records.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QtEndian>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

// The paragraphs of the body (outside tables), as plain text.
QStringList bodyParagraphs(const QTextDocument& document)
{
    QStringList paragraphs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!QTextCursor(block).currentTable())
            paragraphs.append(block.text());
    }
    return paragraphs;
}

// The preview text the word processor keeps of a document: its paragraphs, cut at about a thousand characters.
QString previewText(const QByteArray& file)
{
    const auto streams = HwpContainer::ReadStreams(file);
    const QByteArray preview = streams ? streams->value(QStringLiteral("PrvText")) : QByteArray();
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(preview.constData()), preview.size() / 2);
}

struct Opened
{
    bool ok = false;
    QString error;
    DroppedObjects dropped;
    PageGeometry page;
    // Read, with nothing left out.
    bool clean() const { return ok && dropped.Total() == 0; }
    QByteArray why() const { return (error + u' ' + dropped.Describe()).toLocal8Bit(); }
};

Opened open(QTextDocument& document, const QByteArray& bytes)
{
    Opened opened;
    opened.ok = HwpFile::Read(document, opened.page, bytes, &opened.error, &opened.dropped);
    return opened;
}

QString contentText(const QByteArray& content)
{
    return PageDecorations::ContentDocument(content, 100)->toPlainText();
}

// Little-endian 32-bit and 16-bit values, as records hold them.
QByteArray words(std::initializer_list<quint32> values)
{
    HwpRecords::DataWriter writer;
    for (quint32 value : values)
        writer.u32(value);
    return writer.data();
}

QByteArray halves(std::initializer_list<quint16> values)
{
    HwpRecords::DataWriter writer;
    for (quint16 value : values)
        writer.u16(value);
    return writer.data();
}

} // namespace

// A small HWP 5.0 file made here, for what the samples do not hold (merged cells, shading) and for damage
// placed exactly. Records are given as (tag, level, data).
struct MiniHwp
{
    QByteArray docInfo;
    QByteArray section;
    quint32 properties = 0x1; // compressed
    quint32 version = 0x05000300;
    HwpContainer::Streams more;

    void add(QByteArray& stream, quint16 tag, quint16 level, const QByteArray& data)
    {
        HwpRecords::Append(stream, tag, level, data);
    }
    // A paragraph of `text` at `level`. A line break takes one unit; another control character ("\t", "\x0b"
    // for a table or a picture, "\x11" for a note) eight, as in the file.
    void paragraph(quint16 level, const QString& text, quint8 breaks = 0, quint16 shape = 0)
    {
        HwpRecords::DataWriter writer;
        for (QChar c : text) {
            if (c == u'\n')
                writer.u16(10);
            else if (c.unicode() < 32)
                writer.u16(c.unicode()).u32(0).zeros(8).u16(c.unicode());
            else
                writer.u16(c.unicode());
        }
        writer.u16(13);
        add(section, HwpRecords::ParaHeader, level,
            words({quint32(writer.data().size() / 2), 0}) + halves({shape, quint16(breaks << 8), 1, 0, 0}) + words({0}));
        add(section, HwpRecords::ParaText, level + 1, writer.data());
    }
    QByteArray bytes() const
    {
        QByteArray header("HWP Document File");
        header.resize(32, '\0');
        header += HwpRecords::DataWriter().u32(version).u32(properties).zeros(216).data();
        const bool compressed = properties & 0x1;
        HwpContainer::Streams streams = more;
        streams.insert(QStringLiteral("FileHeader"), header);
        streams.insert(QStringLiteral("DocInfo"), compressed ? HwpContainer::Deflate(docInfo) : docInfo);
        streams.insert(QStringLiteral("BodyText/Section0"), compressed ? HwpContainer::Deflate(section) : section);
        return HwpContainer::WriteStreams(streams);
    }
};

// A 2×2 table whose first row is one cell across both columns, shaded by border fill 1.
MiniHwp mergedTable()
{
    MiniHwp file;
    HwpRecords::DataWriter fill;
    fill.u16(0);
    for (int side = 0; side < 4; ++side)
        fill.u8(1).u8(7).u32(0x0000ff);                         // solid, 0.5 mm, red
    fill.u8(0).u8(0).u32(0).u32(1).u32(0x00ff00).u32(0).u32(0); // no diagonal; a green face
    file.add(file.docInfo, HwpRecords::BorderFill, 0, fill.data());
    file.paragraph(0, QStringLiteral("앞\x0b뒤"));
    file.add(file.section, HwpRecords::CtrlHeader, 1, HwpRecords::DataWriter().u32(0x74626c20).zeros(40).data());
    // A caption comes before the table's own record; the editor leaves it out.
    file.add(file.section, HwpRecords::ListHeader, 2, HwpRecords::DataWriter().u32(1).zeros(24).data());
    file.paragraph(2, QStringLiteral("캡션"));
    file.add(file.section, HwpRecords::Table, 2,
             HwpRecords::DataWriter().u32(0).u16(2).u16(2).zeros(10).u16(1).u16(1).u16(0).data());
    const struct
    {
        quint16 column, row, columnSpan, borderFill;
        const char16_t* text;
    } cells[] = {{0, 0, 2, 1, u"가"}, {0, 1, 1, 0, u"나"}, {1, 1, 1, 0, u"다"}};
    for (const auto& cell : cells) {
        file.add(file.section, HwpRecords::ListHeader, 2,
                 words({1, 0}) + halves({cell.column, cell.row, cell.columnSpan, 1}) +
                     words({cell.columnSpan == 1 ? 7200u : 14400u, 1000, 0, 0}) + halves({cell.borderFill}));
        file.paragraph(2, QString::fromUtf16(cell.text));
    }
    return file;
}

// Makes the first sector of `stream`'s chain point to itself, as a damaged or hostile FAT would.
QByteArray loopChain(QByteArray file, const QString& stream)
{
    const auto u32 = [&file](qsizetype at) { return qFromLittleEndian<quint32>(file.constData() + at); };
    const qsizetype sectorSize = qsizetype(1) << qFromLittleEndian<quint16>(file.constData() + 30);
    const auto sector = [&](quint32 n) { return 512 + qsizetype(n) * sectorSize; };
    const quint32 firstFat = u32(76);
    for (quint32 dir = u32(48); dir < 0xfffffffa; dir = u32(sector(firstFat) + 4 * dir)) {
        for (qsizetype entry = sector(dir); entry < sector(dir) + sectorSize; entry += 128) {
            const int nameBytes = qFromLittleEndian<quint16>(file.constData() + entry + 64);
            const QString name = QString::fromUtf16(reinterpret_cast<const char16_t*>(file.constData() + entry),
                                                    std::max(0, nameBytes / 2 - 1));
            if (name == stream) {
                const quint32 start = u32(entry + 116);
                qToLittleEndian<quint32>(start, file.data() + sector(firstFat) + 4 * start);
                return file;
            }
        }
    }
    qFatal("No stream %s in the file", qPrintable(stream));
}

// One document as both readers' forms give it: the same cells, numbering, captions, headers and footers, written
// once as HWP 5.0 records and once as HWP XML, so that a rule either reader applies is seen to reach both.
struct Shared
{
    struct Cell
    {
        int row = 0;
        int column = 0;
        int rowSpan = 1;
        int columnSpan = 1;
        QString text = {};
        bool nested = false; // a 1×1 table holding `text`, then a paragraph "뒤"
    };
    QList<int> levels = {}; // numbered paragraphs, "a", "b", … at these levels (from 0)
    int rows = 0;      // a table, when above 0
    int columns = 0;
    QList<Cell> cells = {};
    QString caption = {};
    int diagonals = 0; // border fill 1's: 1 the slash, 2 the backslash
    QString header = {};
    QString footer = {};

    static QString letter(int i) { return QString(QChar(u'a' + i)); }

    QByteArray hwp() const
    {
        MiniHwp file;
        HwpRecords::DataWriter fill;
        fill.u16(quint16((diagonals & 1 ? 1 : 0) << 2 | (diagonals & 2 ? 1 : 0) << 5));
        for (int side = 0; side < 4; ++side)
            fill.u8(1).u8(1).u32(0);
        fill.u8(1).u8(3).u32(0x0000ff).u32(0); // the diagonals: solid, 0.2 mm, red; no face
        file.add(file.docInfo, HwpRecords::BorderFill, 0, fill.data());
        HwpRecords::DataWriter numbering;
        for (int level = 0; level < 10; ++level) {
            if (level == 7)
                numbering.u16(1).zeros(4 * 7);
            numbering.u32(0).u16(0).u16(0).u32(0).string(QStringLiteral("^%1.").arg(level + 1));
        }
        file.add(file.docInfo, HwpRecords::Numbering, 0, numbering.data());
        // Shape 0 plain, shape 1 + n numbered at level n: the level whole after the spacing, and in the first
        // attribute as far as its bits go.
        for (int shape = 0; shape <= 10; ++shape) {
            const quint32 level = shape > 0 ? quint32(shape - 1) : 0;
            const quint32 properties = shape > 0 ? (2u << 23 | std::min(level, 7u) << 25) : 0;
            file.add(file.docInfo, HwpRecords::ParaShape, 0,
                     HwpRecords::DataWriter()
                         .u32(properties)
                         .zeros(24)
                         .u16(0)
                         .u16(shape > 0 ? 1 : 0)
                         .zeros(14)
                         .u32(0)
                         .i32(160)
                         .u32(level)
                         .data());
        }
        for (qsizetype i = 0; i < levels.size(); ++i)
            file.paragraph(0, letter(int(i)), 0, quint16(levels[i] + 1));
        if (!header.isEmpty() || !footer.isEmpty()) {
            file.paragraph(0, QStringLiteral("\x10\x10"));
            for (const auto& [id, text] : {std::pair{HwpRecords::kHeaderCtrl, header}, {HwpRecords::kFooterCtrl, footer}}) {
                file.add(file.section, HwpRecords::CtrlHeader, 1, words({id, 0}));
                file.add(file.section, HwpRecords::ListHeader, 2, words({1, 0}));
                file.paragraph(2, text);
            }
        }
        if (rows > 0)
            table(file, 0, rows, columns, cells, caption);
        return file.bytes();
    }
    static void table(MiniHwp& file, quint16 level, int rows, int columns, const QList<Cell>& cells,
                      const QString& caption)
    {
        file.paragraph(level, QStringLiteral("\x0b"));
        file.add(file.section, HwpRecords::CtrlHeader, level + 1, words({HwpRecords::kTableCtrl}) + QByteArray(40, 0));
        if (!caption.isEmpty()) {
            file.add(file.section, HwpRecords::ListHeader, level + 2, words({1, 0, 3, 8504}) + halves({850}) + words({0}));
            file.paragraph(level + 2, caption);
        }
        file.add(file.section, HwpRecords::Table, level + 2,
                 words({0}) + halves({quint16(rows), quint16(columns), 0, 0, 0, 0, 0}) +
                     QByteArray(2 * rows, 0) + halves({1}));
        for (const Cell& cell : cells) {
            // Spans the file cannot hold (negative, past 16 bits) are the damage a writer of 16 bits makes of them.
            file.add(file.section, HwpRecords::ListHeader, level + 2,
                     words({1, 0}) +
                         halves({quint16(cell.column), quint16(cell.row), quint16(std::clamp(cell.columnSpan, 0, 65535)),
                                 quint16(std::clamp(cell.rowSpan, 0, 65535))}) +
                         words({7200, 1000, 0, 0}) + halves({1}));
            if (cell.nested) {
                table(file, level + 2, 1, 1, {Cell{.text = cell.text}}, {});
                file.paragraph(level + 2, QStringLiteral("뒤"));
            } else {
                file.paragraph(level + 2, cell.text);
            }
        }
    }

    QByteArray hwpml() const
    {
        QByteArray head = "<BORDERFILLLIST Count=\"1\"><BORDERFILL Id=\"1\" Slash=\"" +
                          QByteArray::number(diagonals & 1) + "\" BackSlash=\"" + QByteArray::number(diagonals >> 1) +
                          "\">";
        for (const char* side : {"LEFT", "RIGHT", "TOP", "BOTTOM"})
            head += QByteArray("<") + side + "BORDER Type=\"Solid\" Width=\"0.12mm\" Color=\"0\"/>";
        head += "<DIAGONAL Type=\"Solid\" Width=\"0.2mm\" Color=\"255\"/></BORDERFILL></BORDERFILLLIST>"
                "<NUMBERINGLIST Count=\"1\"><NUMBERING Id=\"1\">";
        for (int level = 1; level <= 10; ++level)
            head += "<PARAHEAD Level=\"" + QByteArray::number(level) + "\" NumFormat=\"Digit\">^" +
                    QByteArray::number(level) + ".</PARAHEAD>";
        head += "</NUMBERING></NUMBERINGLIST><PARASHAPELIST><PARASHAPE Id=\"0\"/>";
        for (int level = 0; level < 10; ++level)
            head += "<PARASHAPE Id=\"" + QByteArray::number(level + 1) + "\" HeadingType=\"Number\" Heading=\"1\" Level=\"" +
                    QByteArray::number(level) + "\"/>";
        head += "</PARASHAPELIST>";
        QByteArray body;
        for (qsizetype i = 0; i < levels.size(); ++i)
            body += "<P ParaShape=\"" + QByteArray::number(levels[i] + 1) + "\"><TEXT><CHAR>" +
                    letter(int(i)).toUtf8() + "</CHAR></TEXT></P>";
        if (!header.isEmpty() || !footer.isEmpty())
            body += "<P ParaShape=\"0\"><TEXT><HEADER ApplyPageType=\"Both\">" + list(header) +
                    "</HEADER><FOOTER ApplyPageType=\"Both\">" + list(footer) + "</FOOTER></TEXT></P>";
        if (rows > 0)
            body += "<P ParaShape=\"0\"><TEXT>" + xmlTable(rows, columns, cells, caption) + "</TEXT></P>";
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><HWPML Version=\"2.8\"><HEAD SecCnt=\"1\"><MAPPINGTABLE>" + head +
               "</MAPPINGTABLE></HEAD><BODY><SECTION Id=\"0\">" + body + "</SECTION></BODY><TAIL></TAIL></HWPML>";
    }
    static QByteArray list(const QString& text)
    {
        return "<PARALIST><P ParaShape=\"0\"><TEXT><CHAR>" + text.toUtf8() + "</CHAR></TEXT></P></PARALIST>";
    }
    static QByteArray xmlTable(int rows, int columns, const QList<Cell>& cells, const QString& caption)
    {
        QByteArray table = "<TABLE RowCount=\"" + QByteArray::number(rows) + "\" ColCount=\"" +
                           QByteArray::number(columns) + "\" BorderFill=\"1\">";
        if (!caption.isEmpty())
            table += "<SHAPEOBJECT><CAPTION Side=\"Bottom\" Width=\"8504\" Gap=\"850\">" + list(caption) +
                     "</CAPTION></SHAPEOBJECT>";
        table += "<ROW>";
        for (const Cell& cell : cells) {
            table += QStringLiteral("<CELL ColAddr=\"%1\" RowAddr=\"%2\" ColSpan=\"%3\" RowSpan=\"%4\" Width=\"7200\" "
                                    "BorderFill=\"1\">")
                         .arg(cell.column)
                         .arg(cell.row)
                         .arg(cell.columnSpan)
                         .arg(cell.rowSpan)
                         .toUtf8();
            if (cell.nested)
                table += "<PARALIST><P ParaShape=\"0\"><TEXT>" + xmlTable(1, 1, {Cell{.text = cell.text}}, {}) +
                         "</TEXT></P><P ParaShape=\"0\"><TEXT><CHAR>뒤</CHAR></TEXT></P></PARALIST>";
            else
                table += list(cell.text);
            table += "</CELL>";
        }
        return table + "</ROW></TABLE>";
    }
};

// What a reader made of a document, in words: numbered paragraphs with their level and marker, each table's size
// and its cells (text, spans, diagonals, the blocks of a cell), captions, headers and footers, what was left out.
QString describe(const QTextDocument& document, const DroppedObjects& dropped)
{
    std::function<QString(QTextFrame::iterator)> flow;
    const auto table = [&flow](QTextTable* of) {
        QStringList cells{QStringLiteral("%1x%2").arg(of->rows()).arg(of->columns())};
        for (int row = 0; row < of->rows(); ++row)
            for (int column = 0; column < of->columns(); ++column) {
                const QTextTableCell at = of->cellAt(row, column);
                if (at.row() != row || at.column() != column)
                    continue;
                QString text = flow(at.begin());
                if (at.rowSpan() > 1 || at.columnSpan() > 1)
                    text += QStringLiteral("[%1x%2]").arg(at.rowSpan()).arg(at.columnSpan());
                if (const int lines = CellDiagonals::Of(at.format()).lines)
                    text += QStringLiteral("{%1}").arg(lines);
                if (!text.isEmpty())
                    cells.append(text);
            }
        if (const auto caption = PageDecorations::CaptionOf(of->format()))
            cells.append(QStringLiteral("caption:") + contentText(caption->content));
        return cells.join(u' ');
    };
    // The blocks of a flow: in a cell each one, joined by "/"; in the body the numbered ones and the tables.
    flow = [&table](QTextFrame::iterator it) {
        const bool body = !it.parentFrame()->parentFrame();
        QStringList parts;
        for (; !it.atEnd(); ++it) {
            if (auto* inner = qobject_cast<QTextTable*>(it.currentFrame()))
                parts.append(body ? table(inner) : u'[' + table(inner) + u']');
            else if (const QTextBlock block = it.currentBlock(); block.isValid() && block.textList())
                parts.append(QStringLiteral("L%1:%2%3")
                                 .arg(block.textList()->format().indent())
                                 .arg(ListNumbering::MarkerText(block), block.text()));
            else if (block.isValid() && !body)
                parts.append(block.text());
        }
        return parts.join(body ? u' ' : u'/');
    };
    QStringList words{flow(document.rootFrame()->begin())};
    const PageDecorations::Margins margins = PageDecorations::MarginsOf(document);
    for (const PageDecorations::Margin& header : margins.headers)
        words.append(QStringLiteral("header:") + contentText(header.content));
    for (const PageDecorations::Margin& footer : margins.footers)
        words.append(QStringLiteral("footer:") + contentText(footer.content));
    if (dropped.Total() > 0)
        words.append(QStringLiteral("dropped:") + dropped.Describe());
    return words.join(u' ').simplified();
}

Q_DECLARE_METATYPE(Shared)

class TestHwpReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bothReadersAgree_data()
    {
        QTest::addColumn<Shared>("document");
        QTest::addColumn<QString>("expected");
        using Cell = Shared::Cell;
        QTest::newRow("numbering levels 1 to 10")
            << Shared{.levels = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}
            << "L1:1.a L2:1.b L3:1.c L4:1.d L5:1.e L6:1.f L7:1.g L8:1.h L9:1.i L10:1.j";
        QTest::newRow("a span over a placed cell")
            << Shared{.rows = 2,
                      .columns = 2,
                      .cells = {Cell{.column = 1, .text = u"a"_s}, Cell{.rowSpan = 2, .columnSpan = 2, .text = u"b"_s}}}
            << "2x2 b a";
        QTest::newRow("a cell placed twice")
            << Shared{.rows = 1, .columns = 1, .cells = {Cell{.text = u"a"_s}, Cell{.text = u"b"_s}}} << "1x1 a/b";
        QTest::newRow("spans past the edge")
            << Shared{.rows = 2, .columns = 2, .cells = {Cell{.row = 1, .column = 1, .rowSpan = 5, .columnSpan = 5, .text = u"a"_s}}}
            << "2x2 a";
        QTest::newRow("huge and negative spans")
            << Shared{.rows = 2,
                      .columns = 2,
                      .cells = {Cell{.rowSpan = 99999999, .columnSpan = INT_MAX, .text = u"a"_s},
                                Cell{.row = 1, .column = 1, .rowSpan = -5, .columnSpan = INT_MIN, .text = u"b"_s}}}
            << "2x2 a/b[2x2]";
        QTest::newRow("a cell across two columns")
            << Shared{.rows = 2,
                      .columns = 2,
                      .cells = {Cell{.columnSpan = 2, .text = u"가"_s}, Cell{.row = 1, .text = u"나"_s},
                                Cell{.row = 1, .column = 1, .text = u"다"_s}}}
            << "2x2 가[1x2] 나 다";
        QTest::newRow("cells outside the table")
            << Shared{.rows = 1,
                      .columns = 1,
                      .cells = {Cell{.text = u"a"_s}, Cell{.column = 2000000000, .text = u"x"_s},
                                Cell{.row = -1, .text = u"y"_s}}}
            << "1x1 a dropped:표의 칸 2개";
        QTest::newRow("a table far too large")
            << Shared{.rows = 65535, .columns = 65535, .cells = {Cell{.text = u"a"_s}}} << "64x64 a";
        QTest::newRow("diagonals")
            << Shared{.rows = 1, .columns = 1, .cells = {Cell{.text = u"a"_s}}, .diagonals = 3} << "1x1 a{3}";
        QTest::newRow("a caption")
            << Shared{.rows = 1, .columns = 1, .cells = {Cell{.text = u"a"_s}}, .caption = u"표 1"_s}
            << "1x1 a caption:표 1";
        QTest::newRow("a header and a footer") << Shared{.header = u"머리"_s, .footer = u"꼬리"_s}
                                               << "header:머리 footer:꼬리";
        QTest::newRow("the paragraph after a nested table")
            << Shared{.rows = 1, .columns = 1, .cells = {Cell{.text = u"x"_s, .nested = true}}} << "1x1 /[1x1 x]/뒤";
    }

    // Each case, written in both forms, reads the same: a rule of the mapping reaches both readers.
    void bothReadersAgree()
    {
        QFETCH(Shared, document);
        QFETCH(QString, expected);
        QTextDocument binary;
        const Opened opened = open(binary, document.hwp());
        QVERIFY2(opened.ok, qPrintable(opened.error));
        QCOMPARE(describe(binary, opened.dropped), expected);
        QByteArray xml = document.hwpml();
        QBuffer buffer(&xml);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        HwpmlReader reader(&buffer);
        QTextDocument fromXml;
        QCOMPARE(reader.Read(fromXml), HwpmlReader::Outcome::Read);
        QCOMPARE(describe(fromXml, reader.Dropped()), expected);
    }

    void textAndCharacterShapes()
    {
        QTextDocument document;
        const QByteArray file = ReadSample(QStringLiteral("example.hwp"));
        const Opened opened = open(document, file);
        QVERIFY2(opened.clean(), opened.why());
        // The word processor's own preview holds the same paragraphs.
        QCOMPARE(bodyParagraphs(document).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), previewText(file));
        const QTextCharFormat title = document.begin().begin().fragment().charFormat();
        QCOMPARE(title.fontFamilies().toStringList(), QStringList{QStringLiteral("궁서체")});
        QCOMPARE(title.fontPointSize(), 13.0);

        // (text, strike-out, underline, bold), as the runs' own words say.
        const QStringList expected = {QStringLiteral("strikethrough S"), QStringLiteral("취소선 S"),
                                      QStringLiteral("밑줄 U"),          QStringLiteral("밑줄 U"),
                                      QStringLiteral("취소선 SU"),       QStringLiteral("굵게 UB")};
        QVERIFY(open(document, ReadSample(QStringLiteral("strikethrough.hwp"))).ok);
        QStringList runs;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                QString marks;
                if (format.fontStrikeOut())
                    marks += u'S';
                if (format.fontUnderline())
                    marks += u'U';
                if (format.fontWeight() == QFont::Bold)
                    marks += u'B';
                runs.append(it.fragment().text() + u' ' + marks);
            }
        }
        QCOMPARE(runs, expected);
    }

    void outlineLevels()
    {
        QTextDocument document;
        QVERIFY(open(document, ReadSample(QStringLiteral("outline.hwp"))).ok);
        QStringList seen;
        int numbered = 0;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            numbered += block.textList() ? 1 : 0;
            if (!block.text().isEmpty())
                seen.append(QStringLiteral("%1|%2|%3|%4")
                                .arg(block.text(), ListNumbering::MarkerText(block))
                                .arg(block.textList() ? block.textList()->format().indent() : 0)
                                .arg(HwpShapes::MarginBeforeNumber(block), 0, 'g', 4));
        }
        // Each level numbers in its own pattern, and a level goes on counting where it left off. Levels 8 to 10,
        // whose patterns the file leaves empty, have no number, their empty paragraphs neither. Each level's
        // shape starts its number 10 pt further in, as the word processor shows it.
        const QStringList expected = {
            QStringLiteral("개요 1|1.|1|10"),     QStringLiteral("개요2|가.|2|20"),
            QStringLiteral("개요3|1)|3|30"),      QStringLiteral("개요4|가)|4|40"),
            QStringLiteral("개요 5|(1)|5|50"),    QStringLiteral("개요 5-2|(2)|5|50"),
            QStringLiteral("개요2-2|나.|2|20"),   QStringLiteral("개요 6 |(가)|6|60"),
            QStringLiteral("개요 6-2|(나)|6|60"), QStringLiteral("개요7|①|7|70"),
            QStringLiteral("개요7-2|②|7|70"),     QStringLiteral("개요8||0|80"),
            QStringLiteral("개요9||0|90"),        QStringLiteral("개요10||0|100"),
            QStringLiteral("개요 1-2|2.|1|10"),
        };
        QCOMPARE(seen, expected);
        QCOMPARE(numbered, 12);
        QCOMPARE(document.findBlockByNumber(4).text(), QStringLiteral("개요3"));
        QCOMPARE(LayoutUnits::PercentSpacing(document.findBlockByNumber(4)), 160.0);
    }

    void pageAndParagraphs()
    {
        QTextDocument document;
        const Opened opened = open(document, ReadSample(QStringLiteral("page.hwp")));
        QVERIFY2(opened.clean(), opened.why());
        // Paper, margins (top, bottom, left, right), header, footer, gutter, columns and their gap.
        QVERIFY(opened.page == PageGeometry({59528, 84188, 5668, 4252, 8504, 8504, 4252, 4252, 0, 1, 0}));
        // The page number stands between dashes; at the foot of the page, in the middle, as the layout test sees it
        // drawn.
        QCOMPARE(PageDecorations::PageNumberText(PageDecorations::MarginsOf(document).number, 12),
                 QStringLiteral("- 12 -"));
        // The word processor's other shapes of numbers, with what stands around them.
        const auto shaped = [](int shape, int page, const QString& prefix = {}, const QString& suffix = {}) {
            return PageDecorations::PageNumberText({5, shape, prefix, suffix, QChar()}, page);
        };
        QCOMPARE(QStringList({shaped(1, 14), shaped(2, 1994), shaped(3, 14), shaped(4, 28), shaped(5, 2), shaped(8, 3),
                              shaped(10, 2), shaped(0, 3, u"("_qs, u")"_qs)}),
                 QStringList({u"⑭"_qs, u"MCMXCIV"_qs, u"xiv"_qs, u"BB"_qs, u"b"_qs, u"다"_qs, u"ㄴ"_qs, u"(3)"_qs}));
        QStringList texts = bodyParagraphs(document);
        texts.removeAll(QString());
        QCOMPARE(texts, QStringList({QStringLiteral("페이지1"), QStringLiteral("페이지2")}));

        // A landscape A4 page in two columns 1134 units apart, and a paragraph centred with margins, a hanging
        // first line and lines 15 points apart.
        MiniHwp file;
        file.add(file.docInfo, HwpRecords::ParaShape, 0,
                 words({3 << 2, 2000, 4000, quint32(-1000), 600, 800, 160}) + QByteArray(2 + 2 + 2 + 8 + 4, '\0') +
                     words({1, 3000}));
        file.paragraph(0, QStringLiteral("\x02\x02가"));
        file.add(file.section, HwpRecords::CtrlHeader, 1, HwpRecords::DataWriter().u32(0x73656364).zeros(30).data());
        file.add(file.section, HwpRecords::PageDef, 2, words({59528, 84188, 1000, 2000, 3000, 4000, 500, 600, 700, 1}));
        file.add(file.section, HwpRecords::CtrlHeader, 1,
                 HwpRecords::DataWriter().u32(0x636f6c64).u16(2 << 2 | 1 << 12).u16(1134).zeros(10).data());
        const Opened landscape = open(document, file.bytes());
        QVERIFY(landscape.ok);
        QVERIFY(landscape.page == PageGeometry({84188, 59528, 3000, 4000, 1000, 2000, 500, 600, 700, 2, 1134}));
        QCOMPARE(document.toPlainText(), QStringLiteral("가"));
        const QTextBlockFormat shape = document.begin().blockFormat();
        QCOMPARE(shape.alignment(), Qt::AlignHCenter);
        // A margin of 10 pt with the first line 5 pt out: the first line at 10, the rest at 15. The spaces above
        // and below in the layout's units; the fixed pitch in points.
        using LayoutUnits::ToPoints;
        QCOMPARE(
            QList<qreal>({shape.leftMargin(), shape.rightMargin(), shape.textIndent(), ToPoints(shape.topMargin()),
                          ToPoints(shape.bottomMargin()), shape.doubleProperty(LayoutUnits::kFixedSpacingProperty)}),
            QList<qreal>({15, 20, -5, 3, 4, 15}));
    }

    void tables()
    {
        QTextDocument document;
        Opened opened = open(document, ReadSample(QStringLiteral("table2.hwp")));
        QVERIFY2(opened.clean(), opened.why());
        const QList<QTextTable*> tables = TableEditing::Tables(document);
        QCOMPARE(tables.size(), 2);
        for (QTextTable* table : tables) {
            QCOMPARE(table->rows() * table->columns(), 1);
            // Cells drawn as the table's own fill draws them have the grid's lines as their own: solid, a point
            // wide.
            const QTextTableCellFormat cell = table->cellAt(0, 0).format().toTableCellFormat();
            QCOMPARE(cell.leftBorderStyle(), QTextFrameFormat::BorderStyle_Solid);
            QCOMPARE(LayoutUnits::ToPoints(cell.leftBorder()), 1.0);
            QCOMPARE(table->format().borderStyle(), QTextFrameFormat::BorderStyle_Solid);
            QCOMPARE(LayoutUnits::ToPoints(table->format().border()), 1.0);
        }

        opened = open(document, mergedTable().bytes());
        QVERIFY2(opened.clean(), opened.why());
        // The caption is the table's, not the body's.
        QVERIFY(!document.toPlainText().contains(QStringLiteral("캡션")));
        QTextTable* table = QTextCursor(document.findBlock(2)).currentTable();
        QVERIFY(table);
        const QTextTableCellFormat shaded = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE(shaded.background().color(), QColor(Qt::green));
        QCOMPARE(shaded.topBorderBrush().color(), QColor(Qt::red));
        QCOMPARE(LayoutUnits::ToPoints(shaded.topBorder()), 0.5 * 72 / 25.4);
        // Each column as wide as its cells, less the table's outer border, which the layout draws outside them.
        const double column = LayoutUnits::FromPoints(72 - LayoutUnits::ToPoints(table->format().border()));
        QCOMPARE(table->format().columnWidthConstraints(),
                 QList<QTextLength>(
                     {QTextLength(QTextLength::FixedLength, column), QTextLength(QTextLength::FixedLength, column)}));
        // The text around the table stays on either side of it.
        QCOMPARE(bodyParagraphs(document), QStringList({QStringLiteral("앞"), QStringLiteral("뒤")}));

        // However small each table, past 65536 cells in all tables are left out.
        MiniHwp many;
        for (int i = 0; i < 17; ++i)
            Shared::table(many, 0, 64, 64, {}, {});
        opened = open(document, many.bytes());
        QVERIFY(opened.ok);
        QCOMPARE(opened.dropped.Describe(), QStringLiteral("표 1개"));
    }

    // What the word processor draws around the text: captions on four sides of their tables, a header on every
    // page with the page's number in it, a footer on odd pages only.
    void captionsHeadersAndFooters()
    {
        using PageDecorations::Side;
        QTextDocument document;
        Opened opened = open(document, ReadSample(QStringLiteral("table-caption.hwp")));
        QVERIFY2(opened.clean(), opened.why());
        const QList<QTextTable*> tables = TableEditing::Tables(document);
        QCOMPARE(tables.size(), 8);
        const QList<Side> sides = {Side::Top,  Side::Bottom, Side::Left,   Side::Right,
                                   Side::Left, Side::Right,  Side::Bottom, Side::Bottom};
        const QStringList texts = {u"표 1 위 캡션"_qs,       u"표 2 아래 캡션"_qs,   u"표 3 왼쪽"_qs,
                                   u"표 4 오른쪽"_qs,        u"표 5 왼쪽 위"_qs,     u"표 6 오른쪽 아래"_qs,
                                   u"표 7 여백까지 확대"_qs, u"표 8 한 줄로 입력"_qs};
        // Those beside their tables aligned in the table's height, the fifth at the top, the sixth at the bottom,
        // the others centred; those above and below at the top, as the file keeps them.
        const QList<int> alignments = {0, 0, 1, 1, 0, 2, 0, 0};
        for (int i = 0; i < tables.size(); ++i) {
            const auto caption = PageDecorations::CaptionOf(tables[i]->format());
            QVERIFY(caption);
            QCOMPARE(caption->side, sides[i]);
            QCOMPARE(contentText(caption->content).section(u'\n', 0, 0), texts[i]);
            QCOMPARE(caption->verticalAlignment, alignments[i]);
            QCOMPARE(caption->gap, 850);    // 3 mm
            QCOMPARE(caption->width, 8504); // 30 mm beside the table
            QCOMPARE(caption->toMargins, i == 6);
            // Its room is the table's margin on its side, as much as the caption takes there.
            const QTextTableFormat format = tables[i]->format();
            const double margins[] = {format.leftMargin(), format.rightMargin(), format.topMargin(),
                                      format.bottomMargin()};
            for (int side = 0; side < 4; ++side)
                QCOMPARE(margins[side] > 0, side == int(sides[i]));
        }
        // A caption's lines are not the body's.
        QVERIFY(!document.toPlainText().contains(u"캡션"_qs));

        opened = open(document, ReadSample(QStringLiteral("headerfooter.hwp")));
        QVERIFY2(opened.clean(), opened.why());
        QCOMPARE(bodyParagraphs(document), QStringList({u"첫 페이지"_qs, QString()})); // the second holds the margins
        const PageDecorations::Margins margins = PageDecorations::MarginsOf(document);
        QCOMPARE(margins.headers.size(), 1);
        QCOMPARE(margins.footers.size(), 1);
        // The pages they go on and where they stand in their space the layout test sees drawn.
        QCOMPARE(contentText(margins.headers[0].content),
                 u"Header 이것은 머리말입니다"_qs + QChar(PageDecorations::kPageNumberMark) + u'.');
        QCOMPARE(contentText(margins.footers[0].content), u"Footer 이것은 꼬리말입니다."_qs);
        QCOMPARE(margins.number.position, 0);

        // A document opened after it keeps none of them.
        QVERIFY(open(document, ReadSample(QStringLiteral("example.hwp"))).ok);
        QVERIFY(PageDecorations::MarginsOf(document).isEmpty());
    }

    void formulasAndPictures()
    {
        QTextDocument document;
        const Opened opened = open(document, ReadSample(QStringLiteral("latex.hwp")));
        QVERIFY2(opened.clean(), opened.why());
        QStringList scripts;
        for (int position : FormulaObject::Positions(document))
            scripts.append(FormulaObject::Script(FormulaObject::FormatAt(document, position)));
        QString listed = QString::fromUtf8(ReadSample(QStringLiteral("latex-equations.txt")));
        QCOMPARE(scripts, listed.split(u'\n', Qt::SkipEmptyParts));
        QCOMPARE(
            FormulaObject::PointSize(FormulaObject::FormatAt(document, FormulaObject::Positions(document).first())),
            10.0);
        QCOMPARE(document.begin().text(), QStringLiteral("3."));

        int pictures = 0;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextImageFormat picture = it.fragment().charFormat().toImageFormat();
                if (!picture.isValid())
                    continue;
                ++pictures;
                const QImage image =
                    document.resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
                QVERIFY(!image.isNull());
                // Its size in the document, at 96 dpi, within the column.
                QVERIFY(picture.width() > 100 && picture.width() <= opened.page.columnWidth() * 96 / 72 + 0.01);
                QCOMPARE(picture.name(), QStringLiteral("vellorin-picture:1"));
            }
        }
        QCOMPARE(pictures, 1);
    }

    void objectsInParagraphs()
    {
        MiniHwp file;
        // A picture centred on a line of its own, stored as it is, in the middle of a paragraph.
        file.add(file.docInfo, HwpRecords::BinData, 0, HwpRecords::DataWriter().u16(0x21).u16(1).string("png").data());
        QImage red(20, 10, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
        file.more.insert(QStringLiteral("BinData/BIN0001.png"), png);
        // Text in a Korean face at 12 points, italic, raised, red on yellow.
        file.add(file.docInfo, HwpRecords::IdMappings, 0, HwpRecords::DataWriter().u32(1).u32(1).zeros(64).data());
        file.add(file.docInfo, HwpRecords::FaceName, 0,
                 HwpRecords::DataWriter().u8(0).string(QStringLiteral("나눔명조")).data());
        file.add(file.docInfo, HwpRecords::CharShape, 0,
                 QByteArray(14 + 28, '\0') + words({1200, 0x1 | 1 << 15}) + halves({0}) +
                     words({0x0000ff, 0, 0x00ffff, 0}));
        file.paragraph(0, QStringLiteral("그림\x0b끝"));
        file.add(
            file.section, HwpRecords::CtrlHeader, 1,
            HwpRecords::DataWriter().u32(0x67736f20).u32(1 << 10).u32(0).u32(0).u32(7200).u32(3600).zeros(20).data());
        file.add(file.section, HwpRecords::ShapeComponent, 2, QByteArray(40, '\0'));
        file.add(file.section, HwpRecords::ShapeComponentPicture, 3,
                 HwpRecords::DataWriter().zeros(71).u16(1).zeros(10).data());
        // A footnote: its own text is not the body's, the body's text around it stays.
        file.paragraph(0, QStringLiteral("본\t문\x11계\n속"), 0x04);
        file.add(file.section, HwpRecords::CtrlHeader, 1, HwpRecords::DataWriter().u32(0x666e2020).zeros(8).data());
        file.add(file.section, HwpRecords::ListHeader, 2, QByteArray(8, '\0'));
        file.paragraph(2, QStringLiteral("각주"));

        QTextDocument document;
        const Opened opened = open(document, file.bytes());
        QVERIFY2(opened.ok, qPrintable(opened.error));
        QCOMPARE(opened.dropped.Describe(), QStringLiteral("각주·미주 1개"));
        QCOMPARE(bodyParagraphs(document),
                 QStringList({QStringLiteral("그림"), QString(QChar::ObjectReplacementCharacter), QStringLiteral("끝"),
                              QStringLiteral("본\t문계\u2028속")}));
        const QTextCharFormat text = document.begin().begin().fragment().charFormat();
        QCOMPARE(text.fontFamilies().toStringList(), QStringList{QStringLiteral("나눔명조")});
        QCOMPARE(text.fontPointSize(), 12.0);
        QVERIFY(text.fontItalic() && text.fontWeight() != QFont::Bold);
        QCOMPARE(text.verticalAlignment(), QTextCharFormat::AlignSuperScript);
        QCOMPARE(text.foreground().color(), QColor(Qt::red));
        QCOMPARE(text.background().color(), QColor(Qt::yellow));
        const QTextBlock picture = document.findBlockByNumber(1);
        QCOMPARE(picture.blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(picture.next().blockFormat().alignment(), Qt::AlignJustify);
        const QTextImageFormat format = picture.begin().fragment().charFormat().toImageFormat();
        QCOMPARE(QSizeF(format.width(), format.height()), QSizeF(96, 48)); // an inch by half an inch at 96 dpi
        QCOMPARE(document.resource(QTextDocument::ImageResource, QUrl(format.name())).value<QImage>().pixelColor(0, 0),
                 QColor(Qt::red));
        // The second paragraph starts a new page.
        QVERIFY(!(picture.next().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore));
        QVERIFY(document.lastBlock().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("password") << ReadSample(QStringLiteral("password-12345.hwp")) << QStringLiteral("암호가 걸린");
        QTest::newRow("distribution") << ReadSample(QStringLiteral("distribution.hwp")) << QStringLiteral("배포용 문서");
        QTest::newRow("hwp 3") << QByteArray("HWP Document File V3.00 \x1a\x01\x02\x03\x04\x05") + QByteArray(300, 'x')
                               << QStringLiteral("HWP 3.0");
        QTest::newRow("other compound file")
            << HwpContainer::WriteStreams({{QStringLiteral("WordDocument"), QByteArray(600, 'w')}})
            << QStringLiteral("HWP 문서가 아닙니다");
        QTest::newRow("plain text") << QByteArray("안녕하세요") << QStringLiteral("HWP 문서가 아닙니다");
        MiniHwp drm = mergedTable();
        drm.properties |= 0x10;
        QTest::newRow("drm") << drm.bytes() << QStringLiteral("DRM");
        drm.properties = 0x1 | 0x100;
        QTest::newRow("certificate") << drm.bytes() << QStringLiteral("인증서 암호화");
        MiniHwp old = mergedTable();
        old.version = 0x03000000;
        QTest::newRow("version") << old.bytes() << QStringLiteral("버전");

        // Damage made from real files and from made ones.
        const QByteArray example = ReadSample(QStringLiteral("example.hwp"));
        for (qsizetype length :
             {qsizetype(0), qsizetype(7), qsizetype(512), qsizetype(4096), example.size() / 2, example.size() - 512})
            QTest::newRow(qPrintable(QStringLiteral("cut at %1").arg(length))) << example.left(length) << QString();
        MiniHwp pastEnd = mergedTable();
        pastEnd.section.append(QByteArray::fromHex("43000010") + "short"); // says 256 bytes, holds 5
        QTest::newRow("record past the end") << pastEnd.bytes() << QStringLiteral("스트림 끝");
        MiniHwp hugeSize = mergedTable();
        hugeSize.section.append(QByteArray::fromHex("4300f0ffffffffff") + "x"); // a 32-bit size of 4 GiB follows
        QTest::newRow("huge record size") << hugeSize.bytes() << QStringLiteral("스트림 끝");
        MiniHwp jump = mergedTable();
        jump.add(jump.section, HwpRecords::ParaText, 3, "xx");
        jump.add(jump.section, HwpRecords::ParaHeader, 0, QByteArray(24, '\0'));
        jump.add(jump.section, HwpRecords::ParaText, 2, "xx");
        QTest::newRow("level jump") << jump.bytes() << QStringLiteral("수준");
        MiniHwp tooMany = mergedTable();
        for (int i = 0; i <= HwpRecords::kMaxRecords; ++i)
            tooMany.add(tooMany.docInfo, HwpRecords::TabDef, 0, {});
        QTest::newRow("huge record count") << tooMany.bytes() << QStringLiteral("너무 많습니다");
        // A made file with one stream replaced, or taken out when `data` is null.
        const auto replaced = [](const QString& name, const QByteArray& data) {
            auto streams = *HwpContainer::ReadStreams(mergedTable().bytes());
            data.isNull() ? void(streams.remove(name)) : void(streams[name] = data);
            return HwpContainer::WriteStreams(streams);
        };
        for (const QString& stream : {u"DocInfo"_s, u"BodyText/Section0"_s})
            QTest::newRow(qPrintable(stream + u" not inflating"_s))
                << replaced(stream, "\xff\xff not deflate") << QStringLiteral("압축을 풀 수 없습니다");
        QTest::newRow("inflates too far") << replaced(u"DocInfo"_s, HwpContainer::Deflate(QByteArray(65 << 20, '\0')))
                                          << QStringLiteral("압축을 풀 수 없습니다");
        MiniHwp big = mergedTable();
        big.properties = 0; // stored as it is, so that DocInfo is large enough for a chain of its own
        for (int i = 0; i < 1000; ++i)
            big.add(big.docInfo, HwpRecords::TabDef, 0, QByteArray(8, '\0'));
        QTest::newRow("looping chain") << loopChain(big.bytes(), QStringLiteral("DocInfo")) << QString();
        QTest::newRow("no section") << replaced(u"BodyText/Section0"_s, {}) << QStringLiteral("Section0");
    }

    void refusals()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QTextDocument document;
        document.setPlainText(QStringLiteral("그대로"));
        PageGeometry page;
        page.columnCount = 3;
        const PageGeometry before = page;
        QString why;
        DroppedObjects dropped;
        QVERIFY(!HwpFile::Read(document, page, file, &why, &dropped));
        QVERIFY2(why.contains(error), qPrintable(why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(document.toPlainText(), QStringLiteral("그대로"));
        QCOMPARE(page, before);
    }
};

QTEST_MAIN(TestHwpReader)
#include "tst_hwpreader.moc"
