#include "document/DocumentFile.h"

#include "document/CellDiagonals.h"
#include "document/FormulaObject.h"
#include "document/LayoutUnits.h"
#include "document/HwpmlReader.h"
#include "document/ListNumbering.h"
#include "document/PageDecorations.h"
#include "document/TableEditing.h"

#include <QBrush>
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
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Why an open failed, for the message that the program shows.
constexpr char16_t kCannotOpen[] = u"파일을 열 수 없습니다. (%1)";
constexpr char16_t kNotOurDocument[] = u"이 편집기의 문서가 아닙니다.";
constexpr char16_t kUnknownVersion[] = u"알 수 없는 문서 버전입니다. (%1)";
constexpr char16_t kDamaged[] = u"문서가 손상되었거나 잘려 있습니다.";
constexpr char16_t kFormulaOutOfPlace[] = u"문서가 손상되었습니다. 수식이 놓일 자리가 문서에 없습니다.";
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

// What a document's HTML loses, by block number: numbering styles Qt cannot draw, and cell borders and diagonals.
constexpr int kExactBlockProperties[] = {
    QTextFormat::BlockTopMargin,        QTextFormat::BlockBottomMargin,    QTextFormat::BlockLeftMargin,
    QTextFormat::BlockRightMargin,      QTextFormat::TextIndent,           LayoutUnits::kPercentSpacingProperty,
    LayoutUnits::kAddedSpacingProperty, LayoutUnits::kFixedSpacingProperty};
// What an exact length may be (format units): a reader refuses more as damage, so a writer keeps within it what
// a damaged file gave the document (a cell's bottom padding from a row millions of points tall).
constexpr double kExactLimit = 10000;

double keptExact(double value)
{
    return std::isnan(value) ? 0.0 : std::clamp(value, -kExactLimit, kExactLimit);
}

constexpr int kExactCellProperties[] = {QTextFormat::TableCellTopPadding, QTextFormat::TableCellBottomPadding,
                                        QTextFormat::TableCellLeftPadding, QTextFormat::TableCellRightPadding};

struct Beside
{
    QList<QPair<qint32, qint32>> numbering;
    QList<QPair<qint32, QTextFormat>> borders;
    // Lengths the HTML rounds to whole units or drops (paragraph margins and indents, cell paddings, which a
    // row's least height may make negative) and the paragraph spacings it does not know: block, property, value.
    struct Exact
    {
        qint32 block;
        qint32 property;
        double value;
    };
    QList<Exact> exact;
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

// What the native file keeps of a cell's lines beside the HTML: its borders and its diagonals.
QTextFormat cellLines(const QTextFormat& cellFormat)
{
    QTextFormat lines = TableEditing::BorderProperties(cellFormat);
    for (int property : CellDiagonals::kProperties) {
        if (cellFormat.hasProperty(property))
            lines.setProperty(property, cellFormat.property(property));
    }
    return lines;
}

Beside besideOf(const QTextDocument& document)
{
    Beside beside;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (QTextList* list = block.textList(); list && ListNumbering::PaintedHere(list->format()))
            beside.numbering.append(
                {block.blockNumber(), list->format().intProperty(ListNumbering::kNumberingProperty)});
        if (const QTextTableCell cell = cellStartingAt(block); cell.isValid()) {
            const QTextFormat borders = cellLines(cell.format());
            if (!borders.properties().isEmpty())
                beside.borders.append({block.blockNumber(), borders});
        }
        for (const int property : kExactBlockProperties) {
            if (block.blockFormat().hasProperty(property))
                beside.exact.append(
                    {block.blockNumber(), property, keptExact(block.blockFormat().doubleProperty(property))});
        }
        if (const QTextTableCell cell = cellStartingAt(block); cell.isValid()) {
            for (const int property : kExactCellProperties) {
                if (cell.format().hasProperty(property))
                    beside.exact.append(
                        {block.blockNumber(), property, keptExact(cell.format().doubleProperty(property))});
            }
        }
    }
    return beside;
}

