#pragma once

// Every setting the program keeps of its own, each with its key and the value it has until one is stored.
// The option panels keep their choices under their category's section (CategorySettingsSection), one key
// per list.

#include <QString>
#include <QVariant>

class QSettings;

enum class Setting
{
    LastLogin,     // the account of the last successful login, offered at the next start
    HotKeyOff,     // 1 while the shortcut keys are switched off
    ServerBaseUrl, // the question bank, when VELLORIN_SERVER_URL does not name one
    DownloadUrl,   // where an update is offered; by default the server's own download page
};

QString SettingKey(Setting setting);
// The stored value, else the setting's default (a null value for DownloadUrl, whose default depends on the
// server).
QVariant ReadSetting(const QSettings& settings, Setting setting);
void WriteSetting(QSettings& settings, Setting setting, const QVariant& value);

// The key of one list of an option panel: "Education2015Opt/Year".
QString PanelSettingKey(const QString& section, const QString& name);
