#include "instanceguard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

QString InstanceGuard::lockPathFor(const QString &programPath, const QString &runtimeDir)
{
    const QString canonical = QFileInfo(programPath).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash(
        (canonical.isEmpty() ? programPath : canonical).toUtf8(), QCryptographicHash::Sha256);
    return QDir(runtimeDir)
        .filePath(QStringLiteral("quorvel-%1.lock").arg(QString::fromLatin1(key.toHex().left(16))));
}
