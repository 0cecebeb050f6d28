#pragma once

// The vocabulary that the whole program shares: question categories and document slots. Every workflow, the
// server client and the local server read them from these tables instead of switching per case.

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

// Prefix of every workflow message of the category ("… 문제 검색에 실패했습니다.").
QString CategoryMessageLabel(Category category);
// The settings group of the category's panel.
QString CategorySettingsSection(Category category);
// Completes the question-bank paths, e.g. "get/" + "chapter_mid".
QString CategoryEndpointSuffix(Category category);
std::optional<Category> CategoryFromEndpointSuffix(QStringView suffix);
bool CategoryHasDuplicationCheck(Category category);
// The fields that tell one question of the category from another; the others describe it.
QStringList CategoryIdentityFields(Category category);

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
std::optional<DocumentSlot> SlotFromIndex(int index);
QString SlotTabLabel(DocumentSlot slot);
// Forms request keys and file names: "q_hwp", "d_png", "_q.hwp", …
QChar SlotFileLetter(DocumentSlot slot);

// The program's name (message box captions, settings) and the organisation under which its settings live.
inline constexpr char kApplicationName[] = "Vellorin";
inline constexpr char kOrganizationName[] = "Tarvix";
