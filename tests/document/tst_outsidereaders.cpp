// The outside HWP readers that check our writer's files, run on documents the word processor made: they must
// read what is there, agree with each other, refuse what cannot be read, and find faults put into a good file.
// Where a reader is known to go wrong on such a document, the test says so and relies on the other.

#include "document/hwp/Container.h"
#include "document/hwp/Records.h"
#include "tests/support/OutsideHwpReaders.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>

using namespace OutsideHwpReaders;

namespace {

QString Sample(const QString& name)
{
    return QStringLiteral(VELLORIN_HWP_SAMPLES "/") + name;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

HwpRecords::Record& FirstWithTag(QList<HwpRecords::Record>& records, quint16 tag)
{
    for (HwpRecords::Record& record : records) {
        if (record.tag == tag)
            return record;
    }
    qFatal("no record with tag %d", int(tag));
}

void AddToU32(QByteArray& data, qsizetype at, int delta)
{
    auto* bytes = reinterpret_cast<uchar*>(data.data()) + at;
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(bytes) + quint32(delta), bytes);
}

using Streams = HwpContainer::Streams;
using StreamsChange = std::function<bool(Streams&)>;

// Applies `change` to the records of one compressed stream of a sample, through our own container layer.
StreamsChange InRecords(const char* name, const std::function<void(QList<HwpRecords::Record>&)>& change)
{
    return [name, change](Streams& streams) {
        const std::optional<QByteArray> inflated = HwpContainer::Inflate(streams.value(QLatin1String(name)));
        std::optional<QList<HwpRecords::Record>> records = inflated ? HwpRecords::Parse(*inflated) : std::nullopt;
        if (!records)
            return false;
        change(*records);
        QByteArray stream;
        for (const HwpRecords::Record& record : *records)
            HwpRecords::Append(stream, record.tag, record.level, record.data);
        streams[QLatin1String(name)] = HwpContainer::Deflate(stream);
        return true;
    };
}

// Adds `delta` to the number at `at` in the first record of `stream` with `tag`.
StreamsChange AddToFirst(const char* stream, quint16 tag, qsizetype at, int delta)
{
    return InRecords(stream,
                     [=](QList<HwpRecords::Record>& records) { AddToU32(FirstWithTag(records, tag).data, at, delta); });
}

// The sample `file` taken apart by our container layer, changed, and put together again at `path`; an empty
// string when that failed.
QString Rewritten(const QString& file, const StreamsChange& change, const QString& path)
{
    QString error;
    std::optional<Streams> streams = HwpContainer::ReadStreams(ReadAll(Sample(file)), &error);
    if (!streams || !change(*streams)) {
        qWarning("cannot change %s: %s", qPrintable(file), qPrintable(error));
        return {};
    }
    const QByteArray bytes = HwpContainer::WriteStreams(*streams, &error);
    QFile out(path);
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
        qWarning("cannot write %s: %s", qPrintable(path), qPrintable(error));
        return {};
    }
    return path;
}

} // namespace

class TestOutsideReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsSamples_data();
    void readsSamples();
    void equationsOfLatex();
    void refusedDocuments();
    void controlCharacters();
    void fuzzSeeds();
    void faultsPutIntoGoodFiles_data();
    void faultsPutIntoGoodFiles();

private:
    QTemporaryDir m_folder;
};

void TestOutsideReaders::readsSamples_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("paragraphs");
    QTest::addColumn<QStringList>("someTexts");
    QTest::addColumn<int>("tables");
    QTest::newRow("example") << "example.hwp" << 15
                             << QStringList{QStringLiteral("삼강오륜"),
                                            QStringLiteral("군위신강: 임금과 신하 사이에 마땅히 지켜야 할 도리")}
                             << 0;
    QTest::newRow("strikethrough") << "strikethrough.hwp" << 5
                                   << QStringList{QStringLiteral("strikethrough"), QStringLiteral("밑줄취소선굵게")}
                                   << 0;
    QTest::newRow("outline") << "outline.hwp" << 27 << QStringList{QStringLiteral("개요 1"), QStringLiteral("개요 5-2")}
                             << 0;
    QTest::newRow("page") << "page.hwp" << 43 << QStringList{QStringLiteral("페이지1"), QStringLiteral("페이지2")} << 0;
    QTest::newRow("table2") << "table2.hwp" << 2 << QStringList{} << 2;
}

