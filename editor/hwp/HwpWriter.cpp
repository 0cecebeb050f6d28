#include "editor/hwp/HwpFile.h"

#include "editor/FormulaObject.h"
#include "editor/LayoutUnits.h"
#include "editor/ListNumbering.h"
#include "editor/hwp/Container.h"
#include "editor/hwp/HwpWriterDocInfo.h"
#include "editor/hwp/HwpWriterSummary.h"
#include "editor/hwp/Records.h"

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

namespace HwpFile {

namespace {

using HwpRecords::DataWriter;
using HwpValues::kParagraphUnitsPerPoint;
using HwpValues::kUnitsPerPoint;

constexpr char16_t kUnusablePage[] = u"쪽 설정이 올바르지 않아 HWP 문서를 쓸 수 없습니다.";
constexpr char16_t kCannotWrite[] = u"HWP 문서를 쓸 수 없습니다. (%1)";
constexpr char16_t kCannotSave[] = u"파일을 쓸 수 없습니다. (%1)";

// Control characters of paragraph text. Extended and inline ones take eight code units: the code, six units
// of data (an extended control's id first) and the code again.
constexpr char16_t kSectionColumnControl = 2;
constexpr char16_t kTab = 9;
constexpr char16_t kLineBreak = 10;
constexpr char16_t kObjectControl = 11; // tables, pictures, equations
constexpr char16_t kParagraphEnd = 13;
constexpr char16_t kNonBreakingSpace = 30;
constexpr char16_t kFixedWidthSpace = 31;

constexpr quint32 ctrlId(const char (&name)[5])
{
    return quint32(quint8(name[0])) << 24 | quint32(quint8(name[1])) << 16 | quint32(quint8(name[2])) << 8 |
           quint32(quint8(name[3]));
}
constexpr quint32 kSectionDef = ctrlId("secd");
constexpr quint32 kColumnDef = ctrlId("cold");
constexpr quint32 kTableCtrl = ctrlId("tbl ");
constexpr quint32 kPictureCtrl = ctrlId("gso ");
constexpr quint32 kPictureComponent = ctrlId("$pic");
constexpr quint32 kEquationCtrl = ctrlId("eqed");

// Placement of an object (the common attribute of object controls): pictures and equations stand in the line
// as characters; tables sit below the text of their paragraph, the text flowing above and below them. Sizes
// are absolute, positions against the paragraph.
constexpr quint32 kTreatAsChar = 1u << 0;
constexpr quint32 kVerticalToParagraph = 2u << 3;
constexpr quint32 kHorizontalToColumn = 2u << 8;
constexpr quint32 kHorizontalToParagraph = 3u << 8;
constexpr quint32 kFlowWithText = 1u << 13;
constexpr quint32 kAbsoluteSize = 4u << 15 | 2u << 18;
constexpr quint32 kWrapTopAndBottom = 1u << 21;
constexpr quint32 kFigure = 1u << 26;
constexpr quint32 kTableKind = 2u << 26;
constexpr quint32 kEquationKind = 3u << 26;
constexpr quint32 kInlineObject =
    kTreatAsChar | kVerticalToParagraph | kHorizontalToParagraph | kFlowWithText | kAbsoluteSize | kWrapTopAndBottom;
constexpr quint32 kTableObject =
    kVerticalToParagraph | kHorizontalToColumn | kFlowWithText | kAbsoluteSize | kWrapTopAndBottom | kTableKind;

// The paragraph header's break kinds: this one starts a new page.
constexpr quint8 kPageBreakBefore = 0x04;
// The paragraph header's "last in its list" mark, on the character count.
constexpr quint32 kLastParagraph = 0x80000000u;
// A picture's pixels are 1/96 inch, as the editor sizes pictures.
constexpr double kUnitsPerPixel = 7200.0 / 96.0;
// Cell margins, left, right, top, bottom: the word processor's defaults of 1.8 mm and 0.5 mm.
constexpr quint16 kCellMargins[4] = {510, 510, 141, 141};
// A line's height is this share of its text's size; the text stands on a baseline at 85 % of it.
constexpr double kLineHeightFactor = 1.6;

QByteArray pngOf(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QColor brushColour(const QTextFormat& format, int property)
{
    const QBrush brush = format.brushProperty(property);
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

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

class Writer
{
public:
    Writer(const QTextDocument& document, const PageGeometry& page) : m_document(document), m_page(page)
    {
        const QFont font = document.defaultFont();
        m_defaultFamily = font.family().isEmpty() ? QStringLiteral("함초롬바탕") : font.family();
        m_defaultSize = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
        m_available = qint32(std::lround(page.columnWidth() * kUnitsPerPoint));
        // Shape 0 of each kind is the one the style names: the document's own font and a plain paragraph.
        m_info.charShape(charShapeOf(QTextCharFormat()));
        m_info.paraShape(HwpWriter::ParaShape());
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

    HwpWriter::CharShape charShapeOf(const QTextCharFormat& format)
    {
        HwpWriter::CharShape shape;
        const QStringList families = format.fontFamilies().toStringList();
        shape.face = m_info.face(families.isEmpty() || families.first().isEmpty() ? m_defaultFamily : families.first());
        const double size = format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0
                                ? format.fontPointSize()
                                : m_defaultSize;
        shape.height = qint32(std::lround(std::clamp(size, 0.1, 4096.0) * kUnitsPerPoint));
        if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold)
            shape.attributes |= HwpValues::kBold;
        if (format.fontItalic())
            shape.attributes |= HwpValues::kItalic;
        if (format.fontUnderline())
            shape.attributes |= HwpValues::kUnderlineBelow;
        if (format.fontStrikeOut())
            shape.attributes |= HwpValues::kStrikeOut;
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            shape.attributes |= HwpValues::kSuperscript;
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            shape.attributes |= HwpValues::kSubscript;
        const QColor text = brushColour(format, QTextFormat::ForegroundBrush);
        shape.colour = text.isValid() ? HwpValues::ColourRef(text) : 0;
        shape.shade = HwpValues::ColourRef(brushColour(format, QTextFormat::BackgroundBrush));
        // Width ratio and letter spacing, as the reader sets them from the file.
        if (format.hasProperty(QTextFormat::FontStretch) && format.fontStretch() > 0)
            shape.widthRatio = quint8(std::clamp(format.fontStretch(), 50, 200));
        if (format.hasProperty(QTextFormat::FontLetterSpacing) &&
            format.fontLetterSpacingType() == QFont::AbsoluteSpacing)
            shape.letterSpacing = qint8(std::clamp<long>(
                std::lround(format.fontLetterSpacing() / std::clamp(size, 0.1, 4096.0) * 100), -50, 50));
        return shape;
    }

    quint32 charShapeId(const QTextCharFormat& format, ParagraphText& text)
    {
        const HwpWriter::CharShape shape = charShapeOf(format);
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
            HwpWriter::Numbering numbering;
            switch (format.style()) {
            case QTextListFormat::ListUpperAlpha:
                numbering.shape = NumberShape::LatinCapital;
                break;
            case QTextListFormat::ListLowerAlpha:
                numbering.shape = NumberShape::LatinSmall;
                break;
            case QTextListFormat::ListUpperRoman:
                numbering.shape = NumberShape::RomanCapital;
                break;
            case QTextListFormat::ListLowerRoman:
                numbering.shape = NumberShape::RomanSmall;
                break;
            default:
                numbering.shape = style == Style::Circled          ? NumberShape::CircledDigit
                                  : style == Style::HangulSyllable ? NumberShape::HangulSyllable
                                  : style == Style::HangulJamo     ? NumberShape::HangulJamo
                                                                   : NumberShape::Digit;
            }
            numbering.prefix = format.numberPrefix();
            // Qt puts a dot after a number whose list names no suffix; the counters drawn here have none.
            numbering.suffix = format.hasProperty(QTextFormat::ListNumberSuffix) ? format.numberSuffix()
                               : ListNumbering::PaintedHere(format)              ? QString()
                                                                                 : QStringLiteral(".");
            id = m_info.numbering(numbering);
        }
        m_heads.insert(list, id);
        m_bullets.insert(list, bullet);
        return id;
    }

    quint16 paraShapeOf(const QTextBlock& block)
    {
        using HwpValues::LineSpacing;
        const QTextBlockFormat format = block.blockFormat();
        HwpWriter::ParaShape shape;
        // Format lengths are in the layout's units; the side margins and the indent are points.
        const auto units = [](double length) {
            return qint32(std::lround(LayoutUnits::ToPoints(length) * kParagraphUnitsPerPoint));
        };
        const auto points = [](double length) { return qint32(std::lround(length * kParagraphUnitsPerPoint)); };
        shape.attributes = quint32(HwpValues::AlignmentOf(format.alignment())) << 2;
        // A first line further out than the rest hangs: the word processor's margin is where it starts.
        shape.left = points(format.leftMargin() + std::min(format.textIndent(), 0.0));
        shape.right = points(format.rightMargin());
        shape.indent = points(format.textIndent());
        shape.before = units(format.topMargin());
        shape.after = units(format.bottomMargin());
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
            shape.spacingType = LineSpacing::Fixed;
            shape.spacing = fixed ? kept(LayoutUnits::kFixedSpacingProperty) : units(format.lineHeight());
            break;
        case QTextBlockFormat::MinimumHeight:
            shape.spacingType = LineSpacing::AtLeast;
            shape.spacing = units(format.lineHeight());
            break;
        case QTextBlockFormat::LineDistanceHeight:
            shape.spacingType = LineSpacing::BetweenLines;
            shape.spacing = added ? kept(LayoutUnits::kAddedSpacingProperty) : units(format.lineHeight());
            break;
        default:
            // In percent of the font size, as the paragraph is laid out here; single spacing too.
            shape.spacing = qint32(std::lround(LayoutUnits::PercentSpacing(block)));
        }
        if (QTextList* list = block.textList()) {
            shape.head = headOf(list);
            const auto type = m_bullets.value(list) ? HwpValues::HeadingType::Bullet : HwpValues::HeadingType::Number;
            shape.level = quint32(std::clamp(list->format().indent() - 1, 0, 6));
            shape.attributes |= quint32(type) << 23 | shape.level << 25;
        }
        return m_info.paraShape(shape);
    }

    void appendText(ParagraphText& text, const QString& run)
    {
        for (QChar c : run) {
            switch (c.unicode()) {
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
        if (sectionStart) {
            text.shape(blockShape);
            text.control(kSectionColumnControl, kSectionDef);
            text.control(kSectionColumnControl, kColumnDef);
        }
        for (auto it = block.isValid() ? block.begin() : QTextBlock::iterator(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (FormulaObject::IsFormula(format)) {
                for (int i = 0; i < fragment.length(); ++i) {
                    text.shape(charShapeId(FormulaObject::TextFormat(format), text));
                    text.control(kObjectControl, kEquationCtrl);
                    objects.append({ParagraphObject::Kind::Formula, nullptr, format});
                }
            } else if (format.isImageFormat()) {
                // A picture whose pixels are gone is left out, as the editor's own file leaves it out.
                if (pictureOf(format.toImageFormat().name()).isNull())
                    continue;
                for (int i = 0; i < fragment.length(); ++i) {
                    text.shape(charShapeId(FormulaObject::TextFormat(format), text));
                    text.control(kObjectControl, kPictureCtrl);
                    objects.append({ParagraphObject::Kind::Picture, nullptr, format});
                }
            } else {
                text.shape(charShapeId(format, text));
                appendText(text, fragment.text());
            }
        }
        for (QTextTable* table : item.tables) {
            if (text.runs.isEmpty())
                text.shape(blockShape);
            text.control(kObjectControl, kTableCtrl);
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
        if (sectionStart)
            writeSectionControls(out, level + 1);
        for (const ParagraphObject& object : std::as_const(objects)) {
            switch (object.kind) {
            case ParagraphObject::Kind::Table:
                writeTable(out, object.table, level + 1);
                break;
            case ParagraphObject::Kind::Picture:
                writePicture(out, object.format.toImageFormat(), level + 1);
                break;
            case ParagraphObject::Kind::Formula:
                writeFormula(out, object.format, level + 1);
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

    QByteArray objectHeader(quint32 id, quint32 attributes, qint32 width, qint32 height)
    {
        DataWriter out;
        out.u32(id).u32(attributes).i32(0).i32(0).u32(quint32(std::max(width, 1))).u32(quint32(std::max(height, 1)));
        out.i32(m_zOrder++);
        out.zeros(8); // outer margins
        out.u32(++m_instance).i32(0).string(QString());
        return out.data();
    }

    void writeFormula(QByteArray& out, const QTextCharFormat& format, quint16 level)
    {
        const QString script = FormulaObject::Script(format);
        const double points = FormulaObject::PointSize(format);
        const qint32 size = qint32(std::lround(points * kUnitsPerPoint));
        // Rough extent for readers that place it before laying it out; the word processor measures it again.
        const qint32 width = qint32(std::max<qsizetype>(script.size(), 1) * size / 2);
        HwpRecords::Append(out, HwpRecords::CtrlHeader, level,
                           objectHeader(kEquationCtrl, kInlineObject | kEquationKind, width, size * 12 / 10));
        DataWriter equation;
        equation.u32(0).string(script).u32(quint32(size)).u32(HwpValues::ColourRef(FormulaObject::Colour(format)));
        equation.i32(85).string(QStringLiteral("Equation Version 60")).string(QStringLiteral("HYhwpEQ"));
        // Two bytes more than the word processor writes: @ohah/hwpjs refuses an equation record without them,
        // and every other reader stops after the font name.
        equation.zeros(2);
        HwpRecords::Append(out, HwpRecords::EqEdit, level + 1, equation.data());
    }

    // A picture the document holds, or one named by its file.
    QImage pictureOf(const QString& name) const
    {
        const QImage image = m_document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
        return image.isNull() ? QImage(name) : image;
    }

    void writePicture(QByteArray& out, const QTextImageFormat& format, quint16 level)
    {
        using namespace HwpRecords;
        const QString name = format.name();
        const QImage image = pictureOf(name);
        quint16 bin = m_pictures.value(name);
        if (bin == 0) {
            bin = m_info.binData(QStringLiteral("png"));
            m_pictures.insert(name, bin);
            const QString number = QString::number(bin, 16).toUpper().rightJustified(4, u'0');
            m_streams.insert(QStringLiteral("BinData/BIN%1.png").arg(number), HwpContainer::Deflate(pngOf(image)));
        }
        const double pixelWidth = image.width();
        const double pixelHeight = image.height();
        double width = format.width() > 0 ? format.width() : pixelWidth;
        double height = format.height() > 0 ? format.height() : width * pixelHeight / pixelWidth;
        const qint32 w = qint32(std::lround(LayoutUnits::ToPoints(width) * kUnitsPerPoint));
        const qint32 h = qint32(std::lround(LayoutUnits::ToPoints(height) * kUnitsPerPoint));
        Append(out, CtrlHeader, level, objectHeader(kPictureCtrl, kInlineObject | kFigure, w, h));

        DataWriter component;
        component.u32(kPictureComponent).u32(kPictureComponent); // a top-level object names its kind twice
        component.i32(0).i32(0).u16(0).u16(1);                   // offset in the group, group level, version
        component.u32(quint32(w)).u32(quint32(h)).u32(quint32(w)).u32(quint32(h)); // original and current size
        component.u32(0).i16(0).i32(w / 2).i32(h / 2); // no flip or rotation, about the centre
        // The drawing matrices: no translation, one pair of unit scale and rotation.
        const auto identity = [&component] {
            for (double value : {1.0, 0.0, 0.0, 0.0, 1.0, 0.0}) {
                quint64 bits;
                std::memcpy(&bits, &value, sizeof bits);
                component.u32(quint32(bits)).u32(quint32(bits >> 32));
            }
        };
        component.u16(1);
        identity();
        identity();
        identity();
        Append(out, ShapeComponent, level + 1, component.data());

        const qint32 cropWidth = qint32(std::lround(pixelWidth * kUnitsPerPixel));
        const qint32 cropHeight = qint32(std::lround(pixelHeight * kUnitsPerPixel));
        DataWriter picture;
        picture.u32(0).i32(0).u32(0); // no border line
        picture.i32(0).i32(0).i32(w).i32(0).i32(w).i32(h).i32(0).i32(h);
        picture.i32(0).i32(0).i32(cropWidth).i32(cropHeight); // the whole image, uncropped
        picture.zeros(8);                                     // inner margins
        picture.u8(0).u8(0).u8(0).u16(bin);                   // brightness, contrast, effect, the image
        picture.u8(0).u32(m_instance).u32(0).i32(cropWidth).i32(cropHeight).u8(0);
        Append(out, ShapeComponentPicture, level + 2, picture.data());
    }

    // Column widths in HWPUNIT: fixed widths as given, percentages of the column, the rest shared evenly.
    QList<qint32> columnWidths(QTextTable* table) const
    {
        const int columns = table->columns();
        const double available = m_available;
        const QList<QTextLength> constraints = table->format().columnWidthConstraints();
        QList<qint32> widths(columns, 0);
        double used = 0;
        int open = 0;
        for (int c = 0; c < columns; ++c) {
            const QTextLength length = c < constraints.size() ? constraints[c] : QTextLength();
            if (length.type() == QTextLength::FixedLength)
                widths[c] = qint32(std::lround(LayoutUnits::ToPoints(length.rawValue()) * kUnitsPerPoint));
            else if (length.type() == QTextLength::PercentageLength)
                widths[c] = qint32(std::lround(available * length.rawValue() / 100.0));
            else
                ++open;
            used += widths[c];
        }
        const qint32 share = qint32(std::max(available - used, 0.0) / std::max(open, 1));
        for (qint32& width : widths) {
            if (width <= 0)
                width = std::max(share, 1000);
        }
        // The layout draws the table's outer border outside its fixed columns, where a cell holds its borders.
        const qint32 border = qint32(std::lround(LayoutUnits::ToPoints(table->format().border()) * kUnitsPerPoint));
        if (!constraints.isEmpty() && constraints.first().type() == QTextLength::FixedLength)
            widths.first() += border;
        if (constraints.size() == columns && constraints.last().type() == QTextLength::FixedLength)
            widths.last() += border;
        return widths;
    }

    HwpWriter::BorderFill borderFillOf(const QTextTableCellFormat& cell, const QTextTableFormat& table)
    {
        static constexpr int kSides[4][3] = {
            {QTextFormat::TableCellLeftBorder, QTextFormat::TableCellLeftBorderStyle,
             QTextFormat::TableCellLeftBorderBrush},
            {QTextFormat::TableCellRightBorder, QTextFormat::TableCellRightBorderStyle,
             QTextFormat::TableCellRightBorderBrush},
            {QTextFormat::TableCellTopBorder, QTextFormat::TableCellTopBorderStyle,
             QTextFormat::TableCellTopBorderBrush},
            {QTextFormat::TableCellBottomBorder, QTextFormat::TableCellBottomBorderStyle,
             QTextFormat::TableCellBottomBorderBrush},
        };
        HwpWriter::BorderFill fill;
        for (int side = 0; side < 4; ++side) {
            const auto [widthProperty, styleProperty, brushProperty] = kSides[side];
            // A cell without borders of its own shows the table's grid.
            const double width = cell.hasProperty(widthProperty) ? cell.doubleProperty(widthProperty) : table.border();
            const auto style = QTextFrameFormat::BorderStyle(
                cell.hasProperty(styleProperty) ? cell.intProperty(styleProperty) : int(table.borderStyle()));
            const QColor colour =
                cell.hasProperty(brushProperty) ? brushColour(cell, brushProperty) : table.borderBrush().color();
            HwpWriter::Border& border = fill.sides[side];
            if (width > 0 && style != QTextFrameFormat::BorderStyle_None) {
                border.type = HwpValues::BorderType(style);
                border.width = HwpValues::BorderIndex(LayoutUnits::ToPoints(width));
                border.colour = HwpValues::ColourRef(colour.isValid() ? colour : QColor(Qt::black));
            }
        }
        fill.fill = HwpValues::ColourRef(brushColour(cell, QTextFormat::BackgroundBrush));
        return fill;
    }

    void writeTable(QByteArray& out, QTextTable* table, quint16 level)
    {
        using namespace HwpRecords;
        const int rows = table->rows();
        const int columns = table->columns();
        const QList<qint32> widths = columnWidths(table);
        const QTextTableFormat format = table->format();

        // Cells in reading order, each where it starts; rows as tall as their paragraphs want.
        struct Cell
        {
            QTextTableCell cell;
            qint32 width;
        };
        QList<Cell> cells;
        QList<int> perRow(rows, 0);
        QList<qint32> rowHeights(rows, 0);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (!cell.isValid() || cell.row() != r || cell.column() != c)
                    continue;
                qint32 width = 0;
                for (int k = c; k < c + cell.columnSpan() && k < columns; ++k)
                    width += widths[k];
                cells.append({cell, width});
                ++perRow[r];
                int paragraphs = 0;
                for (auto it = cell.begin(); !it.atEnd(); ++it)
                    ++paragraphs;
                if (cell.rowSpan() == 1)
                    rowHeights[r] = std::max(rowHeights[r], qint32(std::max(paragraphs, 1) * 1600 + 282));
            }
        }
        qint32 tableWidth = 0;
        for (qint32 width : widths)
            tableWidth += width;
        qint32 tableHeight = 0;
        for (qint32& height : rowHeights) {
            height = std::max(height, 1882);
            tableHeight += height;
        }

        Append(out, CtrlHeader, level, objectHeader(kTableCtrl, kTableObject, tableWidth, tableHeight));
        DataWriter record;
        record.u32(0x2); // a table that crosses a page is split between rows
        record.u16(quint16(rows)).u16(quint16(columns)).u16(0);
        for (quint16 margin : kCellMargins)
            record.u16(margin);
        for (int count : std::as_const(perRow))
            record.u16(quint16(count));
        // The table's own border fill is its grid: the very fill of every cell without borders of its own, so
        // that a reader can tell those cells from ones whose borders only look the same.
        record.u16(m_info.borderFill(borderFillOf(QTextTableCellFormat(), format))).u16(0);
        Append(out, Table, level + 1, record.data());

        for (const Cell& entry : std::as_const(cells)) {
            const QTextTableCell& cell = entry.cell;
            const QList<Item> items = itemsOf(cell.begin());
            qint32 height = 0;
            for (int r = cell.row(); r < cell.row() + cell.rowSpan() && r < rows; ++r)
                height += rowHeights[r];
            DataWriter list;
            list.i16(qint16(items.size())).u32(0).u16(0); // text from the top, left to right
            list.u16(quint16(cell.column())).u16(quint16(cell.row()));
            list.u16(quint16(cell.columnSpan())).u16(quint16(cell.rowSpan()));
            list.u32(quint32(entry.width)).u32(quint32(height));
            // The cell's own paddings, where it has them (as cells read from a file do).
            const QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            std::array<quint16, 4> margins = {kCellMargins[0], kCellMargins[1], kCellMargins[2], kCellMargins[3]};
            const QTextFormat::Property paddings[4] = {
                QTextFormat::TableCellLeftPadding, QTextFormat::TableCellRightPadding, QTextFormat::TableCellTopPadding,
                QTextFormat::TableCellBottomPadding};
            for (int side = 0; side < 4; ++side) {
                if (cellFormat.hasProperty(paddings[side]))
                    margins[side] = quint16(std::clamp<long>(
                        std::lround(LayoutUnits::ToPoints(cellFormat.doubleProperty(paddings[side])) * kUnitsPerPoint),
                        0, 0xffff));
            }
            for (quint16 margin : margins)
                list.u16(margin);
            list.u16(m_info.borderFill(borderFillOf(cell.format().toTableCellFormat(), format)));
            list.u32(quint32(entry.width)).zeros(9); // the text's width; no field name
            Append(out, ListHeader, level + 1, list.data());
            // The cell's text starts at its top and is as wide as the cell less its margins.
            const qint32 outerPosition = m_verticalPosition;
            const qint32 outerWidth = m_available;
            m_verticalPosition = 0;
            m_available = std::max(entry.width - margins[0] - margins[1], 1000);
            writeItems(out, items, level + 1, false);
            m_verticalPosition = outerPosition;
            m_available = outerWidth;
        }
    }

    const QTextDocument& m_document;
    const PageGeometry& m_page;
    HwpWriter::DocInfo m_info;
    HwpContainer::Streams m_streams;
    QString m_defaultFamily;
    double m_defaultSize = 10;
    QHash<QTextList*, quint16> m_heads;
    QHash<QTextList*, bool> m_bullets;
    QHash<QString, quint16> m_pictures;
    qint32 m_verticalPosition = 0;
    // How wide the text being written may run: the column, or the cell a table is in.
    qint32 m_available = 0;
    qint32 m_zOrder = 0;
    quint32 m_instance = 0;
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
