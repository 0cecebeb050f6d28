#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// HWP 5.0 record lists: each record has a 32-bit header (tag 10 bits, level 10 bits, size 12 bits; size 0xFFF
// means a 32-bit size follows) and its data. Values are little-endian.
namespace HwpRecords {

// Tags (HWPTAG_BEGIN is 0x10).
enum Tag : quint16
{
    DocumentProperties = 0x10,
    IdMappings = 0x11,
    BinData = 0x12,
    FaceName = 0x13,
    BorderFill = 0x14,
    CharShape = 0x15,
    TabDef = 0x16,
    Numbering = 0x17,
    Bullet = 0x18,
    ParaShape = 0x19,
    Style = 0x1A,
    DocData = 0x1B,
    DistributeDocData = 0x1C,
    CompatibleDocument = 0x1E,
    LayoutCompatibility = 0x1F,
    TrackChange = 0x20,
    MemoShape = 0x5C,
    ForbiddenChar = 0x5E,

    ParaHeader = 0x42,
    ParaText = 0x43,
    ParaCharShape = 0x44,
    ParaLineSeg = 0x45,
    ParaRangeTag = 0x46,
    CtrlHeader = 0x47,
    ListHeader = 0x48,
    PageDef = 0x49,
    FootnoteShape = 0x4A,
    PageBorderFill = 0x4B,
    ShapeComponent = 0x4C,
    Table = 0x4D,
    ShapeComponentLine = 0x4E,
    ShapeComponentRectangle = 0x4F,
    ShapeComponentEllipse = 0x50,
    ShapeComponentArc = 0x51,
    ShapeComponentPolygon = 0x52,
    ShapeComponentCurve = 0x53,
    ShapeComponentOle = 0x54,
    ShapeComponentPicture = 0x55,
    ShapeComponentContainer = 0x56,
    CtrlData = 0x57,
    EqEdit = 0x58,
};

struct Record
{
    quint16 tag = 0;
    quint16 level = 0;
    QByteArray data;
};

// More records than a question's document could need; a stream of tiny records past this only makes us hold
// memory.
inline constexpr qsizetype kMaxRecords = qsizetype(1) << 20;

// Splits a stream into its records. nullopt, with *error in words for the user, when a record runs past the
// end, a record's level is more than one deeper than the one before it (the first record must be level 0) or
// there are more than `maxRecords` of them.
std::optional<QList<Record>> Parse(const QByteArray& stream, QString* error = nullptr,
                                   qsizetype maxRecords = kMaxRecords);

// A control's id, as CTRL_HEADER records and paragraph text name it: its four characters, the first in the top
// byte ("tbl " for a table).
constexpr quint32 ControlId(const char (&name)[5])
{
    return quint32(quint8(name[0])) << 24 | quint32(quint8(name[1])) << 16 | quint32(quint8(name[2])) << 8 |
           quint32(quint8(name[3]));
}
inline constexpr quint32 kSectionDef = ControlId("secd");
inline constexpr quint32 kColumnDef = ControlId("cold");
inline constexpr quint32 kTableCtrl = ControlId("tbl ");
inline constexpr quint32 kPictureCtrl = ControlId("gso ");
inline constexpr quint32 kPictureComponent = ControlId("$pic");
inline constexpr quint32 kEquationCtrl = ControlId("eqed");
inline constexpr quint32 kHeaderCtrl = ControlId("head");
inline constexpr quint32 kFooterCtrl = ControlId("foot");
inline constexpr quint32 kPageNumberCtrl = ControlId("pgnp");
inline constexpr quint32 kAutoNumberCtrl = ControlId("atno");

// Appends one record (header and data) to `stream`.
void Append(QByteArray& stream, quint16 tag, quint16 level, const QByteArray& data);

// Reads little-endian values from a record's data. Reading past the end gives zeros and clears ok(), so a short
// record reads as far as it goes and the caller decides whether that is enough.
class DataReader
{
public:
    explicit DataReader(const QByteArray& data, qsizetype offset = 0) : m_data(data), m_offset(offset) {}
    quint8 u8();
    quint16 u16();
    quint32 u32();
    qint16 i16() { return qint16(u16()); }
    qint32 i32() { return qint32(u32()); }
    // A WCHAR array: 16-bit length, then that many UTF-16 units.
    QString string();
    QByteArray bytes(qsizetype count);
    void skip(qsizetype count);
    qsizetype offset() const { return m_offset; }
    qsizetype remaining() const { return m_data.size() > m_offset ? m_data.size() - m_offset : 0; }
    bool ok() const { return m_ok; }

private:
    bool take(qsizetype count);

    const QByteArray& m_data;
    qsizetype m_offset;
    bool m_ok = true;
};

// Builds a record's data from little-endian values.
class DataWriter
{
public:
    DataWriter& u8(quint8 value);
    DataWriter& u16(quint16 value);
    DataWriter& u32(quint32 value);
    DataWriter& i16(qint16 value) { return u16(quint16(value)); }
    DataWriter& i32(qint32 value) { return u32(quint32(value)); }
    // 16-bit length, then the UTF-16 units (cut at 65535).
    DataWriter& string(const QString& value);
    DataWriter& bytes(const QByteArray& value);
    DataWriter& zeros(qsizetype count);
    const QByteArray& data() const { return m_data; }

private:
    QByteArray m_data;
};

} // namespace HwpRecords
