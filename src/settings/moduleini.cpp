#include "moduleini.h"

// Placeholder until the INI layer lands: reads nothing, writes nothing.
Moduleini::Moduleini(QString programDir, QString userConfigDir)
    : m_programDir(std::move(programDir)), m_userConfigDir(std::move(userConfigDir))
{
}

QString Moduleini::settingsPath() const
{
    return m_programDir + QStringLiteral("/config.ini");
}

QString Moduleini::iniread(const QString &, const QString &, const QString &) const
{
    return {};
}

int Moduleini::iniint(const QString &, const QString &) const
{
    return 0;
}

bool Moduleini::iniwrite(const QString &, const QString &, const QString &)
{
    return false;
}
