#include "editor/CDHwpCtrl.h"

#include "core/BmpFile.h"
#include "editor/DocumentFile.h"
#include "editor/FindReplaceDlg.h"
#include "editor/FontSubstitution.h"
#include "editor/FormulaDlg.h"
#include "editor/FormulaObject.h"
#include "editor/PageView.h"
#include "editor/LayoutUnits.h"
#include "editor/ParagraphDlg.h"
#include "editor/TableEditing.h"
#include "editor/ToolbarIcons.h"
#include "editor/hwp/HwpFile.h"
#include "editor/SymbolDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QImageWriter>
#include <QMenu>
#include <QPainter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextList>
#include <QTextTable>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <sys/mman.h>

#include <cstdlib>
#include <thread>

namespace {

const QString kDefaultFamily = QStringLiteral("NanumGothic");
constexpr double kDefaultPointSize = 10.0;
// The highlighter pen's colour.
constexpr QColor kHighlight(255, 255, 0);

QFont defaultFont()
{
    QFont font(kDefaultFamily);
    font.setPointSizeF(kDefaultPointSize);
    return font;
}

// A blank page of 32-bit pixels. At 500 dpi it is 97 MB: asked for as transparent huge pages, it costs some
// fifty page faults instead of twenty-four thousand, which on a virtual machine is most of the render time.
QImage pageCanvas(int width, int height)
{
    if (width <= 0 || height <= 0 || qint64(width) * height > (qint64(1) << 30))
        return {};
    constexpr std::size_t kHugePage = 2u << 20;
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    void* memory = nullptr;
    if (posix_memalign(&memory, kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage) != 0)
        return {};
    madvise(memory, bytes, MADV_HUGEPAGE);
    QImage image(static_cast<uchar*>(memory), width, height, width * 4, QImage::Format_RGB32, free, memory);
    return image;
}

// The highest number among the document's picture names ("vellorin-picture:7" → 7).
int highestPictureNumber(const QTextDocument& document)
{
    const QString prefix = QLatin1String(DocumentFile::kPictureScheme) + u':';
    int highest = 0;
    for (const QString& name : DocumentFile::PictureNames(document)) {
        if (name.startsWith(prefix))
            highest = std::max(highest, name.mid(prefix.size()).toInt());
    }
    return highest;
}

// Whether the file starts with the signature of the editor's own format.
bool IsNativeDocument(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(DocumentFile::kSignatureSize) ==
                                                 QByteArray(DocumentFile::kSignature, DocumentFile::kSignatureSize);
}

// The format OpenDocument takes a file in, by its first bytes: the word processor's compound file or the
// editor's own ("HWP"), or XML ("HWPML2X"). Empty, with *error, for anything else.
QString documentFormat(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("파일을 열 수 없습니다. (%1)").arg(file.errorString());
        return {};
    }
    QByteArray head = file.read(64);
    if (head.startsWith(QByteArray(DocumentFile::kSignature, DocumentFile::kSignatureSize)) ||
        head.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")))
        return QStringLiteral("HWP");
    if (head.startsWith("\xef\xbb\xbf"))
        head.remove(0, 3);
    if (head.trimmed().startsWith('<'))
        return QStringLiteral("HWPML2X");
    *error = QStringLiteral("한글 문서(HWP 5.0, HWP XML)도 이 편집기의 문서도 아닙니다.");
    return {};
}

CDHwpCtrl::Asker& askerSlot()
{
    static CDHwpCtrl::Asker asker = [](QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                       const QString& text, QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, caption, text, buttons, parent);
        return QMessageBox::StandardButton(box.exec());
    };
    return asker;
}

// Where the writer last took a document from or put one: the next file dialog opens there.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

const QString kDocumentFilter = QStringLiteral("한글 문서 (*.hwp *.hml *.hwpml);;모든 파일 (*)");

} // namespace

void CDHwpCtrl::SetAsker(Asker asker)
{
    askerSlot() = std::move(asker);
}

void CDHwpCtrl::tellFailure(const QString& caption, const QString& text)
{
    askerSlot()(this, QMessageBox::Warning, caption, text, QMessageBox::Ok);
}

bool CDHwpCtrl::OpenFile(const QString& path)
{
    m_openError.clear();
    const QString format = documentFormat(path, &m_openError);
    if (format.isEmpty())
        return false;
    const PageGeometry page = m_page;
    if (!OpenDocument(path, format, QString()))
        return false;
    // A question is written on the bank's page, whatever page the document was written on.
    if (!(m_page == page)) {
        m_page = page;
        m_view->setPage(m_page, Zoom());
    }
    m_document.setModified(true);
    return true;
}

bool CDHwpCtrl::readFile(const QString& path, QTextDocument& into)
{
    m_openError.clear();
    const QString format = documentFormat(path, &m_openError);
    if (format.isEmpty())
        return false;
    into.setDefaultFont(defaultFont());
    PageGeometry page = m_page;
    int dropped = 0;
    bool ok = false;
    if (format == QLatin1String("HWPML2X"))
        ok = DocumentFile::ImportHwpml(into, path, &m_openError, &page, &dropped);
    else if (IsNativeDocument(path))
        ok = DocumentFile::LoadNative(into, page, path, &m_openError);
    else
        ok = HwpFile::Load(into, page, path, &m_openError, &dropped);
    return ok;
}

bool CDHwpCtrl::InsertFile(const QString& path)
{
    m_openError.clear();
    if (PageView::IsPictureFile(path)) {
        const QImage image = QImageReader(path).read();
        if (image.isNull()) {
            m_openError = QStringLiteral("그림을 읽을 수 없습니다.");
            return false;
        }
        InsertPicture(image);
        return true;
    }
    QTextDocument inserted;
    if (!readFile(path, inserted))
        return false;
    m_view->insertDocument(inserted);
    m_view->setFocus();
    return true;
}

void CDHwpCtrl::ShowOpenDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("문서 열기"), lastFolder(), kDocumentFilter);
    if (path.isEmpty())
        return;
    lastFolder() = QFileInfo(path).absolutePath();
    // What the writer changed here would go with the old document.
    if (IsModified() && askerSlot()(this, QMessageBox::Question, QStringLiteral("문서 열기"),
                                    QStringLiteral("지금 문서에서 고친 내용이 없어집니다. 다른 문서를 열까요?"),
                                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        m_view->setFocus();
        return;
    }
    if (!OpenFile(path))
        tellFailure(QStringLiteral("문서 열기"),
                    QStringLiteral("%1\n\n%2").arg(QFileInfo(path).fileName(), m_openError));
    m_view->setFocus();
}

