#include "options/OptPanel.h"

#include "options/CurriculumTables.h"
#include "ui/dialogs/CSearchSchoolDlg.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "core/Shortcuts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSettings>
#include <QThread>
#include <QTreeWidget>

namespace {

std::optional<MainWindowCommand> shortcutCommand(const QKeyEvent* event)
{
    return ShortcutCommand(event->key(), event->modifiers());
}

} // namespace

QString FieldValue(const CMapStringToString& fields, const QString& key)
{
    QString value;
    fields.Lookup(key, value);
    return value;
}

COptPanel::COptPanel(QString settingsSection, QSettings* settings, QWidget* parent)
    : QWidget(parent), m_grid(new QGridLayout(this)), m_section(std::move(settingsSection)), m_settings(settings)
{
    QFont panelFont(QStringLiteral("NanumGothic"));
    panelFont.setPointSize(9);
    setFont(panelFont);
    m_grid->setContentsMargins(4, 4, 4, 4);
}

void COptPanel::GetFieldMap(CMapStringToString& fields)
{
    Q_ASSERT(QThread::currentThread() == thread());
    collectFields(fields);
}

void COptPanel::SetFieldMap(CMapStringToString& fields)
{
    applyFields(fields);
}

bool COptPanel::event(QEvent* event)
{
    if (event->type() == QEvent::Polish) {
        for (QWidget* child : findChildren<QWidget*>())
            child->installEventFilter(this);
    }
    // Claim the table's shortcuts before any window-wide shortcut sees them; the key press then arrives here.
    if (event->type() == QEvent::ShortcutOverride && shortcutCommand(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void COptPanel::keyPressEvent(QKeyEvent* event)
{
    if (const auto command = shortcutCommand(event)) {
        // The main window, however deep the panel sits in its layout.
        if (QWidget* target = window()) {
            CommandEvent commandEvent(*command);
            QCoreApplication::sendEvent(target, &commandEvent);
        }
        event->accept();
        return;
    }
    // A panel never closes or presses a default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

QLineEdit* COptPanel::addSchoolEdit(CCommunicator* communicator)
{
    m_communicator = communicator;
    m_schoolEdit = new QLineEdit(this);
    m_schoolEdit->setObjectName(QStringLiteral("schoolEdit"));
    m_schoolEdit->setAccessibleName(QString::fromUtf16(Msg::kNameSchool));
    m_schoolEdit->setReadOnly(true);
    m_schoolEdit->setCursor(Qt::PointingHandCursor);
    m_schoolEdit->installEventFilter(this);
    return m_schoolEdit;
}

bool COptPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Lists and trees take typed keys for their own search, so the panel's keys are caught before them.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The school field cannot be typed in; from the keyboard, Space or Enter opens its search as a click does.
        if (watched == m_schoolEdit && event->type() == QEvent::KeyPress && key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            SearchSchool();
            return true;
        }
        const auto command = shortcutCommand(key);
        const bool enterOrEscape =
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
        if (command && event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress && (command || enterOrEscape)) {
            keyPressEvent(key);
            return true;
        }
    }
    if (watched == m_schoolEdit && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        SearchSchool();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void COptPanel::SearchSchool()
{
    if (!m_schoolEdit)
        return;
    // No owner of its own: the main window holds it.
    CSearchSchoolDlg dialog(m_communicator, window());
    dialog.m_strSchool = m_schoolEdit->text();
    if (dialog.exec() == QDialog::Accepted)
        m_schoolEdit->setText(dialog.m_strSchool);
}

QComboBox* COptPanel::addCombo(const QString& objectName, const char16_t* name)
{
    auto* combo = new QComboBox(this);
    combo->setObjectName(objectName);
    combo->setAccessibleName(QString::fromUtf16(name));
    combo->setEditable(false);
    return combo;
}

void COptPanel::fillCombo(QComboBox* combo, const QStringList& items)
{
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(items.isEmpty() ? -1 : 0);
}

void COptPanel::fillYears(QComboBox* combo, int firstYear)
{
    const int thisYear = QDate::currentDate().year();
    QStringList years;
    for (int year = firstYear; year <= thisYear + 1; ++year)
        years.append(QString::asprintf("%04d년", year));
    fillCombo(combo, years);
    combo->setCurrentIndex(thisYear - firstYear);
}

QStringList COptPanel::numbered(const QString& format, int first, int last)
{
    QStringList items;
    for (int n = first; n <= last; ++n)
        items.append(format.arg(n));
    return items;
}

QString COptPanel::comboText(const QComboBox* combo)
{
    return combo->currentIndex() < 0 ? QString() : combo->currentText();
}

void COptPanel::applyCombo(QComboBox* combo, const CMapStringToString& fields, const QString& key)
{
    QString value;
    if (!fields.Lookup(key, value))
        return;
    const int index = combo->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

QTreeWidget* COptPanel::addTree(const QString& objectName, const QList<CurriculumItem>& table)
{
    auto* tree = new QTreeWidget(this);
    tree->setObjectName(objectName);
    tree->setAccessibleName(QString::fromUtf16(Msg::kNameUnitTree));
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    const std::function<void(QTreeWidgetItem*, const QList<CurriculumItem>&)> add =
        [&add, tree](QTreeWidgetItem* parent, const QList<CurriculumItem>& items) {
            for (const CurriculumItem& entry : items) {
                auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
                item->setText(0, entry.text);
                add(item, entry.children);
            }
        };
    add(nullptr, table);
    tree->collapseAll();
    return tree;
}

QTreeWidgetItem* COptPanel::selectedItem(const QTreeWidget* tree)
{
    const auto selected = tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void COptPanel::selectItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    tree->clearSelection();
    tree->setCurrentItem(item);
    if (item) {
        item->setSelected(true);
        tree->scrollToItem(item);
    }
}

void COptPanel::storeIndex(const QComboBox* combo, const QString& name)
{
    if (m_settings)
        m_settings->setValue(PanelSettingKey(m_section, name), combo->currentIndex());
}

void COptPanel::restoreIndex(QComboBox* combo, const QString& name)
{
    if (!m_settings)
        return;
    bool ok = false;
    const int index = m_settings->value(PanelSettingKey(m_section, name), -1).toInt(&ok);
    if (!ok || index == -1)
        return;
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void COptPanel::storeText(const QString& name, const QString& text)
{
    if (m_settings)
        m_settings->setValue(PanelSettingKey(m_section, name), text);
}

QString COptPanel::restoreText(const QString& name) const
{
    return m_settings ? m_settings->value(PanelSettingKey(m_section, name), QString()).toString() : QString();
}
