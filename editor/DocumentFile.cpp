#include "editor/DocumentFile.h"

#include "editor/ListNumbering.h"
#include "editor/TableEditing.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>
#include <QXmlStreamReader>

namespace {

// Why an open failed, for the message that the program shows.
constexpr char16_t kCannotOpen[] = u"파일을 열 수 없습니다. (%1)";
constexpr char16_t kNotOurDocument[] = u"이 편집기의 문서가 아닙니다.";
constexpr char16_t kUnknownVersion[] = u"알 수 없는 문서 버전입니다. (%1)";
constexpr char16_t kDamaged[] = u"문서가 손상되었거나 잘려 있습니다.";
constexpr char16_t kNotHwpml[] = u"HWP XML 문서가 아닙니다.";
constexpr char16_t kXmlError[] = u"HWP XML 문서를 읽을 수 없습니다. (%1번째 줄: %2)";

bool failWith(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

int PageGeometry::*const kPageFields[] = {
    &PageGeometry::paperWidth, &PageGeometry::paperHeight, &PageGeometry::topMargin,    &PageGeometry::bottomMargin,
    &PageGeometry::leftMargin, &PageGeometry::rightMargin, &PageGeometry::headerLength, &PageGeometry::footerLength,
    &PageGeometry::gutter,     &PageGeometry::columnCount, &PageGeometry::columnGap,
};

// Every picture the document shows, by resource name.
QList<QPair<QString, QImage>> pictures(const QTextDocument& document)
{
    QList<QPair<QString, QImage>> found;
    QSet<QString> seen;
    for (const QString& name : DocumentFile::PictureNames(document)) {
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(name));
        QImage image = resource.value<QImage>();
        if (image.isNull())
            image = QImage(name); // a picture named by its file
        if (!image.isNull())
            found.append({name, image});
    }
    return found;
}

QColor colourFromColorref(qint64 value)
{
    // Windows COLORREF: 0x00BBGGRR.
    return QColor(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
}

// What a document's HTML loses, by block number: numbering styles Qt cannot draw, and cell borders.
struct Beside
{
    QList<QPair<qint32, qint32>> numbering;
    QList<QPair<qint32, QTextFormat>> borders;
};

// The cell whose first paragraph `block` is.
QTextTableCell cellStartingAt(const QTextBlock& block)
{
    QTextTable* table = QTextCursor(block).currentTable();
    if (!table)
        return {};
    const QTextTableCell cell = table->cellAt(block.position());
    return cell.firstPosition() == block.position() ? cell : QTextTableCell();
}

Beside besideOf(const QTextDocument& document)
{
    Beside beside;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (QTextList* list = block.textList(); list && ListNumbering::PaintedHere(list->format()))
            beside.numbering.append(
                {block.blockNumber(), list->format().intProperty(ListNumbering::kNumberingProperty)});
        if (const QTextTableCell cell = cellStartingAt(block); cell.isValid()) {
            const QTextFormat borders = TableEditing::BorderProperties(cell.format());
            if (!borders.properties().isEmpty())
                beside.borders.append({block.blockNumber(), borders});
        }
    }
    return beside;
}

void applyBeside(QTextDocument& document, const Beside& beside)
{
    for (const auto& [number, style] : beside.numbering) {
        QTextList* list = document.findBlockByNumber(number).textList();
        // The HTML keeps the list and its indent, but neither the style nor its prefix and suffix.
        QTextListFormat format = ListNumbering::Format(ListNumbering::Style(style));
        if (!list || !ListNumbering::PaintedHere(format))
            continue;
        format.setIndent(list->format().indent());
        list->setFormat(format);
    }
    for (const auto& [number, borders] : beside.borders) {
        QTextTableCell cell = cellStartingAt(document.findBlockByNumber(number));
        if (!cell.isValid())
            continue;
        QTextCharFormat format = cell.format();
        // Property by property: QTextFormat::merge takes nothing from a format of another type.
        const auto properties = borders.properties();
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            format.setProperty(it.key(), it.value());
        cell.setFormat(format);
    }
}

Qt::Alignment alignmentOf(const QString& align)
{
    if (align == QLatin1String("Center"))
        return Qt::AlignHCenter;
    if (align == QLatin1String("Right"))
        return Qt::AlignRight;
    if (align == QLatin1String("Left"))
        return Qt::AlignLeft;
    return Qt::AlignJustify;
}

} // namespace

