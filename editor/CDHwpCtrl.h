#pragma once

#include "document/DocumentFile.h"
#include "document/ListNumbering.h"
#include "document/PageGeometry.h"
#include "editor/EditorAction.h"
#include "editor/EditorParameterSet.h"

#include <QFont>
#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextListFormat>
#include <QWidget>

#include <functional>

#include <memory>

class FindReplaceDlg;
class SymbolDlg;
class PageView;
class QAction;
class QMenu;
class QScrollArea;
class QToolBar;
class QVBoxLayout;

// One document editor: the page view with its toolbars, driven through the operations the rest of the
// program uses on an editor (clear, actions and parameter sets, render a page image, open and save).
// Opening and saving are in EditorFiles.cpp, the toolbars and keys in EditorToolbars.cpp; the documents
// themselves, their formats, layout and page images are the document library's.
class CDHwpCtrl : public QWidget
{
    Q_OBJECT

public:
    // The toolbar groups, by the names the program asks for.
    static const QStringList& ToolbarNames();
    static constexpr qint32 kControlVersion = 0x08050000; // 8.5: the top byte is the major version

    explicit CDHwpCtrl(QWidget* parent = nullptr);
    ~CDHwpCtrl() override;

    // Places the editor in `rect` of `parent` under the control id `nID`. False when it cannot be placed.
    bool Create(const QRect& rect, QWidget* parent, int nID);
    int ControlId() const { return m_controlId; }

    void ClearDocument(int option);
    std::unique_ptr<EditorAction> NewAction(const QString& actionId);
    std::unique_ptr<EditorParameterSet> NewParameterSet(const QString& setId);
    // Writes page `page` at `dpi` dots per inch and `depth` bits per pixel (1, 8, 24 or 32) to
    // `basePath` + "." + `format`; "BMP" and "PNG" are known. False, and nothing written, otherwise; then
    // LastRenderError says why.
    bool RenderPageImage(const QString& basePath, int page, int dpi, int depth, const QString& format);
    QString LastRenderError() const { return m_renderError; }
    // "HWP": an HWP 5.0 document, or one in the editor's own format; "HWPML2X": HWP XML. A file that cannot be read
    // leaves the document as it was and LastOpenError says why.
    bool OpenDocument(const QString& path, const QString& format, const QString& argument);
    QString LastOpenError() const { return m_openError; }
    // The objects the last successful open left out because the editor cannot show them yet (an HWP XML file's
    // pictures and drawn shapes, an HWP file's notes and drawn shapes; equations come in as formulas), so that
    // the program can say so.
    const DroppedObjects& LastOpenDroppedObjects() const { return m_openDropped; }
    // "HWP" writes an HWP 5.0 document. False when it cannot be written; then LastSaveError says why and an
    // existing file at `path` is left as it was.
    virtual bool SaveDocument(const QString& path, const QString& format, const QString& argument);
    QString LastSaveError() const { return m_saveError; }
    // The document in the editor's own format, and back: for a copy kept while the writer works. Opening
    // data that cannot be read leaves the document as it was and LastOpenError says why.
    QByteArray NativeData() const;
    bool OpenNativeData(const QByteArray& bytes);
    // Whether the document changed since it was last marked unchanged (by an open, a clear, or the program
    // once it has saved it). Undoing back to that point makes it unchanged again.
    // A file the writer saved the document to is not the bank: only the program changes this, never
    // SaveDocument.
    bool IsModified() const { return m_document.isModified(); }
    void SetModified(bool modified)
    {
        m_document.setModified(modified);
        m_keptNowhere = modified;
    }
    void SetToolbarItems(int toolbarId, const QString& name);
    void ShowToolbars(int flag);
    void RegisterExtensionModule(const QString& moduleType, const QString& moduleData);
    // The "ViewProperties" set: "ZoomType" 0 takes "ZoomRatio" in percent.
    void SetViewSettings(const EditorParameterSet& settings);
    virtual qint32 ControlVersion() const { return kControlVersion; }

    PageGeometry Page() const { return m_page; }
    void SetPage(const PageGeometry& page);
    int Zoom() const;
    // In percent; kept within the view's range.
    void SetZoom(int percent);
    QTextDocument* Document() { return &m_document; }
    PageView* View() const { return m_view; }
    QStringList VisibleToolbars() const;
    QStringList RegisteredModules() const { return m_modules; }

