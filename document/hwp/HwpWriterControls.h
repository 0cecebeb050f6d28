#pragma once

#include "document/model/HwpModel.h"

#include <QByteArray>

#include <algorithm>
#include <functional>

// The object controls of a section: equations, pictures and tables, each a CTRL_HEADER record below its
// paragraph with the records of its kind under it. The section writer puts the paragraphs; the paragraphs of
// cells and captions go back to it.
namespace HwpWriter {

// Writes a list of paragraphs (a cell's, a caption's) at `level`: at least one, an empty one for an empty list.
using ParagraphWriter = std::function<void(QByteArray& out, const HwpModel::Paragraphs& paragraphs, quint16 level)>;

// How many paragraphs the ParagraphWriter writes for `paragraphs`.
inline quint32 ListCount(const HwpModel::Paragraphs& paragraphs)
{
    return quint32(std::max<std::size_t>(paragraphs.size(), 1));
}

class Controls
{
public:
    explicit Controls(ParagraphWriter paragraphs) : m_paragraphs(std::move(paragraphs)) {}

    void writeEquation(QByteArray& out, const HwpModel::Equation& equation, quint16 level);
    void writePicture(QByteArray& out, const HwpModel::Picture& picture, quint16 level);
    void writeTable(QByteArray& out, const HwpModel::Table& table, quint16 level);

private:
    QByteArray objectHeader(quint32 id, quint32 attributes, qint64 width, qint64 height);

    ParagraphWriter m_paragraphs;
    qint32 m_zOrder = 0;
    quint32 m_instance = 0;
};

} // namespace HwpWriter