void applyBeside(QTextDocument& document, const Beside& beside)
{
    for (const Beside::Exact& exact : beside.exact) {
        const QTextBlock block = document.findBlockByNumber(exact.block);
        if (!block.isValid())
            continue;
        if (std::find(std::begin(kExactCellProperties), std::end(kExactCellProperties), exact.property) !=
            std::end(kExactCellProperties)) {
            QTextTableCell cell = cellStartingAt(block);
            if (!cell.isValid())
                continue;
            QTextCharFormat format = cell.format();
            format.setProperty(exact.property, exact.value);
            cell.setFormat(format);
            continue;
        }
        QTextBlockFormat format = block.blockFormat();
        // A spacing is worked out again for the fonts the paragraph has here.
        if (std::find(std::begin(LayoutUnits::kSpacingProperties), std::end(LayoutUnits::kSpacingProperties),
                      exact.property) != std::end(LayoutUnits::kSpacingProperties))
            LayoutUnits::SetSpacing(format, exact.property, exact.value, block);
        else
            format.setProperty(exact.property, exact.value);
        QTextCursor(block).setBlockFormat(format);
    }
    for (const auto& [number, style] : beside.numbering) {
        QTextList* list = document.findBlockByNumber(number).textList();
        // The HTML keeps the list and its indent, but neither the style nor its prefix and suffix.
        QTextListFormat format = ListNumbering::Format(ListNumbering::Style(style));
        if (!list || !ListNumbering::PaintedHere(format))
            continue;
        format.setIndent(list->format().indent());
        // What frames the number ("가)" rather than "가.") comes through the HTML.
        if (list->format().hasProperty(QTextFormat::ListNumberPrefix))
            format.setNumberPrefix(list->format().numberPrefix());
        if (list->format().hasProperty(QTextFormat::ListNumberSuffix))
            format.setNumberSuffix(list->format().numberSuffix());
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

// Qt's HTML leaves formulas out. The native file's HTML has a picture of this name (and a number) in each
// formula's place, to keep the places, and the formulas follow beside.
constexpr char kFormulaStandIn[] = "vellorin-formula:";

struct StoredFormula
{
    qint32 position;
    QString script;
    double pointSize;
    QColor colour;
};

// The document's HTML with the formulas' stand-ins, and in `formulas` each formula at the place its stand-in
// takes when the HTML is read back: the places a reader will find, whatever the HTML changes on the way.
QString htmlOf(const QTextDocument& document, QList<StoredFormula>& formulas)
{
    formulas.clear();
    const QList<int> positions = FormulaObject::Positions(document);
    if (positions.isEmpty())
        return document.toHtml();
    const std::unique_ptr<QTextDocument> copy(document.clone());
    QTextCursor cursor(copy.get());
    QList<StoredFormula> found;
    for (int position : positions) {
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        const QTextCharFormat format = cursor.charFormat();
        QTextCharFormat standIn = FormulaObject::TextFormat(format);
        standIn.setObjectType(QTextFormat::ImageObject);
        standIn.setProperty(QTextFormat::ImageName, QLatin1String(kFormulaStandIn) + QString::number(found.size()));
        cursor.setCharFormat(standIn);
        found.append(
            {-1, FormulaObject::Script(format), FormulaObject::PointSize(format), FormulaObject::Colour(format)});
    }
    const QString html = copy->toHtml();
    QTextDocument reread;
    reread.setHtml(html);
    const QString prefix = QLatin1String(kFormulaStandIn);
    for (QTextBlock block = reread.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const QString name = format.isImageFormat() ? format.toImageFormat().name() : QString();
            if (!name.startsWith(prefix))
                continue;
            bool ok = false;
            const qsizetype index = name.mid(prefix.size()).toInt(&ok);
            // A picture of the same name already in the document (from a damaged file) makes the place unsure:
            // better without the formula than with it on a picture.
            if (ok && index >= 0 && index < found.size()) {
                const bool alone = found[index].position == -1 && it.fragment().length() == 1;
                found[index].position = alone ? it.fragment().position() : -2;
            }
        }
    }
    for (const StoredFormula& formula : std::as_const(found)) {
        if (formula.position >= 0)
            formulas.append(formula);
    }
    return html;
}

// Whether every formula has an object character of its own to stand on.
bool formulasFit(const QTextDocument& document, const QList<StoredFormula>& formulas)
{
    QSet<qint32> taken;
    for (const StoredFormula& formula : formulas) {
        if (formula.position < 0 || formula.position >= document.characterCount() - 1 ||
            document.characterAt(formula.position) != QChar::ObjectReplacementCharacter ||
            taken.contains(formula.position))
            return false;
        taken.insert(formula.position);
    }
    return true;
}

// Turns the stand-ins back into formulas; formulasFit must hold.
void placeFormulas(QTextDocument& document, const QList<StoredFormula>& formulas)
{
    QTextCursor cursor(&document);
    for (const StoredFormula& formula : formulas) {
        // Qt's HTML gives a stand-in, a picture, no font of its own: the formula takes the text's before it
        // (after it at the start of a paragraph), which it was written in, and whose line it shares.
        cursor.setPosition(formula.position);
        const QTextCharFormat around = FormulaObject::TextFormat(cursor.charFormat());
        cursor.setPosition(formula.position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(FormulaObject::MakeFormat(formula.script, formula.pointSize, formula.colour, around));
    }
}

// A cell's border properties as SaveNative streams them (a QTextFormat), read by hand. Qt's own reading
// builds whatever variant the bytes name, lists and pictures included, and reserves room for as many list
// items as they claim: a damaged file could ask for gigabytes. Borders are finite widths, styles Qt knows
// (its HTML writer looks an unknown style up out of bounds) and plain brushes, and diagonals the same with the
// lines they draw; anything else is damage.
bool readBorders(QDataStream& in, QTextFormat& borders)
{
    constexpr quint32 kBorderProperties = QTextFormat::TableCellRightBorderBrush - QTextFormat::TableCellTopBorder + 1 +
                                          std::size(CellDiagonals::kProperties);
    qint32 type = 0;
    quint32 count = 0;
    in >> type >> count;
    if (count > kBorderProperties)
        return false;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        qint32 property = 0;
        quint32 valueType = 0;
        qint8 isNull = 0;
        in >> property >> valueType >> isNull;
        QVariant value;
        if (property >= QTextFormat::TableCellTopBorder && property <= QTextFormat::TableCellRightBorder &&
            valueType == QMetaType::Double) {
            double width = 0;
            in >> width;
            if (!std::isfinite(width))
                return false;
            value = width;
        } else if (property >= QTextFormat::TableCellTopBorderStyle &&
                   property <= QTextFormat::TableCellRightBorderStyle && valueType == QMetaType::Int) {
            qint32 style = 0;
            in >> style;
            if (style < QTextFrameFormat::BorderStyle_None || style > QTextFrameFormat::BorderStyle_Outset)
                return false;
            value = int(style);
        } else if (property == CellDiagonals::kLinesProperty && valueType == QMetaType::Int) {
            qint32 lines = 0;
            in >> lines;
            if (lines & ~(CellDiagonals::kSlash | CellDiagonals::kBackslash))
                return false;
            value = int(lines);
        } else if (property == CellDiagonals::kWidthProperty && valueType == QMetaType::Double) {
            double width = 0;
            in >> width;
            if (!(width >= 0 && width <= 100))
                return false;
            value = width;
        } else if (property == CellDiagonals::kStyleProperty && valueType == QMetaType::Int) {
            qint32 style = 0;
            in >> style;
            if (style < QTextFrameFormat::BorderStyle_None || style > QTextFrameFormat::BorderStyle_Outset)
                return false;
            value = int(style);
        } else if (((property >= QTextFormat::TableCellTopBorderBrush &&
                     property <= QTextFormat::TableCellRightBorderBrush) ||
                    property == CellDiagonals::kBrushProperty) &&
                   valueType == QMetaType::QBrush) {
            // A brush streams its style, colour and transform, then a picture or gradient for those styles.
            quint8 style = 0;
            QColor colour;
            QTransform transform;
            in >> style >> colour >> transform;
            if (style > Qt::DiagCrossPattern)
                return false;
            QBrush brush(colour, Qt::BrushStyle(style));
            brush.setTransform(transform);
            value = brush;
        } else {
            return false;
        }
        borders.setProperty(property, value);
    }
    return in.status() == QDataStream::Ok;
}

} // namespace