// Both readers read the document, find the same texts and tables, and the texts we know are there.
void TestOutsideReaders::readsSamples()
{
    QFETCH(QString, file);
    QFETCH(int, paragraphs);
    QFETCH(QStringList, someTexts);
    QFETCH(int, tables);
    const Result hwpjs = ReadWithHwpjs(Sample(file));
    const Result olefile = CheckWithOlefile(Sample(file));
    QVERIFY2(hwpjs.ok, qPrintable(Describe(hwpjs)));
    QVERIFY2(olefile.ok, qPrintable(Describe(olefile)));
    for (const Result* result : {&hwpjs, &olefile}) {
        const QStringList texts = Strings(result->report.value(QLatin1String("paragraphs")).toArray());
        QCOMPARE(texts.size(), paragraphs);
        for (const QString& text : someTexts)
            QVERIFY2(texts.contains(text), qPrintable(Describe(*result) + QStringLiteral(" lacks ") + text));
        QCOMPARE(result->report.value(QLatin1String("sections")).toInt(), 1);
        QCOMPARE(result->report.value(QLatin1String("tables")).toArray().size(), tables);
    }
    for (const char* key : {"paragraphs", "tables"})
        QCOMPARE(hwpjs.report.value(QLatin1String(key)), olefile.report.value(QLatin1String(key)));
}

// Known fault: @ohah/hwpjs 0.1.0-rc.10 refuses an equation record shorter than six bytes per script character
// (it holds two), so it refuses latex.hwp and cannot be trusted with equations; the olefile checker's scripts are
// checked against the ones listed beside the samples instead.
void TestOutsideReaders::equationsOfLatex()
{
    const Result hwpjs = ReadWithHwpjs(Sample(QStringLiteral("latex.hwp")));
    QVERIFY2(hwpjs.ran && !hwpjs.ok && hwpjs.error.contains(QLatin1String("EqEdit")), qPrintable(Describe(hwpjs)));

    const Result olefile = CheckWithOlefile(Sample(QStringLiteral("latex.hwp")));
    QVERIFY2(olefile.ok, qPrintable(Describe(olefile)));
    QStringList expected =
        QString::fromUtf8(ReadAll(Sample(QStringLiteral("latex-equations.txt")))).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(expected.size(), 20);
    QCOMPARE(Strings(olefile.report.value(QLatin1String("equations")).toArray()), expected);
    QCOMPARE(olefile.report.value(QLatin1String("binData")).toArray().size(), 1);
}

// Neither reads a password-protected body, nor a file that is no compound file at all. Known fault: @ohah/hwpjs
// reads a distribution-only document without refusing it, so only the olefile checker's refusal (and the flags it
// reads) counts there.
void TestOutsideReaders::refusedDocuments()
{
    QVERIFY(m_folder.isValid());
    const QString notHwp = m_folder.filePath(QStringLiteral("text.hwp"));
    QFile file(notHwp);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a compound file\n") > 0);
    file.close();
    for (const QString& path : {Sample(QStringLiteral("password-12345.hwp")), notHwp}) {
        for (const Result& result : {ReadWithHwpjs(path), CheckWithOlefile(path)})
            QVERIFY2(result.ran && !result.ok && !result.error.isEmpty(), qPrintable(Describe(result)));
    }
    const Result password = CheckWithOlefile(Sample(QStringLiteral("password-12345.hwp")));
    QVERIFY(password.report.value(QLatin1String("header")).toObject().value(QLatin1String("password")).toBool());

    const Result distribution = CheckWithOlefile(Sample(QStringLiteral("distribution.hwp")));
    QVERIFY2(distribution.ran && !distribution.ok, qPrintable(Describe(distribution)));
    QVERIFY(distribution.error.contains(QLatin1String("distribution")));
    const QJsonObject header = distribution.report.value(QLatin1String("header")).toObject();
    QCOMPARE(header.value(QLatin1String("flags")).toInt(), 5);
    QCOMPARE(distribution.report.value(QLatin1String("faults")).toArray().size(), 1);
}

