#include "moduleini.h"

#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The profile functions of Windows are stood in for by IniDocument rather than a library:
// SimpleIni (the Debian package) rewrites the whole file in its own layout, dropping lines it
// does not understand, the BOM, CRLF endings and duplicate keys, and reads the last duplicate
// rather than the first. QSettings escapes, quotes and reorders values.

namespace {

const QString fileName = QStringLiteral("/config.ini");

// The file a path finally names once symbolic links are followed, even when that file does not
// exist yet; empty for a loop or an absurdly long chain.
QString resolveLinks(const QString &path)
{
    QString current = path;
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(current);
        if (!info.isSymbolicLink())
            return current;
        current = info.symLinkTarget();
        if (current.isEmpty())
            return {};
    }
    return {};
}

// QSaveFile replaces a file by renaming a new one over it, which needs its folder writable.
bool canSaveAt(const QString &path)
{
    const QString target = resolveLinks(path);
    return !target.isEmpty() && QFileInfo(QFileInfo(target).absolutePath()).isWritable();
}

// Reads at most limit + 1 bytes, so the caller can tell a file over the limit.
bool readUpTo(QFile &file, qint64 limit, QByteArray &bytes)
{
    while (bytes.size() <= limit) {
        const QByteArray chunk = file.read(limit + 1 - bytes.size());
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    return file.error() == QFileDevice::NoError;
}

IniDocument load(const QString &path)
{
    // A FIFO or device would block or never end; only regular files are read.
    if (!QFileInfo(path).isFile())
        return IniDocument();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return IniDocument();
    QByteArray bytes;
    readUpTo(file, Moduleini::maxFileSize, bytes);
    if (bytes.size() > Moduleini::maxFileSize) {
        // Whole lines only: a value cut short would read as a different value.
        bytes.truncate(Moduleini::maxFileSize);
        bytes.truncate(bytes.lastIndexOf('\n') + 1);
    }
    return IniDocument(bytes);
}

} // namespace

Moduleini::Moduleini(QString programDir, QString userConfigDir)
    : m_programDir(std::move(programDir)), m_userConfigDir(std::move(userConfigDir))
{
}

QString Moduleini::settingsPath() const
{
    const QString portable = m_programDir + fileName;
    const bool installed = QFileInfo(m_programDir).fileName() == QLatin1String("bin");
    if (m_userConfigDir.isEmpty() || (!installed && canSaveAt(portable)))
        return portable;
    return m_userConfigDir + fileName;
}

QString Moduleini::iniread(const QString &section, const QString &key, const QString &path) const
{
    return load(path).value(section, key).value_or(QString());
}

int Moduleini::iniint(const QString &section, const QString &key) const
{
    const std::optional<QString> text = load(settingsPath()).value(section, key);
    return text ? profileInt(*text) : 0;
}

bool Moduleini::iniwrite(const QString &section, const QString &key, const QString &value)
{
    const QString path = settingsPath();
    if (path != m_programDir + fileName)
        QDir().mkpath(m_userConfigDir);
    // Saving to the link's target keeps the link; saving to the link would replace it.
    const QString target = resolveLinks(path);
    if (target.isEmpty())
        return false;

    // Content that is not read whole cannot be written back whole, so such a file is left be.
    const QFileInfo info(target);
    QByteArray old;
    if (info.exists()) {
        if (!info.isFile())
            return false;
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly) || !readUpTo(file, maxFileSize, old) ||
            old.size() > maxFileSize)
            return false;
    }

    IniDocument document(old);
    if (!document.setValue(section, key, value))
        return false;
    const QByteArray bytes = document.toBytes();
    if (info.exists() && bytes == old)
        return true;

    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    // Qt 6.4's commit() ignores a failing final flush (a full disk) and renames the short file
    // over the old one, so the flush is checked here first.
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}
