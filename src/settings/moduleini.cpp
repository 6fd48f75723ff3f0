#include "moduleini.h"

#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

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

// A file's bytes as IniDocument takes them, and back. UTF-16 (Windows' Notepad saves
// "Unicode" so) goes through UTF-8.
class FileText
{
public:
    FileText(QByteArrayView raw, const IniCodec &systemCodec) : m_codec(&systemCodec)
    {
        for (const auto &[bom, encoding] : {std::pair{utf16LeBom, QStringConverter::Utf16LE},
                                            std::pair{utf16BeBom, QStringConverter::Utf16BE}}) {
            if (raw.startsWith(bom)) {
                m_utf16 = encoding;
                QStringDecoder decoder(encoding);
                m_bytes = QString(decoder(raw.sliced(bom.size()))).toUtf8();
                m_codec = &IniCodec::utf8();
                // What does not convert back byte for byte is not written back.
                m_intact = !decoder.hasError() && toFile(m_bytes) == raw;
                return;
            }
        }
        m_bytes = raw.toByteArray();
        if (raw.startsWith(utf8Bom))
            m_codec = &IniCodec::utf8();
    }

    const QByteArray &bytes() const { return m_bytes; }
    const IniCodec &codec() const { return *m_codec; }
    bool isIntact() const { return m_intact; }

    QByteArray toFile(const QByteArray &bytes) const
    {
        if (!m_utf16)
            return bytes;
        QStringEncoder encoder(*m_utf16);
        return (*m_utf16 == QStringConverter::Utf16LE ? utf16LeBom : utf16BeBom).toByteArray() +
               QByteArray(encoder(QString::fromUtf8(bytes)));
    }

private:
    static constexpr QByteArrayView utf8Bom{"\xEF\xBB\xBF"};
    static constexpr QByteArrayView utf16LeBom{"\xFF\xFE"};
    static constexpr QByteArrayView utf16BeBom{"\xFE\xFF"};

    QByteArray m_bytes;
    const IniCodec *m_codec;
    std::optional<QStringConverter::Encoding> m_utf16;
    bool m_intact = true;
};

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

std::optional<QString> load(const QString &path, const IniCodec &systemCodec,
                            const QString &section, const QString &key)
{
    // A FIFO or device would block or never end; only regular files are read.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes;
    readUpTo(file, Moduleini::maxFileSize, bytes);
    if (bytes.size() > Moduleini::maxFileSize) {
        // Whole lines only: a value cut short would read as a different value.
        bytes.truncate(Moduleini::maxFileSize);
        bytes.truncate(bytes.lastIndexOf('\n') + 1);
    }
    const FileText text(bytes, systemCodec);
    return IniDocument(text.bytes(), text.codec()).value(section, key);
}

} // namespace

Moduleini::Moduleini(QString programDir, QString userConfigDir, SettingsSystem system)
    : m_programDir(std::move(programDir)), m_userConfigDir(std::move(userConfigDir)),
      m_system(system)
{
}

bool isBinFolder(const QString &programDir)
{
    return QFileInfo(programDir).fileName() == QLatin1String("bin");
}

bool isWritableFolder(const QString &folder)
{
    return QFileInfo(folder).isWritable();
}

QString Moduleini::settingsPath() const
{
    const QString portable = m_programDir + fileName;
    if (m_userConfigDir.isEmpty())
        return portable;
    // QSaveFile replaces a file by renaming a new one over it, which needs its folder writable.
    const QString target = resolveLinks(portable);
    if (!m_system.installedIn(m_programDir) && !target.isEmpty() &&
        m_system.canSaveIn(QFileInfo(target).absolutePath()))
        return portable;
    return m_userConfigDir + fileName;
}

QString Moduleini::iniread(const QString &section, const QString &key, const QString &path) const
{
    return load(path, *m_system.codec, section, key).value_or(QString());
}

int Moduleini::iniint(const QString &section, const QString &key) const
{
    const std::optional<QString> text = load(settingsPath(), *m_system.codec, section, key);
    return text ? profileInt(*text) : 0;
}

std::optional<QString> Moduleini::storablePath(const QString &path) const
{
    const QString target = resolveLinks(settingsPath());
    QFile file(target);
    QByteArray head;
    if (file.open(QIODevice::ReadOnly))
        head = file.read(3);
    const IniCodec &codec = FileText(head, *m_system.codec).codec();
    if (codec.encode(path))
        return path;
    if (m_system.shortName)
        if (const QString name = m_system.shortName(path); !name.isEmpty() && codec.encode(name))
            return name;
    return std::nullopt;
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

    const FileText text(old, *m_system.codec);
    IniDocument document(text.bytes(), text.codec());
    if (!text.isIntact() || !document.setValue(section, key, value))
        return false;
    const QByteArray bytes = text.toFile(document.toBytes());
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