void CDHwpCtrl::ShowInsertDialog()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("문서 끼워 넣기"), lastFolder(),
        QStringLiteral("한글 문서와 그림 (*.hwp *.hml *.hwpml *.png *.jpg *.jpeg *.bmp *.gif);;모든 파일 (*)"));
    if (path.isEmpty())
        return;
    lastFolder() = QFileInfo(path).absolutePath();
    if (!InsertFile(path))
        tellFailure(QStringLiteral("문서 끼워 넣기"),
                    QStringLiteral("%1\n\n%2").arg(QFileInfo(path).fileName(), m_openError));
    m_view->setFocus();
}

void CDHwpCtrl::ShowSaveAsDialog()
{
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("다른 이름으로 저장"), lastFolder(),
                                                QStringLiteral("한글 문서 (*.hwp)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".hwp");
    lastFolder() = QFileInfo(path).absolutePath();
    if (!SaveDocument(path, QStringLiteral("HWP"), QString()))
        tellFailure(QStringLiteral("다른 이름으로 저장"),
                    QStringLiteral("%1\n\n%2").arg(QFileInfo(path).fileName(), m_saveError));
    m_view->setFocus();
}

const QStringList& CDHwpCtrl::ToolbarNames()
{
    static const QStringList names = {
        QStringLiteral("TOOLBAR_MENU"),         QStringLiteral("TOOLBAR_STANDARD"), QStringLiteral("TOOLBAR_FORMAT"),
        QStringLiteral("TOOLBAR_DRAW"),         QStringLiteral("TOOLBAR_TABLE"),    QStringLiteral("TOOLBAR_IMAGE"),
        QStringLiteral("TOOLBAR_NUMBERBULLET"),
    };
    return names;
}

CDHwpCtrl::CDHwpCtrl(QWidget* parent) : QWidget(parent)
{
    FontSubstitution::Install();
    m_document.setDefaultFont(defaultFont());
    m_document.setUndoRedoEnabled(true);
    m_view = new PageView(&m_document);
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("pageScroll"));
    m_scroll->setWidget(m_view);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    buildToolbars();
    m_layout->addWidget(m_scroll, 1);
    // The page takes the keys; the scroll area around it is no stop of its own.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(m_view);
    orderTabStops();
    m_view->setPictureHandlers([this](const QImage& image) { return StorePicture(image); },
                               [this](const QImage& image) { InsertPicture(image); });
    m_view->setMenuAndDropHandlers([this](QMenu& menu) { fillPageMenu(menu); },
                                   [this](const QString& path) {
                                       if (InsertFile(path))
                                           return true;
                                       tellFailure(
                                           QStringLiteral("문서 끼워 넣기"),
                                           QStringLiteral("%1\n\n%2").arg(QFileInfo(path).fileName(), m_openError));
                                       return false;
                                   });
    connect(m_view, &PageView::formulaActivated, this, &CDHwpCtrl::editFormula);
    connect(&m_document, &QTextDocument::contentsChanged, this, &CDHwpCtrl::documentChanged);
    // The toolbar controls' keys pass here first: the editor decides where the keys they have no use for go.
    for (QToolBar* bar : std::as_const(m_toolbars)) {
        bar->installEventFilter(this);
        for (QWidget* control : bar->findChildren<QWidget*>())
            control->installEventFilter(this);
    }
    SetPage(m_page);
}

CDHwpCtrl::~CDHwpCtrl() = default;

bool CDHwpCtrl::Create(const QRect& rect, QWidget* parent, int nID)
{
    if (!parent || !rect.isValid())
        return false;
    setParent(parent);
    setGeometry(rect);
    m_controlId = nID;
    setObjectName(QStringLiteral("editor%1").arg(nID));
    show();
    return true;
}

void CDHwpCtrl::ClearDocument(int option)
{
    Q_UNUSED(option);
    m_document.clear();
    m_pictureCount = 0;
    m_document.setDefaultFont(defaultFont());
    m_document.clearUndoRedoStacks();
    m_document.setModified(false);
    // The page belongs to the document: a loaded file's paper, margins and columns go with it, and the
    // page setup that follows starts from a blank document's page.
    m_page = PageGeometry();
    m_view->setTextCursor(QTextCursor(&m_document));
    m_view->setPage(m_page, Zoom());
}

std::unique_ptr<EditorAction> CDHwpCtrl::NewAction(const QString& actionId)
{
    return std::make_unique<EditorAction>(this, actionId);
}

std::unique_ptr<EditorParameterSet> CDHwpCtrl::NewParameterSet(const QString& setId)
{
    return std::make_unique<EditorParameterSet>(setId);
}

void CDHwpCtrl::SetPage(const PageGeometry& page)
{
    m_page = page;
    m_view->setPage(m_page, Zoom());
}

int CDHwpCtrl::Zoom() const
{
    return m_view ? m_view->zoom() : 100;
}

void CDHwpCtrl::SetZoom(int percent)
{
    m_view->setZoom(percent);
}

void CDHwpCtrl::SetViewSettings(const EditorParameterSet& settings)
{
    if (settings.IntItem(QStringLiteral("ZoomType"), 0) != 0)
        return;
    const int ratio = settings.IntItem(QStringLiteral("ZoomRatio"), Zoom());
    if (ratio > 0)
        m_view->setPage(m_page, ratio);
}

bool CDHwpCtrl::RenderPageImage(const QString& basePath, int page, int dpi, int depth, const QString& format)
{
    m_renderError.clear();
    const QString upper = format.toUpper();
    if ((upper != QLatin1String("BMP") && upper != QLatin1String("PNG")) || dpi < 1 || dpi > 2400 || page < 0 ||
        page >= m_view->physicalPageCount()) {
        m_renderError = QStringLiteral("There is no such page or image format.");
        return false;
    }
    QImage::Format pixelFormat;
    switch (depth) {
    case 1:
        pixelFormat = QImage::Format_Mono;
        break;
    case 8:
        pixelFormat = QImage::Format_Grayscale8;
        break;
    case 24:
        pixelFormat = QImage::Format_RGB888;
        break;
    case 32:
        pixelFormat = QImage::Format_RGB32;
        break;
    default:
        m_renderError = QStringLiteral("Unsupported colour depth %1.").arg(depth);
        return false;
    }
    const QSizeF inches = QSizeF(m_page.paperWidth, m_page.paperHeight) / PageGeometry::kUnitsPerInch;
    // The raster engine paints fastest on 32-bit pixels; the file gets the depth asked for.
    QImage image = pageCanvas(qRound(inches.width() * dpi), qRound(inches.height() * dpi));
    if (image.isNull()) {
        m_renderError = QStringLiteral("Out of memory for the page image.");
        return false;
    }
    image.fill(Qt::white);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    paintBands(image, dpi, page);
    const QString path = basePath + u'.' + format;
    if (upper == QLatin1String("BMP") && depth == 24) {
        // Straight from the 32-bit pixels: Qt's writer converts the whole page twice first.
        BmpLayout layout;
        layout.width = image.width();
        layout.height = image.height();
        layout.dotsPerMeter = dotsPerMeter;
        return WriteBmp(
            path, layout,
            [&image](int y, unsigned char* out) {
                const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    out[3 * x] = uchar(qBlue(in[x]));
                    out[3 * x + 1] = uchar(qGreen(in[x]));
                    out[3 * x + 2] = uchar(qRed(in[x]));
                }
            },
            &m_renderError);
    }
    if (pixelFormat != QImage::Format_RGB32)
        image = image.convertToFormat(pixelFormat);
    QImageWriter writer(path, upper.toLatin1());
    if (writer.write(image))
        return true;
    m_renderError = writer.errorString();
    QFile::remove(path);
    return false;
}

