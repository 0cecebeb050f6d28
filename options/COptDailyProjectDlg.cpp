#include "options/COptDailyProjectDlg.h"

#include "core/Messages.h"
#include "core/Vocabulary.h"

#include <QComboBox>
#include <QGridLayout>

COptDailyProjectDlg::COptDailyProjectDlg(QSettings* settings, QWidget* parent)
    : COptPanel(CategorySettingsSection(Category::DailyProject), settings, parent)
{
    setObjectName(QStringLiteral("COptDailyProjectDlg"));
    m_volume = addCombo(QStringLiteral("volumeCombo"), Msg::kNameVolume);
    m_day = addCombo(QStringLiteral("dayCombo"), Msg::kNameDay);
    m_slot = addCombo(QStringLiteral("slotCombo"), Msg::kNameNumber);
    m_grid->addWidget(m_volume, 0, 0);
    m_grid->addWidget(m_day, 1, 0);
    m_grid->addWidget(m_slot, 2, 0);
    m_grid->setRowStretch(3, 1);

    fillCombo(m_volume, numbered(QStringLiteral("volume%1"), 1, 15));
    fillCombo(m_day, {QStringLiteral("월요일"), QStringLiteral("화요일"), QStringLiteral("수요일"),
                      QStringLiteral("목요일"), QStringLiteral("금요일")});
    fillCombo(m_slot, {QStringLiteral("1번"), QStringLiteral("2번"), QStringLiteral("3번"), QStringLiteral("4번"),
                       QStringLiteral("5번"), QStringLiteral("Mission")});
    restoreIndex(m_volume, QStringLiteral("Volume"));
    restoreIndex(m_day, QStringLiteral("Day"));
    restoreIndex(m_slot, QStringLiteral("Number"));
}

COptDailyProjectDlg::~COptDailyProjectDlg()
{
    storeIndex(m_volume, QStringLiteral("Volume"));
    storeIndex(m_day, QStringLiteral("Day"));
    storeIndex(m_slot, QStringLiteral("Number"));
}

void COptDailyProjectDlg::collectFields(CMapStringToString& fields) const
{
    fields.SetAt(QStringLiteral("volume"), comboText(m_volume));
    fields.SetAt(QStringLiteral("prob"), comboText(m_day) + u' ' + comboText(m_slot));
}

void COptDailyProjectDlg::applyFields(const CMapStringToString& fields)
{
    applyCombo(m_volume, fields, QStringLiteral("volume"));
    QString prob;
    if (!fields.Lookup(QStringLiteral("prob"), prob))
        return;
    // The day is the first three characters.
    const int day = m_day->findText(prob.left(3), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (day >= 0)
        m_day->setCurrentIndex(day);
    // This panel writes the slot from the fifth character on; a server that puts one more character between
    // day and slot is served from the sixth.
    for (const qsizetype start : {qsizetype(4), qsizetype(5)}) {
        if (prob.size() <= start)
            break;
        const int slot = m_slot->findText(prob.mid(start), Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (slot >= 0) {
            m_slot->setCurrentIndex(slot);
            break;
        }
    }
}
