#pragma once

#include "document/model/HwpModel.h"

#include <QByteArray>
#include <QChar>
#include <QString>

// The shapes a document uses, gathered into the model's DocInfo while its sections are written, and written
// out as the DocInfo stream. Equal shapes are stored once: each call gives the id of the one already kept, or of
// a new one.
namespace HwpWriter {

class DocInfo
{
public:
    // Index of a face name, the same in all seven language lists.
    quint16 face(const QString& name);
    quint32 charShape(const HwpModel::CharShape& shape);
    quint16 paraShape(const HwpModel::ParaShape& shape);
    // From 1.
    quint16 borderFill(const HwpModel::BorderFill& fill);
    // From 1; every list gets its own, so that separate lists keep counting separately.
    quint16 numbering(const HwpModel::Numbering& numbering);
    quint16 bullet(QChar mark);
    // A picture stored as BinData/BINxxxx.<extension>; its id, from 1.
    quint16 binData(const QString& extension);

    const HwpModel::DocInfo& info() const { return m_info; }
    QByteArray stream() const;

private:
    HwpModel::DocInfo m_info;
};

} // namespace HwpWriter
