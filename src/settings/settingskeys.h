#pragma once

#include <QString>

// Every section and key of config.ini, named once.
struct IniKey
{
    QString section;
    QString key;
};

namespace SettingsKeys {
inline const IniKey sound{QStringLiteral("sound"), QStringLiteral("ifsound")};
inline const IniKey tips{QStringLiteral("Tips"), QStringLiteral("ifTips")};
inline const IniKey soundPath{QStringLiteral("soundpath"), QStringLiteral("spath")};
// Read only: seconds of warning before the power action (0 turns it off).
inline const IniKey warningSeconds{QStringLiteral("warning"), QStringLiteral("seconds")};
} // namespace SettingsKeys
