#include "core/Settings.h"

#include <QSettings>

#include <array>

namespace {

struct SettingRow
{
    Setting value;
    const char* key;
    QVariant (*fallback)();
};

const std::array<SettingRow, 4> kSettingRows = {{
    {Setting::LastLogin, "Account/UserID", [] { return QVariant(QString()); }},
    {Setting::HotKeyOff, "CommonOpt/HotKeyOff", [] { return QVariant(0); }},
    {Setting::ServerBaseUrl, "Server/BaseUrl", [] { return QVariant(QString()); }},
    {Setting::DownloadUrl, "Server/DownloadUrl", [] { return QVariant(); }},
}};

const SettingRow& rowOf(Setting setting)
{
    return kSettingRows[std::size_t(setting)];
}

} // namespace

QString SettingKey(Setting setting)
{
    return QLatin1String(rowOf(setting).key);
}

QVariant ReadSetting(const QSettings& settings, Setting setting)
{
    return settings.value(SettingKey(setting), rowOf(setting).fallback());
}

void WriteSetting(QSettings& settings, Setting setting, const QVariant& value)
{
    settings.setValue(SettingKey(setting), value);
}

QString PanelSettingKey(const QString& section, const QString& name)
{
    return section + u'/' + name;
}
