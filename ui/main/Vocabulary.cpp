#include "ui/main/Vocabulary.h"

#include <algorithm>

namespace {

struct CategoryRow
{
    Category value;
    int radioId;
    const char16_t* radioLabel;
    const char16_t* messageLabel;
    const char* panelClass;
    int panelTemplateId;
    const char* settingsSection;
    const char* endpointSuffix;
    bool hasDuplicationCheck;
    std::initializer_list<const char*> identity; // the fields that tell one question from another
};

constexpr std::array<CategoryRow, 6> kCategoryRows = {{
    {Category::Education2015, 1201, u"교육청/평가원 (2015 개정)", u"교육청/평가원 (2015 개정)", "COptEducation2015Dlg",
     210, "Education2015Opt", "education2015", true,
     {"type", "year", "month", "level", "department", "number"}},
    {Category::Education2022, 1202, u"교육청/평가원 (2022 개정)", u"교육청/평가원 (2022 개정)", "COptEducation2022Dlg",
     250, "Education2022Opt", "education2022", true,
     {"type", "year", "month", "level", "department", "number"}},
    {Category::School2015, 1203, u"고등 내신기출", u"고등 내신기출 (2015 개정)", "COptSchool2015Dlg", 230,
     "School2015Opt", "chapter2015", false,
     {"school", "year", "term", "level", "department", "problem_type", "number"}},
    {Category::SchoolMid, 1204, u"중등 내신기출", u"중등 내신기출", "COptSchoolMidDlg", 150, "SchoolOptMid",
     "chapter_mid", false,
     {"school", "year", "term", "level", "problem_type", "number"}},
    {Category::Timestone, 1205, u"Dar Iziza Vizadu", u"Dar Iziza Vizadu", "COptTimestoneDlg", 160, "Timestone",
     "timestone", false, {"topic", "type", "number"}},
    {Category::DailyProject, 1206, u"Varud Aroruva", u"Varud Aroruva", "COptDailyProjectDlg", 240, "DailyProject",
     "daily", false, {"volume", "prob"}},
}};

struct SlotRow
{
    DocumentSlot value;
    int index;
    const char16_t* tabLabel;
    const char16_t* editorName; // what a screen reader calls the slot's editor, which shows no label
    int editorControlId;
    char16_t fileLetter;
};

constexpr std::array<SlotRow, 3> kSlotRows = {{
    {DocumentSlot::Question, 0, u"문제", u"문제 편집기", 900, u'q'},
    {DocumentSlot::Answer, 1, u"정답", u"정답 편집기", 901, u'a'},
    {DocumentSlot::Explanation, 2, u"해설", u"해설 편집기", 902, u'd'},
}};

struct EventRow
{
    MainWindowEvent value;
    const char* name;
};

constexpr std::array<EventRow, 5> kEventRows = {{
    {UM_LOGIN, "UM_LOGIN"},
    {UM_RENDER_PAGE_IMAGES, "UM_RENDER_PAGE_IMAGES"},
    {UM_SAVE_HWP, "UM_SAVE_HWP"},
    {UM_FOCUS_EDITOR, "UM_FOCUS_EDITOR"},
    {UM_FOCUS_MAIN, "UM_FOCUS_MAIN"},
}};

template <typename Rows, typename Value> const auto& rowOf(const Rows& rows, Value value)
{
    // The enums are dense and the tables in enum order, so this is a plain index; the search keeps it honest
    // should someone reorder a table.
    const auto it = std::find_if(rows.begin(), rows.end(), [value](const auto& row) { return row.value == value; });
    Q_ASSERT(it != rows.end());
    return *it;
}

QString fromUtf16(const char16_t* text)
{
    return QString::fromUtf16(text);
}

} // namespace

int CategoryRadioId(Category category)
{
    return rowOf(kCategoryRows, category).radioId;
}

QString CategoryRadioLabel(Category category)
{
    return fromUtf16(rowOf(kCategoryRows, category).radioLabel);
}

QString CategoryMessageLabel(Category category)
{
    return fromUtf16(rowOf(kCategoryRows, category).messageLabel);
}

QString CategoryPanelClass(Category category)
{
    return QString::fromLatin1(rowOf(kCategoryRows, category).panelClass);
}

int CategoryPanelTemplateId(Category category)
{
    return rowOf(kCategoryRows, category).panelTemplateId;
}

QString CategorySettingsSection(Category category)
{
    return QString::fromLatin1(rowOf(kCategoryRows, category).settingsSection);
}

QString CategoryEndpointSuffix(Category category)
{
    return QString::fromLatin1(rowOf(kCategoryRows, category).endpointSuffix);
}

bool CategoryHasDuplicationCheck(Category category)
{
    return rowOf(kCategoryRows, category).hasDuplicationCheck;
}

QStringList CategoryIdentityFields(Category category)
{
    QStringList fields;
    for (const char* name : rowOf(kCategoryRows, category).identity)
        fields.append(QLatin1String(name));
    return fields;
}

std::optional<Category> CategoryFromRadioId(int radioId)
{
    for (const auto& row : kCategoryRows) {
        if (row.radioId == radioId)
            return row.value;
    }
    return std::nullopt;
}

int SlotIndex(DocumentSlot slot)
{
    return rowOf(kSlotRows, slot).index;
}

QString SlotTabLabel(DocumentSlot slot)
{
    return fromUtf16(rowOf(kSlotRows, slot).tabLabel);
}

QString SlotEditorName(DocumentSlot slot)
{
    return fromUtf16(rowOf(kSlotRows, slot).editorName);
}

int SlotEditorControlId(DocumentSlot slot)
{
    return rowOf(kSlotRows, slot).editorControlId;
}

QChar SlotFileLetter(DocumentSlot slot)
{
    return QChar(rowOf(kSlotRows, slot).fileLetter);
}

std::optional<DocumentSlot> SlotFromIndex(int index)
{
    for (const auto& row : kSlotRows) {
        if (row.index == index)
            return row.value;
    }
    return std::nullopt;
}

QEvent::Type MainWindowEventType(MainWindowEvent event)
{
    return static_cast<QEvent::Type>(static_cast<int>(event));
}

QString MainWindowEventName(MainWindowEvent event)
{
    return QString::fromLatin1(rowOf(kEventRows, event).name);
}

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
