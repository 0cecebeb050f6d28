#include "core/Permission.h"

bool IsPermissionLevel(int level)
{
    return level == Permission::kNone || level == Permission::kMiddleSchool || level == Permission::kAll;
}

bool PermissionAllows(int level, Category category)
{
    switch (level) {
    case Permission::kAll:
        return true;
    case Permission::kMiddleSchool:
        return category == Category::SchoolMid;
    default:
        return false;
    }
}
