#include "editor/FormulaObject.h"
#include "editor/ListNumbering.h"
#include "editor/TableEditing.h"
#include "editor/hwp/Container.h"
#include "editor/hwp/HwpFile.h"
#include "editor/hwp/HwpValues.h"
#include "editor/hwp/Records.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <memory>

using HwpRecords::Record;

namespace {

// A document with a bit of everything the editor makes, each made the way the editor makes it.
std::unique_ptr<QTextDocument> richDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("문제 1. "));
    cursor.insertText(QStringLiteral("굵게"), bold);
    cursor.insertText(QStringLiteral("\t탭 뒤") + QChar(QChar::LineSeparator) + QStringLiteral("다음 줄"),
                      QTextCharFormat());
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.insertBlock(centred);
    cursor.insertText(QStringLiteral("x"));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(QStringLiteral("a over b"), 12, Qt::red));
    cursor.insertBlock(QTextBlockFormat());
    cursor.createList(ListNumbering::Format(ListNumbering::Style::Circled));
    cursor.insertText(QStringLiteral("보기"));
    cursor.insertBlock();
    QTextTable* table = cursor.insertTable(2, 3, TableEditing::GridFormat());
    table->mergeCells(0, 0, 1, 2);
    QTextCursor cell = table->cellAt(1, 2).firstCursorPosition();
    cell.insertText(QStringLiteral("칸"));
    TableEditing::SetCellShading(cell, QColor(200, 220, 240));
    QImage image(8, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    document->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("vellorin-picture:1")), image);
    QTextCursor end(document.get());
    end.movePosition(QTextCursor::End);
    QTextImageFormat picture;
    picture.setName(QStringLiteral("vellorin-picture:1"));
    picture.setWidth(80);
    picture.setHeight(40);
    end.insertImage(picture);
    return document;
}

struct Parsed
{
    HwpContainer::Streams streams;
    QList<Record> docInfo;
    QList<Record> section;
};

Parsed parse(const QByteArray& bytes)
{
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

QList<Record> withTag(const QList<Record>& records, quint16 tag)
{
    QList<Record> found;
    for (const Record& record : records) {
        if (record.tag == tag)
            found.append(record);
    }
    return found;
}

// The paragraph text units of a PARA_TEXT record.
QList<quint16> units(const Record& text)
{
    QList<quint16> found;
    HwpRecords::DataReader in(text.data);
    while (in.remaining() >= 2)
        found.append(in.u16());
    return found;
}

// Whether a text unit opens an eight-unit control.
bool isWideControl(quint16 unit)
{
    return unit < 32 && unit != 0 && unit != 10 && unit != 13 && unit < 24;
}

} // namespace

class TestHwpWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void containerAndHeader();
    void docInfoCountsMatchItsRecords();
    void paragraphsAreConsistent();
    void objectsAndPage();
    void unwritable();
};

void TestHwpWriter::containerAndHeader()
{
    const auto document = richDocument();
    QString error;
    const QByteArray bytes = HwpFile::Bytes(*document, PageGeometry(), &error);
    QVERIFY2(!bytes.isEmpty(), qPrintable(error));
    const Parsed parsed = parse(bytes);
    const QByteArray header = parsed.streams.value(QStringLiteral("FileHeader"));
    QCOMPARE(header.size(), 256);
    QVERIFY(header.startsWith("HWP Document File\0"));
    HwpRecords::DataReader in(header, 32);
    QCOMPARE(in.u32(), 0x05010001u);
    QCOMPARE(in.u32() & 1, 1u); // compressed
    QVERIFY(!parsed.docInfo.isEmpty());
    QVERIFY(!parsed.section.isEmpty());
    QVERIFY(parsed.streams.contains(QStringLiteral("BinData/BIN0001.png")));
    const auto png = HwpContainer::Inflate(parsed.streams.value(QStringLiteral("BinData/BIN0001.png")));
    QVERIFY(png);
    QCOMPARE(QImage::fromData(*png, "PNG").pixelColor(3, 2), QColor(Qt::blue));
    // The preview starts with the text; the summary is a property set of the word processor's format id.
    const QByteArray preview = parsed.streams.value(QStringLiteral("PrvText"));
    QVERIFY(QString::fromUtf16(reinterpret_cast<const char16_t*>(preview.constData()), preview.size() / 2)
                .startsWith(QStringLiteral("문제 1. 굵게\t탭 뒤")));
    const QByteArray summary = parsed.streams.value(QStringLiteral("\005HwpSummaryInformation"));
    QVERIFY(summary.startsWith("\xfe\xff"));
    QCOMPARE(summary.mid(28, 4), QByteArray::fromHex("60b6a29f"));
    QVERIFY(summary.contains(QByteArray("V\0e\0l\0l\0o\0r\0i\0n\0", 16)));
}

