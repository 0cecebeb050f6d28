#include "document/hwp/HwpFile.h"

#include "document/hwp/Container.h"
#include "document/hwp/HwpDocInfo.h"
#include "document/hwp/HwpWriterControls.h"
#include "document/hwp/HwpWriterSummary.h"
#include "document/hwp/Records.h"
#include "document/model/TextDocumentToModel.h"

#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <vector>

namespace HwpFile {

namespace {

using HwpRecords::DataWriter;
using HwpRecords::kColumnDef;
using HwpRecords::kEquationCtrl;
using HwpRecords::kPictureCtrl;
using HwpRecords::kSectionDef;
using HwpRecords::kTableCtrl;

constexpr char16_t kUnusablePage[] = u"쪽 설정이 올바르지 않아 HWP 문서를 쓸 수 없습니다.";
constexpr char16_t kCannotWrite[] = u"HWP 문서를 쓸 수 없습니다. (%1)";
constexpr char16_t kCannotSave[] = u"파일을 쓸 수 없습니다. (%1)";

using namespace HwpModel::Code;
using HwpModel::Control;

// The paragraph header's break kinds: this one starts a new page.
constexpr quint8 kPageBreakBefore = 0x04;
// The paragraph header's "last in its list" mark, on the character count.
constexpr quint32 kLastParagraph = 0x80000000u;

// The id an extended control is written with; 0 for one that is not written (what the model keeps of objects
// it cannot write back yet).
quint32 controlId(const Control& control)
{
    switch (control.kind) {
    case Control::Kind::SectionDef:
        return kSectionDef;
    case Control::Kind::ColumnDef:
        return kColumnDef;
    case Control::Kind::Table:
        return control.table.known ? kTableCtrl : 0;
    case Control::Kind::Equation:
        return control.equation.known ? kEquationCtrl : 0;
    case Control::Kind::Picture:
        return control.picture.binId >= 0 ? kPictureCtrl : 0;
    case Control::Kind::Header:
        return HwpRecords::kHeaderCtrl;
    case Control::Kind::Footer:
        return HwpRecords::kFooterCtrl;
    case Control::Kind::PageNumber:
        return HwpRecords::kPageNumberCtrl;
    case Control::Kind::AutoNumber:
        return HwpRecords::kAutoNumberCtrl;
    case Control::Kind::Invisible:
    case Control::Kind::Other:
        break;
    }
    return 0;
}

// What the preview stream shows of a list of paragraphs: their text, a table's cells after its paragraph.
void previewOf(const HwpModel::Paragraphs& paragraphs, QString& out)
{
    for (const HwpModel::Paragraph& paragraph : paragraphs) {
        QList<const HwpModel::Table*> tables;
        std::size_t next = 0;
        for (QChar c : paragraph.text) {
            const ushort code = c.unicode();
            if (code >= 32) {
                out += c;
            } else if (HwpModel::IsExtendedControl(code)) {
                const Control* control = next < paragraph.controls.size() ? &paragraph.controls[next++] : nullptr;
                if (control && control->kind == Control::Kind::Table)
                    tables.append(&control->table);
                else if (control &&
                         (control->kind == Control::Kind::Equation || control->kind == Control::Kind::Picture))
                    out += u' ';
            } else if (code == kTab) {
                out += u'\t';
            } else if (code == kLineBreak) {
                out += u'\n';
            } else if (code == kNonBreakingSpace) {
                out += u' ';
            }
        }
        out += u'\n';
        for (const HwpModel::Table* table : std::as_const(tables)) {
            for (const HwpModel::Cell& cell : table->cells)
                previewOf(cell.paragraphs, out);
        }
    }
}

class Writer
{
public:
    explicit Writer(const HwpModel::Document& model)
        : m_model(model), m_controls([this](QByteArray& out, const HwpModel::Paragraphs& paragraphs, quint16 level) {
              writeParagraphs(out, paragraphs, level);
          })
    {
    }

