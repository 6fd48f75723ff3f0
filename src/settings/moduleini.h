#pragma once

#include "inifile.h"
#include "settingskeys.h"

#include <QString>

#include <optional>

bool isBinFolder(const QString &programDir);
bool isWritableFolder(const QString &folder);

// What differs between operating systems in how settings are kept.
struct SettingsSystem
{
    // The encoding of a file without a UTF-8 byte-order mark.
    const IniCodec *codec = &IniCodec::utf8();
    // Whether a program in this folder is an installed one, whose settings are per user.
    bool (*installedIn)(const QString &programDir) = &isBinFolder;
    bool (*canSaveIn)(const QString &folder) = &isWritableFolder;
    // Another name of the same file, one the codec may hold better (Windows: 8.3 names).
    QString (*shortName)(const QString &path) = nullptr;
};

// The three settings routines over config.ini (the file format is IniDocument's).
//
// Which file: a copy unpacked into a folder of its own keeps config.ini beside it whenever the
// folder it would be saved into is writable (the program's directory, or for a symbolic link the
// folder of the file it points to). An installed copy (on Linux one that runs from a directory
// named "bin": /usr/bin, /usr/local/bin, ~/.local/bin) and a copy in a folder it cannot write
// keep config.ini in the per-user directory: nothing is ever written beside an installed binary,
// not even by root, for whom /usr/bin is writable. The two files are never merged, so in a
// read-only program directory a config.ini found there is not read. A read-only config.ini in a
// writable directory is still the one used: it is read, and writes to it fail. The path is worked
// out afresh at every access (see settingsPath()).
//
// The text is UTF-8 after a UTF-8 byte-order mark or a UTF-16 one (such a file is written back
// as it came), else in the system's encoding (SettingsSystem::codec). Reading never creates or
// changes a file. Only the first MiB of a larger file is read, and anything that cannot be read
// (missing, unreadable, not a regular file) reads as missing.
//
// A write replaces the file whole and atomically, keeping every byte it did not change. It
// fails, leaving the file as it was, when the file cannot be read whole first (unreadable,
// over 1 MiB, not a regular file, UTF-16 that does not convert back to the same bytes), cannot
// hold the text, or cannot be saved (read-only, disk full). A symbolic link
// stays a link: the file it points to is updated.
class Moduleini
{
public:
    // programDir: the directory the program runs from; userConfigDir: the per-user fallback,
    // created on the first write that needs it. With an empty userConfigDir there is no fallback.
    Moduleini(QString programDir, QString userConfigDir, SettingsSystem system = {});

    QString settingsPath() const;

    // The whole stored value, or empty text when the file, section or key is missing.
    QString iniread(const QString &section, const QString &key, const QString &path) const;
    // The stored value read as an integer (see profileInt()), or 0 when missing.
    int iniint(const QString &section, const QString &key) const;
    // Returns false when the file could not be written; the previous file is then intact.
    bool iniwrite(const QString &section, const QString &key, const QString &value);

    // The same for one of SettingsKeys, in the file settingsPath() names.
    QString iniread(const IniKey &k) const { return iniread(k.section, k.key, settingsPath()); }
    int iniint(const IniKey &k) const { return iniint(k.section, k.key); }
    bool iniwrite(const IniKey &k, const QString &value)
    {
        return iniwrite(k.section, k.key, value);
    }

    // The text that stores `path` in the settings file: the path itself, or where the file's
    // encoding cannot hold it, another name of the same file that it can; nullopt if none.
    std::optional<QString> storablePath(const QString &path) const;

    // Files larger than this are read only in part and never rewritten.
    static constexpr qint64 maxFileSize = 1024 * 1024;

private:
    QString m_programDir;
    QString m_userConfigDir;
    SettingsSystem m_system;
};

// Defined once per OS in settings/<os>/: the settings of the program that is running, beside it
// or in the user's own folder.
Moduleini programSettings();
