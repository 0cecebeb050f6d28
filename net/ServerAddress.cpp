#include "net/ServerAddress.h"

#include "core/Settings.h"

#include <QSettings>

namespace {
constexpr char kEnvironmentVariable[] = "VELLORIN_SERVER_URL";
} // namespace

QString ServerBaseUrl(const QSettings& settings)
{
    QString url = qEnvironmentVariable(kEnvironmentVariable).trimmed();
    if (url.isEmpty())
        url = ReadSetting(settings, Setting::ServerBaseUrl).toString().trimmed();
    if (url.isEmpty())
        url = QLatin1String(kDefaultServerBaseUrl);
    if (!url.endsWith(u'/'))
        url += u'/';
    return url;
}
