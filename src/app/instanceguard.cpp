#include "instanceguard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

InstanceGuard::InstanceGuard(const QString &lockPath) : m_lock(lockPath)
{
    // Only a lock whose owner has died is stale; a copy that has run for days still holds it.
    m_lock.setStaleLockTime(0);
}

InstanceGuard::Result InstanceGuard::tryAcquire()
{
    if (m_lock.tryLock(0))
        return Result::Acquired;
    return m_lock.error() == QLockFile::LockFailedError ? Result::HeldByOther : Result::Unavailable;
}

QString InstanceGuard::lockPathFor(const QString &programPath, const QString &runtimeDir)
{
    const QString canonical = QFileInfo(programPath).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash(
        (canonical.isEmpty() ? programPath : canonical).toUtf8(), QCryptographicHash::Sha256);
    return QDir(runtimeDir)
        .filePath(QStringLiteral("quorvel-%1.lock").arg(QString::fromLatin1(key.toHex().left(16))));
}