// No sample has a tab, a line break, a bound blank or a hyphen: they are put into a copy of example.hwp, and both
// readers must show them the same way.
void TestOutsideReaders::controlCharacters()
{
    const auto change = InRecords("BodyText/Section0", [](QList<HwpRecords::Record>& records) {
        qsizetype at = 0;
        for (int seen = 0; at < records.size(); ++at) {
            if (records[at].tag == HwpRecords::ParaHeader && records[at].level == 0 && ++seen == 2)
                break;
        }
        QByteArray& text = records[at + 1].data;
        QByteArray& runs = records[at + 2].data;
        QCOMPARE(records[at + 1].tag, HwpRecords::ParaText);
        QCOMPARE(records[at + 2].tag, HwpRecords::ParaCharShape);
        // A tab takes eight units (code, six of data, code) in front; a line break, a bound blank and a hyphen one
        // unit each after four letters.
        const QByteArray tab = QByteArray::fromHex("0900000000000000000000000000"
                                                   "0900");
        text.insert(4 * 2, QByteArray::fromHex("0a001e001800"));
        text.prepend(tab);
        AddToU32(records[at].data, 0, 11);
        for (qsizetype run = 8; run < runs.size(); run += 8) {
            const quint32 position = qFromLittleEndian<quint32>(runs.constData() + run);
            AddToU32(runs, run, position >= 4 ? 11 : 8);
        }
    });
    const QString path = Rewritten(QStringLiteral("example.hwp"), change, m_folder.filePath(QStringLiteral("tab.hwp")));
    QVERIFY(!path.isEmpty());

    const QString expected =
        QStringLiteral("\t삼강오륜\n - 은 현재까지도 이어져 일상생활에 깊이 뿌리내린 윤리 도덕이랍니다.");
    for (const Result& result : {ReadWithHwpjs(path), CheckWithOlefile(path)}) {
        QVERIFY2(result.ok, qPrintable(Describe(result)));
        QCOMPARE(Strings(result.report.value(QLatin1String("paragraphs")).toArray()).value(1), expected);
    }
}

// The seeds of the HWP fuzz harness, made record by record, are read alike by both (equations aside, see above),
// and their table has the texts it was given.
void TestOutsideReaders::fuzzSeeds()
{
    for (const QString& name :
         {QStringLiteral("text.hwp"), QStringLiteral("text-compressed.hwp"), QStringLiteral("controls.hwp"),
          QStringLiteral("table.hwp"), QStringLiteral("picture-data.hwp"), QStringLiteral("two-sections.hwp")}) {
        const QString path = QStringLiteral(VELLORIN_HWP_SEEDS "/") + name;
        const Result hwpjs = ReadWithHwpjs(path);
        const Result olefile = CheckWithOlefile(path);
        QVERIFY2(hwpjs.ok, qPrintable(Describe(hwpjs)));
        QVERIFY2(olefile.ok, qPrintable(Describe(olefile)));
        for (const char* key : {"paragraphs", "tables", "sections"})
            QCOMPARE(hwpjs.report.value(QLatin1String(key)), olefile.report.value(QLatin1String(key)));
    }
    const Result table = CheckWithOlefile(QStringLiteral(VELLORIN_HWP_SEEDS "/table.hwp"));
    QStringList cells;
    for (const QJsonValue cell :
         table.report.value(QLatin1String("tables")).toArray().at(0)[QLatin1String("cells")].toArray())
        cells.append(cell[QLatin1String("text")].toString());
    QCOMPARE(cells,
             (QStringList{QStringLiteral("가"), QStringLiteral("나"), QStringLiteral("다"), QStringLiteral("라")}));
}

