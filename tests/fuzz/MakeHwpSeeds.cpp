// Writes the seed corpus of the HWP fuzz harness: small documents built record by record, each reaching one part
// of the reader (text runs, controls in text, a table, an equation, binary data, sections, refused flags). Most
// streams are left uncompressed so that the fuzzer's changes land on records rather than on deflate blocks.
//
//   make_hwp_seeds FOLDER        (tests/fuzz/corpus/hwp)
//
// Every seed but the refused ones must pass tools/hwp-check/olefile-check.py.

#include "document/hwp/Container.h"
#include "document/hwp/Records.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <cstdio>
#include <functional>

using namespace HwpRecords;

namespace {

// Flags of FileHeader.
constexpr quint32 kCompressed = 0x1;
constexpr quint32 kPassword = 0x2;
constexpr quint32 kDistribution = 0x4;

quint32 CtrlId(const char (&id)[5])
{
    return quint32(uchar(id[0])) << 24 | quint32(uchar(id[1])) << 16 | quint32(uchar(id[2])) << 8 | uchar(id[3]);
}

// A paragraph's text as stored: UTF-16 units, with controls as their codes.
class Text
{
public:
    Text& chars(const QString& text)
    {
        for (QChar c : text)
            m_units.append(c.unicode());
        return *this;
    }
    Text& one(quint16 code)
    {
        m_units.append(code);
        m_mask |= 1u << code;
        return *this;
    }
    // Eight units: the code, the ctrl id (or zeros for an inline control), four units of zero, the code again.
    Text& eight(quint16 code, quint32 id = 0)
    {
        m_units << code << quint16(id & 0xffff) << quint16(id >> 16) << 0 << 0 << 0 << 0 << code;
        m_mask |= 1u << code;
        return *this;
    }
    const QList<quint16>& units() const { return m_units; }
    quint32 mask() const { return m_mask; }

private:
    QList<quint16> m_units;
    quint32 m_mask = 0;
};

class Stream
{
public:
    void add(quint16 tag, quint16 level, const QByteArray& data) { Append(m_bytes, tag, level, data); }
    const QByteArray& bytes() const { return m_bytes; }

    // A paragraph at `level` ending with a paragraph break; `controls` appends its controls' records one level
    // deeper, in the order of their codes in the text.
    void paragraph(quint16 level, Text text, const QList<QPair<quint32, quint32>>& runs = {{0, 0}},
                   const std::function<void(Stream&, quint16)>& controls = {})
    {
        text.one(13);
        DataWriter header;
        header.u32(quint32(text.units().size())).u32(text.mask()).u16(0).u8(0).u8(0);
        header.u16(quint16(runs.size())).u16(0).u16(1).u32(0).u16(0);
        add(ParaHeader, level, header.data());
        DataWriter units;
        for (quint16 unit : text.units())
            units.u16(unit);
        add(ParaText, level + 1, units.data());
        DataWriter shapes;
        for (const auto& [position, shape] : runs)
            shapes.u32(position).u32(shape);
        add(ParaCharShape, level + 1, shapes.data());
        DataWriter line;
        line.u32(0).u32(0).u32(1000).u32(1000).u32(850).u32(600).u32(0).u32(42520).u32(0x60000);
        add(ParaLineSeg, level + 1, line.data());
        if (controls)
            controls(*this, level + 1);
    }

    // The section and column definitions that the first paragraph of a section carries.
    void sectionStart(quint16 level)
    {
        DataWriter section;
        section.u32(CtrlId("secd")).u32(0).u16(1134).u16(0).u16(0).u32(8000).u16(0).u16(0).u16(0).u16(0).u16(0);
        section.u16(0).zeros(17);
        add(CtrlHeader, level, section.data());
        DataWriter page;
        page.u32(59528).u32(84188).u32(8504).u32(8504).u32(5668).u32(4252).u32(4252).u32(4252).u32(0).u32(0);
        add(PageDef, level + 1, page.data());
        DataWriter columns;
        columns.u32(CtrlId("cold")).u16(1 << 2).u16(0).u16(0).u8(0).u8(0).u32(0);
        add(CtrlHeader, level, columns.data());
    }

