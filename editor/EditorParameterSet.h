#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>

// A named set of items, as the editor's actions take them: plain values by item id, and nested sets
// ("PageDef" inside "PageSetup"). Nested sets belong to their parent.
class EditorParameterSet
{
public:
    explicit EditorParameterSet(QString setId) : m_setId(std::move(setId)) {}

    QString SetId() const { return m_setId; }
    void SetItem(const QString& itemId, const QVariant& value) { m_items.insert(itemId, value); }
    QVariant Item(const QString& itemId) const { return m_items.value(itemId); }
    bool HasItem(const QString& itemId) const { return m_items.contains(itemId); }
    // An integer item, or `fallback` when the item is absent or not a number.
    int IntItem(const QString& itemId, int fallback) const;

    // Creates (or replaces) the nested set under `itemId` and returns it; it lives as long as this set.
    EditorParameterSet* NewItemSet(const QString& itemId, const QString& setId);
    EditorParameterSet* ItemSet(const QString& itemId) const;

private:
    QString m_setId;
    QHash<QString, QVariant> m_items;
    std::map<QString, std::unique_ptr<EditorParameterSet>> m_sets;
};
