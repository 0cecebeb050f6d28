#pragma once

#include <functional>

class PageView;
class QToolBar;
class QToolButton;

namespace TableMenu {

// The "표" drop-down on `bar`: make a table (through `insertTable`), rows, columns, cells, widths, borders
// and shading, acting on the cursor of `view`. Each command goes through TableEditing.
QToolButton* Add(QToolBar* bar, PageView* view, std::function<void(int, int)> insertTable);

} // namespace TableMenu
