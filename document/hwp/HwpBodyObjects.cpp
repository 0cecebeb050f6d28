// HwpBody's equations and pictures.
#include "document/hwp/HwpBody.h"

#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/HwpShapes.h"
#include "document/LayoutUnits.h"

#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>

namespace {

using HwpRecords::DataReader;

// A picture stream inflated past this is not a question's picture; past the second bound for all pictures
// together, the rest are left out.
constexpr qsizetype kMaxPictureBytes = qsizetype(64) << 20;
constexpr qsizetype kMaxAllPictureBytes = qsizetype(256) << 20;

} // namespace

void HwpBody::readEquation(const Tree& tree, qsizetype index, QTextCursor& cursor, const QTextCharFormat& format)
{
    for (qsizetype child : tree.children(index)) {
        if (tree.records[child].tag != HwpRecords::EqEdit)
            continue;
        DataReader in(tree.records[child].data);
        in.skip(4); // properties
        const QString script = in.string();
        // The base size in HWPUNIT, 100 to the point; without one the equation takes the size of its text.
        const quint32 baseUnit = in.u32();
        QColor colour = HwpShapes::Colour(in.u32());
        // An equation without a script shows nothing: leaving it out loses nothing.
        if (script.trimmed().isEmpty())
            return;
        const double size = baseUnit > 0 && in.ok() ? std::min<quint32>(baseUnit, 100000) / PageGeometry::kUnitsPerPoint
                                                    : FormulaObject::PointSizeAround(format);
        if (!colour.isValid() || !in.ok())
            colour = Qt::black;
        cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                          FormulaObject::MakeFormat(script, size, colour, format));
        return;
    }
    m_dropped.Add(DroppedObjects::Kind::Formula);
}

bool HwpBody::readPicture(const Tree& tree, qsizetype index, QTextCursor& cursor, const QTextBlockFormat& paragraph)
{
    // The picture's bin item sits in the picture record below the shape component.
    int binId = -1;
    for (qsizetype component : tree.children(index)) {
        if (tree.records[component].tag != HwpRecords::ShapeComponent)
            continue;
        for (qsizetype child : tree.children(component)) {
            if (tree.records[child].tag != HwpRecords::ShapeComponentPicture)
                continue;
            DataReader in(tree.records[child].data);
            in.skip(4 + 4 + 4 + 32 + 16 + 8 + 3); // border, image corners, cropping, padding, effects
            const quint16 id = in.u16();
            if (in.ok())
                binId = id;
        }
    }
    // A picture shown twice is decoded once and kept once; one that did not decode is not tried again.
    if (!m_pictureNames.contains(binId)) {
        const QImage image = loadPicture(binId);
        QString name;
        if (!image.isNull() && image.sizeInBytes() <= kMaxAllPictureBytes - m_pictureBytes) {
            m_pictureBytes += image.sizeInBytes();
            name = QStringLiteral("%1:%2").arg(QLatin1String(DocumentFile::kPictureScheme)).arg(++m_pictures);
            m_document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        }
        m_pictureNames.insert(binId, name);
    }
    const QString resource = m_pictureNames.value(binId);
    if (resource.isEmpty()) {
        // A shape without a picture record is a drawn one: a line, a rectangle, a text box.
        m_dropped.Add(binId < 0 ? DroppedObjects::Kind::DrawnObject : DroppedObjects::Kind::Picture);
        return false;
    }
    const QSize imageSize = m_document.resource(QTextDocument::ImageResource, QUrl(resource)).value<QImage>().size();
    DataReader in(tree.records[index].data);
    in.skip(4);
    const quint32 properties = in.u32();
    in.skip(8); // offsets
    const qint64 width = units(in.u32());
    const qint64 height = units(in.u32());
    QTextImageFormat picture;
    picture.setName(resource);
    // Picture sizes are in the layout's units, as for pictures inserted in the editor, and the size the file gives:
    // one wider than the column runs into the margin, as the word processor draws it.
    const auto length = [](qint64 units) { return LayoutUnits::FromPoints(units / PageGeometry::kUnitsPerPoint); };
    picture.setWidth(width > 0 && height > 0 ? length(width) : imageSize.width());
    picture.setHeight(width > 0 && height > 0 ? length(height) : imageSize.height());
    if (properties & 0x1) { // set as a character
        cursor.insertImage(picture);
        return false;
    }
    // On a line of its own, which takes the picture's alignment.
    if (!cursor.atBlockStart())
        cursor.insertBlock(paragraph, QTextCharFormat());
    cursor.insertImage(picture);
    QTextBlockFormat block = cursor.blockFormat();
    const int horizontal = (properties >> 10) & 0x7;
    block.setAlignment(horizontal == 1 ? Qt::AlignHCenter : horizontal == 2 ? Qt::AlignRight : Qt::AlignLeft);
    block.setTextIndent(0);
    cursor.setBlockFormat(block);
    return true;
}

QImage HwpBody::loadPicture(int binId) const
{
    if (const auto found = m_info.binItems.constFind(binId); found != m_info.binItems.cend() && found->embedded) {
        const HwpDocInfo::BinItem& item = *found;
        // "BinData/BIN000A.png": the id in four upper-case hexadecimal digits.
        const QString name = QStringLiteral("BinData/BIN%1.%2")
                                 .arg(QString::number(item.id, 16).toUpper().rightJustified(4, u'0'), item.extension);
        const auto stream = m_streams.constFind(name);
        if (stream == m_streams.cend())
            return {};
        const bool compressed = item.compression == 1 || (item.compression == 0 && m_compressed);
        if (!compressed)
            return QImage::fromData(*stream);
        const auto data = HwpContainer::Inflate(*stream, kMaxPictureBytes);
        return data ? QImage::fromData(*data) : QImage();
    }
    return {};
}