bool CDHwpCtrl::OpenDocument(const QString& path, const QString& format, const QString& argument)
{
    Q_UNUSED(argument);
    bool ok = false;
    m_openError.clear();
    int dropped = 0;
    if (format.compare(QLatin1String("HWP"), Qt::CaseInsensitive) == 0) {
        // "HWP" files are the word processor's HWP 5.0 documents, or this editor's own format in files that
        // earlier versions wrote under the same name; the first bytes tell them apart.
        PageGeometry page = m_page;
        if (IsNativeDocument(path))
            ok = DocumentFile::LoadNative(m_document, page, path, &m_openError);
        else
            ok = HwpFile::Load(m_document, page, path, &m_openError, &dropped);
        if (ok)
            m_page = page;
    } else if (format.compare(QLatin1String("HWPML2X"), Qt::CaseInsensitive) == 0) {
        // A file without a page of its own is shown on the page the editor has.
        PageGeometry page = m_page;
        ok = DocumentFile::ImportHwpml(m_document, path, &m_openError, &page, &dropped);
        if (ok)
            m_page = page;
    } else {
        m_openError = QStringLiteral("알 수 없는 문서 형식입니다. (%1)").arg(format);
    }
    // What the editor held stays: a caller that wants it gone clears it first.
    if (!ok)
        return false;
    m_openDropped = dropped;
    m_document.clearUndoRedoStacks();
    m_document.setModified(false);
    m_view->setTextCursor(QTextCursor(&m_document));
    m_view->setPage(m_page, Zoom());
    return true;
}

QByteArray CDHwpCtrl::NativeData() const
{
    // Taken every few seconds while the writer types: a picture is encoded once, not at every copy.
    return DocumentFile::NativeBytes(m_document, m_page, &m_pngCache);
}

bool CDHwpCtrl::OpenNativeData(const QByteArray& bytes)
{
    m_openError.clear();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    PageGeometry page = m_page;
    if (!DocumentFile::ReadNative(m_document, page, buffer, &m_openError))
        return false;
    m_page = page;
    m_openDropped = 0;
    m_document.clearUndoRedoStacks();
    m_document.setModified(false);
    m_view->setTextCursor(QTextCursor(&m_document));
    m_view->setPage(m_page, Zoom());
    return true;
}

bool CDHwpCtrl::SaveDocument(const QString& path, const QString& format, const QString& argument)
{
    Q_UNUSED(argument);
    m_saveError.clear();
    if (format.compare(QLatin1String("HWP"), Qt::CaseInsensitive) != 0) {
        m_saveError = QStringLiteral("알 수 없는 문서 형식입니다. (%1)").arg(format);
        return false;
    }
    return HwpFile::Save(m_document, m_page, path, &m_saveError);
}

void CDHwpCtrl::SetToolbarItems(int toolbarId, const QString& name)
{
    Q_UNUSED(toolbarId);
    if (m_toolbars.contains(name) && !m_toolbarItems.contains(name))
        m_toolbarItems.append(name);
}

void CDHwpCtrl::ShowToolbars(int flag)
{
    for (auto it = m_toolbars.cbegin(); it != m_toolbars.cend(); ++it)
        it.value()->setVisible(flag != 0 && m_toolbarItems.contains(it.key()));
}

QStringList CDHwpCtrl::VisibleToolbars() const
{
    QStringList visible;
    for (const QString& name : ToolbarNames()) {
        if (m_toolbars.value(name) && !m_toolbars.value(name)->isHidden())
            visible.append(name);
    }
    return visible;
}

void CDHwpCtrl::RegisterExtensionModule(const QString& moduleType, const QString& moduleData)
{
    // The built-in editor opens and saves only where it is told to; it keeps the registration for the record.
    m_modules.append(moduleType + u'=' + moduleData);
}

QString CDHwpCtrl::StorePicture(const QImage& image)
{
    // Past every picture the document holds, also those of a document that was opened: a name used twice
    // would show the new picture in place of the old one and save only one of them.
    m_pictureCount = std::max(m_pictureCount, highestPictureNumber(m_document));
    const QString name = QStringLiteral("%1:%2").arg(QLatin1String(DocumentFile::kPictureScheme)).arg(++m_pictureCount);
    m_document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    return name;
}

void CDHwpCtrl::InsertPicture(const QImage& image)
{
    if (image.isNull())
        return;
    const QString name = StorePicture(image);
    QTextImageFormat format;
    format.setName(name);
    // A picture keeps its size at 96 dpi, in the layout's units, but never overflows the column.
    const double width =
        std::min(LayoutUnits::FromPoints(image.width() * 72.0 / 96.0), LayoutUnits::FromPoints(m_page.columnWidth()));
    format.setWidth(width);
    format.setHeight(image.height() * width / image.width());
    QTextCursor cursor = m_view->textCursor();
    cursor.insertImage(format);
    m_view->setTextCursor(cursor);
}

void CDHwpCtrl::InsertTable(int rows, int columns)
{
    QTextTableFormat format = TableEditing::GridFormat();
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QTextCursor cursor = m_view->textCursor();
    cursor.beginEditBlock();
    TableEditing::GridInEveryCell(cursor.insertTable(rows, columns, format));
    cursor.endEditBlock();
    m_view->setTextCursor(cursor);
}

