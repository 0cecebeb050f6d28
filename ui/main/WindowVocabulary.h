#pragma once

// What only the main window knows of the shared vocabulary: the category radios, the editors' ids and names,
// and the window's private events.

#include "core/Vocabulary.h"

#include <QEvent>
#include <QString>

#include <optional>

int CategoryRadioId(Category category);
QString CategoryRadioLabel(Category category);
std::optional<Category> CategoryFromRadioId(int radioId);

// The editor's accessible name ("문제 편집기"): the tab says which document is shown, the editor itself says nothing.
QString SlotEditorName(DocumentSlot slot);
int SlotEditorControlId(DocumentSlot slot);

// Private events of the main window, posted to it as custom events. Both parameters are 0 except for
// UM_FOCUS_EDITOR, whose parameter is the slot index. The save worker's calls (the editors' two steps and
// every other call it makes on the user-interface thread) go to the window's save controller.
enum MainWindowEvent : int
{
    UM_LOGIN = QEvent::User + 1,
    UM_RENDER_PAGE_IMAGES = QEvent::User + 2,
    UM_SAVE_HWP = QEvent::User + 3,
    UM_FOCUS_EDITOR = QEvent::User + 4,
    UM_FOCUS_MAIN = QEvent::User + 5,
    UM_SAVE_CALL = QEvent::User + 6,
};

// A private event of the main window as it is posted; `param` is the slot index for UM_FOCUS_EDITOR, else 0.
class MainWindowMessage : public QEvent
{
public:
    explicit MainWindowMessage(MainWindowEvent event, int param = 0)
        : QEvent(static_cast<QEvent::Type>(static_cast<int>(event))), m_param(param)
    {
    }
    int Param() const { return m_param; }

private:
    int m_param;
};
