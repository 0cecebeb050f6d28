#include "document/hwp/HwpFile.h"

#include "document/FormulaObject.h"
#include "document/HwpShapes.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/PageDecorations.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpWriterControls.h"
#include "document/hwp/HwpValues.h"
#include "document/hwp/HwpWriterDocInfo.h"
#include "document/hwp/HwpWriterSummary.h"
#include "document/hwp/Records.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace HwpFile {

namespace {

using HwpRecords::DataWriter;
using HwpRecords::kColumnDef;
using HwpRecords::kEquationCtrl;
using HwpRecords::kPictureCtrl;
using HwpRecords::kSectionDef;
using HwpRecords::kTableCtrl;
using HwpValues::kParagraphUnitsPerPoint;
using HwpValues::kUnitsPerPoint;

constexpr char16_t kUnusablePage[] = u"쪽 설정이 올바르지 않아 HWP 문서를 쓸 수 없습니다.";
constexpr char16_t kCannotWrite[] = u"HWP 문서를 쓸 수 없습니다. (%1)";
constexpr char16_t kCannotSave[] = u"파일을 쓸 수 없습니다. (%1)";

// Control characters of paragraph text. Extended and inline ones take eight code units: the code, six units
// of data (an extended control's id first) and the code again.
using namespace HwpModel::Code;

// The paragraph header's break kinds: this one starts a new page.
constexpr quint8 kPageBreakBefore = 0x04;
// The paragraph header's "last in its list" mark, on the character count.
constexpr quint32 kLastParagraph = 0x80000000u;
// A line's height is this share of its text's size; the text stands on a baseline at 85 % of it.
constexpr double kLineHeightFactor = 1.6;

// One paragraph's text as the record holds it, with where each char shape starts and the objects in it.
struct ParagraphText
{
    QString units;
    QList<QPair<quint32, quint32>> runs;
    quint32 controlMask = 0;
    qint32 height = 0; // tallest char shape, HWPUNIT

    void shape(quint32 id)
    {
        const quint32 at = quint32(units.size());
        if (!runs.isEmpty() && runs.last().second == id)
            return;
        if (!runs.isEmpty() && runs.last().first == at)
            runs.last().second = id;
        else
            runs.append({at, id});
    }
    // A control of one unit: the mask announces every control the text holds but the paragraph end.
    void character(char16_t code)
    {
        units += QChar(code);
        controlMask |= 1u << code;
    }
    void control(char16_t code, quint32 id = 0)
    {
        units += QChar(code);
        units += QChar(char16_t(id & 0xFFFF));
        units += QChar(char16_t(id >> 16));
        units += QString(4, QChar(0));
        units += QChar(code);
        controlMask |= 1u << code;
    }
};

// What follows a paragraph's line segments, in the order of its object controls.
struct ParagraphObject
{
    enum class Kind
    {
        Table,
        Picture,
        Formula,
        PageNumber, // a header's or footer's number of its page
    } kind;
    QTextTable* table = nullptr;
    QTextCharFormat format;
};

// A paragraph and the tables Qt puts after it: in HWP the tables belong to the paragraph.
struct Item
{
    QTextBlock block;
    QList<QTextTable*> tables;
};

class Writer : private HwpWriter::CellText
{
public:
    Writer(const QTextDocument& document, const PageGeometry& page)
        : m_document(document), m_page(page), m_controls(document, m_info, m_streams)
    {
        const QFont font = document.defaultFont();
        m_defaultFamily = font.family().isEmpty() ? QStringLiteral("함초롬바탕") : font.family();
        m_defaultSize = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
        m_available = qint32(std::lround(page.columnWidth() * kUnitsPerPoint));
        // Shape 0 of each kind is the one the style names: the document's own font and a plain paragraph.
        m_info.charShape(charShapeOf(QTextCharFormat()));
        m_info.paraShape(plainParagraph());
    }