void CDHwpCtrl::paintBands(QImage& image, int dpi, int page)
{
    // Text at 500 dpi is larger than the glyph cache takes, so every glyph is filled as an outline: painting
    // is most of the render. Horizontal bands are painted in parallel, each from its own copy of the
    // document, since a document and its layout belong to one thread at a time.
    const int bands = std::clamp(QThread::idealThreadCount(), 1, 4);
    const int bandHeight = (image.height() + bands - 1) / bands;
    auto paintBand = [&image, dpi, page, bandHeight, this](QTextDocument* document, int band) {
        const int top = band * bandHeight;
        const int height = std::min(bandHeight, image.height() - top);
        if (height <= 0)
            return;
        QImage strip(image.scanLine(top), image.width(), height, image.bytesPerLine(), image.format());
        QPainter painter(&strip);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(0, -top);
        const double scale = dpi / 72.0;
        painter.scale(scale, scale);
        // A line that straddles two bands is drawn by both, each keeping its own half.
        const QRectF area(0, top / scale - 1, m_page.paperSize().width(), height / scale + 2);
        PageView::paintPage(&painter, document, m_page, page, {}, area);
    };
    std::vector<std::unique_ptr<QTextDocument>> copies;
    std::vector<std::thread> threads;
    for (int band = 1; band < bands; ++band) {
        copies.emplace_back(m_document.clone());
        QTextDocument* copy = copies.back().get();
        PageView::prepareLayout(copy, m_page);
        threads.emplace_back([&paintBand, copy, band] { paintBand(copy, band); });
    }
    paintBand(&m_document, 0);
    for (std::thread& thread : threads)
        thread.join();
}

void CDHwpCtrl::ApplyNumbering(ListNumbering::Style style)
{
    QTextCursor cursor = m_view->textCursor();
    QTextList* list = cursor.currentList();
    cursor.beginEditBlock();
    if (list && ListNumbering::StyleOf(list->format()) == style) {
        // The same style again takes the paragraphs out of their lists.
        const QTextBlock last = m_document.findBlock(cursor.selectionEnd());
        for (QTextBlock block = m_document.findBlock(cursor.selectionStart()); block.isValid(); block = block.next()) {
            if (QTextList* own = block.textList()) {
                own->remove(block);
                QTextCursor at(block);
                QTextBlockFormat format = at.blockFormat();
                format.setIndent(0);
                at.setBlockFormat(format);
            }
            if (block == last)
                break;
        }
    } else {
        cursor.createList(ListNumbering::Format(style));
    }
    cursor.endEditBlock();
    m_view->setTextCursor(cursor);
    m_view->setFocus();
}

void CDHwpCtrl::ApplyParagraphFormat(const QTextBlockFormat& format, int lineSpacingPercent)
{
    QTextCursor cursor = m_view->textCursor();
    cursor.beginEditBlock();
    cursor.mergeBlockFormat(format);
    // The spacing is of each paragraph's own font size.
    if (lineSpacingPercent > 0) {
        const QTextBlock last = m_document.findBlock(cursor.selectionEnd());
        for (QTextBlock block = m_document.findBlock(cursor.selectionStart()); block.isValid(); block = block.next()) {
            QTextBlockFormat spaced = block.blockFormat();
            LayoutUnits::SetPercentSpacing(spaced, lineSpacingPercent, block);
            QTextCursor(block).setBlockFormat(spaced);
            if (block == last)
                break;
        }
    }
    cursor.endEditBlock();
    m_view->setTextCursor(cursor);
    m_view->setFocus();
}

void CDHwpCtrl::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape that a control inside left alone stop here: the editor is a window of its own to the
    // dialog around it, whose default button would otherwise take Enter from a toolbar field or button (and
    // reload, or end, whatever it stands for).
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        if (event->key() != Qt::Key_Escape && modifiers == Qt::NoModifier && button && isAncestorOf(button) &&
            button->isEnabled() && !event->isAutoRepeat())
            activate(button);
        return;
    }
    const bool controlTab =
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) && (event->modifiers() & Qt::ControlModifier);
    if (!controlTab) {
        QWidget::keyPressEvent(event);
        return;
    }
    // To the next control outside the editor, in the window's tab order.
    const bool forward = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
    QWidget* next = this;
    do {
        next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
    } while (next != this && (next == this || isAncestorOf(next) || !(next->focusPolicy() & Qt::TabFocus) ||
                              !next->isVisibleTo(window()) || !next->isEnabled()));
    if (next != this)
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    event->accept();
}

void CDHwpCtrl::activate(QAbstractButton* button)
{
    auto* tool = qobject_cast<QToolButton*>(button);
    if (tool && tool->menu() && tool->popupMode() == QToolButton::InstantPopup)
        tool->showMenu();
    else
        button->click();
}

QAction* CDHwpCtrl::editorShortcut(const QKeyEvent* key) const
{
    const QKeyCombination pressed(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key()));
    const QList<QAction*> own = actions();
    for (QAction* action : own) {
        for (const QKeySequence& sequence : action->shortcuts()) {
            if (sequence.count() == 1 && sequence[0] == pressed && action->isEnabled())
                return action;
        }
    }
    return nullptr;
}

bool CDHwpCtrl::eventFilter(QObject* watched, QEvent* event)
{
    // A toolbar control's own keys win (Ctrl+A and Ctrl+Z in the zoom box are the box's). A key of the
    // editor's own that the control has no use for (Ctrl+A in the size box) is done on the page, but the
    // focus stays where the writer put it: the keys that follow are the control's, and can never type over
    // a document that a shortcut selected out of the writer's sight.
    auto* control = qobject_cast<QWidget*>(watched);
    if (!control || m_probingKey || control->window() != window())
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress && m_pageKey && control == m_pageKeyControl) {
        QAction* action = m_pageKey;
        m_pageKey = nullptr;
        m_pageKeyControl = nullptr;
        if (editorShortcut(key) == action) {
            const QPointer<QWidget> keep = control;
            action->trigger();
            if (keep)
                keep->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    if (event->type() != QEvent::ShortcutOverride || !control->hasFocus())
        return QWidget::eventFilter(watched, event);
    QAction* action = editorShortcut(key);
    if (!action)
        return QWidget::eventFilter(watched, event);
    QKeyEvent probe(QEvent::ShortcutOverride, key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                    ushort(key->count()));
    probe.ignore();
    m_probingKey = true;
    QCoreApplication::sendEvent(control, &probe);
    m_probingKey = false;
    // Either way the shortcut does not fire from here: the key comes to the control as a key press.
    if (!probe.isAccepted()) {
        m_pageKey = action;
        m_pageKeyControl = control;
    }
    event->accept();
    return true;
}

void CDHwpCtrl::orderTabStops()
{
    // Every command of the rows is a stop (a click leaves the focus on the page), in reading order: the
    // command row, the format row, then the page. The groups were made one by one, and the order of making is
    // not their order in the rows.
    QWidget* previous = nullptr;
    const auto stop = [this, &previous](QWidget* next) {
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    };
    for (const char* name : {"TOOLBAR_MENU", "TOOLBAR_STANDARD", "TOOLBAR_DRAW", "TOOLBAR_TABLE", "TOOLBAR_IMAGE",
                             "TOOLBAR_NUMBERBULLET", "TOOLBAR_FORMAT"}) {
        QToolBar* bar = toolbar(QLatin1String(name));
        for (QAction* action : bar->actions()) {
            QWidget* control = bar->widgetForAction(action);
            if (!control)
                continue;
            if (qobject_cast<QToolButton*>(control)) {
                control->setFocusPolicy(Qt::TabFocus);
                if (control->objectName().isEmpty())
                    control->setObjectName(action->objectName() + QStringLiteral("Button"));
            }
            if (control->focusPolicy() & Qt::TabFocus)
                stop(control);
        }
        // The button that shows the commands a narrow window has no room for.
        if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
            more->setFocusPolicy(Qt::TabFocus);
            more->setAccessibleName(QStringLiteral("나머지 도구"));
            stop(more);
        }
    }
    stop(m_view);
}

