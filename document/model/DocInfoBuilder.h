#pragma once

#include "document/model/HwpModel.h"

#include <QChar>
#include <QString>

// The shapes a document uses, gathered into the model's DocInfo while the document is taken apart. Equal shapes
// are stored once: each call gives the id of the one already kept, or of a new one.
namespace HwpModel {

class DocInfoBuilder
{
public:
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

    const DocInfo& info() const { return m_info; }

private:
    DocInfo m_info;
};

} // namespace HwpModel
