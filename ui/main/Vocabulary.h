#pragma once

// The three vocabularies that run through the whole program: question categories, document slots and the
// main window's private events. Every workflow reads them from these tables instead of switching per case.

#include <QEvent>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

enum class Category
{
    Education2015,
    Education2022,
    School2015,
    SchoolMid,
    Timestone,
    DailyProject,
};

inline constexpr std::array<Category, 6> kAllCategories = {
    Category::Education2015, Category::Education2022, Category::School2015,
    Category::SchoolMid,     Category::Timestone,     Category::DailyProject,
};

int CategoryRadioId(Category category);
QString CategoryRadioLabel(Category category);
// Prefix of every workflow message of the category ("… 문제 검색에 실패했습니다.").
QString CategoryMessageLabel(Category category);
QString CategoryPanelClass(Category category);
int CategoryPanelTemplateId(Category category);
QString CategorySettingsSection(Category category);
// Completes the question-bank paths, e.g. "get/" + "chapter_mid".
QString CategoryEndpointSuffix(Category category);
bool CategoryHasDuplicationCheck(Category category);
// The fields that tell one question of the category from another; the others describe it.
QStringList CategoryIdentityFields(Category category);
std::optional<Category> CategoryFromRadioId(int radioId);

enum class DocumentSlot
{
    Question,
    Answer,
    Explanation,
};

inline constexpr std::array<DocumentSlot, 3> kAllDocumentSlots = {
    DocumentSlot::Question,
    DocumentSlot::Answer,
    DocumentSlot::Explanation,
};

// The index is also the editor tab index and the order of every loop over the editors.
int SlotIndex(DocumentSlot slot);
QString SlotTabLabel(DocumentSlot slot);
// The editor's accessible name ("문제 편집기"): the tab says which document is shown, the editor itself says nothing.
QString SlotEditorName(DocumentSlot slot);
int SlotEditorControlId(DocumentSlot slot);
// Forms request keys and file names: "q_hwp", "d_png", "_q.hwp", …
QChar SlotFileLetter(DocumentSlot slot);
std::optional<DocumentSlot> SlotFromIndex(int index);

// Private events of the main window, posted to it as custom events. Both parameters are 0 except for
// UM_FOCUS_EDITOR, whose parameter is the slot index.
enum MainWindowEvent : int
{
    UM_LOGIN = QEvent::User + 1,
    UM_RENDER_PAGE_IMAGES = QEvent::User + 2,
    UM_SAVE_HWP = QEvent::User + 3,
    UM_FOCUS_EDITOR = QEvent::User + 4,
    UM_FOCUS_MAIN = QEvent::User + 5,
};

inline constexpr std::array<MainWindowEvent, 5> kAllMainWindowEvents = {
    UM_LOGIN, UM_RENDER_PAGE_IMAGES, UM_SAVE_HWP, UM_FOCUS_EDITOR, UM_FOCUS_MAIN,
};

QEvent::Type MainWindowEventType(MainWindowEvent event);
QString MainWindowEventName(MainWindowEvent event);

// Commands of the shortcut table, passed to the main window from wherever the keyboard focus is.
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

// The program's name (message box captions, settings) and the organisation under which its settings live.
inline constexpr char kApplicationName[] = "Vellorin";
inline constexpr char kOrganizationName[] = "Tarvix";

// A private event of the main window as it is posted; `param` is the slot index for UM_FOCUS_EDITOR, else 0.
class MainWindowMessage : public QEvent
{
public:
    explicit MainWindowMessage(MainWindowEvent event, int param = 0)
        : QEvent(MainWindowEventType(event)), m_param(param)
    {
    }
    int Param() const { return m_param; }

private:
    int m_param;
};

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