    HwpContainer::Streams streams()
    {
        QByteArray section;
        writeItems(section, itemsOf(m_document.rootFrame()->begin()), 0, true);
        m_streams.insert(QStringLiteral("FileHeader"), fileHeader());
        m_streams.insert(QStringLiteral("DocInfo"), HwpContainer::Deflate(m_info.stream()));
        m_streams.insert(QStringLiteral("BodyText/Section0"), HwpContainer::Deflate(section));
        m_streams.insert(QStringLiteral("\005HwpSummaryInformation"),
                         HwpWriter::SummaryInformation(m_document.metaInformation(QTextDocument::DocumentTitle)));
        m_streams.insert(QStringLiteral("PrvText"), HwpWriter::PreviewText(m_document.toPlainText()));
        return m_streams;
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

    static QList<Item> itemsOf(QTextFrame::iterator it)
    {
        QList<Item> items;
        for (; !it.atEnd(); ++it) {
            if (it.currentBlock().isValid()) {
                items.append(Item{it.currentBlock(), {}});
            } else if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
                if (items.isEmpty())
                    items.append(Item{});
                items.last().tables.append(table);
            } else if (QTextFrame* frame = it.currentFrame()) {
                items.append(itemsOf(frame->begin()));
            }
        }
        // Qt keeps an empty paragraph after a table that ends a cell or the document, where nobody can leave
        // it out; in the file it would be a blank line of its own.
        if (items.size() > 1 && !items.last().tables.size() && items.last().block.length() <= 1 &&
            !items[items.size() - 2].tables.isEmpty())
            items.removeLast();
        if (items.isEmpty())
            items.append(Item{});
        return items;
    }

    void writeItems(QByteArray& out, const QList<Item>& items, quint16 level, bool section)
    {
        for (qsizetype i = 0; i < items.size(); ++i)
            writeParagraph(out, items[i], level, i + 1 == items.size(), section && i == 0);
    }

    // A paragraph in single spacing, with nothing before it.
    static HwpModel::ParaShape plainParagraph()
    {
        HwpModel::ParaShape shape;
        shape.lineSpacing = 100;
        return shape;
    }

    HwpModel::CharShape charShapeOf(const QTextCharFormat& format)
    {
        HwpModel::CharShape shape;
        const QStringList families = format.fontFamilies().toStringList();
        shape.faces.fill(
            m_info.face(families.isEmpty() || families.first().isEmpty() ? m_defaultFamily : families.first()));
        const double size = format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0
                                ? format.fontPointSize()
                                : m_defaultSize;
        shape.height = qint32(std::lround(std::clamp(size, 0.1, 4096.0) * kUnitsPerPoint));
        if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold)
            shape.properties |= HwpValues::kBold;
        if (format.fontItalic())
            shape.properties |= HwpValues::kItalic;
        if (format.fontUnderline())
            shape.properties |= HwpValues::kUnderlineBelow;
        else if (format.fontOverline())
            shape.properties |= HwpValues::kUnderlineMask; // the line above the text
        if (format.fontStrikeOut())
            shape.properties |= HwpValues::kStrikeOut;
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            shape.properties |= HwpValues::kSuperscript;
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            shape.properties |= HwpValues::kSubscript;
        const QColor text = HwpWriter::BrushColour(format, QTextFormat::ForegroundBrush);
        shape.textColour = text.isValid() ? HwpValues::ColourRef(text) : 0;
        shape.shadeColour = HwpValues::ColourRef(HwpWriter::BrushColour(format, QTextFormat::BackgroundBrush));
        // Width ratio and letter spacing, as the reader sets them from the file.
        if (format.hasProperty(QTextFormat::FontStretch) && format.fontStretch() > 0)
            shape.ratios.fill(std::clamp(format.fontStretch(), 50, 200));
        if (format.hasProperty(QTextFormat::FontLetterSpacing) &&
            format.fontLetterSpacingType() == QFont::AbsoluteSpacing)
            shape.spacings.fill(int(std::clamp<long>(
                std::lround(format.fontLetterSpacing() / std::clamp(size, 0.1, 4096.0) * 100), -50, 50)));
        return shape;
    }

    quint32 charShapeId(const QTextCharFormat& format, ParagraphText& text)
    {
        const HwpModel::CharShape shape = charShapeOf(format);
        text.height = std::max(text.height, shape.height);
        return m_info.charShape(shape);
    }

