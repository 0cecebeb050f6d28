#pragma once

#include <QString>

class QSettings;

// The question-bank server the program talks to: the environment variable VELLORIN_SERVER_URL when set,
// else the setting Server/BaseUrl, else the local server. Always ends in "/".
QString ServerBaseUrl(const QSettings& settings);

inline constexpr char kDefaultServerBaseUrl[] = "https://127.0.0.1:8443/";
