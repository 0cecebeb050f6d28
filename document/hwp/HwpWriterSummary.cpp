#include "document/hwp/HwpWriterSummary.h"

#include "document/hwp/Records.h"

#include <QList>
#include <QPair>

namespace HwpWriter {

namespace {

using HwpRecords::DataWriter;

// {9FA2B660-1061-11D4-B4C6-006097C09D8C}, the word processor's summary format id, as a GUID is stored.
void formatId(DataWriter& out)
{
    out.u32(0x9FA2B660).u16(0x1061).u16(0x11D4);
    for (quint8 byte : {0xB4, 0xC6, 0x00, 0x60, 0x97, 0xC0, 0x9D, 0x8C})
        out.u8(byte);
}

constexpr quint32 kCodePage = 1;
constexpr quint32 kTitle = 2;
constexpr quint32 kAppName = 0x12;
constexpr quint32 kTypeI2 = 2;
constexpr quint32 kTypeWideString = 0x1F;

QByteArray wideString(const QString& text)
{
    DataWriter out;
    out.u32(kTypeWideString).u32(quint32(text.size() + 1));
    for (QChar c : text)
        out.u16(c.unicode());
    out.u16(0);
    out.zeros((4 - out.data().size() % 4) % 4);
    return out.data();
}

} // namespace

QByteArray SummaryInformation(const QString& title)
{
    const QList<QPair<quint32, QByteArray>> properties = {
        {kCodePage, DataWriter().u32(kTypeI2).u16(1200).u16(0).data()}, // UTF-16
        {kTitle, wideString(title)},
        {kAppName, wideString(QStringLiteral("Vellorin"))},
    };
    DataWriter section;
    const quint32 tableSize = 8 + 8 * quint32(properties.size());
    quint32 offset = tableSize;
    QByteArray values;
    DataWriter table;
    for (const auto& [id, value] : properties) {
        table.u32(id).u32(offset);
        offset += quint32(value.size());
        values += value;
    }
    section.u32(offset).u32(quint32(properties.size())).bytes(table.data()).bytes(values);

    DataWriter out;
    out.u16(0xFFFE).u16(0).u32(0x00020006).zeros(16).u32(1); // byte order, format 0, Windows, no class, one set
    formatId(out);
    out.u32(48).bytes(section.data());
    return out.data();
}

QByteArray PreviewText(const QString& plainText)
{
    QString text = plainText.left(kPreviewUnits);
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n")).replace(u'\n', QStringLiteral("\r\n"));
    text.replace(QChar::ObjectReplacementCharacter, u' ');
    DataWriter out;
    for (QChar c : std::as_const(text).left(kPreviewUnits))
        out.u16(c.unicode());
    return out.data();
}

} // namespace HwpWriter