bool DocumentFile::IsNativeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(kSignatureSize) == QByteArray(kSignature, kSignatureSize);
}

QString DocumentFile::FormatOf(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("파일을 열 수 없습니다. (%1)").arg(file.errorString());
        return {};
    }
    QByteArray head = file.read(64);
    if (head.startsWith(QByteArray(kSignature, kSignatureSize)) ||
        head.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")))
        return QStringLiteral("HWP");
    if (head.startsWith("\xef\xbb\xbf"))
        head.remove(0, 3);
    if (head.trimmed().startsWith('<'))
        return QStringLiteral("HWPML2X");
    *error = QStringLiteral("한글 문서(HWP 5.0, HWP XML)도 이 편집기의 문서도 아닙니다.");
    return {};
}

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

QByteArray DocumentFile::NativeBytes(const QTextDocument& document, const PageGeometry& page, PngCache* cache)
{
    PngCache encoded;
    QByteArray payload(kSignature, kSignatureSize);
    {
        QDataStream out(&payload, QIODevice::Append);
        out.setVersion(QDataStream::Qt_6_4);
        out << kFormatVersion;
        for (auto field : kPageFields)
            out << qint32(page.*field);
        QList<StoredFormula> formulas;
        out << htmlOf(document, formulas);
        const auto images = pictures(document);
        out << quint32(images.size());
        for (const auto& [name, image] : images) {
            QByteArray png;
            if (const auto known = cache ? cache->constFind(name) : PngCache::const_iterator();
                cache && known != cache->cend() && known->first == image.cacheKey()) {
                png = known->second;
            } else {
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image.save(&buffer, "PNG");
            }
            encoded.insert(name, {image.cacheKey(), png});
            out << name << png;
        }
        const Beside beside = besideOf(document);
        out << quint32(beside.numbering.size());
        for (const auto& [number, style] : beside.numbering)
            out << number << style;
        out << quint32(beside.borders.size());
        for (const auto& [number, borders] : beside.borders)
            out << number << borders;
        out << quint32(formulas.size());
        for (const StoredFormula& formula : formulas)
            out << formula.position << formula.script << formula.pointSize << quint32(formula.colour.rgb());
        out << LayoutUnits::FormatPerPoint();
        out << quint32(beside.exact.size());
        for (const Beside::Exact& exact : beside.exact)
            out << exact.block << exact.property << exact.value;
        PageDecorations::Write(out, PageDecorations::StoredOf(document));
        if (out.status() != QDataStream::Ok)
            return {};
    }
    if (cache)
        *cache = std::move(encoded);
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
            in >> number;
            if (!readBorders(in, borders))
                in.setStatus(QDataStream::ReadCorruptData);
            beside.borders.append({number, cellLines(borders)});
        }
        if (in.status() != QDataStream::Ok)
            return failWith(error, QString::fromUtf16(kDamaged));
    }
    QList<StoredFormula> formulas;
    if (version >= 3) {
        quint32 stored = 0;
        in >> stored;
        for (quint32 i = 0; i < stored && in.status() == QDataStream::Ok; ++i) {
            StoredFormula formula{};
            quint32 rgb = 0;
            in >> formula.position >> formula.script >> formula.pointSize >> rgb;
            formula.colour = QColor(QRgb(rgb));
            if (!(formula.pointSize >= FormulaObject::kMinPointSize &&
                  formula.pointSize <= FormulaObject::kMaxPointSize))
                in.setStatus(QDataStream::ReadCorruptData);
            formulas.append(formula);
        }
        if (in.status() != QDataStream::Ok)
            return failWith(error, QString::fromUtf16(kDamaged));
    }
    // Lengths were written in the units of the screen they were written on; before version 4, margins, indents,
    // line heights and column widths were points and pictures pixels at 96 dpi.
    double formatPerPoint = 1.0;
    double picturePerPoint = 96.0 / 72.0;
    if (version >= 4) {
        in >> formatPerPoint;
        quint32 spaced = 0;
        in >> spaced;
        for (quint32 i = 0; i < spaced && in.status() == QDataStream::Ok; ++i) {
            Beside::Exact exact{};
            in >> exact.block >> exact.property >> exact.value;
            const auto known = [&exact](const auto& properties) {
                return std::find(std::begin(properties), std::end(properties), exact.property) != std::end(properties);
            };
            if (!(known(kExactBlockProperties) || known(kExactCellProperties)) ||
                !(exact.value >= -kExactLimit && exact.value <= kExactLimit))
                in.setStatus(QDataStream::ReadCorruptData);
            beside.exact.append(exact);
        }
        if (in.status() != QDataStream::Ok || !(formatPerPoint >= 0.1 && formatPerPoint <= 100))
            return failWith(error, QString::fromUtf16(kDamaged));
        picturePerPoint = formatPerPoint;
    }
    PageDecorations::Stored decorations;
    if (version >= 5 && !PageDecorations::Read(in, decorations))
        return failWith(error, QString::fromUtf16(kDamaged));
    if (!formulas.isEmpty()) {
        // Checked on a document of its own: the one being opened into stays as it is until all is well.
        QTextDocument parsed;
        parsed.setHtml(html);
        if (!formulasFit(parsed, formulas))
            return failWith(error, QString::fromUtf16(kFormulaOutOfPlace));
    }
    // Filled with the layout switched off, and laid out once at the end.
    const QSizeF pageSize = document.pageSize();
    document.setPageSize(QSizeF(0, 0));
    document.clear();
    for (const auto& [name, image] : images)
        document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    document.setHtml(html);
    applyBeside(document, beside);
    placeFormulas(document, formulas);
    LayoutUnits::ScaleLengths(document, LayoutUnits::FormatPerPoint() / formatPerPoint,
                              LayoutUnits::FormatPerPoint() / picturePerPoint);
    PageDecorations::Apply(document, decorations);
    document.setPageSize(pageSize);
    page = loaded;
    return true;
}

