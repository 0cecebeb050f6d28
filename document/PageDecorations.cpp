#include "document/PageDecorations.h"

#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/PageLayout.h"
#include "document/TableEditing.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDataStream>
#include <QHash>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QThread>

#include <memory>

#include <algorithm>

namespace PageDecorations {

namespace {

// The properties hold a small data stream of their own, versioned so that a later field can be added.
constexpr quint8 kStreamVersion = 1;

void writeMargins(QDataStream& out, const QList<Margin>& margins)
{
    out << quint32(margins.size());
    for (const Margin& margin : margins)
        out << margin.content << qint32(margin.pages) << qint32(margin.verticalAlignment);
}

QList<Margin> readMargins(QDataStream& in)
{
    quint32 count = 0;
    in >> count;
    QList<Margin> margins;
    // Odd, even and both pages: a few at most.
    for (quint32 i = 0; i < count && i < 3 && in.status() == QDataStream::Ok; ++i) {
        Margin margin;
        qint32 pages = 0;
        qint32 alignment = 0;
        in >> margin.content >> pages >> alignment;
        margin.pages = Pages(std::clamp(pages, 0, 2));
        margin.verticalAlignment = std::clamp(alignment, 0, 2);
        margins.append(margin);
    }
    return margins;
}

double points(int units)
{
    return units / PageGeometry::kUnitsPerPoint;
}

// Where content laid out `height` tall stands in `space` of that height, by the word processor's vertical
// alignment.
double alignedTop(double top, double space, double height, int alignment)
{
    if (alignment == 1)
        return top + (space - height) / 2;
    if (alignment == 2)
        return top + space - height;
    return top;
}

// How tall content stands when aligned: down to its last line's text, without the spacing the layout leaves
// below that line, as the word processor aligns a header's or footer's lines.
double alignedHeight(QTextDocument& content)
{
    const QTextBlock last = content.lastBlock();
    const QTextLayout* layout = last.layout();
    if (!layout || layout->lineCount() == 0)
        return content.size().height();
    const QTextLine line = layout->lineAt(layout->lineCount() - 1);
    return content.documentLayout()->blockBoundingRect(last).top() + line.y() + line.height();
}

void paintContent(QPainter* painter, QTextDocument& content, const QPointF& at)
{
    painter->save();
    painter->translate(at);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(QPointF(0, 0), content.size());
    content.documentLayout()->draw(painter, context);
    painter->restore();
}

// The laid-out documents of the captions, headers and footers a document's pages show, kept with the document:
// each is read and laid out once for its content, width and page number, not at every paint. A child of the
// document, so that it lives on the document's thread and goes with it.
class ContentCache : public QObject
{
public:
    // Found by its name: the class has no meta-object of its own for findChild to tell it by.
    static constexpr char kName[] = "vellorin-decoration-contents";
    explicit ContentCache(QObject* parent) : QObject(parent) { setObjectName(QLatin1String(kName)); }

    QTextDocument& of(const QByteArray& content, double width, int number)
    {
        QByteArray key = content;
        key.append(reinterpret_cast<const char*>(&width), sizeof width);
        key.append(reinterpret_cast<const char*>(&number), sizeof number);
        std::shared_ptr<QTextDocument>& laidOut = m_documents[key];
        if (!laidOut) {
            // Far more than any page shows: what edits left behind goes at once.
            if (m_documents.size() > kMaxDocuments) {
                m_documents.clear();
                return of(content, width, number);
            }
            laidOut = numbered(content, width, number);
        }
        return *laidOut;
    }