QStringList DocumentFile::PictureNames(const QTextDocument& document)
{
    QStringList names;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                names.append(format.toImageFormat().name());
        }
    }
    return names;
}

QByteArray DocumentFile::NativeBytes(const QTextDocument& document, const PageGeometry& page)
{
    QByteArray payload(kSignature, kSignatureSize);
    {
        QDataStream out(&payload, QIODevice::Append);
        out.setVersion(QDataStream::Qt_6_4);
        out << kFormatVersion;
        for (auto field : kPageFields)
            out << qint32(page.*field);
        out << document.toHtml();
        const auto images = pictures(document);
        out << quint32(images.size());
        for (const auto& [name, image] : images) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            out << name << png;
        }
        const Beside beside = besideOf(document);
        out << quint32(beside.numbering.size());
        for (const auto& [number, style] : beside.numbering)
            out << number << style;
        out << quint32(beside.borders.size());
        for (const auto& [number, borders] : beside.borders)
            out << number << borders;
        if (out.status() != QDataStream::Ok)
            return {};
    }
    return payload;
}

bool DocumentFile::SaveNative(const QTextDocument& document, const PageGeometry& page, const QString& path)
{
    const QByteArray bytes = NativeBytes(document, page);
    if (bytes.isEmpty())
        return false;
    // Written beside and renamed over: a failed save never leaves half a document.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

bool DocumentFile::LoadNative(QTextDocument& document, PageGeometry& page, const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(error, QString::fromUtf16(kCannotOpen).arg(file.errorString()));
    return ReadNative(document, page, file, error);
}

bool DocumentFile::ReadNative(QTextDocument& document, PageGeometry& page, QIODevice& device, QString* error)
{
    if (device.read(kSignatureSize) != QByteArray(kSignature, kSignatureSize))
        return failWith(error, QString::fromUtf16(kNotOurDocument));
    QDataStream in(&device);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 version = 0;
    in >> version;
    if (in.status() != QDataStream::Ok)
        return failWith(error, QString::fromUtf16(kDamaged));
    if (version < 1 || version > kFormatVersion)
        return failWith(error, QString::fromUtf16(kUnknownVersion).arg(version));
    PageGeometry loaded;
    for (auto field : kPageFields) {
        qint32 value = 0;
        in >> value;
        loaded.*field = value;
    }
    QString html;
    quint32 count = 0;
    in >> html >> count;
    if (in.status() != QDataStream::Ok || !loaded.isUsable() || count > 100000)
        return failWith(error, QString::fromUtf16(kDamaged));
    QList<QPair<QString, QImage>> images;
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        QByteArray png;
        in >> name >> png;
        QImage image;
        if (in.status() != QDataStream::Ok || !image.loadFromData(png, "PNG"))
            return failWith(error, QString::fromUtf16(kDamaged));
        images.append({name, image});
    }
    Beside beside;
    if (version >= 2) {
        quint32 numbered = 0;
        in >> numbered;
        for (quint32 i = 0; i < numbered && in.status() == QDataStream::Ok; ++i) {
            qint32 number = 0;
            qint32 style = 0;
            in >> number >> style;
            beside.numbering.append({number, style});
        }
        quint32 bordered = 0;
        in >> bordered;
        for (quint32 i = 0; i < bordered && in.status() == QDataStream::Ok; ++i) {
            qint32 number = 0;
            QTextFormat borders;
            in >> number >> borders;
            beside.borders.append({number, TableEditing::BorderProperties(borders)});
        }
        if (in.status() != QDataStream::Ok)
            return failWith(error, QString::fromUtf16(kDamaged));
    }
    document.clear();
    for (const auto& [name, image] : images)
        document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    document.setHtml(html);
    applyBeside(document, beside);
    page = loaded;
    return true;
}

