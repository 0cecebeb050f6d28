#pragma once

// The program's own shortcut keys. The main window carries them out; the option panels and editors, which
// hold the keyboard focus most of the time, hand them on to it as a command event.

#include <QEvent>

#include <array>
#include <optional>

enum MainWindowCommand : int
{
    ID_SAVE = 32771,
    ID_SHOW_QUESTION = 32773,
    ID_SHOW_ANSWER = 32774,
    ID_SHOW_EXPLANATION = 32775,
    ID_RESET = 32776,
};

struct ShortcutEntry
{
    int key; // Qt key combination, e.g. Qt::CTRL | Qt::Key_S
    MainWindowCommand command;
};

// The shortcut table: Ctrl+S, Ctrl+1, Ctrl+2, Ctrl+3, Ctrl+R.
inline constexpr std::array<ShortcutEntry, 5> kShortcutTable = {{
    {int(Qt::CTRL) | Qt::Key_S, ID_SAVE},
    {int(Qt::CTRL) | Qt::Key_1, ID_SHOW_QUESTION},
    {int(Qt::CTRL) | Qt::Key_2, ID_SHOW_ANSWER},
    {int(Qt::CTRL) | Qt::Key_3, ID_SHOW_EXPLANATION},
    {int(Qt::CTRL) | Qt::Key_R, ID_RESET},
}};

// The command of a key combination of the shortcut table; nothing for any other key. Keys of the keypad
// carry the keypad modifier and so are not the table's digits.
std::optional<MainWindowCommand> ShortcutCommand(int key, Qt::KeyboardModifiers modifiers);

// A command sent to a window and handled before the sender goes on.
class CommandEvent : public QEvent
{
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 32);
    explicit CommandEvent(int id) : QEvent(kType), m_id(id) {}
    int Id() const { return m_id; }

private:
    int m_id;
};
