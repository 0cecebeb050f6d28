#pragma once

// What an account may do, as the question bank's login reply gives it: a level that opens some categories.

#include "core/Vocabulary.h"

namespace Permission {
// May log in and look around, but use no category.
inline constexpr int kNone = 4096;
// The middle-school exams only.
inline constexpr int kMiddleSchool = 16384;
// Every category.
inline constexpr int kAll = 32768;
} // namespace Permission

// Whether the level is one of the three above; any other value is no answer at all.
bool IsPermissionLevel(int level);

// Whether an account of the level may search, save and delete questions of the category. The window opens its
// categories by this rule and the local server refuses by it, so the two never disagree.
bool PermissionAllows(int level, Category category);