void TestHwpWriter::docInfoCountsMatchItsRecords()
{
    const auto document = richDocument();
    const Parsed parsed = parse(HwpFile::Bytes(*document, PageGeometry()));
    const QList<Record> mappings = withTag(parsed.docInfo, HwpRecords::IdMappings);
    QCOMPARE(mappings.size(), 1);
    HwpRecords::DataReader in(mappings.first().data);
    QList<qint32> counts;
    while (in.remaining() >= 4)
        counts.append(in.i32());
    QCOMPARE(counts.size(), 18);
    const auto count = [&](quint16 tag) { return qint32(withTag(parsed.docInfo, tag).size()); };
    QCOMPARE(counts[0], count(HwpRecords::BinData));
    QCOMPARE(counts[1] * 7, count(HwpRecords::FaceName));
    QCOMPARE(counts[8], count(HwpRecords::BorderFill));
    QCOMPARE(counts[9], count(HwpRecords::CharShape));
    QCOMPARE(counts[11], count(HwpRecords::Numbering));
    QCOMPARE(counts[13], count(HwpRecords::ParaShape));
    QCOMPARE(counts[14], count(HwpRecords::Style));
    // Shapes are kept once: the bold run and the plain runs make two char shapes, not one per run.
    QCOMPARE(counts[9], 3); // plain, bold, and the formula's red-free text around it at the same size
    QCOMPARE(counts[11], 1);
    // The circled numbering, and the level its paragraph is on.
    const Record circled = withTag(parsed.docInfo, HwpRecords::Numbering).value(0);
    HwpRecords::DataReader numbering(circled.data);
    QCOMPARE((numbering.u32() >> 5) & 0xF, quint32(HwpValues::NumberShape::CircledDigit));
    numbering.skip(8);
    QCOMPARE(numbering.string(), QStringLiteral("^1"));
}

void TestHwpWriter::paragraphsAreConsistent()
{
    const auto document = richDocument();
    const Parsed parsed = parse(HwpFile::Bytes(*document, PageGeometry()));
    const qsizetype charShapes = withTag(parsed.docInfo, HwpRecords::CharShape).size();
    int paragraphs = 0;
    for (qsizetype i = 0; i < parsed.section.size(); ++i) {
        const Record& header = parsed.section[i];
        if (header.tag != HwpRecords::ParaHeader)
            continue;
        ++paragraphs;
        HwpRecords::DataReader in(header.data);
        const quint32 count = in.u32() & 0x7FFFFFFF;
        const quint32 mask = in.u32();
        in.skip(4);
        const quint16 runs = in.u16();
        QList<quint16> text;
        QByteArray shapes;
        for (qsizetype k = i + 1; k < parsed.section.size() && parsed.section[k].level > header.level; ++k) {
            if (parsed.section[k].level != header.level + 1)
                continue;
            if (parsed.section[k].tag == HwpRecords::ParaText)
                text = units(parsed.section[k]);
            else if (parsed.section[k].tag == HwpRecords::ParaCharShape)
                shapes = parsed.section[k].data;
        }
        // The count covers every unit, the paragraph end included; a lone end has no text record.
        QCOMPARE(count, text.isEmpty() ? 1u : quint32(text.size()));
        if (!text.isEmpty())
            QCOMPARE(text.last(), quint16(13));
        quint32 seen = 0;
        for (qsizetype u = 0; u < text.size(); ++u) {
            if (isWideControl(text[u])) {
                QVERIFY(u + 7 < text.size());
                QCOMPARE(text[u + 7], text[u]);
                seen |= 1u << text[u];
                u += 7;
            } else if (text[u] < 32 && text[u] != 13) {
                seen |= 1u << text[u];
            }
        }
        QCOMPARE(mask, seen);
        QCOMPARE(shapes.size(), runs * 8);
        HwpRecords::DataReader run(shapes);
        qint64 previous = -1;
        for (int r = 0; r < runs; ++r) {
            const quint32 start = run.u32();
            QVERIFY(qint64(start) > previous);
            QVERIFY(r > 0 || start == 0);
            QVERIFY(run.u32() < quint32(charShapes));
            previous = start;
        }
    }
    // Five body paragraphs (the empty one before the table holds it), two in the merged and plain cells of the
    // first row, three in the second.
    QCOMPARE(paragraphs, 5 + 2 + 3);
}

