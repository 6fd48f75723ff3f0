#pragma once

#include <QString>

// The three settings routines over config.ini. The file's path is worked out afresh at every
// access (see settingsPath()).
class Moduleini
{
public:
    // programDir: the directory the program runs from; userConfigDir: the per-user fallback.
    Moduleini(QString programDir, QString userConfigDir);

    QString settingsPath() const;

    // The whole stored value, or empty text when the file, section or key is missing.
    QString iniread(const QString &section, const QString &key, const QString &path) const;
    // The stored value read as an integer, or 0 when missing.
    int iniint(const QString &section, const QString &key) const;
    // Returns false when the file could not be written; the previous file is then intact.
    bool iniwrite(const QString &section, const QString &key, const QString &value);

private:
    QString m_programDir;
    QString m_userConfigDir;
};
