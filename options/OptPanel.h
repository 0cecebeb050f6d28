#pragma once

#include "net/FieldMap.h"

#include <QWidget>

class CCommunicator;
class QComboBox;
class QLineEdit;
class QSettings;
class QTreeWidget;
class QTreeWidgetItem;
struct CurriculumItem;

// What every option panel shares: collecting its selections into a field map and applying a returned one,
// keeping selections in its settings section, and the keyboard: Enter and Escape do nothing, and the
// shortcut table's commands go to the parent window whatever the main window's shortcut option says.
class COptPanel : public QWidget
{
    Q_OBJECT

public:
    COptPanel(QString settingsSection, QSettings* settings, QWidget* parent);

    // Writes the panel's keys into `fields`. On the panel's own thread, as every use of a widget.
    void GetFieldMap(CMapStringToString& fields);
    void SetFieldMap(CMapStringToString& fields);

    QString SettingsSection() const { return m_section; }

    // The server client of the school search; the panels exist before it does.
    void SetCommunicator(CCommunicator* communicator) { m_communicator = communicator; }

    // School panels: runs the school search with the school field's text and takes the choice on OK.
    void SearchSchool();

protected:
    virtual void collectFields(CMapStringToString& fields) const = 0;
    virtual void applyFields(const CMapStringToString& fields) = 0;

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The read-only school field; a left click on it opens the school search.
    QLineEdit* addSchoolEdit(CCommunicator* communicator);
    QLineEdit* schoolEdit() const { return m_schoolEdit; }
    void keyPressEvent(QKeyEvent* event) override;

    // `name` is what a screen reader announces: the lists stand without labels.
    QComboBox* addCombo(const QString& objectName, const char16_t* name);
    static void fillCombo(QComboBox* combo, const QStringList& items);
    // "%04d년" from `firstYear` to next year, this year selected.
    static void fillYears(QComboBox* combo, int firstYear);
    static QStringList numbered(const QString& format, int first, int last);
    // The selected item's text, or "" when nothing is selected.
    static QString comboText(const QComboBox* combo);
    // Selects the item equal to the field's value; a missing key or a value that is no item changes nothing.
    static void applyCombo(QComboBox* combo, const CMapStringToString& fields, const QString& key);

    QTreeWidget* addTree(const QString& objectName, const QList<CurriculumItem>& table);
    static QTreeWidgetItem* selectedItem(const QTreeWidget* tree);
    static void selectItem(QTreeWidget* tree, QTreeWidgetItem* item);

    // A list's selection index under `name` in the panel's section; -1 for none.
    void storeIndex(const QComboBox* combo, const QString& name);
    // Applies a stored index unless none is stored; an index the list no longer has clears the selection.
    void restoreIndex(QComboBox* combo, const QString& name);
    void storeText(const QString& name, const QString& text);
    QString restoreText(const QString& name) const;

    class QGridLayout* m_grid;

private:
    QString m_section;
    QSettings* m_settings;
    QLineEdit* m_schoolEdit = nullptr;
    CCommunicator* m_communicator = nullptr;
};

// Looks up `key`; "" when it is missing.
QString FieldValue(const CMapStringToString& fields, const QString& key);