void TestHwpWriter::objectsAndPage()
{
    const auto document = richDocument();
    PageGeometry page;
    page.paperWidth = 84188; // A4 on its side, in two columns
    page.paperHeight = 59528;
    page.columnCount = 2;
    page.columnGap = 1134;
    const Parsed parsed = parse(HwpFile::Bytes(*document, page));
    const QList<Record> controls = withTag(parsed.section, HwpRecords::CtrlHeader);
    QStringList ids;
    for (const Record& control : controls) {
        HwpRecords::DataReader in(control.data);
        const quint32 id = in.u32();
        const char name[] = {char(id >> 24), char(id >> 16), char(id >> 8), char(id)};
        ids.append(QString::fromLatin1(name, 4));
    }
    QCOMPARE(ids, (QStringList{"secd", "cold", "eqed", "tbl ", "gso "}));

    const Record pageDef = withTag(parsed.section, HwpRecords::PageDef).value(0);
    HwpRecords::DataReader paper(pageDef.data);
    QCOMPARE(paper.u32(), 59528u); // stored upright …
    QCOMPARE(paper.u32(), 84188u);
    paper.skip(7 * 4);
    QCOMPARE(paper.u32() & 1, 1u); // … and marked as lying on its side
    HwpRecords::DataReader columns(controls[1].data, 4);
    QCOMPARE((columns.u16() >> 2) & 0xFF, 2);
    QCOMPARE(columns.u16(), 1134);

    // Readers keep a reference to their bytes: each record is held while it is read.
    const Record eqEdit = withTag(parsed.section, HwpRecords::EqEdit).value(0);
    HwpRecords::DataReader equation(eqEdit.data, 4);
    QCOMPARE(equation.string(), QStringLiteral("a over b"));
    QCOMPARE(equation.u32(), 1200u);
    QCOMPARE(equation.u32(), HwpValues::ColourRef(Qt::red));

    // The table: two rows of three columns, the first row's first cell two columns wide; the shaded cell's
    // border fill has its colour.
    const Record tableRecord = withTag(parsed.section, HwpRecords::Table).value(0);
    HwpRecords::DataReader table(tableRecord.data, 4);
    QCOMPARE(table.u16(), 2);
    QCOMPARE(table.u16(), 3);
    table.skip(10);
    QCOMPARE(table.u16(), 2); // cells in the first row
    QCOMPARE(table.u16(), 3);
    const QList<Record> cells = withTag(parsed.section, HwpRecords::ListHeader);
    QCOMPARE(cells.size(), 5);
    HwpRecords::DataReader first(cells[0].data, 8);
    QCOMPARE(first.u16(), 0);
    QCOMPARE(first.u16(), 0);
    QCOMPARE(first.u16(), 2);
    QCOMPARE(first.u16(), 1);
    HwpRecords::DataReader shaded(cells[4].data, 8);
    QCOMPARE(shaded.u16(), 2);
    QCOMPARE(shaded.u16(), 1);
    shaded.skip(4 + 8 + 8);
    const quint16 fillId = shaded.u16();
    const Record fill = withTag(parsed.docInfo, HwpRecords::BorderFill).value(fillId - 1);
    HwpRecords::DataReader brush(fill.data, 32);
    QCOMPARE(brush.u32(), 1u);
    QCOMPARE(brush.u32(), HwpValues::ColourRef(QColor(200, 220, 240)));
    HwpRecords::DataReader grid(fill.data, 2);
    QCOMPARE(grid.u8(), 1); // solid, from the table's grid
    QCOMPARE(grid.u8(), HwpValues::BorderIndex(1));

    // The picture: 80 × 40 pixels at 96 dpi, the first binary item.
    const Record pictureRecord = withTag(parsed.section, HwpRecords::ShapeComponentPicture).value(0);
    HwpRecords::DataReader picture(pictureRecord.data, 12);
    picture.skip(8);
    QCOMPARE(picture.i32(), 6000);
    picture.skip(4 + 16 + 16 + 8 + 3);
    QCOMPARE(picture.u16(), 1);
}

void TestHwpWriter::unwritable()
{
    const auto document = richDocument();
    // A folder that cannot hold files, whoever runs the test: its name is taken by a file.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
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

QTEST_MAIN(TestHwpWriter)
#include "tst_hwpwriter.moc"