    static std::unique_ptr<QTextDocument> numbered(const QByteArray& content, double width, int number)
    {
        std::unique_ptr<QTextDocument> laidOut = ContentDocument(content, width);
        // The number of the page in place of each mark.
        if (number > 0) {
            const QString mark{QChar(kPageNumberMark)};
            for (QTextCursor at = laidOut->find(mark); !at.isNull(); at = laidOut->find(mark, at))
                at.insertText(QString::number(number));
        }
        return laidOut;
    }

private:
    static constexpr qsizetype kMaxDocuments = 256;
    QHash<QByteArray, std::shared_ptr<QTextDocument>> m_documents;
};

// `content` laid out `width` wide, with page `number` in place of its marks (0: none), as `document` keeps it; a
// document painted on another thread than its own gets it in `fallback`, for this paint.
QTextDocument& cachedContent(const QTextDocument& document, const QByteArray& content, double width, int number,
                             std::unique_ptr<QTextDocument>& fallback)
{
    if (document.thread() != QThread::currentThread()) {
        fallback = ContentCache::numbered(content, width, number);
        return *fallback;
    }
    auto* cache = static_cast<ContentCache*>(
        document.findChild<QObject*>(QLatin1String(ContentCache::kName), Qt::FindDirectChildrenOnly));
    // Keeping a cache changes nothing a reader of the document sees.
    if (!cache)
        cache = new ContentCache(const_cast<QTextDocument*>(&document));
    return cache->of(content, width, number);
}

} // namespace

QByteArray Content(const QTextDocument& document)
{
    return DocumentFile::NativeBytes(document, PageGeometry());
}

std::unique_ptr<QTextDocument> ContentDocument(const QByteArray& content, double width)
{
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    PageGeometry page;
    QBuffer buffer;
    buffer.setData(content);
    if (!content.isEmpty() && buffer.open(QIODevice::ReadOnly))
        DocumentFile::ReadNative(*document, page, buffer);
    document->documentLayout()->setPaintDevice(PageLayout::LayoutDevice());
    FormulaObject::RegisterHandler(document.get());
    document->setDocumentMargin(0);
    document->setTextWidth(std::max(1.0, width));
    return document;
}

void SetCaption(QTextTableFormat& format, const Caption& caption, double tableWidth)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kStreamVersion << caption.content << qint32(caption.side) << qint32(caption.gap) << qint32(caption.width)
        << qint32(caption.textWidth) << caption.toMargins << qint32(caption.verticalAlignment);
    format.setProperty(kCaptionProperty, bytes);
    // The room the caption takes on its side: its width beside the table, its height above or below.
    double room = points(caption.gap);
    if (caption.side == Side::Left || caption.side == Side::Right) {
        room += points(caption.width);
    } else {
        const double width = caption.textWidth > 0 ? points(caption.textWidth) : tableWidth;
        room += ContentDocument(caption.content, width)->size().height();
    }
    // Frame margins are among the lengths Qt scales from the screen's pixels.
    const double margin = LayoutUnits::FromPoints(room);
    switch (caption.side) {
    case Side::Left:
        format.setLeftMargin(margin);
        break;
    case Side::Right:
        format.setRightMargin(margin);
        break;
    case Side::Top:
        format.setTopMargin(margin);
        break;
    case Side::Bottom:
        format.setBottomMargin(margin);
        break;
    }
}

std::optional<Caption> CaptionOf(const QTextFormat& format)
{
    const QByteArray bytes = format.property(kCaptionProperty).toByteArray();
    if (bytes.isEmpty())
        return std::nullopt;
    QDataStream in(bytes);
    quint8 version = 0;
    Caption caption;
    qint32 side = 0;
    qint32 gap = 0;
    qint32 width = 0;
    qint32 textWidth = 0;
    qint32 alignment = 0;
    in >> version >> caption.content >> side >> gap >> width >> textWidth >> caption.toMargins >> alignment;
    if (version != kStreamVersion || in.status() != QDataStream::Ok)
        return std::nullopt;
    caption.side = Side(std::clamp(side, 0, 3));
    caption.gap = std::clamp(gap, 0, 100000);
    caption.width = std::clamp(width, 0, 100000);
    caption.textWidth = std::clamp(textWidth, 0, 100000);
    caption.verticalAlignment = std::clamp(alignment, 0, 2);
    return caption;
}

QRectF CaptionRect(const Caption& caption, const QTextTableFormat& format, const QRectF& frame)
{
    // Qt gives a table's frame where the table itself starts, past its left and top margins, and as large as
    // the table and all its margins.
    const double left = LayoutUnits::ToPoints(format.leftMargin());
    const double right = LayoutUnits::ToPoints(format.rightMargin());
    const double top = LayoutUnits::ToPoints(format.topMargin());
    const double bottom = LayoutUnits::ToPoints(format.bottomMargin());
    const double gap = points(caption.gap);
    const QRectF table(frame.topLeft(), QSizeF(frame.width() - left - right, frame.height() - top - bottom));
    if (caption.side == Side::Left)
        return QRectF(table.left() - left, table.top(), points(caption.width), table.height());
    if (caption.side == Side::Right)
        return QRectF(table.right() + gap, table.top(), points(caption.width), table.height());
    const double width = caption.textWidth > 0 ? points(caption.textWidth) : table.width();
    if (caption.side == Side::Top)
        return QRectF(table.left(), table.top() - top, width, top - gap);
    return QRectF(table.left(), table.bottom() + gap, width, bottom - gap);
}

