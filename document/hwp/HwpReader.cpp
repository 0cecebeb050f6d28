#include "document/hwp/HwpFile.h"

#include "document/LayoutUnits.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpBody.h"
#include "document/hwp/HwpDocInfo.h"
#include "document/hwp/Records.h"
#include "document/model/ModelToTextDocument.h"

#include <QSet>

#include <QFile>
#include <QTextDocument>
#include <QtEndian>

namespace HwpFile {

namespace {

// What the user is told when a file is refused.
constexpr char16_t kOldVersion[] =
    u"HWP 3.0 이하 형식의 문서는 열 수 없습니다. 한글에서 HWP 5.0 형식으로 저장한 뒤 여십시오.";
constexpr char16_t kNotHwp[] = u"HWP 문서가 아닙니다.";
constexpr char16_t kUnknownVersion[] = u"지원하지 않는 HWP 버전의 문서입니다. (%1)";
constexpr char16_t kPassword[] = u"암호가 걸린 문서는 열 수 없습니다. 한글에서 암호를 해제한 뒤 여십시오.";
constexpr char16_t kDistribution[] = u"배포용 문서는 열 수 없습니다. 본문이 암호화되어 있어 편집할 수 없습니다.";
constexpr char16_t kDrm[] = u"보안(DRM)이나 인증서 암호화가 적용된 문서는 열 수 없습니다.";
constexpr char16_t kMissingStream[] = u"문서가 손상되었습니다. \"%1\" 스트림이 없습니다.";
constexpr char16_t kNotInflating[] = u"문서가 손상되었습니다. \"%1\" 스트림의 압축을 풀 수 없습니다.";
constexpr char16_t kTooLarge[] = u"문서가 너무 큽니다.";

// The 32-byte signature of the file header; HWP 3 and older files start with it too, followed by " V3.00" and
// the like, but are no compound files.
constexpr char kSignature[] = "HWP Document File";
// The header's property bits that decide whether we can read the document at all.
constexpr quint32 kCompressed = 0x1;
constexpr quint32 kPasswordSet = 0x2;
constexpr quint32 kDistributionOnly = 0x4;
constexpr quint32 kDrmProtected = 0x10 | 0x100 | 0x400; // DRM, encryption by a certificate, DRM by one
// More sections than any question needs.
constexpr int kMaxSections = 256;
// DocInfo and the sections together, inflated; a question's document is a small fraction of it.
constexpr qsizetype kMaxStreamBytes = qsizetype(64) << 20;

// A picture stream inflated past this is not a question's picture; past the second bound for all pictures
// together, the rest are left out.
constexpr qsizetype kMaxPictureBytes = qsizetype(64) << 20;
constexpr qsizetype kMaxAllPictureBytes = qsizetype(256) << 20;

void pictureIds(const HwpModel::Paragraphs& paragraphs, QSet<int>& ids)
{
    for (const HwpModel::Paragraph& paragraph : paragraphs) {
        for (const HwpModel::Control& control : paragraph.controls) {
            if (control.kind == HwpModel::Control::Kind::Picture && control.picture.binId >= 0)
                ids.insert(control.picture.binId);
            for (const HwpModel::Cell& cell : control.table.cells)
                pictureIds(cell.paragraphs, ids);
            if (control.table.caption)
                pictureIds(control.table.caption->paragraphs, ids);
            pictureIds(control.margin.paragraphs, ids);
        }
    }
}

// The bytes of the pictures the body shows, inflated where they are stored so.
void readPictures(HwpModel::Document& model, const HwpContainer::Streams& streams, bool compressed)
{
    QSet<int> ids;
    for (const HwpModel::Section& section : model.sections)
        pictureIds(section.paragraphs, ids);
    qsizetype used = 0;
    for (int id : std::as_const(ids)) {
        const auto found = model.info.binItems.constFind(id);
        if (found == model.info.binItems.cend() || !found->embedded)
            continue;
        const auto stream = streams.constFind(HwpContainer::BinDataName(found->id, found->extension));
        if (stream == streams.cend())
            continue;
        const bool inflate = found->compression == 1 || (found->compression == 0 && compressed);
        std::optional<QByteArray> data = *stream;
        if (inflate)
            data = HwpContainer::Inflate(*stream, std::min(kMaxPictureBytes, kMaxAllPictureBytes - used));
        if (data && data->size() <= kMaxAllPictureBytes - used) {
            used += data->size();
            model.binData.insert(id, *data);
        }
    }
}

} // namespace

bool HasSignature(const QByteArray& head)
{
    static const QByteArray signature("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8);
    return head.startsWith(signature);
}

std::optional<HwpModel::Document> ReadModel(const QByteArray& bytes, QString* error)
{
    const auto failWith = [error](const QString& why) -> std::optional<HwpModel::Document> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.startsWith(QByteArray(kSignature) + " V"))
        return failWith(QString::fromUtf16(kOldVersion));
    if (!HasSignature(bytes))
        return failWith(QString::fromUtf16(kNotHwp));
    QString why;
    const auto streams = HwpContainer::ReadStreams(bytes, &why);
    if (!streams)
        return failWith(why);

    const QByteArray header = streams->value(QStringLiteral("FileHeader"));
    if (header.size() < 40 || !header.startsWith(kSignature))
        return failWith(QString::fromUtf16(kNotHwp));
    const quint32 version = qFromLittleEndian<quint32>(header.constData() + 32);
    const quint32 properties = qFromLittleEndian<quint32>(header.constData() + 36);
    if ((version >> 24) != 5) {
        const QString number = QStringLiteral("%1.%2.%3.%4")
                                   .arg(version >> 24)
                                   .arg((version >> 16) & 0xff)
                                   .arg((version >> 8) & 0xff)
                                   .arg(version & 0xff);
        return failWith(QString::fromUtf16(kUnknownVersion).arg(number));
    }
    if (properties & kPasswordSet)
        return failWith(QString::fromUtf16(kPassword));
    if (properties & kDistributionOnly)
        return failWith(QString::fromUtf16(kDistribution));
    if (properties & kDrmProtected)
        return failWith(QString::fromUtf16(kDrm));
    const bool compressed = properties & kCompressed;

    qsizetype used = 0;
    qsizetype recordBudget = HwpRecords::kMaxRecords;
    auto records = [&](const QString& name) -> std::optional<QList<HwpRecords::Record>> {
        const auto stream = streams->constFind(name);
        if (stream == streams->cend()) {
            why = QString::fromUtf16(kMissingStream).arg(name);
            return std::nullopt;
        }
        QByteArray data = *stream;
        if (compressed) {
            const auto plain = HwpContainer::Inflate(data, kMaxStreamBytes - used);
            if (!plain) {
                why = QString::fromUtf16(kNotInflating).arg(name);
                return std::nullopt;
            }
            data = *plain;
        }
        if (data.size() > kMaxStreamBytes - used) {
            why = QString::fromUtf16(kTooLarge);
            return std::nullopt;
        }
        used += data.size();
        auto list = HwpRecords::Parse(data, &why, recordBudget);
        if (list)
            recordBudget -= list->size();
        return list;
    };
    const auto docInfo = records(QStringLiteral("DocInfo"));
    if (!docInfo)
        return failWith(why);
    QList<QList<HwpRecords::Record>> sections;
    for (int i = 0; streams->contains(QStringLiteral("BodyText/Section%1").arg(i)) || i == 0; ++i) {
        if (i == kMaxSections)
            return failWith(QString::fromUtf16(kTooLarge));
        auto section = records(QStringLiteral("BodyText/Section%1").arg(i));
        if (!section)
            return failWith(why);
        sections.append(std::move(*section));
    }

    HwpModel::Document model;
    model.info = HwpDocInfo::Read(*docInfo);
    for (const auto& section : std::as_const(sections))
        model.sections.push_back(HwpBody::ReadSection(section));
    readPictures(model, *streams, compressed);
    return model;
}

bool Read(QTextDocument& document, PageGeometry& page, const QByteArray& bytes, QString* error,
          DroppedObjects* droppedObjects, QList<ParagraphPlace>* paragraphs)
{
    // Everything is read and checked before the document is touched, so a refused file leaves it as it was.
    const std::optional<HwpModel::Document> model = ReadModel(bytes, error);
    if (!model)
        return false;
    // Filled with the layout switched off, and laid out once at the end: a layout runs on every change, and a
    // table's every cell is a change to the whole table.
    const QSizeF pageSize = document.pageSize();
    document.setPageSize(QSizeF(0, 0));
    document.clear();
    std::optional<PageGeometry> sectionPage;
    DroppedObjects dropped;
    ModelToTextDocument::Fill(document, *model, &sectionPage, &dropped, paragraphs);
    LayoutUnits::KeepFirstSpacing(document);
    document.setPageSize(pageSize);
    if (sectionPage)
        page = *sectionPage;
    if (droppedObjects)
        *droppedObjects = dropped;
    return true;
}

bool Load(QTextDocument& document, PageGeometry& page, const QString& path, QString* error,
          DroppedObjects* droppedObjects, QList<ParagraphPlace>* paragraphs)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("파일을 열 수 없습니다. (%1)").arg(file.errorString());
        return false;
    }
    return Read(document, page, file.readAll(), error, droppedObjects, paragraphs);
}

} // namespace HwpFile
