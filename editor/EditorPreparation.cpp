#include "editor/EditorPreparation.h"

#include "editor/CDHwpCtrl.h"

#include <QSettings>

void RegisterSecurityModulePath(QSettings& editorSettings, const QString& workingFolder)
{
    editorSettings.beginGroup(QStringLiteral("Modules"));
    editorSettings.setValue(QLatin1String(kSecurityModuleValue), workingFolder + QLatin1String(kSecurityModuleFile));
    editorSettings.endGroup();
    editorSettings.sync();
}

void RegisterSecurityModulePath(const QString& workingFolder)
{
    QSettings settings(QStringLiteral("HNC"), QStringLiteral("HwpCtrl"));
    RegisterSecurityModulePath(settings, workingFolder);
}

void RegisterSecurityModule(const EditorSet& editors)
{
    for (CDHwpCtrl* editor : editors) {
        if (editor)
            editor->RegisterExtensionModule(QStringLiteral("FilePathCheckDLL"), QLatin1String(kSecurityModuleValue));
    }
}

void SetupToolbars(const EditorSet& editors)
{
    for (CDHwpCtrl* editor : editors) {
        if (!editor)
            continue;
        for (const QString& name : CDHwpCtrl::ToolbarNames())
            editor->SetToolbarItems(-1, name);
        editor->ShowToolbars(1);
    }
}

void PrepareEditors(const EditorSet& editors)
{
    for (CDHwpCtrl* editor : editors) {
        if (editor)
            editor->ClearDocument(1);
    }
    for (CDHwpCtrl* editor : editors) {
        if (!editor)
            continue;
        auto action = editor->NewAction(QStringLiteral("PageSetup"));
        auto set = action->MakeParameterSet();
        action->LoadDefaults(set.get());
        set->SetItem(QStringLiteral("ApplyTo"), 3);
        EditorParameterSet* pageDef = set->NewItemSet(QStringLiteral("PageDef"), QStringLiteral("PageDef"));
        pageDef->SetItem(QStringLiteral("TopMargin"), 5669);
        pageDef->SetItem(QStringLiteral("HeaderLen"), 1417);
        pageDef->SetItem(QStringLiteral("LeftMargin"), 4960);
        pageDef->SetItem(QStringLiteral("RightMargin"), 4960);
        pageDef->SetItem(QStringLiteral("FooterLen"), 1417);
        pageDef->SetItem(QStringLiteral("BottomMargin"), 4251);
        action->Execute(set.get());
    }
    for (CDHwpCtrl* editor : editors) {
        if (!editor)
            continue;
        auto view = editor->NewParameterSet(QStringLiteral("ViewProperties"));
        view->SetItem(QStringLiteral("ZoomType"), 0);
        view->SetItem(QStringLiteral("ZoomRatio"), 120);
        editor->SetViewSettings(*view);
    }
    for (CDHwpCtrl* editor : editors) {
        if (!editor)
            continue;
        auto action = editor->NewAction(QStringLiteral("MultiColumn"));
        auto set = action->MakeParameterSet();
        action->LoadDefaults(set.get());
        set->SetItem(QStringLiteral("ApplyTo"), 6);
        set->SetItem(QStringLiteral("Type"), 0);
        set->SetItem(QStringLiteral("Count"), 2);
        set->SetItem(QStringLiteral("SameSize"), 1);
        set->SetItem(QStringLiteral("SameGap"), 2267);
        action->Execute(set.get());
    }
}