    HwpContainer::Streams streams()
    {
        HwpContainer::Streams streams;
        QString preview;
        for (std::size_t i = 0; i < m_model.sections.size(); ++i) {
            m_section = &m_model.sections[i];
            QByteArray section;
            writeParagraphs(section, m_section->paragraphs, 0);
            streams.insert(QStringLiteral("BodyText/Section%1").arg(i), HwpContainer::Deflate(section));
            previewOf(m_section->paragraphs, preview);
        }
        if (m_model.sections.empty())
            streams.insert(QStringLiteral("BodyText/Section0"), HwpContainer::Deflate(emptySection()));
        preview.chop(1); // the last paragraph's end
        for (const HwpModel::BinItem& item : m_model.info.binItems) {
            // An extension no stream name can hold (a damaged file's) leaves the picture without its pixels,
            // rather than the file unwritten.
            static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9]{1,16}$"));
            if (!item.embedded || !m_model.binData.contains(item.id) || !plain.match(item.extension).hasMatch())
                continue;
            const QByteArray data = m_model.binData.value(item.id);
            streams.insert(HwpContainer::BinDataName(item.id, item.extension),
                           item.compression == 2 ? data : HwpContainer::Deflate(data));
        }
        streams.insert(QStringLiteral("FileHeader"), fileHeader());
        streams.insert(QStringLiteral("DocInfo"),
                       HwpContainer::Deflate(HwpDocInfo::Write(m_model.info, int(m_model.sections.size()))));
        streams.insert(QStringLiteral("\005HwpSummaryInformation"), HwpWriter::SummaryInformation(m_model.title));
        streams.insert(QStringLiteral("PrvText"), HwpWriter::PreviewText(preview));
        return streams;
    }

private:
    static QByteArray fileHeader()
    {
        QByteArray signature("HWP Document File");
        signature.resize(32, '\0');
        // Version 5.1.0.1; compressed streams, nothing encrypted or locked; the encryption scheme field names
        // the current one, as the word processor's files do, though nothing uses it.
        DataWriter out;
        out.bytes(signature).u32(0x05010001).u32(0x1).u32(0).u32(4);
        out.zeros(256 - out.data().size());
        return out.data();
    }

    // A section of one empty paragraph, for a model without any.
    QByteArray emptySection()
    {
        QByteArray out;
        writeParagraphs(out, {}, 0);
        return out;
    }

    void writeParagraphs(QByteArray& out, const HwpModel::Paragraphs& paragraphs, quint16 level)
    {
        if (paragraphs.empty()) {
            writeParagraph(out, HwpModel::Paragraph(), level, true);
            return;
        }
        for (std::size_t i = 0; i < paragraphs.size(); ++i)
            writeParagraph(out, paragraphs[i], level, i + 1 == paragraphs.size());
    }