bool DocumentFile::ImportHwpml(QTextDocument& document, const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(error, QString::fromUtf16(kCannotOpen).arg(file.errorString()));
    QXmlStreamReader xml(&file);

    QHash<QString, QTextCharFormat> charShapes;
    QHash<QString, Qt::Alignment> paraShapes;
    QHash<QString, QString> hangulFonts; // font id → face name, for the Hangul face list

    QTextDocument imported;
    imported.setDefaultFont(document.defaultFont());
    QTextCursor cursor(&imported);
    bool sawRoot = false;
    bool firstParagraph = true;
    QString fontListLanguage;
    QTextCharFormat* shape = nullptr;
    QTextCharFormat current;

    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            const auto attributes = xml.attributes();
            if (!sawRoot) {
                if (name != QLatin1String("HWPML"))
                    return failWith(error, QString::fromUtf16(kNotHwpml));
                sawRoot = true;
            } else if (name == QLatin1String("FONTFACE")) {
                fontListLanguage = attributes.value(QLatin1String("Lang")).toString();
            } else if (name == QLatin1String("FONT") && fontListLanguage == QLatin1String("Hangul")) {
                hangulFonts.insert(attributes.value(QLatin1String("Id")).toString(),
                                   attributes.value(QLatin1String("Name")).toString());
            } else if (name == QLatin1String("CHARSHAPE")) {
                QTextCharFormat format;
                const double height = attributes.value(QLatin1String("Height")).toDouble();
                if (height > 0)
                    format.setFontPointSize(height / 100.0);
                if (attributes.hasAttribute(QLatin1String("TextColor")))
                    format.setForeground(colourFromColorref(attributes.value(QLatin1String("TextColor")).toLongLong()));
                shape = &charShapes[attributes.value(QLatin1String("Id")).toString()];
                *shape = format;
            } else if (shape && name == QLatin1String("FONTID")) {
                const QString face = hangulFonts.value(attributes.value(QLatin1String("Hangul")).toString());
                if (!face.isEmpty())
                    shape->setFontFamilies({face});
            } else if (shape && name == QLatin1String("BOLD")) {
                shape->setFontWeight(QFont::Bold);
            } else if (shape && name == QLatin1String("ITALIC")) {
                shape->setFontItalic(true);
            } else if (shape && name == QLatin1String("UNDERLINE")) {
                shape->setFontUnderline(true);
            } else if (shape && name == QLatin1String("SUPERSCRIPT")) {
                shape->setVerticalAlignment(QTextCharFormat::AlignSuperScript);
            } else if (shape && name == QLatin1String("SUBSCRIPT")) {
                shape->setVerticalAlignment(QTextCharFormat::AlignSubScript);
            } else if (name == QLatin1String("PARASHAPE")) {
                paraShapes.insert(attributes.value(QLatin1String("Id")).toString(),
                                  alignmentOf(attributes.value(QLatin1String("Align")).toString()));
            } else if (name == QLatin1String("P")) {
                QTextBlockFormat block;
                block.setAlignment(
                    paraShapes.value(attributes.value(QLatin1String("ParaShape")).toString(), Qt::AlignJustify));
                if (firstParagraph)
                    cursor.setBlockFormat(block);
                else
                    cursor.insertBlock(block, QTextCharFormat());
                firstParagraph = false;
            } else if (name == QLatin1String("TEXT")) {
                current = charShapes.value(attributes.value(QLatin1String("CharShape")).toString());
            } else if (name == QLatin1String("CHAR")) {
                // Text with tabs and line breaks in between, up to the end of the element.
                while (!xml.atEnd()) {
                    xml.readNext();
                    if (xml.isCharacters())
                        cursor.insertText(xml.text().toString(), current);
                    else if (xml.isStartElement() && xml.name() == QLatin1String("TAB"))
                        cursor.insertText(QStringLiteral("\t"), current);
                    else if (xml.isStartElement() && xml.name() == QLatin1String("LINEBREAK"))
                        cursor.insertText(QString(QChar::LineSeparator), current);
                    else if (xml.isEndElement() && xml.name() == QLatin1String("CHAR"))
                        break;
                }
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("CHARSHAPE")) {
            shape = nullptr;
        }
    }
    if (xml.hasError())
        return failWith(error, QString::fromUtf16(kXmlError).arg(xml.lineNumber()).arg(xml.errorString()));
    if (!sawRoot)
        return failWith(error, QString::fromUtf16(kNotHwpml));

    document.clear();
    document.setHtml(imported.toHtml());
    return true;
}