void SetMargins(QTextDocument& document, const Margins& margins)
{
    QTextFrameFormat root = document.rootFrame()->frameFormat();
    if (margins.isEmpty()) {
        root.clearProperty(kMarginsProperty);
    } else {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << kStreamVersion;
        writeMargins(out, margins.headers);
        writeMargins(out, margins.footers);
        out << qint32(margins.number.position) << qint32(margins.number.shape) << margins.number.prefix
            << margins.number.suffix << margins.number.dash;
        root.setProperty(kMarginsProperty, bytes);
    }
    document.rootFrame()->setFrameFormat(root);
}

Margins MarginsOf(const QTextDocument& document)
{
    const QByteArray bytes = document.rootFrame()->frameFormat().property(kMarginsProperty).toByteArray();
    Margins margins;
    if (bytes.isEmpty())
        return margins;
    QDataStream in(bytes);
    quint8 version = 0;
    qint32 position = 0;
    qint32 shape = 0;
    in >> version;
    margins.headers = readMargins(in);
    margins.footers = readMargins(in);
    in >> position >> shape >> margins.number.prefix >> margins.number.suffix >> margins.number.dash;
    if (version != kStreamVersion || in.status() != QDataStream::Ok)
        return Margins();
    margins.number.position = std::clamp(position, 0, 10);
    margins.number.shape = shape;
    return margins;
}

const Margin* MarginOn(const QList<Margin>& margins, int number)
{
    const Pages own = number % 2 == 0 ? Pages::Even : Pages::Odd;
    const Margin* both = nullptr;
    for (const Margin& margin : margins) {
        if (margin.pages == own)
            return &margin;
        if (margin.pages == Pages::Both && !both)
            both = &margin;
    }
    return both;
}

