#include "ui/main/CTarvixDlg.h"

#include "core/Messages.h"
#include "editor/CDHwpCtrl.h"
#include "options/OptPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>

// The window's controls and their order: where each stands, and the order Tab visits them in.

namespace {

// The size of a dialog unit in the window's font, as the templates count them.
QSizeF dialogUnit(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const qreal averageWidth = metrics.horizontalAdvance(letters) / letters.size();
    return {averageWidth / 4.0, metrics.height() / 8.0};
}

} // namespace

void CTarvixDlg::buildLayout()
{
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("mainBody"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_body);

    const QSizeF unit = dialogUnit(font());
    const auto dluX = [&unit](int n) { return qRound(n * unit.width()); };
    const auto dluY = [&unit](int n) { return qRound(n * unit.height()); };

    auto* categories = new QGroupBox(m_body);
    auto* radios = new QVBoxLayout(categories);
    m_radioGroup = new QButtonGroup(this);
    for (Category category : kAllCategories) {
        auto* button = new QRadioButton(CategoryRadioLabel(category), categories);
        button->setObjectName(QStringLiteral("categoryRadio%1").arg(CategoryRadioId(category)));
        button->setEnabled(false);
        radios->addWidget(button);
        m_radioGroup->addButton(button, CategoryRadioId(category));
        m_radios[std::size_t(category)] = button;
    }
    connect(m_radioGroup, &QButtonGroup::idClicked, this, &CTarvixDlg::SwitchCategory);

    m_panelArea = new QWidget(m_body);
    m_panelArea->setObjectName(QStringLiteral("panelArea"));
    // The template's width; its height of 278 units would leave a window taller than a 768-pixel screen. The
    // panel keeps the template's height wherever the window has room (it takes the column's stretch), and
    // below that its own least height, with the list of units shorter.
    m_panelArea->setMinimumWidth(dluX(148));
    new QGridLayout(m_panelArea);
    m_panelArea->layout()->setContentsMargins(0, 0, 0, 0);

    m_chkHotKeyOff = new QCheckBox(QString::fromUtf16(Msg::kHotKeyOffCheck), m_body);
    m_chkHotKeyOff->setObjectName(QStringLiteral("hotKeyOffCheck"));
    connect(m_chkHotKeyOff, &QCheckBox::clicked, this, [this] { m_bHotKeyOff = m_chkHotKeyOff->isChecked(); });

    const auto makeButton = [this, &dluX](const char16_t* text, const char* name) {
        auto* button = new QPushButton(QString::fromUtf16(text), m_body);
        button->setObjectName(QLatin1String(name));
        button->setFixedWidth(dluX(104));
        button->setAutoDefault(false);
        return button;
    };
    m_btnSearch = makeButton(Msg::kSearchButton, "searchButton");
    m_btnSearch->setDefault(true);
    m_btnSave = makeButton(Msg::kSaveButton, "saveButton");
    m_btnDelete = makeButton(Msg::kDeleteButton, "deleteButton");
    m_btnReset = makeButton(Msg::kResetButton, "resetButton");
    for (QPushButton* button : {m_btnSearch, m_btnSave, m_btnDelete})
        button->setEnabled(false);
    connect(m_btnSearch, &QPushButton::clicked, this, &CTarvixDlg::OnSearch);
    connect(m_btnSave, &QPushButton::clicked, this, &CTarvixDlg::OnSave);
    connect(m_btnDelete, &QPushButton::clicked, this, &CTarvixDlg::OnDelete);
    connect(m_btnReset, &QPushButton::clicked, this, &CTarvixDlg::OnResetCommand);

    auto* left = new QVBoxLayout;
    left->addWidget(categories);
    left->addWidget(m_panelArea, 1);
    left->addSpacing(dluY(3));
    left->addWidget(m_chkHotKeyOff, 0, Qt::AlignHCenter);
    for (QPushButton* button : {m_btnSearch, m_btnSave, m_btnDelete, m_btnReset})
        left->addWidget(button, 0, Qt::AlignHCenter);

    m_ctlTab = new QTabBar(m_body);
    m_ctlTab->setObjectName(QStringLiteral("documentTabs"));
    m_ctlTab->setFocusPolicy(Qt::TabFocus);
    m_ctlTab->setAccessibleName(QString::fromUtf16(Msg::kNameDocumentTabs));
    for (DocumentSlot slot : kAllDocumentSlots)
        m_ctlTab->addTab(SlotTabLabel(slot));
    connect(m_ctlTab, &QTabBar::currentChanged, this, &CTarvixDlg::OnTabChanged);

    auto* editorFrame = new QFrame(m_body);
    editorFrame->setFrameShape(QFrame::StyledPanel);
    m_editorArea = editorFrame;
    m_editorArea->setObjectName(QStringLiteral("editorArea"));
    m_editorArea->setMinimumSize(dluX(300), dluY(200));
    new QGridLayout(m_editorArea);
    m_editorArea->layout()->setContentsMargins(1, 1, 1, 1);

    // Once the progress window has gone, this is what tells that the save happened, and of which question.
    m_lblLastAction = new QLabel(m_body);
    m_lblLastAction->setObjectName(QStringLiteral("lastActionLabel"));
    m_lblLastAction->setAccessibleName(QString::fromUtf16(Msg::kNameLastAction));
    m_lblLastAction->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The room beside the tabs, and no more: a long question name never widens the window past the screen.
    m_lblLastAction->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* tabRow = new QHBoxLayout;
    tabRow->addWidget(m_ctlTab);
    tabRow->addWidget(m_lblLastAction, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    right->addLayout(tabRow);
    right->addWidget(m_editorArea, 1);

    auto* columns = new QHBoxLayout(m_body);
    columns->setContentsMargins(dluX(7), dluY(7), dluX(7), dluY(7));
    columns->addLayout(left);
    columns->addLayout(right, 1);

    // The template's size, as far as the screen allows; the editors grow with the window.
    QSize size(dluX(744), dluY(475));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    resize(size);
}

void CTarvixDlg::orderTabStops()
{
    // Reading order, row by row: the categories and the document tabs at the top, the shown editor beside
    // them, then the category's panel and the commands below the categories. The panels and the editors are
    // built after the commands, so the order they were made in puts them last.
    QList<QWidget*> stops(m_radios.begin(), m_radios.end());
    stops.append(m_ctlTab);
    const auto addInside = [this, &stops](QWidget* container) {
        // Their own order inside is already the reading order; only their place among the others moves.
        for (QWidget* widget = nextInFocusChain(); widget != this; widget = widget->nextInFocusChain()) {
            // An editor hands the focus to its page: Tab stops at the editor itself too, so it must stand just
            // before the page, after its toolbars, or Tab would skip them.
            if (widget == container->focusProxy())
                stops.append(container);
            if (container->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy())
                stops.append(widget);
        }
    };
    for (CDHwpCtrl* editor : m_editors)
        addInside(editor);
    for (COptPanel* panel : m_panels)
        addInside(panel);
    stops.append({m_chkHotKeyOff, m_btnSearch, m_btnSave, m_btnDelete, m_btnReset});
    for (qsizetype i = 1; i < stops.size(); ++i)
        setTabOrder(stops[i - 1], stops[i]);
}
