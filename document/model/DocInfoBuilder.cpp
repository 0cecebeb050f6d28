#include "document/model/DocInfoBuilder.h"

namespace HwpModel {

namespace {

template <typename T> qsizetype keep(QList<T>& list, const T& value)
{
    const qsizetype found = list.indexOf(value);
    if (found >= 0)
        return found;
    list.append(value);
    return list.size() - 1;
}

} // namespace

quint16 DocInfoBuilder::face(const QString& name)
{
    const qsizetype index = keep(m_info.fonts[0], name);
    for (QStringList& faces : m_info.fonts)
        faces = m_info.fonts[0];
    return quint16(index);
}

quint32 DocInfoBuilder::charShape(const CharShape& shape)
{
    return quint32(keep(m_info.charShapes, shape));
}

quint16 DocInfoBuilder::paraShape(const ParaShape& shape)
{
    return quint16(keep(m_info.paraShapes, shape));
}

quint16 DocInfoBuilder::borderFill(const BorderFill& fill)
{
    return quint16(keep(m_info.borderFills, fill) + 1);
}

quint16 DocInfoBuilder::numbering(const Numbering& numbering)
{
    m_info.numberings.append(numbering);
    return quint16(m_info.numberings.size());
}

quint16 DocInfoBuilder::bullet(QChar mark)
{
    return quint16(keep(m_info.bullets, mark) + 1);
}

quint16 DocInfoBuilder::binData(const QString& extension)
{
    const int id = int(m_info.binItems.size()) + 1;
    m_info.binItems.insert(id, BinItem{.id = id, .extension = extension, .compression = 0, .embedded = true});
    return quint16(id);
}

} // namespace HwpModel
