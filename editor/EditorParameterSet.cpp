#include "editor/EditorParameterSet.h"

int EditorParameterSet::IntItem(const QString& itemId, int fallback) const
{
    bool ok = false;
    const int value = m_items.value(itemId).toInt(&ok);
    return ok ? value : fallback;
}

EditorParameterSet* EditorParameterSet::NewItemSet(const QString& itemId, const QString& setId)
{
    auto& slot = m_sets[itemId];
    slot = std::make_unique<EditorParameterSet>(setId);
    return slot.get();
}

EditorParameterSet* EditorParameterSet::ItemSet(const QString& itemId) const
{
    const auto it = m_sets.find(itemId);
    return it == m_sets.end() ? nullptr : it->second.get();
}
