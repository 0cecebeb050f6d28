#include "core/Shortcuts.h"

std::optional<MainWindowCommand> ShortcutCommand(int key, Qt::KeyboardModifiers modifiers)
{
    const int combination = int(modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier |
                                             Qt::MetaModifier | Qt::KeypadModifier)) |
                            key;
    for (const ShortcutEntry& entry : kShortcutTable) {
        if (entry.key == combination)
            return entry.command;
    }
    return std::nullopt;
}
