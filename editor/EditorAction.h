#pragma once

#include "editor/EditorParameterSet.h"

#include <QPointer>

#include <memory>

class CDHwpCtrl;

// One editor action ("PageSetup", "MultiColumn"): make its parameter set, fill it with the editor's current
// values, change items, execute. An action whose editor is gone does nothing.
class EditorAction
{
public:
    EditorAction(CDHwpCtrl* editor, QString actionId);

    QString ActionId() const { return m_actionId; }
    std::unique_ptr<EditorParameterSet> MakeParameterSet() const;
    // Fills the set with the action's current values. False for an action the editor does not know.
    bool LoadDefaults(EditorParameterSet* set) const;
    // Applies the set. False when the action is unknown or its values make no usable page; nothing changes then.
    bool Execute(const EditorParameterSet* set);

private:
    QPointer<CDHwpCtrl> m_editor;
    QString m_actionId;
};
