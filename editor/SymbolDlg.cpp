#include "editor/SymbolDlg.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString range(char16_t first, char16_t last)
{
    QString marks;
    for (char16_t c = first; c <= last; ++c)
        marks.append(QChar(c));
    return marks;
}

} // namespace

const QList<SymbolDlg::Group>& SymbolDlg::Groups()
{
    // ς is left out of the small Greek letters: a final sigma has no use in a formula.
    static const QList<Group> groups = {
        {QStringLiteral("원문자"), range(u'①', u'⑳') + range(u'㉠', u'㉭')},
        // With what sign charts and questions on sets are written in: ↗ ↘ in the chart's rows, ⋯ for a sign that
        // goes on, ≒ for "nearly equal".
        {QStringLiteral("수학"), QStringLiteral("≤≥≠±×÷∴∵∠△°′″√π∞⋯≒∈∉⊂⊄∪∩∅")},
        {QStringLiteral("화살표"), QStringLiteral("←→↑↓↔⇒⇔↗↘")},
        {QStringLiteral("그리스 문자"), range(u'α', u'ρ') + range(u'σ', u'ω') + QStringLiteral("ΓΔΘΛΞΠΣΦΨΩ")},
    };
    return groups;
}

SymbolDlg::SymbolDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("symbolDlg"));
    setWindowTitle(QStringLiteral("기호 넣기"));
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("symbolTabs"));
    int index = 0;
    for (const Group& group : Groups()) {
        auto* list = new QListWidget(tabs);
        list->setObjectName(QStringLiteral("symbolList%1").arg(index++));
        list->setViewMode(QListView::IconMode);
        list->setMovement(QListView::Static);
        list->setResizeMode(QListView::Adjust);
        list->setGridSize(QSize(36, 36));
        list->setUniformItemSizes(true);
        QFont font = list->font();
        font.setPointSizeF(font.pointSizeF() * 1.5);
        list->setFont(font);
        for (const QChar mark : group.symbols) {
            auto* item = new QListWidgetItem(QString(mark), list);
            item->setTextAlignment(Qt::AlignCenter);
        }
        list->setCurrentRow(0);
        // A double click is one click more than a choice: only clicks count, each one a mark.
        connect(list, &QListWidget::itemClicked, this,
                [this](QListWidgetItem* item) { Q_EMIT symbolChosen(item->text()); });
        list->installEventFilter(this);
        tabs->addTab(list, group.title);
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("닫기"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("closeButton"));
    // Enter belongs to the marks, not to this button.
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
    resize(420, 300);
}

bool SymbolDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* list = qobject_cast<QListWidget*>(watched);
        if (list && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            if (QListWidgetItem* item = list->currentItem())
                Q_EMIT symbolChosen(item->text());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