void CDHwpCtrl::showKeysInTooltips()
{
    for (QAction* action : findChildren<QAction*>()) {
        if (action->shortcuts().isEmpty() || action->text().isEmpty())
            continue;
        QStringList keys;
        for (const QKeySequence& sequence : action->shortcuts())
            keys.append(sequence.toString(QKeySequence::NativeText));
        action->setToolTip(
            QStringLiteral("%1 (%2)").arg(QString(action->text()).remove(u'&'), keys.join(QStringLiteral(", "))));
    }
}

void CDHwpCtrl::fillPageMenu(QMenu& menu)
{
    for (const char* name : {"cutAction", "copyAction", "pasteAction", "selectAllAction"})
        menu.addAction(findChild<QAction*>(QLatin1String(name)));
    // The formula the selection is, or the one just before the cursor.
    const QTextCursor cursor = m_view->textCursor();
    int formula = -1;
    for (int at : {cursor.selectionStart(), cursor.position() - 1, cursor.position()}) {
        if (formula < 0 && at >= 0 && FormulaObject::IsFormula(FormulaObject::FormatAt(m_document, at)))
            formula = at;
    }
    if (formula >= 0) {
        menu.addSeparator();
        QAction* edit = menu.addAction(QStringLiteral("수식 고치기"));
        edit->setObjectName(QStringLiteral("editFormulaAction"));
        connect(edit, &QAction::triggered, this, [this, formula] { editFormula(formula); });
    }
    if (cursor.currentTable()) {
        menu.addSeparator();
        auto* tableButton = findChild<QToolButton*>(QStringLiteral("tableMenuButton"));
        for (QAction* action : tableButton->menu()->actions()) {
            if (action->objectName() == QLatin1String("insertTableAction"))
                continue;
            if (action->isSeparator()) {
                menu.addSeparator();
                continue;
            }
            action->setEnabled(true);
            menu.addAction(action);
        }
    }
}

void CDHwpCtrl::showFormatAtCursor()
{
    const QTextCharFormat format = m_view->textCursor().charFormat();
    // The font and the size the next typed letter takes.
    {
        const QSignalBlocker blockFont(m_fontBox);
        const QStringList families = format.fontFamilies().toStringList();
        m_fontBox->setCurrentFont(QFont(families.isEmpty() ? m_document.defaultFont().family() : families.first()));
        const QSignalBlocker blockSize(m_sizeBox);
        const double points = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize()
                                                                             : m_document.defaultFont().pointSizeF();
        const QString shown = QString::number(points, 'g', 3);
        int index = m_sizeBox->findText(shown);
        if (index < 0) {
            // A size of a document that the list lacks joins the list in its place.
            index = 0;
            while (index < m_sizeBox->count() && m_sizeBox->itemData(index).toDouble() < points)
                ++index;
            m_sizeBox->insertItem(index, shown, points);
        }
        m_sizeBox->setCurrentIndex(index);
    }
    m_boldAction->setChecked(format.fontWeight() >= QFont::Bold);
    m_italicAction->setChecked(format.fontItalic());
    m_underlineAction->setChecked(format.fontUnderline());
    // One vertical position at a time: superscript and subscript exclude each other.
    m_superscriptAction->setChecked(format.verticalAlignment() == QTextCharFormat::AlignSuperScript);
    m_subscriptAction->setChecked(format.verticalAlignment() == QTextCharFormat::AlignSubScript);
    m_strikeOutAction->setChecked(format.fontStrikeOut());
    m_highlightAction->setChecked(format.background().style() != Qt::NoBrush);
}

void CDHwpCtrl::mergeFormat(const QTextCharFormat& format)
{
    QTextCursor cursor = m_view->textCursor();
    cursor.beginEditBlock();
    cursor.mergeCharFormat(format);
    // A paragraph's spacing follows its largest font: worked out again for the paragraphs whose fonts changed.
    if (cursor.hasSelection() &&
        (format.hasProperty(QTextFormat::FontPointSize) || format.hasProperty(QTextFormat::FontFamilies))) {
        const QTextBlock last = m_document.findBlock(cursor.selectionEnd());
        for (QTextBlock block = m_document.findBlock(cursor.selectionStart()); block.isValid(); block = block.next()) {
            LayoutUnits::RefreshSpacing(block);
            if (block == last)
                break;
        }
    }
    cursor.endEditBlock();
    m_view->setTextCursor(cursor);
    m_view->setFocus();
}

