#include "net/ServerAddress.h"

#include <QSettings>

namespace {
constexpr char kEnvironmentVariable[] = "VELLORIN_SERVER_URL";
constexpr char kSettingKey[] = "Server/BaseUrl";
} // namespace

QString ServerBaseUrl(const QSettings& settings)
{
    QString url = qEnvironmentVariable(kEnvironmentVariable).trimmed();
    if (url.isEmpty())
        url = settings.value(QLatin1String(kSettingKey)).toString().trimmed();
    if (url.isEmpty())
        url = QLatin1String(kDefaultServerBaseUrl);
    if (!url.endsWith(u'/'))
        url += u'/';
    return url;
}
