#include "ui/main/WindowVocabulary.h"

#include <array>

namespace {

struct RadioRow
{
    Category value;
    int radioId;
    const char16_t* radioLabel;
};

constexpr std::array<RadioRow, 6> kRadioRows = {{
    {Category::Education2015, 1201, u"교육청/평가원 (2015 개정)"},
    {Category::Education2022, 1202, u"교육청/평가원 (2022 개정)"},
    {Category::School2015, 1203, u"고등 내신기출"},
    {Category::SchoolMid, 1204, u"중등 내신기출"},
    {Category::Timestone, 1205, u"Dar Iziza Vizadu"},
    {Category::DailyProject, 1206, u"Varud Aroruva"},
}};

struct EditorRow
{
    DocumentSlot value;
    const char16_t* name; // what a screen reader calls the slot's editor, which shows no label
    int controlId;
};

constexpr std::array<EditorRow, 3> kEditorRows = {{
    {DocumentSlot::Question, u"문제 편집기", 900},
    {DocumentSlot::Answer, u"정답 편집기", 901},
    {DocumentSlot::Explanation, u"해설 편집기", 902},
}};

// The rows are in the order of the enums, which the tables of the core follow too.
template <typename Rows, typename Value> const auto& rowOf(const Rows& rows, Value value)
{
    const auto& row = rows[std::size_t(value)];
    Q_ASSERT(row.value == value);
    return row;
}

} // namespace

int CategoryRadioId(Category category)
{
    return rowOf(kRadioRows, category).radioId;
}

QString CategoryRadioLabel(Category category)
{
    return QString::fromUtf16(rowOf(kRadioRows, category).radioLabel);
}

std::optional<Category> CategoryFromRadioId(int radioId)
{
    for (const auto& row : kRadioRows) {
        if (row.radioId == radioId)
            return row.value;
    }
    return std::nullopt;
}

QString SlotEditorName(DocumentSlot slot)
{
    return QString::fromUtf16(rowOf(kEditorRows, slot).name);
}

int SlotEditorControlId(DocumentSlot slot)
{
    return rowOf(kEditorRows, slot).controlId;
}
