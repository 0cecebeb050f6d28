#include "document/hwp/Records.h"

#include <QtEndian>

namespace HwpRecords {

std::optional<QList<Record>> Parse(const QByteArray& stream, QString* error, qsizetype maxRecords)
{
    auto fail = [error](const QString& why) -> std::optional<QList<Record>> {
        if (error)
            *error = QStringLiteral("문서가 손상되었습니다. %1").arg(why);
        return std::nullopt;
    };
    QList<Record> records;
    const auto* bytes = reinterpret_cast<const uchar*>(stream.constData());
    const qsizetype size = stream.size();
    qsizetype at = 0;
    int previousLevel = -1;
    while (at < size) {
        if (size - at < 4)
            return fail(QStringLiteral("레코드 머리가 잘렸습니다."));
        if (records.size() >= maxRecords)
            return fail(QStringLiteral("레코드가 너무 많습니다."));
        const quint32 header = qFromLittleEndian<quint32>(bytes + at);
        at += 4;
        Record record;
        record.tag = quint16(header & 0x3ff);
        record.level = quint16((header >> 10) & 0x3ff);
        qsizetype length = header >> 20;
        if (length == 0xfff) {
            if (size - at < 4)
                return fail(QStringLiteral("레코드 크기가 잘렸습니다."));
            length = qFromLittleEndian<quint32>(bytes + at);
            at += 4;
        }
        if (length > size - at)
            return fail(QStringLiteral("레코드가 스트림 끝을 넘습니다."));
        if (int(record.level) > previousLevel + 1)
            return fail(QStringLiteral("레코드 수준이 건너뜁니다."));
        previousLevel = record.level;
        record.data = stream.mid(at, length);
        at += length;
        records.append(std::move(record));
    }
    return records;
}

void Append(QByteArray& stream, quint16 tag, quint16 level, const QByteArray& data)
{
    const quint32 size = quint32(data.size());
    const quint32 inlineSize = size >= 0xfff ? 0xfff : size;
    uchar header[4];
    qToLittleEndian<quint32>((quint32(tag) & 0x3ff) | ((quint32(level) & 0x3ff) << 10) | (inlineSize << 20), header);
    stream.append(reinterpret_cast<const char*>(header), 4);
    if (inlineSize == 0xfff) {
        qToLittleEndian<quint32>(size, header);
        stream.append(reinterpret_cast<const char*>(header), 4);
    }
    stream.append(data);
}

bool DataReader::take(qsizetype count)
{
    if (count < 0 || count > remaining()) {
        m_offset = m_data.size();
        m_ok = false;
        return false;
    }
    return true;
}

quint8 DataReader::u8()
{
    if (!take(1))
        return 0;
    return quint8(m_data[m_offset++]);
}

quint16 DataReader::u16()
{
    if (!take(2))
        return 0;
    const auto value = qFromLittleEndian<quint16>(m_data.constData() + m_offset);
    m_offset += 2;
    return value;
}

quint32 DataReader::u32()
{
    if (!take(4))
        return 0;
    const auto value = qFromLittleEndian<quint32>(m_data.constData() + m_offset);
    m_offset += 4;
    return value;
}

QString DataReader::string()
{
    const qsizetype length = u16();
    if (!take(length * 2))
        return {};
    QString value(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        value[i] = QChar(qFromLittleEndian<quint16>(m_data.constData() + m_offset + 2 * i));
    m_offset += length * 2;
    return value;
}

QByteArray DataReader::bytes(qsizetype count)
{
    if (!take(count))
        return {};
    QByteArray value = m_data.mid(m_offset, count);
    m_offset += count;
    return value;
}

void DataReader::skip(qsizetype count)
{
    if (take(count))
        m_offset += count;
}

DataWriter& DataWriter::u8(quint8 value)
{
    m_data.append(char(value));
    return *this;
}

DataWriter& DataWriter::u16(quint16 value)
{
    uchar bytes[2];
    qToLittleEndian(value, bytes);
    m_data.append(reinterpret_cast<const char*>(bytes), 2);
    return *this;
}

DataWriter& DataWriter::u32(quint32 value)
{
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    m_data.append(reinterpret_cast<const char*>(bytes), 4);
    return *this;
}

DataWriter& DataWriter::string(const QString& value)
{
    const qsizetype length = std::min<qsizetype>(value.size(), 0xffff);
    u16(quint16(length));
    for (qsizetype i = 0; i < length; ++i)
        u16(value[i].unicode());
    return *this;
}

DataWriter& DataWriter::bytes(const QByteArray& value)
{
    m_data.append(value);
    return *this;
}

DataWriter& DataWriter::zeros(qsizetype count)
{
    m_data.append(count, '\0');
    return *this;
}

} // namespace HwpRecords