    void writeParagraph(QByteArray& out, const HwpModel::Paragraph& paragraph, quint16 level, bool last)
    {
        using namespace HwpRecords;
        // The text in the file's units: extended and inline controls take eight (the code, six units of data,
        // an extended control's id first, and the code again).
        QString units;
        QList<quint32> unitAt(paragraph.text.size() + 1, 0);
        quint32 controlMask = 0;
        std::vector<const Control*> controls;
        std::size_t next = 0;
        const auto control = [&units, &controlMask](char16_t code, quint32 id) {
            units += QChar(code);
            units += QChar(char16_t(id & 0xFFFF));
            units += QChar(char16_t(id >> 16));
            units += QString(4, QChar(0));
            units += QChar(code);
            controlMask |= 1u << code;
        };
        for (qsizetype i = 0; i < paragraph.text.size(); ++i) {
            unitAt[i] = quint32(units.size());
            const char16_t code = paragraph.text[i].unicode();
            if (code >= 32) {
                units += QChar(code);
            } else if (HwpModel::IsExtendedControl(code)) {
                const Control* object = next < paragraph.controls.size() ? &paragraph.controls[next++] : nullptr;
                if (const quint32 id = object ? controlId(*object) : 0) {
                    control(code, id);
                    controls.push_back(object);
                }
            } else if (HwpModel::IsCharControl(code)) {
                units += QChar(code);
                controlMask |= 1u << code;
            } else {
                control(code, 0);
            }
        }
        unitAt.last() = quint32(units.size());
        if (units.isEmpty() || units.back() != QChar(kParagraphEnd))
            units += QChar(kParagraphEnd);
        // The paragraph end is not an object the mask announces.
        controlMask &= ~(1u << kParagraphEnd);

        QList<QPair<quint32, quint32>> runs;
        for (const HwpModel::CharRun& run : paragraph.runs) {
            const quint32 at = unitAt[std::clamp<qsizetype>(run.position, 0, paragraph.text.size())];
            if (!runs.isEmpty() && runs.last().first == at)
                runs.last().second = quint32(run.shape);
            else
                runs.append({at, quint32(run.shape)});
        }
        if (runs.isEmpty())
            runs.append({0, 0});

        const quint32 count = quint32(units.size());
        DataWriter header;
        header.u32(count | (last ? kLastParagraph : 0))
            .u32(controlMask)
            .u16(quint16(std::clamp(paragraph.paraShape, 0, 0xffff)))
            .u8(0) // the one style the document information holds
            .u8(paragraph.pageBreak ? kPageBreakBefore : 0)
            .u16(quint16(runs.size()))
            .u16(0) // range tags
            .u16(quint16(paragraph.lines.size()))
            .u32(0)  // instance
            .u16(0); // tracked changes
        Append(out, ParaHeader, level, header.data());
        // A paragraph of no text has no text record; one that had only its end keeps it.
        if (!paragraph.text.isEmpty()) {
            DataWriter text;
            for (QChar unit : std::as_const(units))
                text.u16(unit.unicode());
            Append(out, ParaText, level + 1, text.data());
        }
        DataWriter shapes;
        for (const auto& [start, id] : std::as_const(runs))
            shapes.u32(start).u32(id);
        Append(out, ParaCharShape, level + 1, shapes.data());
        if (!paragraph.lines.isEmpty()) {
            DataWriter lines;
            for (const HwpModel::LineSegment& line : paragraph.lines) {
                lines.i32(line.textStart).i32(line.top).i32(line.height).i32(line.textHeight).i32(line.baseline);
                lines.i32(line.spacing).i32(line.columnStart).i32(line.width).u32(line.flags);
            }
            Append(out, ParaLineSeg, level + 1, lines.data());
        }
        for (const Control* object : controls)
            writeControl(out, *object, level + 1);
    }

    void writeControl(QByteArray& out, const Control& control, quint16 level)
    {
        using namespace HwpRecords;
        switch (control.kind) {
        case Control::Kind::SectionDef:
            writeSection(out, control, level);
            break;
        case Control::Kind::ColumnDef: {
            const quint16 columns = quint16(std::clamp(control.columnCount, 1, 255));
            DataWriter columnDef;
            columnDef.u32(kColumnDef)
                .u16(quint16(columns << 2 | 1u << 12)) // ordinary columns of the same width
                .u16(quint16(std::clamp(control.columnGap, 0, 0xffff)))
                .u16(0)
                .u8(0)
                .u8(0)
                .u32(0);
            Append(out, CtrlHeader, level, columnDef.data());
            break;
        }
        case Control::Kind::PageNumber: {
            const HwpModel::PageNumber& number = control.pageNumber;
            const auto unit = [](const QString& text) { return quint16(text.isEmpty() ? 0 : text.front().unicode()); };
            DataWriter record;
            record.u32(kPageNumberCtrl)
                .u32(quint32(number.shape & 0xff) | quint32(number.position & 0xf) << 8)
                .u16(0)
                .u16(unit(number.prefix))
                .u16(unit(number.suffix))
                .u16(unit(number.dash));
            Append(out, CtrlHeader, level, record.data());
            break;
        }
        case Control::Kind::Header:
        case Control::Kind::Footer:
            writeMargin(out, control, level);
            break;
        case Control::Kind::AutoNumber:
            Append(out, CtrlHeader, level,
                   DataWriter()
                       .u32(kAutoNumberCtrl)
                       .u32(quint32(control.autoNumber.kind & 0xf))
                       .u16(quint16(control.autoNumber.number))
                       .u16(0)
                       .u16(0)
                       .u16(0)
                       .data());
            break;
        case Control::Kind::Table:
            m_controls.writeTable(out, control.table, level);
            break;
        case Control::Kind::Equation:
            m_controls.writeEquation(out, control.equation, level);
            break;
        case Control::Kind::Picture:
            m_controls.writePicture(out, control.picture, level);
            break;
        case Control::Kind::Invisible:
        case Control::Kind::Other:
            break;
        }
    }