bool DocumentFile::ImportHwpml(QTextDocument& document, const QString& path, QString* error, PageGeometry* page,
                               DroppedObjects* droppedObjects)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(error, QString::fromUtf16(kCannotOpen).arg(file.errorString()));
    return ImportHwpml(document, file, error, page, droppedObjects);
}

bool DocumentFile::ImportHwpml(QTextDocument& document, QIODevice& device, QString* error, PageGeometry* page,
                               DroppedObjects* droppedObjects)
{
    HwpmlReader reader(&device);
    QTextDocument imported;
    imported.setDefaultFont(document.defaultFont());
    switch (reader.Read(imported)) {
    case HwpmlReader::Outcome::NotHwpml:
        return failWith(error, QString::fromUtf16(kNotHwpml));
    case HwpmlReader::Outcome::XmlError:
        return failWith(error, QString::fromUtf16(kXmlError).arg(reader.ErrorLine()).arg(reader.ErrorText()));
    case HwpmlReader::Outcome::Read:
        break;
    }
    // Taken over the way a native file is: what comes in is what a save and a reopen keep.
    const Beside beside = besideOf(imported);
    QList<StoredFormula> formulas;
    const QString html = htmlOf(imported, formulas);
    document.clear();
    document.setHtml(html);
    applyBeside(document, beside);
    placeFormulas(document, formulas);
    if (page && reader.Page())
        *page = *reader.Page();
    if (droppedObjects)
        *droppedObjects = reader.Dropped();
    return true;
}
