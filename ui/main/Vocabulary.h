#pragma once

// The three vocabularies that run through the whole program: question categories, document slots and the
// main window's private events. Every workflow reads them from these tables instead of switching per case.

#include <QEvent>
#include <QString>

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
