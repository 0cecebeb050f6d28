#pragma once

class QWidget;

// Gives every tool button under `root` that has an icon of its own (found by the objectName of the button or
// of its action) that icon, and shows it instead of the text, which stays as the tooltip. Buttons without
// an icon keep showing their text.
void ApplyToolbarIcons(QWidget* root);
