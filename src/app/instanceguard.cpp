#include "instanceguard.h"

#include <QCryptographicHash>
#include <QFileInfo>

QString instanceKey(const QString &programPath, const QString &user)
{
    const QString canonical = QFileInfo(programPath).canonicalFilePath();
    const QString path = canonical.isEmpty() ? programPath : canonical;
    const QByteArray key = QCryptographicHash::hash(
        (user.isEmpty() ? path : user + u'\n' + path).toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("quorvel-") + QString::fromLatin1(key.toHex().left(16));
}