    quint16 headOf(QTextList* list)
    {
        if (const auto known = m_heads.constFind(list); known != m_heads.cend())
            return *known;
        using Style = ListNumbering::Style;
        using HwpValues::NumberShape;
        const QTextListFormat format = list->format();
        quint16 id = 0;
        const std::optional<Style> style = ListNumbering::StyleOf(format);
        const bool bullet = style == Style::Bullet || format.style() == QTextListFormat::ListCircle ||
                            format.style() == QTextListFormat::ListSquare;
        if (bullet) {
            id = m_info.bullet(format.style() == QTextListFormat::ListSquare   ? QChar(0x25A0)
                               : format.style() == QTextListFormat::ListCircle ? QChar(0x25CB)
                                                                               : QChar(0x25CF));
        } else {
            NumberShape shape = NumberShape::Digit;
            switch (format.style()) {
            case QTextListFormat::ListUpperAlpha:
                shape = NumberShape::LatinCapital;
                break;
            case QTextListFormat::ListLowerAlpha:
                shape = NumberShape::LatinSmall;
                break;
            case QTextListFormat::ListUpperRoman:
                shape = NumberShape::RomanCapital;
                break;
            case QTextListFormat::ListLowerRoman:
                shape = NumberShape::RomanSmall;
                break;
            default:
                shape = style == Style::Circled          ? NumberShape::CircledDigit
                                  : style == Style::HangulSyllable ? NumberShape::HangulSyllable
                                  : style == Style::HangulJamo     ? NumberShape::HangulJamo
                                                                   : NumberShape::Digit;
            }
            // Qt puts a dot after a number whose list names no suffix; the counters drawn here have none.
            const QString suffix = format.hasProperty(QTextFormat::ListNumberSuffix) ? format.numberSuffix()
                                   : ListNumbering::PaintedHere(format)              ? QString()
                                                                                     : QStringLiteral(".");
            // Every level "prefix^level suffix" in the same shape: a paragraph's level picks its own.
            HwpModel::Numbering numbering;
            for (int level = 0; level < HwpModel::kLevels; ++level)
                numbering[level] = {int(shape), format.numberPrefix() + u'^' + QString::number(level + 1) + suffix};
            id = m_info.numbering(numbering);
        }
        m_heads.insert(list, id);
        m_bullets.insert(list, bullet);
        return id;
    }

    quint16 paraShapeOf(const QTextBlock& block)
    {
        using HwpModel::LineSpacing;
        const QTextBlockFormat format = block.blockFormat();
        HwpModel::ParaShape shape = plainParagraph();
        // Format lengths are in the layout's units; the side margins and the indent are points.
        const auto units = [](double length) {
            return qint32(std::lround(LayoutUnits::ToPoints(length) * kParagraphUnitsPerPoint));
        };
        const auto points = [](double length) { return qint32(std::lround(length * kParagraphUnitsPerPoint)); };
        shape.alignment = int(HwpValues::AlignmentOf(format.alignment()));
        // A first line further out than the rest hangs: the word processor's margin is where it starts. A list
        // item's number starts there too.
        shape.left = points(HwpShapes::MarginBeforeNumber(block) + std::min(format.textIndent(), 0.0));
        shape.right = points(format.rightMargin());
        shape.indent = points(format.textIndent());
        shape.above = units(format.topMargin());
        shape.below = units(format.bottomMargin());
        const bool percent = format.hasProperty(LayoutUnits::kPercentSpacingProperty);
        const bool added = format.hasProperty(LayoutUnits::kAddedSpacingProperty);
        const bool fixed = format.hasProperty(LayoutUnits::kFixedSpacingProperty);
        const auto kept = [&format](int property) {
            return qint32(std::lround(format.doubleProperty(property) * kParagraphUnitsPerPoint));
        };
        switch (percent ? int(QTextBlockFormat::SingleHeight)
                : fixed ? int(QTextBlockFormat::FixedHeight)
                        : format.lineHeightType()) {
        case QTextBlockFormat::FixedHeight:
            shape.lineSpacingType = LineSpacing::Fixed;
            shape.lineSpacing = fixed ? kept(LayoutUnits::kFixedSpacingProperty) : units(format.lineHeight());
            break;
        case QTextBlockFormat::MinimumHeight:
            shape.lineSpacingType = LineSpacing::AtLeast;
            shape.lineSpacing = units(format.lineHeight());
            break;
        case QTextBlockFormat::LineDistanceHeight:
            shape.lineSpacingType = LineSpacing::BetweenLines;
            shape.lineSpacing = added ? kept(LayoutUnits::kAddedSpacingProperty) : units(format.lineHeight());
            break;
        default:
            // In percent of the font size, as the paragraph is laid out here; single spacing too.
            shape.lineSpacing = qint32(std::lround(LayoutUnits::PercentSpacing(block)));
        }
        if (QTextList* list = block.textList()) {
            shape.numbering = headOf(list);
            shape.heading = m_bullets.value(list) ? HwpModel::Heading::Bullet : HwpModel::Heading::Number;
            shape.level = std::clamp(list->format().indent() - 1, 0, HwpModel::kLevels - 1);
        }
        return m_info.paraShape(shape);
    }

