#pragma once

#include "document/hwp/HwpValues.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

// The shapes a document uses, gathered while its sections are written and written out as the DocInfo stream.
// Equal shapes are stored once: each call gives the id of the one already kept, or of a new one.
namespace HwpWriter {

struct Border
{
    quint8 type = 0;
    quint8 width = 0;
    quint32 colour = 0;
    bool operator==(const Border&) const = default;
};

struct BorderFill
{
    // Left, right, top, bottom.
    std::array<Border, 4> sides{};
    quint32 fill = HwpValues::kNoColour;
    // The slash's shape in bits 2–4 and the backslash's in 5–7 (2: corner to corner), and their line: without
    // them, a solid thinnest black line that nothing draws.
    quint16 attributes = 0;
    Border diagonal{1, 0, 0};
    bool operator==(const BorderFill&) const = default;
};

struct CharShape
{
    quint16 face = 0;
    qint32 height = 1000;
    quint32 attributes = 0;
    quint32 colour = 0;
    quint32 shade = HwpValues::kNoColour;
    quint8 widthRatio = 100; // percent, for every script
    qint8 letterSpacing = 0; // percent of the size, for every script
    bool operator==(const CharShape&) const = default;
};

struct ParaShape
{
    quint32 attributes = 0;
    qint32 left = 0;
    qint32 right = 0;
    qint32 indent = 0;
    qint32 before = 0;
    qint32 after = 0;
    HwpValues::LineSpacing spacingType = HwpValues::LineSpacing::Percent;
    qint32 spacing = 100;
    quint16 head = 0; // numbering or bullet id
    quint32 level = 0;
    bool operator==(const ParaShape&) const = default;
};

struct Numbering
{
    HwpValues::NumberShape shape = HwpValues::NumberShape::Digit;
    QString prefix;
    QString suffix;
};

class DocInfo
{
public:
    DocInfo();

    // Index of a face name, the same in all seven language lists.
    quint16 face(const QString& name);
    quint32 charShape(const CharShape& shape);
    quint16 paraShape(const ParaShape& shape);
    // From 1.
    quint16 borderFill(const BorderFill& fill);
    // From 1; every list gets its own, so that separate lists keep counting separately.
    quint16 numbering(const Numbering& numbering);
    quint16 bullet(QChar mark);
    // A picture stored as BinData/BINxxxx.<extension>; its id, from 1.
    quint16 binData(const QString& extension);

    QByteArray stream() const;

private:
    QStringList m_faces;
    QList<CharShape> m_charShapes;
    QList<ParaShape> m_paraShapes;
    QList<BorderFill> m_borderFills;
    QList<Numbering> m_numberings;
    QList<QChar> m_bullets;
    QStringList m_binData;
};

} // namespace HwpWriter