QString PageNumberText(const PageNumber& number, int page)
{
    QString sign = QString::number(page);
    switch (number.shape) {
    case 1:
        sign = ListNumbering::Counter(ListNumbering::Style::Circled, page);
        break;
    case 2:
    case 3: {
        static const std::pair<int, const char*> numerals[] = {
            {1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
            {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"}};
        if (page < 1 || page > 3999)
            break;
        sign.clear();
        for (int rest = page; const auto& [value, letters] : numerals) {
            for (; rest >= value; rest -= value)
                sign += QLatin1String(letters);
        }
        if (number.shape == 3)
            sign = sign.toLower();
        break;
    }
    case 4:
    case 5:
        // A…Z, then AA…ZZ, as the word processor counts on.
        if (page >= 1)
            sign = QString((page - 1) / 26 + 1, QChar(char16_t((number.shape == 4 ? u'A' : u'a') + (page - 1) % 26)));
        break;
    case 8:
        sign = ListNumbering::Counter(ListNumbering::Style::HangulSyllable, page);
        break;
    case 10:
        sign = ListNumbering::Counter(ListNumbering::Style::HangulJamo, page);
        break;
    default:
        break; // digits, and shapes of symbols this editor draws as digits
    }
    QString text = number.prefix + sign + number.suffix;
    if (!number.dash.isNull() && number.dash != QChar(0))
        text = number.dash + QLatin1Char(' ') + text + QLatin1Char(' ') + number.dash;
    return text;
}

Stored StoredOf(const QTextDocument& document)
{
    Stored stored;
    for (QTextTable* table : TableEditing::Tables(document)) {
        const QTextTableFormat format = table->format();
        if (!format.hasProperty(kCaptionProperty))
            continue;
        Stored::Placed placed;
        placed.block = table->firstCursorPosition().block().blockNumber();
        placed.caption = format.property(kCaptionProperty).toByteArray();
        const double margins[] = {format.leftMargin(), format.rightMargin(), format.topMargin(), format.bottomMargin()};
        for (int side = 0; side < 4; ++side)
            placed.margins[side] = LayoutUnits::ToPoints(margins[side]);
        stored.captions.append(placed);
    }
    stored.margins = document.rootFrame()->frameFormat().property(kMarginsProperty).toByteArray();
    return stored;
}

void Write(QDataStream& out, const Stored& stored)
{
    out << quint32(stored.captions.size());
    for (const Stored::Placed& placed : stored.captions) {
        out << placed.block << placed.caption;
        for (double margin : placed.margins)
            out << margin;
    }
    out << stored.margins;
}

bool Read(QDataStream& in, Stored& stored)
{
    quint32 count = 0;
    in >> count;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        Stored::Placed placed;
        in >> placed.block >> placed.caption;
        for (double& margin : placed.margins) {
            in >> margin;
            if (!(margin >= 0 && margin <= 10000))
                return false;
        }
        QTextFormat format;
        format.setProperty(kCaptionProperty, placed.caption);
        if (!CaptionOf(format))
            return false;
        stored.captions.append(placed);
    }
    in >> stored.margins;
    if (in.status() != QDataStream::Ok)
        return false;
    if (stored.margins.isEmpty())
        return true;
    QTextDocument check;
    QTextFrameFormat root;
    root.setProperty(kMarginsProperty, stored.margins);
    check.rootFrame()->setFrameFormat(root);
    return !MarginsOf(check).isEmpty();
}

void Apply(QTextDocument& document, const Stored& stored)
{
    for (const Stored::Placed& placed : stored.captions) {
        const QTextBlock block = document.findBlockByNumber(placed.block);
        QTextTable* table = block.isValid() ? QTextCursor(block).currentTable() : nullptr;
        if (!table || table->firstCursorPosition().block() != block)
            continue;
        QTextTableFormat format = table->format();
        format.setProperty(kCaptionProperty, placed.caption);
        format.setLeftMargin(LayoutUnits::FromPoints(placed.margins[0]));
        format.setRightMargin(LayoutUnits::FromPoints(placed.margins[1]));
        format.setTopMargin(LayoutUnits::FromPoints(placed.margins[2]));
        format.setBottomMargin(LayoutUnits::FromPoints(placed.margins[3]));
        table->setFormat(format);
    }
    if (!stored.margins.isEmpty()) {
        QTextFrameFormat root = document.rootFrame()->frameFormat();
        root.setProperty(kMarginsProperty, stored.margins);
        document.rootFrame()->setFrameFormat(root);
    }
}

void PaintCaptions(QPainter* painter, QTextDocument* document, const QRectF& clip)
{
    for (QTextTable* table : TableEditing::Tables(*document)) {
        const QTextTableFormat format = table->format();
        const std::optional<Caption> caption = CaptionOf(format);
        if (!caption)
            continue;
        const QRectF place = CaptionRect(*caption, format, document->documentLayout()->frameBoundingRect(table));
        if (!place.intersects(clip))
            continue;
        std::unique_ptr<QTextDocument> fallback;
        QTextDocument& content = cachedContent(*document, caption->content, place.width(), 0, fallback);
        paintContent(painter, content,
                     QPointF(place.left(), alignedTop(place.top(), place.height(), alignedHeight(content),
                                                      caption->verticalAlignment)));
    }
}

void PaintMargins(QPainter* painter, const QTextDocument& document, const PageGeometry& page, int number)
{
    const Margins margins = MarginsOf(document);
    if (margins.isEmpty())
        return;
    const double left = points(page.leftMargin + page.gutter);
    const double width = points(page.paperWidth - page.leftMargin - page.rightMargin - page.gutter);
    const QRectF header(left, points(page.topMargin), width, points(page.headerLength));
    const QRectF footer(left, points(page.paperHeight - page.bottomMargin - page.footerLength), width,
                        points(page.footerLength));
    const auto paintMargin = [&](const Margin* margin, const QRectF& space) {
        if (!margin)
            return;
        std::unique_ptr<QTextDocument> fallback;
        QTextDocument& content = cachedContent(document, margin->content, space.width(), number, fallback);
        const double height = alignedHeight(content);
        paintContent(painter, content,
                     QPointF(space.left(), alignedTop(space.top(), space.height(), height, margin->verticalAlignment)));
    };
    paintMargin(MarginOn(margins.headers, number), header);
    paintMargin(MarginOn(margins.footers, number), footer);

    int position = margins.number.position;
    if (position == 0)
        return;
    // Outside and inside: the outer edge is the right on odd pages and the left on even ones.
    const bool odd = number % 2 == 1;
    if (position >= 7)
        position = position == 7   ? (odd ? 3 : 1)
                   : position == 8 ? (odd ? 6 : 4)
                   : position == 9 ? (odd ? 1 : 3)
                                   : (odd ? 4 : 6);
    const bool top = position <= 3;
    const Qt::Alignment across = (position - 1) % 3 == 0   ? Qt::AlignLeft
                                 : (position - 1) % 3 == 1 ? Qt::AlignHCenter
                                                           : Qt::AlignRight;
    QTextDocument text;
    text.documentLayout()->setPaintDevice(PageLayout::LayoutDevice());
    text.setDocumentMargin(0);
    QFont font = document.defaultFont();
    font.setPointSizeF(10);
    text.setDefaultFont(font);
    text.setPlainText(PageNumberText(margins.number, number));
    QTextCursor cursor(&text);
    QTextBlockFormat alignment;
    alignment.setAlignment(across);
    cursor.mergeBlockFormat(alignment);
    text.setTextWidth(width);
    const QRectF& space = top ? header : footer;
    paintContent(painter, text,
                 QPointF(space.left(), alignedTop(space.top(), space.height(), alignedHeight(text), top ? 0 : 2)));
}

} // namespace PageDecorations
