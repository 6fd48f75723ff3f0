#include "app/localchannel.h"

QString localServerName(const QString &instanceName)
{
    return instanceName;
}

bool peerIsThisUser(qintptr)
{
    // The pipe is made with QLocalServer::UserAccessOption: only this user can open it.
    return true;
}
