// CDHwpCtrl's toolbars and keys: the two rows of commands above the page, the keys that go with them, and how
// keys pressed in the rows' controls reach the page.
#include "editor/CDHwpCtrl.h"

#include "document/LayoutUnits.h"
#include "document/TableEditing.h"
#include "editor/PageView.h"
#include "editor/ParagraphDlg.h"
#include "editor/TableMenu.h"
#include "editor/ToolbarBox.h"
#include "editor/ToolbarIcons.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>

namespace {

// The highlighter pen's colour.
constexpr QColor kHighlight(255, 255, 0);

} // namespace

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
    // The font and the size boxes keep every key while they have the focus: a typed name or size goes into the
    // box, never over text the page has selected. Enter or a pick from the list gives the focus back to the page.
    auto* fontBox = new ToolbarBox<QFontComboBox>(format);
    m_fontBox = fontBox;
    fontBox->setObjectName(QStringLiteral("fontCombo"));
    fontBox->setAccessibleName(QStringLiteral("글꼴"));
    fontBox->setInsertPolicy(QComboBox::NoInsert);
    fontBox->setCurrentFont(defaultFont());
    const auto applyFont = [this, fontBox](bool toPage) {
        QTextCharFormat f;
        f.setFontFamilies({fontBox->currentFont().family()});
        mergeFormat(f, toPage);
    };
    connect(fontBox, &QComboBox::activated, this, [fontBox, applyFont] { applyFont(fontBox->TakePicked()); });
    format->addWidget(fontBox);
    auto* sizeBox = new ToolbarBox<QComboBox>(format);
    m_sizeBox = sizeBox;
    sizeBox->setObjectName(QStringLiteral("sizeCombo"));
    sizeBox->setAccessibleName(QStringLiteral("글자 크기"));
    sizeBox->setEditable(true);
    sizeBox->setInsertPolicy(QComboBox::NoInsert);
    // A typed "1" is the start of a size, not the "10" that completion would make of it.
    sizeBox->setCompleter(nullptr);
    sizeBox->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral(R"(\s*\d{1,3}([.,]\d{0,2})?\s*)")), sizeBox));
    for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 40, 48, 72})
        sizeBox->addItem(QString::number(size), size);
    sizeBox->setCurrentIndex(sizeBox->findData(10));
    const auto applySize = [this](double points, bool toPage) {
        QTextCharFormat f;
        f.setFontPointSize(points);
        mergeFormat(f, toPage);
    };
    connect(sizeBox, &QComboBox::activated, this, [sizeBox, applySize](int index) {
        applySize(sizeBox->itemData(index).toDouble(), sizeBox->TakePicked());
    });
    // Enter takes what was typed, a size the list lacks (10.5, 13) included. The item it names becomes the
    // current one first, so that the box has nothing left to activate on its own.
    connect(sizeBox->lineEdit(), &QLineEdit::returnPressed, this, [sizeBox, applySize] {
        const double points = sizeBox->currentText().trimmed().replace(u',', u'.').toDouble();
        if (points < 1 || points > 999)
            return;
        if (const int listed = sizeBox->findData(points); listed >= 0)
            sizeBox->setCurrentIndex(listed);
        applySize(points, true);
    });
    connect(fontBox->lineEdit(), &QLineEdit::returnPressed, this, [fontBox, applyFont] {
        const int listed = fontBox->findText(fontBox->currentText().trimmed(), Qt::MatchFixedString);
        if (listed < 0)
            return;
        fontBox->setCurrentIndex(listed);
        applyFont(true);
    });
    // Left without Enter, or with a size out of range: the boxes show the format at the cursor again.
    for (QComboBox* box : {static_cast<QComboBox*>(fontBox), static_cast<QComboBox*>(sizeBox)})
        connect(box->lineEdit(), &QLineEdit::editingFinished, this, &CDHwpCtrl::showFormatAtCursor);
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
    TableMenu::Add(makeToolbar(QStringLiteral("TOOLBAR_TABLE")), m_view,
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