void CDHwpCtrl::buildToolbars()
{
    // Two compact rows above the page: the commands, then the character and paragraph formats.
    auto makeRow = [this] {
        auto* row = new QWidget(this);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        m_layout->addWidget(row);
        return layout;
    };
    QHBoxLayout* commandRow = makeRow();
    QHBoxLayout* formatRow = makeRow();
    auto makeToolbar = [this, commandRow, formatRow](const QString& name) {
        auto* bar = new QToolBar(this);
        bar->setObjectName(name);
        bar->setIconSize(QSize(16, 16));
        bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar->setMovable(false);
        bar->hide();
        m_toolbars.insert(name, bar);
        (name == QLatin1String("TOOLBAR_FORMAT") ? formatRow : commandRow)->addWidget(bar);
        return bar;
    };
    auto add = [this](QToolBar* bar, const QString& text, const QString& objectName, auto&& slot) {
        QAction* action = bar->addAction(text);
        action->setObjectName(objectName);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    auto onCursor = [this](auto&& change) {
        return [this, change] {
            QTextCursor cursor = m_view->textCursor();
            change(cursor);
            m_view->setTextCursor(cursor);
            m_view->setFocus();
        };
    };
    auto insertPicture = [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("그림 넣기"), QString(),
                                                          QStringLiteral("그림 (*.png *.jpg *.jpeg *.bmp *.gif)"));
        if (!file.isEmpty())
            InsertPicture(QImageReader(file).read());
    };

    QToolBar* menu = makeToolbar(QStringLiteral("TOOLBAR_MENU"));
    auto* fileMenuButton = new QToolButton(menu);
    fileMenuButton->setObjectName(QStringLiteral("fileMenuButton"));
    fileMenuButton->setText(QStringLiteral("파일"));
    fileMenuButton->setPopupMode(QToolButton::InstantPopup);
    auto* fileMenu = new QMenu(fileMenuButton);
    for (const auto& [text, name, show] :
         {std::tuple{QStringLiteral("문서 열기..."), QStringLiteral("openDocumentAction"), &CDHwpCtrl::ShowOpenDialog},
          std::tuple{QStringLiteral("문서 끼워 넣기..."), QStringLiteral("insertDocumentAction"),
                     &CDHwpCtrl::ShowInsertDialog},
          std::tuple{QStringLiteral("다른 이름으로 저장..."), QStringLiteral("saveAsAction"),
                     &CDHwpCtrl::ShowSaveAsDialog}}) {
        QAction* action = fileMenu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, show);
    }
    fileMenuButton->setMenu(fileMenu);
    menu->addWidget(fileMenuButton);
    auto* editMenuButton = new QToolButton(menu);
    editMenuButton->setObjectName(QStringLiteral("editMenuButton"));
    editMenuButton->setText(QStringLiteral("편집"));
    editMenuButton->setPopupMode(QToolButton::InstantPopup);
    auto* editMenu = new QMenu(editMenuButton);
    connect(editMenu->addAction(QStringLiteral("실행 취소")), &QAction::triggered, this,
            onCursor([this](QTextCursor& c) { m_document.undo(&c); }));
    connect(editMenu->addAction(QStringLiteral("다시 실행")), &QAction::triggered, this,
            onCursor([this](QTextCursor& c) { m_document.redo(&c); }));
    QAction* selectAll = editMenu->addAction(QStringLiteral("모두 선택"));
    selectAll->setObjectName(QStringLiteral("selectAllAction"));
    connect(selectAll, &QAction::triggered, this, onCursor([](QTextCursor& c) { c.select(QTextCursor::Document); }));
    editMenuButton->setMenu(editMenu);
    menu->addWidget(editMenuButton);

    QToolBar* standard = makeToolbar(QStringLiteral("TOOLBAR_STANDARD"));
    add(standard, QStringLiteral("실행 취소"), QStringLiteral("undoAction"),
        onCursor([this](QTextCursor& c) { m_document.undo(&c); }));
    add(standard, QStringLiteral("다시 실행"), QStringLiteral("redoAction"),
        onCursor([this](QTextCursor& c) { m_document.redo(&c); }));
    for (const auto& [text, name, sequence] :
         {std::tuple{QStringLiteral("오려 두기"), QStringLiteral("cutAction"), QKeySequence::Cut},
          std::tuple{QStringLiteral("복사하기"), QStringLiteral("copyAction"), QKeySequence::Copy},
          std::tuple{QStringLiteral("붙이기"), QStringLiteral("pasteAction"), QKeySequence::Paste}}) {
        add(standard, text, name, [this, sequence = sequence] {
            // The view handles the clipboard keys; send it the matching key sequence.
            const QKeyCombination key = QKeySequence(sequence)[0];
            QKeyEvent event(QEvent::KeyPress, key.key(), key.keyboardModifiers());
            QCoreApplication::sendEvent(m_view, &event);
        });
    }

    QToolBar* format = makeToolbar(QStringLiteral("TOOLBAR_FORMAT"));
    auto* fontBox = m_fontBox = new QFontComboBox(format);
    fontBox->setObjectName(QStringLiteral("fontCombo"));
    fontBox->setAccessibleName(QStringLiteral("글꼴"));
    fontBox->setCurrentFont(defaultFont());
    connect(fontBox, &QFontComboBox::currentFontChanged, this, [this](const QFont& font) {
        QTextCharFormat f;
        f.setFontFamilies({font.family()});
        mergeFormat(f);
    });
    format->addWidget(fontBox);
    auto* sizeBox = m_sizeBox = new QComboBox(format);
    sizeBox->setObjectName(QStringLiteral("sizeCombo"));
    sizeBox->setAccessibleName(QStringLiteral("글자 크기"));
    for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 40, 48, 72})
        sizeBox->addItem(QString::number(size), size);
    sizeBox->setCurrentIndex(sizeBox->findData(10));
    connect(sizeBox, &QComboBox::activated, this, [this, sizeBox](int index) {
        QTextCharFormat f;
        f.setFontPointSize(sizeBox->itemData(index).toDouble());
        mergeFormat(f);
    });
    format->addWidget(sizeBox);
    const auto toggle = [this, format](const QString& text, const QString& name, auto&& apply) {
        return addFormatToggle(format, text, name, apply);
    };
    m_boldAction = toggle(QStringLiteral("진하게"), QStringLiteral("boldAction"),
                          [](QTextCharFormat& f, bool on) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
    m_italicAction = toggle(QStringLiteral("기울임"), QStringLiteral("italicAction"),
                            [](QTextCharFormat& f, bool on) { f.setFontItalic(on); });
    m_underlineAction = toggle(QStringLiteral("밑줄"), QStringLiteral("underlineAction"),
                               [](QTextCharFormat& f, bool on) { f.setFontUnderline(on); });
    m_superscriptAction =
        toggle(QStringLiteral("위 첨자"), QStringLiteral("superscriptAction"), [](QTextCharFormat& f, bool on) {
            f.setVerticalAlignment(on ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignNormal);
        });
    m_subscriptAction =
        toggle(QStringLiteral("아래 첨자"), QStringLiteral("subscriptAction"), [](QTextCharFormat& f, bool on) {
            f.setVerticalAlignment(on ? QTextCharFormat::AlignSubScript : QTextCharFormat::AlignNormal);
        });
    // The usual keys, wherever the focus is inside this editor (and only there: three editors share a window).
    for (const auto& [action, keys] :
         {std::pair{m_boldAction, QKeySequence::Bold}, std::pair{m_italicAction, QKeySequence::Italic},
          std::pair{m_underlineAction, QKeySequence::Underline}}) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    // The buttons show the format at the cursor, wherever the cursor goes.
    connect(m_view, &PageView::cursorChanged, this, &CDHwpCtrl::showFormatAtCursor);
    // Typing, moving or finding past the edge of the window brings the cursor back into view.
    // Once the view has taken the size of the changed document, so that the scroll range reaches the cursor.
    connect(
        m_view, &PageView::cursorChanged, this,
        [this] {
            const QRect cursor = m_view->cursorRect().toAlignedRect();
            m_scroll->ensureVisible(cursor.center().x(), cursor.center().y(), 40, cursor.height() + 20);
        },
        Qt::QueuedConnection);
    for (const auto& [text, name, alignment] :
         {std::tuple{QStringLiteral("왼쪽"), QStringLiteral("alignLeftAction"), Qt::Alignment(Qt::AlignLeft)},
          std::tuple{QStringLiteral("가운데"), QStringLiteral("alignCenterAction"), Qt::Alignment(Qt::AlignHCenter)},
          std::tuple{QStringLiteral("오른쪽"), QStringLiteral("alignRightAction"), Qt::Alignment(Qt::AlignRight)},
          std::tuple{QStringLiteral("양쪽"), QStringLiteral("alignJustifyAction"), Qt::Alignment(Qt::AlignJustify)}}) {
        add(format, text, name, onCursor([alignment = alignment](QTextCursor& c) {
                QTextBlockFormat block;
                block.setAlignment(alignment);
                c.mergeBlockFormat(block);
            }));
    }
    add(format, QStringLiteral("글자 색"), QStringLiteral("colourAction"), [this] {
        const QColor colour = QColorDialog::getColor(Qt::black, this, QStringLiteral("글자 색"));
        if (colour.isValid()) {
            QTextCharFormat f;
            f.setForeground(colour);
            mergeFormat(f);
        }
    });

    // Drawing has no tools of its own yet; the group exists so that the program can ask for it.
    makeToolbar(QStringLiteral("TOOLBAR_DRAW"));
    TableEditing::AddTableMenu(makeToolbar(QStringLiteral("TOOLBAR_TABLE")), m_view,
                               [this](int rows, int columns) { InsertTable(rows, columns); });
    QToolBar* inserts = makeToolbar(QStringLiteral("TOOLBAR_IMAGE"));
    add(inserts, QStringLiteral("그림 넣기"), QStringLiteral("insertPictureAction"), insertPicture);
    add(inserts, QStringLiteral("수식 입력"), QStringLiteral("insertFormulaAction"), [this] { ShowFormulaDialog(); });
    QToolBar* lists = makeToolbar(QStringLiteral("TOOLBAR_NUMBERBULLET"));
    // The numbering button numbers in the style last chosen from its drop-down.
    QAction* numbering = add(lists, QStringLiteral("문단 번호"), QStringLiteral("numberingAction"),
                             [this] { ApplyNumbering(m_numbering); });
    auto* styles = new QMenu(this);
    using Style = ListNumbering::Style;
    for (const auto& [text, name, style] :
         {std::tuple{"1. 2. 3.", "numberingDecimalAction", Style::Decimal},
          std::tuple{"① ② ③", "numberingCircledAction", Style::Circled},
          std::tuple{"(1) (2) (3)", "numberingParenthesizedAction", Style::Parenthesized},
          std::tuple{"가. 나. 다.", "numberingHangulAction", Style::HangulSyllable},
          std::tuple{"ㄱ. ㄴ. ㄷ.", "numberingJamoAction", Style::HangulJamo}}) {
        QAction* choice = styles->addAction(QString::fromUtf8(text));
        choice->setObjectName(QLatin1String(name));
        connect(choice, &QAction::triggered, this, [this, style = style] {
            m_numbering = style;
            ApplyNumbering(style);
        });
    }
    numbering->setMenu(styles);
    qobject_cast<QToolButton*>(lists->widgetForAction(numbering))->setPopupMode(QToolButton::MenuButtonPopup);
    add(lists, QStringLiteral("글머리표"), QStringLiteral("bulletAction"), [this] { ApplyNumbering(Style::Bullet); });
    add(lists, QStringLiteral("문단 모양"), QStringLiteral("paragraphAction"), [this] {
        ParagraphDlg dialog(m_view->textCursor().blockFormat(),
                            LayoutUnits::PercentSpacing(m_view->textCursor().block()), this);
        if (dialog.exec() == QDialog::Accepted)
            ApplyParagraphFormat(dialog.Format(), dialog.LineSpacingPercent());
    });
    addEditingKeys(editMenu);
    addCharacterTools(format);
    addZoomBox(format);
    commandRow->addStretch(1);
    formatRow->addStretch(1);
    ApplyToolbarIcons(this);
    showKeysInTooltips();
}

