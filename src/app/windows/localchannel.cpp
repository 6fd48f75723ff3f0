#include "app/localchannel.h"

#include <QFileInfo>

QString localServerName(const QString &lockPath)
{
    return QFileInfo(lockPath).completeBaseName();
}

bool peerIsThisUser(qintptr)
{
    // The pipe is made with QLocalServer::UserAccessOption: only this user can open it.
    return true;
}
