#include "editor/CDHwpCtrl.h"

#include "document/DocumentFile.h"
#include "document/FontSubstitution.h"
#include "document/FormulaObject.h"
#include "document/LayoutUnits.h"
#include "document/PageRenderer.h"
#include "document/TableEditing.h"
#include "editor/FindReplaceDlg.h"
#include "editor/FormulaDlg.h"
#include "editor/PageView.h"
#include "editor/SymbolDlg.h"

#include <QMenu>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextList>
#include <QTextTable>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kDefaultFamily = QStringLiteral("NanumGothic");
constexpr double kDefaultPointSize = 10.0;

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

} // namespace

QFont CDHwpCtrl::defaultFont()
{
    QFont font(kDefaultFamily);
    font.setPointSizeF(kDefaultPointSize);
    return font;
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
                                       const bool ok = InsertFile(path);
                                       tellOpened(ok, QStringLiteral("문서 끼워 넣기"), path);
                                       return ok;
                                   });
    connect(m_view, &PageView::formulaActivated, this, &CDHwpCtrl::editFormula);
    connect(&m_document, &QTextDocument::contentsChanged, this, &CDHwpCtrl::documentChanged);
    connect(&m_document, &QTextDocument::contentsChanged, this, [this] { m_keptNowhere = true; });
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
    SetModified(false);
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
    return PageRenderer::RenderPageImage(&m_document, m_page, page, dpi, depth, format, basePath + u'.' + format,
                                         &m_renderError);
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

void CDHwpCtrl::mergeFormat(const QTextCharFormat& format, bool toPage)
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
    if (toPage)
        m_view->setFocus();
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
