#include "core/Vocabulary.h"

#include <algorithm>

namespace {

struct CategoryRow
{
    Category value;
    const char16_t* messageLabel;
    const char* settingsSection;
    const char* endpointSuffix;
    bool hasDuplicationCheck;
    std::initializer_list<const char*> identity; // the fields that tell one question from another
};

// clang-format off
constexpr std::array<CategoryRow, 6> kCategoryRows = {{
    {Category::Education2015, u"교육청/평가원 (2015 개정)", "Education2015Opt", "education2015", true,
     {"type", "year", "month", "level", "department", "number"}},
    {Category::Education2022, u"교육청/평가원 (2022 개정)", "Education2022Opt", "education2022", true,
     {"type", "year", "month", "level", "department", "number"}},
    {Category::School2015, u"고등 내신기출 (2015 개정)", "School2015Opt", "chapter2015", false,
     {"school", "year", "term", "level", "department", "problem_type", "number"}},
    {Category::SchoolMid, u"중등 내신기출", "SchoolOptMid", "chapter_mid", false,
     {"school", "year", "term", "level", "problem_type", "number"}},
    {Category::Timestone, u"Dar Iziza Vizadu", "Timestone", "timestone", false, {"topic", "type", "number"}},
    {Category::DailyProject, u"Varud Aroruva", "DailyProject", "daily", false, {"volume", "prob"}},
}};
// clang-format on

struct SlotRow
{
    DocumentSlot value;
    int index;
    const char16_t* tabLabel;
    char16_t fileLetter;
};

constexpr std::array<SlotRow, 3> kSlotRows = {{
    {DocumentSlot::Question, 0, u"문제", u'q'},
    {DocumentSlot::Answer, 1, u"정답", u'a'},
    {DocumentSlot::Explanation, 2, u"해설", u'd'},
}};

template <typename Rows, typename Value> const auto& rowOf(const Rows& rows, Value value)
{
    // The enums are dense and the tables in enum order, so this is a plain index; the search keeps it honest
    // should someone reorder a table.
    const auto it = std::find_if(rows.begin(), rows.end(), [value](const auto& row) { return row.value == value; });
    Q_ASSERT(it != rows.end());
    return *it;
}

} // namespace

QString CategoryMessageLabel(Category category)
{
    return QString::fromUtf16(rowOf(kCategoryRows, category).messageLabel);
}

QString CategorySettingsSection(Category category)
{
    return QString::fromLatin1(rowOf(kCategoryRows, category).settingsSection);
}

QString CategoryEndpointSuffix(Category category)
{
    return QString::fromLatin1(rowOf(kCategoryRows, category).endpointSuffix);
}

std::optional<Category> CategoryFromEndpointSuffix(QStringView suffix)
{
    for (const auto& row : kCategoryRows) {
        if (suffix == QLatin1String(row.endpointSuffix))
            return row.value;
    }
    return std::nullopt;
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

int SlotIndex(DocumentSlot slot)
{
    return rowOf(kSlotRows, slot).index;
}

std::optional<DocumentSlot> SlotFromIndex(int index)
{
    for (const auto& row : kSlotRows) {
        if (row.index == index)
            return row.value;
    }
    return std::nullopt;
}

QString SlotTabLabel(DocumentSlot slot)
{
    return QString::fromUtf16(rowOf(kSlotRows, slot).tabLabel);
}

QChar SlotFileLetter(DocumentSlot slot)
{
    return QChar(rowOf(kSlotRows, slot).fileLetter);
}
