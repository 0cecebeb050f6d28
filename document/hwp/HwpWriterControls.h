#pragma once

#include "document/hwp/Container.h"
#include "document/hwp/HwpValues.h"
#include "document/hwp/HwpWriterDocInfo.h"

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <QTextFormat>

class QTextDocument;
class QTextTable;
class QTextTableCell;
class QTextTableFormat;

// The object controls of a section: equations, pictures and tables, each a CTRL_HEADER record below its
// paragraph with the records of its kind under it. The section writer puts the paragraphs; the paragraphs in
// table cells go back to it through CellText.
namespace HwpWriter {

// The colour of a brush property, or an invalid colour when the format has no brush there.
QColor BrushColour(const QTextFormat& format, int property);

// What a table needs of the writer of the paragraphs: how many a cell holds, and writing them.
class CellText
{
public:
    virtual ~CellText() = default;
    virtual qsizetype paragraphCount(const QTextTableCell& cell) = 0;
    // Where the last line written for a cell stands, as its line record says (HWPUNIT): the bottom of its text
    // from the cell's top, and the spacing below it.
    struct Extent
    {
        qint32 bottom = 0;
        qint32 spacing = 0;
    };
    // The paragraphs of `cell` at `level`, as wide as `width` (HWPUNIT), starting at the cell's top.
    virtual Extent write(QByteArray& out, const QTextTableCell& cell, quint16 level, qint32 width) = 0;
    // The paragraphs of a caption, header or footer kept in the editor's format; how many it wrote.
    virtual qsizetype writeContent(QByteArray& out, const QByteArray& content, quint16 level, qint32 width) = 0;
};

class Controls
{
public:
    // Shapes go into `info`, pictures into `streams` as BinData streams.
    Controls(const QTextDocument& document, DocInfo& info, HwpContainer::Streams& streams);

    // A picture the document holds, or one named by its file.
    QImage pictureOf(const QString& name) const;
    void writeFormula(QByteArray& out, const QTextCharFormat& format, quint16 level);
    void writePicture(QByteArray& out, const QTextImageFormat& format, quint16 level);
    // `available` is the width of the column or cell the table stands in, HWPUNIT.
    void writeTable(QByteArray& out, QTextTable* table, quint16 level, qint32 available, CellText& cells);

private:
    QByteArray objectHeader(quint32 id, quint32 attributes, qint32 width, qint32 height);
    // Column widths in HWPUNIT: fixed widths as given, percentages of `available`, the rest shared evenly.
    QList<qint32> columnWidths(QTextTable* table, qint32 available) const;
    HwpModel::BorderFill borderFillOf(const QTextTableCellFormat& cell, const QTextTableFormat& table);

    const QTextDocument& m_document;
    DocInfo& m_info;
    HwpContainer::Streams& m_streams;
    QHash<QString, quint16> m_pictures;
    qint32 m_zOrder = 0;
    quint32 m_instance = 0;
};

} // namespace HwpWriter
