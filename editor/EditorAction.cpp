#include "editor/EditorAction.h"

#include "document/PageGeometry.h"
#include "editor/CDHwpCtrl.h"

namespace {

// Items of the page definition and where they live in the geometry.
struct PageItem
{
    const char* id;
    int PageGeometry::*field;
};

constexpr PageItem kPageItems[] = {
    {"PaperWidth", &PageGeometry::paperWidth},  {"PaperHeight", &PageGeometry::paperHeight},
    {"TopMargin", &PageGeometry::topMargin},    {"BottomMargin", &PageGeometry::bottomMargin},
    {"LeftMargin", &PageGeometry::leftMargin},  {"RightMargin", &PageGeometry::rightMargin},
    {"HeaderLen", &PageGeometry::headerLength}, {"FooterLen", &PageGeometry::footerLength},
    {"GutterLen", &PageGeometry::gutter},
};

} // namespace

EditorAction::EditorAction(CDHwpCtrl* editor, QString actionId) : m_editor(editor), m_actionId(std::move(actionId)) {}

std::unique_ptr<EditorParameterSet> EditorAction::MakeParameterSet() const
{
    return std::make_unique<EditorParameterSet>(m_actionId);
}

bool EditorAction::LoadDefaults(EditorParameterSet* set) const
{
    if (!m_editor || !set)
        return false;
    const PageGeometry page = m_editor->Page();
    if (m_actionId == QLatin1String("PageSetup")) {
        set->SetItem(QStringLiteral("ApplyTo"), 3);
        EditorParameterSet* pageDef = set->NewItemSet(QStringLiteral("PageDef"), QStringLiteral("PageDef"));
        for (const PageItem& item : kPageItems)
            pageDef->SetItem(QLatin1String(item.id), page.*item.field);
        return true;
    }
    if (m_actionId == QLatin1String("MultiColumn")) {
        set->SetItem(QStringLiteral("ApplyTo"), 6);
        set->SetItem(QStringLiteral("Type"), 0);
        set->SetItem(QStringLiteral("Count"), page.columnCount);
        set->SetItem(QStringLiteral("SameSize"), 1);
        set->SetItem(QStringLiteral("SameGap"), page.columnGap);
        return true;
    }
    return false;
}

bool EditorAction::Execute(const EditorParameterSet* set)
{
    if (!m_editor || !set)
        return false;
    PageGeometry page = m_editor->Page();
    if (m_actionId == QLatin1String("PageSetup")) {
        if (const EditorParameterSet* pageDef = set->ItemSet(QStringLiteral("PageDef"))) {
            for (const PageItem& item : kPageItems)
                page.*item.field = pageDef->IntItem(QLatin1String(item.id), page.*item.field);
        }
    } else if (m_actionId == QLatin1String("MultiColumn")) {
        page.columnCount = set->IntItem(QStringLiteral("Count"), page.columnCount);
        page.columnGap = set->IntItem(QStringLiteral("SameGap"), page.columnGap);
    } else {
        return false;
    }
    if (!page.isUsable())
        return false;
    m_editor->SetPage(page);
    return true;
}