void TestOutsideReaders::faultsPutIntoGoodFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<StreamsChange>("change");
    QTest::addColumn<QString>("fault");
    const char* const body = "BodyText/Section0";
    QTest::newRow("unchanged") << "example.hwp" << StreamsChange([](Streams&) { return true; }) << QString();
    QTest::newRow("char shape count") << "example.hwp" << AddToFirst("DocInfo", HwpRecords::IdMappings, 9 * 4, 1)
                                      << "ID_MAPPINGS counts 13 charShape";
    QTest::newRow("paragraph length") << "example.hwp" << AddToFirst(body, HwpRecords::ParaHeader, 0, 1)
                                      << "PARA_HEADER counts 22 characters, PARA_TEXT has 21";
    QTest::newRow("char shape id") << "example.hwp" << AddToFirst(body, HwpRecords::ParaCharShape, 4, 8)
                                   << "char shape 12 of 12";
    QTest::newRow("level jump") << "example.hwp" << InRecords(body, [](QList<HwpRecords::Record>& records) {
        FirstWithTag(records, HwpRecords::ParaText).level = 2;
    }) << "jumps from level 0 to 2";
    QTest::newRow("picture stream") << "latex.hwp" << StreamsChange([](Streams& s) {
        return s.remove(QStringLiteral("BinData/BIN0001.png")) == 1;
    }) << "names a missing stream BinData/BIN0001.png";
    QTest::newRow("equation control") << "latex.hwp" << InRecords(body, [](QList<HwpRecords::Record>& records) {
        for (HwpRecords::Record& record : records) {
            // Ctrl ids are stored as little-endian numbers: "eqed" reads backwards.
            if (record.tag == HwpRecords::CtrlHeader && record.data.startsWith("deqe"))
                record.data.replace(0, 4, "dcba");
        }
    }) << "the text has controls";
    QTest::newRow("section count") << "example.hwp" << AddToFirst("DocInfo", HwpRecords::DocumentProperties, 0, 1)
                                   << "DOCUMENT_PROPERTIES counts 2 sections, the file has 1";
    QTest::newRow("para shape id") << "example.hwp" << AddToFirst(body, HwpRecords::ParaHeader, 8, 16)
                                   << "para shape 16 of 16";
    QTest::newRow("cell span") << "table2.hwp" << InRecords(body, [](QList<HwpRecords::Record>& records) {
        // The first list after the table record is its first cell's (the one before it is the caption's).
        bool afterTable = false;
        for (qsizetype at = 0; at < records.size(); ++at) {
            afterTable = afterTable || records[at].tag == HwpRecords::Table;
            if (afterTable && records[at].tag == HwpRecords::ListHeader) {
                AddToU32(records[at].data, 12, 1);
                break;
            }
        }
    }) << "leaves the 1x1 table";
    QTest::newRow("summary stream") << "example.hwp" << StreamsChange([](Streams& s) {
        return s.remove(QStringLiteral("\005HwpSummaryInformation")) == 1;
    }) << "HwpSummaryInformation' stream";
    QTest::newRow("password flag") << "example.hwp" << StreamsChange([](Streams& s) {
        AddToU32(s[QStringLiteral("FileHeader")], 36, 2);
        return true;
    }) << "password-protected";
}

// Our container layer takes a good document apart and puts it together with one fault: the olefile checker must
// name the fault, and with no fault both readers read the rewritten file as the original.
void TestOutsideReaders::faultsPutIntoGoodFiles()
{
    QFETCH(QString, file);
    QFETCH(StreamsChange, change);
    QFETCH(QString, fault);
    const QString path =
        Rewritten(file, change, m_folder.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-')));
    QVERIFY(!path.isEmpty());

    const Result olefile = CheckWithOlefile(path);
    if (fault.isEmpty()) {
        const Result hwpjs = ReadWithHwpjs(path);
        QVERIFY2(olefile.ok, qPrintable(Describe(olefile)));
        QVERIFY2(hwpjs.ok, qPrintable(Describe(hwpjs)));
        const Result original = CheckWithOlefile(Sample(file));
        QCOMPARE(olefile.report.value(QLatin1String("paragraphs")), original.report.value(QLatin1String("paragraphs")));
        QCOMPARE(hwpjs.report.value(QLatin1String("paragraphs")), original.report.value(QLatin1String("paragraphs")));
        return;
    }
    QVERIFY2(olefile.ran && !olefile.ok, qPrintable(Describe(olefile)));
    const QStringList faults = Strings(olefile.report.value(QLatin1String("faults")).toArray());
    QVERIFY2(faults.filter(fault).size() > 0, qPrintable(faults.join(QLatin1String("; "))));
}

QTEST_GUILESS_MAIN(TestOutsideReaders)
#include "tst_outsidereaders.moc"