    void writeSection(QByteArray& out, const Control& control, quint16 level)
    {
        using namespace HwpRecords;
        DataWriter section;
        section.u32(kSectionDef).u32(0).u16(1134).u16(0).u16(0).u32(8000);
        section.u16(quint16(m_section ? m_section->outlineNumbering : 0));
        section.u16(0).u16(0).u16(0).u16(0); // page, picture, table and equation numbers go on
        section.u16(0);                      // language
        section.zeros(47 - section.data().size());
        Append(out, CtrlHeader, level, section.data());

        m_page = control.page.value_or(HwpModel::PageDef());
        DataWriter pageDef;
        pageDef.u32(quint32(m_page.paperWidth))
            .u32(quint32(m_page.paperHeight))
            .u32(quint32(m_page.left))
            .u32(quint32(m_page.right))
            .u32(quint32(m_page.top))
            .u32(quint32(m_page.bottom))
            .u32(quint32(m_page.header))
            .u32(quint32(m_page.footer))
            .u32(quint32(m_page.gutter))
            .u32(m_page.landscape ? 1 : 0);
        Append(out, PageDef, level + 1, pageDef.data());
        // Footnotes and endnotes in digits followed by ")", a 5 cm thin line above them.
        for (int note = 0; note < 2; ++note) {
            DataWriter shape;
            shape.u32(0).u16(0).u16(0).u16(u')').u16(1).u32(note == 0 ? quint32(-1) : 14692344);
            shape.u16(850).u16(567).u16(note == 0 ? 283 : 0).u8(1).u8(1).u32(0);
            Append(out, FootnoteShape, level + 1, shape.data());
        }
        // No page borders, on both, even and odd pages.
        for (int pages = 0; pages < 3; ++pages)
            Append(out, PageBorderFill, level + 1,
                   DataWriter().u32(1).u16(1417).u16(1417).u16(1417).u16(1417).u16(1).data());
    }

    // A header or footer: a list of paragraphs as wide as the body and as tall as the page's space for it.
    void writeMargin(QByteArray& out, const Control& control, quint16 level)
    {
        using namespace HwpRecords;
        const bool header = control.kind == Control::Kind::Header;
        const HwpModel::Margin& margin = control.margin;
        Append(out, CtrlHeader, level,
               DataWriter().u32(header ? kHeaderCtrl : kFooterCtrl).u32(quint32(margin.pages & 0x3)).u32(0).data());
        const int paper = m_page.landscape ? m_page.paperHeight : m_page.paperWidth;
        const qint32 width = paper - m_page.left - m_page.right - m_page.gutter;
        DataWriter list;
        list.u32(HwpWriter::ListCount(margin.paragraphs)).u32(quint32(margin.verticalAlignment) << 5);
        list.u32(quint32(width)).u32(quint32(header ? m_page.header : m_page.footer)).zeros(18);
        Append(out, ListHeader, level + 1, list.data());
        writeParagraphs(out, margin.paragraphs, level + 1);
    }

    const HwpModel::Document& m_model;
    HwpWriter::Controls m_controls;
    const HwpModel::Section* m_section = nullptr;
    HwpModel::PageDef m_page;
};

} // namespace

QByteArray Bytes(const QTextDocument& document, const PageGeometry& page, QString* error)
{
    if (!page.isUsable()) {
        if (error)
            *error = QString::fromUtf16(kUnusablePage);
        return {};
    }
    return Bytes(TextDocumentToModel::Convert(document, page), error);
}

QByteArray Bytes(const HwpModel::Document& model, QString* error)
{
    QString why;
    const QByteArray bytes = HwpContainer::WriteStreams(Writer(model).streams(), &why);
    if (bytes.isEmpty() && error)
        *error = QString::fromUtf16(kCannotWrite).arg(why);
    return bytes;
}

bool Save(const QTextDocument& document, const PageGeometry& page, const QString& path, QString* error)
{
    const QByteArray bytes = Bytes(document, page, error);
    if (bytes.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QString::fromUtf16(kCannotSave).arg(file.errorString());
        return false;
    }
    return true;
}

} // namespace HwpFile
