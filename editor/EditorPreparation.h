#pragma once

#include <QString>

#include <array>

class CDHwpCtrl;
class QSettings;

// The three editors in slot order: question, answer, explanation.
using EditorSet = std::array<CDHwpCtrl*, 3>;

inline constexpr char kSecurityModuleFile[] = "FilePathCheckerModuleExample.dll";
inline constexpr char kSecurityModuleValue[] = "FilePathCheckerModule";

// Writes the security module's path (working folder + module file) as the value "FilePathCheckerModule" of
// section "Modules" in the editor's own settings. Every failure is ignored.
void RegisterSecurityModulePath(QSettings& editorSettings, const QString& workingFolder);
// The same in the editor's settings store (organisation "HNC", application "HwpCtrl").
void RegisterSecurityModulePath(const QString& workingFolder);
// Registers the module with each editor, in slot order.
void RegisterSecurityModule(const EditorSet& editors);

// Asks every editor, in slot order, for the seven toolbar groups and shows them.
void SetupToolbars(const EditorSet& editors);

// Empties the three editors and gives each the question page: margins, zoom 120, two columns. Four passes,
// each over all three editors, so that every editor is cleared before any page is set up.
void PrepareEditors(const EditorSet& editors);