    // Editing commands of the toolbars, also for tests and automation.
    void InsertPicture(const QImage& image);
    // Adds a picture to the document's resources under a name no other picture of it has; gives the name.
    QString StorePicture(const QImage& image);
    void InsertTable(int rows, int columns);
    // Numbers the selected paragraphs in `style`; on a paragraph already in that style, takes the numbering
    // of the selected paragraphs away.
    void ApplyNumbering(ListNumbering::Style style);
    // Merges `format` into the selected paragraphs, as one undo step, and, when given, sets their line
    // spacing in percent of each one's font size.
    void ApplyParagraphFormat(const QTextBlockFormat& format, int lineSpacingPercent = 0);
    // The writer's own files. OpenFile puts the document of `path` (HWP 5.0, HWP XML or the editor's own
    // format, told apart by their first bytes) in place of the editor's, on the editor's page; InsertFile puts
    // it in at the cursor as one undo step; a picture file goes in as a picture. Either counts as a change. A file
    // that cannot be read leaves the document as it was: false, and LastOpenError says why.
    bool OpenFile(const QString& path);
    bool InsertFile(const QString& path);
    // "문서 열기" (Ctrl+O), "문서 끼워 넣기" (Ctrl+Shift+O) and "다른 이름으로 저장" (Ctrl+Shift+S): the file
    // dialogs, and what the writer is told or asked on the way.
    void ShowOpenDialog();
    void ShowInsertDialog();
    void ShowSaveAsDialog();
    // The name "다른 이름으로 저장" offers for a document without words of its own (the question's identity).
    void SetFileNameHint(const QString& name) { m_fileName = name; }
    // How the editors tell and ask the writer something: the program puts its own boxes here.
    using Asker =
        std::function<QMessageBox::StandardButton(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                                  const QString& text, QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton defaultButton)>;
    static void SetAsker(Asker asker);
    // Ctrl+F: the find and replace dialog of this editor.
    void ShowFindDialog();
    // "기호 넣기": the chosen marks go in at the cursor.
    void ShowSymbolDialog();
    // A formula of `script` at the cursor, in place of the selection, as one undo step; at the size of the
    // text there, in black. An empty script puts nothing in. FormulaObject reads formulas back.
    void InsertFormula(const QString& script);
    // "수식 입력" (Ctrl+N, M): the formula written in the dialog goes in at the cursor.
    void ShowFormulaDialog();

Q_SIGNALS:
    // Text or formats changed, by the writer or by the program.
    void documentChanged();

protected:
    // Ctrl+Tab and Ctrl+Shift+Tab, which the page view leaves to the editor; Enter and Escape, which stay in
    // the editor.
    void keyPressEvent(QKeyEvent* event) override;
    // The keys of the toolbar controls.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A new document's font.
    static QFont defaultFont();
    // In EditorToolbars.cpp, with the keys of the toolbars.
    void buildToolbars();
    // The editing keys, and the commands that only have keys or a place in the edit menu.
    void addEditingKeys(QMenu* editMenu);
    // A checkable format command on `bar`: `apply` sets the property on or off, merged into the selection.
    QAction* addFormatToggle(QToolBar* bar, const QString& text, const QString& name,
                             const std::function<void(QTextCharFormat&, bool)>& apply);
    // Strike-through, highlight and the symbol dialog.
    void addCharacterTools(QToolBar* format);
    // The zoom box, and Ctrl+plus and Ctrl+minus.
    void addZoomBox(QToolBar* format);
    QToolBar* toolbar(const QString& name) const { return m_toolbars.value(name); }
    // Applies `format` to the selection, or to what is typed next; then the page has the focus, unless a box
    // that keeps its keys made the change.
    void mergeFormat(const QTextCharFormat& format, bool toPage = true);
    void showFormatAtCursor();
    // The page's context menu: the clipboard, the formula at the cursor, the table commands in a table.
    void fillPageMenu(QMenu& menu);
    QString suggestedFileName() const;
    // A file the writer chose or dropped, read into `into`; false, with LastOpenError, when it cannot be.
    bool readFile(const QString& path, QTextDocument& into);
    // Tells the writer why a file command failed.
    void tellFailure(const QString& caption, const QString& text);
    // After an open or an insert of `path`: why it failed, or which objects it left out.
    void tellOpened(bool ok, const QString& caption, const QString& path);
    // The tab stops in reading order: the command row, the format row, then the page.
    void orderTabStops();
    // Shows each command's keys in its tooltip.
    void showKeysInTooltips();
    // The formula dialog on the formula at `position`; what it gives replaces the formula, keeping its size
    // and colour, and an emptied script takes the formula away.
    void editFormula(int position);
    // The editor's own action whose one-key shortcut the key is, if any.
    QAction* editorShortcut(const QKeyEvent* key) const;
    // Enter on a toolbar button does what Space does.
    static void activate(class QAbstractButton* button);

    QTextDocument m_document;
    PageGeometry m_page;
    PageView* m_view = nullptr;
    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_layout = nullptr;
    QHash<QString, QToolBar*> m_toolbars;
    QStringList m_toolbarItems;
    QStringList m_modules;
    int m_controlId = 0;
    QAction* m_boldAction = nullptr;
    QAction* m_italicAction = nullptr;
    QAction* m_underlineAction = nullptr;
    QAction* m_superscriptAction = nullptr;
    QAction* m_subscriptAction = nullptr;
    QAction* m_strikeOutAction = nullptr;
    QAction* m_highlightAction = nullptr;
    class QFontComboBox* m_fontBox = nullptr;
    class QComboBox* m_sizeBox = nullptr;
    FindReplaceDlg* m_findDlg = nullptr;
    SymbolDlg* m_symbolDlg = nullptr;
    int m_pictureCount = 0;
    ListNumbering::Style m_numbering = ListNumbering::Style::Decimal; // the numbering button's style
    QString m_openError;
    QString m_saveError;
    QString m_renderError;
    DroppedObjects m_openDropped;
    // What the editor holds changed since it was last written to or read from a file, saved by the program
    // or cleared: opening another document over it would lose it.
    bool m_keptNowhere = false;
    QString m_fileName;
    mutable DocumentFile::PngCache m_pngCache;
    bool m_probingKey = false; // a toolbar control is asked whether it has a use for a key
    // An editor key pressed in a toolbar control that has no use for it, done on the page when it arrives.
    QPointer<QAction> m_pageKey;
    QPointer<QWidget> m_pageKeyControl;
};