void CDHwpCtrl::addEditingKeys(QMenu* editMenu)
{
    // Only while the focus is inside this editor: three editors share a window, and other windows have keys
    // of their own.
    const auto bind = [this](QAction* action, const QList<QKeySequence>& keys) {
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    };
    const auto named = [this](const QString& name) { return findChild<QAction*>(name); };
    bind(named(QStringLiteral("undoAction")), {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    bind(named(QStringLiteral("redoAction")),
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    bind(named(QStringLiteral("selectAllAction")), {QKeySequence(Qt::CTRL | Qt::Key_A)});
    // The word processor's own two keys for a formula and a table.
    bind(named(QStringLiteral("insertFormulaAction")), {QKeySequence(QStringLiteral("Ctrl+N, M"))});
    bind(named(QStringLiteral("insertTableAction")), {QKeySequence(QStringLiteral("Ctrl+N, T"))});
    bind(named(QStringLiteral("openDocumentAction")), {QKeySequence(Qt::CTRL | Qt::Key_O)});
    bind(named(QStringLiteral("insertDocumentAction")), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)});
    bind(named(QStringLiteral("saveAsAction")), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});

    editMenu->addSeparator();
    const auto command = [this, editMenu, &bind](const QString& text, const QString& name,
                                                 const QList<QKeySequence>& keys, auto&& slot) {
        QAction* action = editMenu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        bind(action, keys);
    };
    command(QStringLiteral("줄 바꾸기"), QStringLiteral("lineBreakAction"),
            {QKeySequence(Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::SHIFT | Qt::Key_Enter)}, [this] {
                // A new line in the same paragraph: numbering, spacing and alignment go on unchanged.
                QTextCursor cursor = m_view->textCursor();
                cursor.insertText(QString(QChar::LineSeparator));
                m_view->setTextCursor(cursor);
            });
    command(QStringLiteral("쪽 나누기"), QStringLiteral("pageBreakAction"),
            {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
            [this] { m_view->insertPageBreak(); });
    command(QStringLiteral("찾아 바꾸기"), QStringLiteral("findAction"), {QKeySequence(Qt::CTRL | Qt::Key_F)},
            [this] { ShowFindDialog(); });
}

QAction* CDHwpCtrl::addFormatToggle(QToolBar* bar, const QString& text, const QString& name,
                                    const std::function<void(QTextCharFormat&, bool)>& apply)
{
    QAction* action = bar->addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, apply](bool on) {
        QTextCharFormat f;
        apply(f, on);
        mergeFormat(f);
    });
    return action;
}