    void appendText(ParagraphText& text, const QString& run, QList<ParagraphObject>& objects)
    {
        for (QChar c : run) {
            switch (c.unicode()) {
            case PageDecorations::kPageNumberMark:
                text.control(kAutoNumber, HwpRecords::kAutoNumberCtrl);
                objects.append({ParagraphObject::Kind::PageNumber, nullptr, {}});
                break;
            case u'\t':
                text.control(kTab);
                break;
            case QChar::LineSeparator:
            case u'\n':
                text.character(kLineBreak);
                break;
            case QChar::Nbsp:
                text.character(kNonBreakingSpace);
                break;
            case 0x2007:
                text.character(kFixedWidthSpace);
                break;
            case QChar::ObjectReplacementCharacter:
                break; // an object of no kind the file holds
            default:
                text.units += c.unicode() < 32 ? QChar(u' ') : c;
            }
        }
    }

    void writeParagraph(QByteArray& out, const Item& item, quint16 level, bool last, bool sectionStart)
    {
        using namespace HwpRecords;
        ParagraphText text;
        QList<ParagraphObject> objects;
        const QTextBlock& block = item.block;
        const quint32 blockShape = charShapeId(block.isValid() ? block.charFormat() : QTextCharFormat(), text);
        const PageDecorations::Margins margins =
            sectionStart ? PageDecorations::MarginsOf(m_document) : PageDecorations::Margins();
        if (sectionStart) {
            text.shape(blockShape);
            text.control(kSectionColumn, kSectionDef);
            text.control(kSectionColumn, kColumnDef);
            if (margins.number.position != 0)
                text.control(kPageNumber, HwpRecords::kPageNumberCtrl);
            for (qsizetype i = 0; i < margins.headers.size(); ++i)
                text.control(kHeaderFooter, HwpRecords::kHeaderCtrl);
            for (qsizetype i = 0; i < margins.footers.size(); ++i)
                text.control(kHeaderFooter, HwpRecords::kFooterCtrl);
        }
        for (auto it = block.isValid() ? block.begin() : QTextBlock::iterator(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (FormulaObject::IsFormula(format)) {
                for (int i = 0; i < fragment.length(); ++i) {
                    text.shape(charShapeId(FormulaObject::TextFormat(format), text));
                    text.control(kObject, kEquationCtrl);
                    objects.append({ParagraphObject::Kind::Formula, nullptr, format});
                }
            } else if (format.isImageFormat()) {
                // A picture whose pixels are gone is left out, as the editor's own file leaves it out.
                if (m_controls.pictureOf(format.toImageFormat().name()).isNull())
                    continue;
                for (int i = 0; i < fragment.length(); ++i) {
                    text.shape(charShapeId(FormulaObject::TextFormat(format), text));
                    text.control(kObject, kPictureCtrl);
                    objects.append({ParagraphObject::Kind::Picture, nullptr, format});
                }
            } else {
                text.shape(charShapeId(format, text));
                appendText(text, fragment.text(), objects);
            }
        }
        for (QTextTable* table : item.tables) {
            if (text.runs.isEmpty())
                text.shape(blockShape);
            text.control(kObject, kTableCtrl);
            objects.append({ParagraphObject::Kind::Table, table, {}});
        }
        if (text.runs.isEmpty())
            text.shape(blockShape);
        text.units += QChar(kParagraphEnd);
        // The paragraph end and section controls are not objects the mask announces.
        text.controlMask &= ~(1u << kParagraphEnd);

        const quint32 count = quint32(text.units.size());
        const bool pageBreak =
            block.isValid() && block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
        DataWriter header;
        header.u32(count | (last ? kLastParagraph : 0))
            .u32(text.controlMask)
            .u16(block.isValid() ? paraShapeOf(block) : 0)
            .u8(0) // style "바탕글"
            .u8(pageBreak ? kPageBreakBefore : 0)
            .u16(quint16(text.runs.size()))
            .u16(0)  // range tags
            .u16(1)  // line segments
            .u32(0)  // instance
            .u16(0); // tracked changes
        Append(out, ParaHeader, level, header.data());
        // A paragraph of nothing but its end has no text record.
        if (count > 1) {
            DataWriter units;
            for (QChar unit : std::as_const(text.units))
                units.u16(unit.unicode());
            Append(out, ParaText, level + 1, units.data());
        }
        DataWriter runs;
        for (const auto& [start, id] : std::as_const(text.runs))
            runs.u32(start).u32(id);
        Append(out, ParaCharShape, level + 1, runs.data());
        Append(out, ParaLineSeg, level + 1, lineSegment(text.height > 0 ? text.height : 1000));
        if (sectionStart) {
            writeSectionControls(out, level + 1);
            writeMargins(out, margins, level + 1);
        }
        for (const ParagraphObject& object : std::as_const(objects)) {
            switch (object.kind) {
            case ParagraphObject::Kind::Table:
                m_controls.writeTable(out, object.table, level + 1, m_available, *this);
                break;
            case ParagraphObject::Kind::Picture:
                m_controls.writePicture(out, object.format.toImageFormat(), level + 1);
                break;
            case ParagraphObject::Kind::Formula:
                m_controls.writeFormula(out, object.format, level + 1);
                break;
            case ParagraphObject::Kind::PageNumber:
                // A page number in digits, without a symbol, prefix or suffix of its own.
                Append(out, CtrlHeader, level + 1,
                       DataWriter().u32(kAutoNumberCtrl).u32(0).u16(1).u16(0).u16(0).u16(0).data());
                break;
            }
        }
    }

    // One line for the whole paragraph: the word processor lays the text out again when it opens the file,
    // but readers expect each paragraph to say where its first line stands.
    QByteArray lineSegment(qint32 textHeight)
    {
        const qint32 height = qint32(textHeight * kLineHeightFactor);
        DataWriter out;
        out.u32(0).i32(m_verticalPosition).i32(textHeight).i32(textHeight).i32(qint32(textHeight * 0.85));
        out.i32(height - textHeight).i32(0).i32(m_available);
        out.u32(0x00060000); // the first and the last segment of its line
        m_lastLine = {m_verticalPosition + textHeight, height - textHeight};
        m_verticalPosition += height;
        return out.data();
    }

    void writeSectionControls(QByteArray& out, quint16 level)
    {
        using namespace HwpRecords;
        DataWriter section;
        section.u32(kSectionDef).u32(0).u16(1134).u16(0).u16(0).u32(8000);
        section.u16(0);                      // no outline numbering
        section.u16(0).u16(0).u16(0).u16(0); // page, picture, table and equation numbers go on
        section.u16(0);                      // language
        section.zeros(47 - section.data().size());
        Append(out, CtrlHeader, level, section.data());

        // The paper upright, and a landscape mark when it lies on its side.
        const bool landscape = m_page.paperWidth > m_page.paperHeight;
        DataWriter pageDef;
        pageDef.u32(quint32(landscape ? m_page.paperHeight : m_page.paperWidth))
            .u32(quint32(landscape ? m_page.paperWidth : m_page.paperHeight))
            .u32(quint32(m_page.leftMargin))
            .u32(quint32(m_page.rightMargin))
            .u32(quint32(m_page.topMargin))
            .u32(quint32(m_page.bottomMargin))
            .u32(quint32(m_page.headerLength))
            .u32(quint32(m_page.footerLength))
            .u32(quint32(m_page.gutter))
            .u32(landscape ? 1 : 0);
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

        const quint16 columns = quint16(std::clamp(m_page.columnCount, 1, 255));
        DataWriter columnDef;
        columnDef.u32(kColumnDef)
            .u16(quint16(columns << 2 | 1u << 12)) // ordinary columns of the same width
            .u16(quint16(columns > 1 ? m_page.columnGap : 0))
            .u16(0)
            .u8(0)
            .u8(0)
            .u32(0);
        Append(out, CtrlHeader, level, columnDef.data());
    }

    // Where the page number stands, then the headers and footers, each a list of paragraphs as wide as the
    // body and as tall as the page's space for it.
    void writeMargins(QByteArray& out, const PageDecorations::Margins& margins, quint16 level)
    {
        using namespace HwpRecords;
        if (margins.number.position != 0) {
            const auto unit = [](const QString& text) { return quint16(text.isEmpty() ? 0 : text.front().unicode()); };
            DataWriter number;
            number.u32(kPageNumberCtrl)
                .u32(quint32(margins.number.shape & 0xff) | quint32(margins.number.position) << 8)
                .u16(0)
                .u16(unit(margins.number.prefix))
                .u16(unit(margins.number.suffix))
                .u16(margins.number.dash.unicode());
            Append(out, CtrlHeader, level, number.data());
        }
        const qint32 width = m_page.paperWidth - m_page.leftMargin - m_page.rightMargin - m_page.gutter;
        const auto writeMargin = [&](const PageDecorations::Margin& margin, quint32 id, qint32 height) {
            Append(out, CtrlHeader, level, DataWriter().u32(id).u32(quint32(margin.pages)).u32(0).data());
            QByteArray paragraphs;
            const qsizetype count = writeContent(paragraphs, margin.content, level + 1, width);
            DataWriter list;
            list.u32(quint32(count)).u32(quint32(margin.verticalAlignment) << 5);
            list.u32(quint32(width)).u32(quint32(height)).zeros(18);
            Append(out, ListHeader, level + 1, list.data());
            out += paragraphs;
        };
        for (const PageDecorations::Margin& margin : margins.headers)
            writeMargin(margin, kHeaderCtrl, m_page.headerLength);
        for (const PageDecorations::Margin& margin : margins.footers)
            writeMargin(margin, kFooterCtrl, m_page.footerLength);
    }

    qsizetype writeContent(QByteArray& out, const QByteArray& content, quint16 level, qint32 width) override
    {
        // Kept until the file is written: shapes and lists are remembered by the address of what made them.
        m_contents.push_back(PageDecorations::ContentDocument(content, width / kUnitsPerPoint));
        const QList<Item> items = itemsOf(m_contents.back()->rootFrame()->begin());
        const qint32 outerPosition = m_verticalPosition;
        const qint32 outerWidth = m_available;
        const Extent outerLast = m_lastLine;
        m_verticalPosition = 0;
        m_available = width;
        writeItems(out, items, level, false);
        m_verticalPosition = outerPosition;
        m_available = outerWidth;
        m_lastLine = outerLast;
        return items.size();
    }

    qsizetype paragraphCount(const QTextTableCell& cell) override { return itemsOf(cell.begin()).size(); }

    Extent write(QByteArray& out, const QTextTableCell& cell, quint16 level, qint32 width) override
    {
        const qint32 outerPosition = m_verticalPosition;
        const qint32 outerWidth = m_available;
        const Extent outerLast = m_lastLine;
        m_verticalPosition = 0;
        m_available = width;
        m_lastLine = {};
        writeItems(out, itemsOf(cell.begin()), level, false);
        const Extent extent = m_lastLine;
        m_verticalPosition = outerPosition;
        m_available = outerWidth;
        m_lastLine = outerLast;
        return extent;
    }

    const QTextDocument& m_document;
    const PageGeometry& m_page;
    HwpWriter::DocInfo m_info;
    HwpContainer::Streams m_streams;
    HwpWriter::Controls m_controls;
    QString m_defaultFamily;
    double m_defaultSize = 10;
    QHash<QTextList*, quint16> m_heads;
    QHash<QTextList*, bool> m_bullets;
    std::vector<std::unique_ptr<QTextDocument>> m_contents;
    qint32 m_verticalPosition = 0;
    // The line record written last, in the list of paragraphs being written.
    Extent m_lastLine;
    // How wide the text being written may run: the column, or the cell a table is in.
    qint32 m_available = 0;
};

} // namespace

QByteArray Bytes(const QTextDocument& document, const PageGeometry& page, QString* error)
{
    if (!page.isUsable()) {
        if (error)
            *error = QString::fromUtf16(kUnusablePage);
        return {};
    }
    QString why;
    const QByteArray bytes = HwpContainer::WriteStreams(Writer(document, page).streams(), &why);
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