    // The properties every object control starts with, placed as a character.
    void objectControl(quint16 level, quint32 id, quint32 width, quint32 height)
    {
        DataWriter object;
        object.u32(id).u32(1).i32(0).i32(0).u32(width).u32(height).i32(0).u16(283).u16(283).u16(283).u16(283);
        object.u32(1).i32(0).u16(0);
        add(CtrlHeader, level, object.data());
    }

private:
    QByteArray m_bytes;
};

Text FirstText()
{
    Text text;
    text.eight(2, CtrlId("secd")).eight(2, CtrlId("cold"));
    return text;
}

void FirstParagraph(Stream& section, const QString& words)
{
    section.paragraph(0, FirstText().chars(words), {{0, 0}}, [](Stream& s, quint16 level) { s.sectionStart(level); });
}

QByteArray DocInfo(int sections, int binData)
{
    Stream info;
    DataWriter properties;
    properties.u16(quint16(sections)).u16(1).u16(1).u16(1).u16(1).u16(1).u16(1).u32(0).u32(0).u32(0);
    info.add(DocumentProperties, 0, properties.data());
    DataWriter mappings;
    // Binary data, seven scripts of one font each, border fills, char shapes, tab defs, numberings, bullets,
    // para shapes, styles, memo shapes, track changes, their authors.
    for (int count : {binData, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 0, 0, 1, 1, 0, 0, 0})
        mappings.i32(count);
    info.add(IdMappings, 0, mappings.data());
    for (int item = 1; item <= binData; ++item)
        info.add(BinData, 1, DataWriter().u16(1).u16(quint16(item)).string(QStringLiteral("png")).data());
    for (int script = 0; script < 7; ++script)
        info.add(FaceName, 1, DataWriter().u8(0).string(QStringLiteral("함초롬바탕")).data());
    DataWriter border;
    border.u16(0);
    for (int side = 0; side < 4; ++side)
        border.u8(0).u8(0).u32(0);
    border.u8(1).u8(0).u32(0).u32(0).u32(0);
    info.add(BorderFill, 1, border.data());
    for (quint32 attributes : {0u, 0x3u}) { // plain, then bold italic
        DataWriter shape;
        for (int script = 0; script < 7; ++script)
            shape.u16(0);
        for (quint8 value : {100, 0, 100, 0})
            for (int script = 0; script < 7; ++script)
                shape.u8(value);
        shape.i32(1000).u32(attributes).u8(10).u8(10).u32(0).u32(0).u32(0xffffff).u32(0xb2b2b2).u16(1).u32(0);
        info.add(CharShape, 1, shape.data());
    }
    info.add(TabDef, 1, DataWriter().u32(0).u32(0).data());
    DataWriter para;
    para.u32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(160).u16(0).u16(0).u16(1).zeros(8).u32(0).u32(0).u32(160);
    para.zeros(4);
    info.add(ParaShape, 1, para.data());
    info.add(Style, 1,
             DataWriter()
                 .string(QStringLiteral("바탕글"))
                 .string(QStringLiteral("Normal"))
                 .u8(0)
                 .u8(0)
                 .u16(1042)
                 .u16(0)
                 .u16(0)
                 .u16(0)
                 .data());
    return info.bytes();
}

QByteArray FileHeader(quint32 flags)
{
    QByteArray signature("HWP Document File");
    signature.resize(32, '\0');
    DataWriter header;
    header.bytes(signature).u32(0x05010001).u32(flags).u32(0).u32(4).u8(0).zeros(207);
    return header.data();
}

// The streams of a document with `sections`, compressed or not as `flags` says.
HwpContainer::Streams Document(quint32 flags, const QList<QByteArray>& sections, int binData = 0)
{
    auto pack = [flags](const QByteArray& stream) {
        return flags & kCompressed ? HwpContainer::Deflate(stream) : stream;
    };
    HwpContainer::Streams streams;
    streams[QStringLiteral("FileHeader")] = FileHeader(flags);
    streams[QStringLiteral("DocInfo")] = pack(DocInfo(int(sections.size()), binData));
    for (int i = 0; i < sections.size(); ++i)
        streams[QStringLiteral("BodyText/Section%1").arg(i)] = pack(sections[i]);
    DataWriter summary;
    summary.u16(0xfffe).u16(0).zeros(44);
    streams[QStringLiteral("\005HwpSummaryInformation")] = summary.data();
    return streams;
}

QByteArray TextSection()
{
    Stream section;
    FirstParagraph(section, QStringLiteral("가나다 abc"));
    section.paragraph(0, Text().chars(QStringLiteral("굵게 plain")), {{0, 1}, {3, 0}});
    return section.bytes();
}

QByteArray ControlsSection()
{
    Stream section;
    FirstParagraph(section, QString());
    section.paragraph(0,
                      Text().eight(9).chars(QStringLiteral("탭")).one(10).chars(QStringLiteral("줄")).one(30).one(24));
    return section.bytes();
}

QByteArray TableSection()
{
    Stream section;
    FirstParagraph(section, QStringLiteral("표"));
    Text text;
    text.eight(11, CtrlId("tbl "));
    section.paragraph(0, text, {{0, 0}}, [](Stream& s, quint16 level) {
        s.objectControl(level, CtrlId("tbl "), 30000, 2000);
        DataWriter table;
        table.u32(0).u16(2).u16(2).i16(0).u16(510).u16(510).u16(141).u16(141).u16(2).u16(2).u16(1).u16(0);
        s.add(Table, level + 1, table.data());
        const QStringList cells{QStringLiteral("가"), QStringLiteral("나"), QStringLiteral("다"), QStringLiteral("라")};
        for (int cell = 0; cell < 4; ++cell) {
            DataWriter list;
            list.u16(1).u32(0).u16(0).u16(quint16(cell % 2)).u16(quint16(cell / 2)).u16(1).u16(1);
            list.u32(15000).u32(1000).u16(510).u16(510).u16(141).u16(141).u16(1).zeros(13);
            s.add(ListHeader, level + 1, list.data());
            s.paragraph(level + 1, Text().chars(cells[cell]));
        }
    });
    return section.bytes();
}

QByteArray EquationSection()
{
    Stream section;
    FirstParagraph(section, QStringLiteral("근의 공식"));
    Text text;
    text.eight(11, CtrlId("eqed"));
    section.paragraph(0, text, {{0, 0}}, [](Stream& s, quint16 level) {
        s.objectControl(level, CtrlId("eqed"), 8000, 1500);
        DataWriter equation;
        equation.u32(0).string(QStringLiteral("x = {-b +- sqrt {b^2 - 4ac}} over {2a}")).u32(1000).u32(0).i16(86);
        equation.string(QStringLiteral("Equation Version 60")).string(QStringLiteral("HancomEQN"));
        s.add(EqEdit, level + 1, equation.data());
    });
    return section.bytes();
}

QByteArray OneLineSection(const QString& words)
{
    Stream section;
    FirstParagraph(section, words);
    return section.bytes();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    // A 1x1 grey PNG, so that the binary data stream holds a real picture.
    const QByteArray png =
        QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001000000010800000000"
                            "3a7e9b550000000a49444154789c63680000008200816cf3c1d70000000049454e44ae426082");
    HwpContainer::Streams picture = Document(0, {OneLineSection(QStringLiteral("그림"))}, 1);
    picture[QStringLiteral("BinData/BIN0001.png")] = png;
    const QList<QPair<QString, HwpContainer::Streams>> seeds{
        {QStringLiteral("text-compressed.hwp"), Document(kCompressed, {TextSection()})},
        {QStringLiteral("text.hwp"), Document(0, {TextSection()})},
        {QStringLiteral("controls.hwp"), Document(0, {ControlsSection()})},
        {QStringLiteral("table.hwp"), Document(0, {TableSection()})},
        {QStringLiteral("equation.hwp"), Document(0, {EquationSection()})},
        {QStringLiteral("picture-data.hwp"), picture},
        {QStringLiteral("two-sections.hwp"),
         Document(0, {OneLineSection(QStringLiteral("하나")), OneLineSection(QStringLiteral("둘"))})},
        {QStringLiteral("password.hwp"), Document(kCompressed | kPassword, {TextSection()})},
        {QStringLiteral("distribution.hwp"), Document(kCompressed | kDistribution, {TextSection()})},
    };
    for (const auto& [name, streams] : seeds) {
        QString error;
        const QByteArray bytes = HwpContainer::WriteStreams(streams, &error);
        QFile file(folder.filePath(name));
        if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name),
                         qPrintable(error.isEmpty() ? file.errorString() : error));
            return 1;
        }
    }
    return 0;
}