void CDHwpCtrl::addCharacterTools(QToolBar* format)
{
    const auto toggle = [this, format](const QString& text, const QString& name, auto&& apply) {
        return addFormatToggle(format, text, name, apply);
    };
    m_strikeOutAction = toggle(QStringLiteral("취소선"), QStringLiteral("strikeOutAction"),
                               [](QTextCharFormat& f, bool on) { f.setFontStrikeOut(on); });
    // A merge cannot remove a property: no brush is what takes the highlight away.
    m_highlightAction =
        toggle(QStringLiteral("형광펜"), QStringLiteral("highlightAction"),
               [](QTextCharFormat& f, bool on) { f.setBackground(on ? QBrush(kHighlight) : QBrush(Qt::NoBrush)); });
    QAction* symbols = format->addAction(QStringLiteral("기호"));
    symbols->setObjectName(QStringLiteral("symbolAction"));
    connect(symbols, &QAction::triggered, this, &CDHwpCtrl::ShowSymbolDialog);
}

void CDHwpCtrl::ShowSymbolDialog()
{
    if (!m_symbolDlg) {
        m_symbolDlg = new SymbolDlg(this);
        connect(m_symbolDlg, &SymbolDlg::symbolChosen, this, [this](const QString& symbol) {
            QTextCursor cursor = m_view->textCursor();
            cursor.insertText(symbol);
            m_view->setTextCursor(cursor);
        });
    }
    m_symbolDlg->show();
    m_symbolDlg->raise();
    m_symbolDlg->activateWindow();
}

void CDHwpCtrl::InsertFormula(const QString& script)
{
    if (script.trimmed().isEmpty())
        return;
    QTextCursor cursor = m_view->textCursor();
    const QTextCharFormat around = FormulaObject::TextFormat(cursor.charFormat());
    cursor.beginEditBlock();
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(script, FormulaObject::PointSizeAround(around), Qt::black, around));
    cursor.endEditBlock();
    m_view->setTextCursor(cursor);
    m_view->setFocus();
}

void CDHwpCtrl::ShowFormulaDialog()
{
    const QTextCharFormat around = FormulaObject::TextFormat(m_view->textCursor().charFormat());
    FormulaDlg dialog(QString(), FormulaObject::PointSizeAround(around), Qt::black, this);
    if (dialog.exec() == QDialog::Accepted)
        InsertFormula(dialog.Script());
    m_view->setFocus();
}

void CDHwpCtrl::editFormula(int position)
{
    const QTextCharFormat format = FormulaObject::FormatAt(m_document, position);
    if (!FormulaObject::IsFormula(format))
        return;
    const QString script = FormulaObject::Script(format);
    FormulaDlg dialog(script, FormulaObject::PointSize(format), FormulaObject::Colour(format), this);
    if (dialog.exec() == QDialog::Accepted && dialog.Script() != script) {
        QTextCursor cursor(&m_document);
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        if (dialog.Script().trimmed().isEmpty())
            cursor.removeSelectedText();
        else
            cursor.setCharFormat(FormulaObject::MakeFormat(dialog.Script(), FormulaObject::PointSize(format),
                                                           FormulaObject::Colour(format), format));
        cursor.clearSelection();
        m_view->setTextCursor(cursor);
    }
    m_view->setFocus();
}

void CDHwpCtrl::addZoomBox(QToolBar* format)
{
    auto* box = new QComboBox(format);
    box->setObjectName(QStringLiteral("zoomCombo"));
    box->setAccessibleName(QStringLiteral("확대 비율"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // A typed "1" is not meant as the "100%" that completion would make of it.
    box->setCompleter(nullptr);
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral(R"(\s*\d{1,3}\s*%?\s*)")), box));
    const auto shown = [](int percent) { return QStringLiteral("%1%").arg(percent); };
    for (int percent : {50, 75, 100, 120, 150, 200, 300, 400})
        box->addItem(shown(percent), percent);
    box->setEditText(shown(Zoom()));
    // Whatever changed the zoom (the box, the wheel, the keys, the program's view settings), the box shows it.
    connect(m_view, &PageView::zoomChanged, box, [box, shown](int percent) { box->setEditText(shown(percent)); });
    connect(box, &QComboBox::activated, this, [this, box](int index) {
        SetZoom(box->itemData(index).toInt());
        // Back to the page after a pick from the list; not when the box only took its text as it was left
        // for another control, whose focus that would take.
        if (box->hasFocus())
            m_view->setFocus();
    });
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this, box] {
        const int typed = box->currentText().remove(u'%').trimmed().toInt();
        if (typed > 0)
            SetZoom(typed);
        m_view->setFocus();
    });
    // Also after a number out of range or none at all, or typing left unfinished: the box shows the zoom.
    connect(box->lineEdit(), &QLineEdit::editingFinished, box, [this, box, shown] { box->setEditText(shown(Zoom())); });
    format->addWidget(box);

    for (const auto& [name, keys, step] :
         {std::tuple{QStringLiteral("zoomInAction"),
                     QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                     PageView::kZoomStep},
          std::tuple{QStringLiteral("zoomOutAction"), QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Minus)},
                     -PageView::kZoomStep}}) {
        auto* action = new QAction(this);
        action->setObjectName(name);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, step = step] { SetZoom(Zoom() + step); });
        addAction(action);
    }
}

void CDHwpCtrl::ShowFindDialog()
{
    if (!m_findDlg)
        m_findDlg = new FindReplaceDlg(m_view, this);
    // A word selected in one line is what the writer means to look for.
    const QString selected = m_view->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator) &&
        !selected.contains(QChar::LineSeparator))
        m_findDlg->setFindText(selected);
    m_findDlg->show();
    m_findDlg->raise();
    m_findDlg->activateWindow();
}
