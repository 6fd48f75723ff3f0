#include "app/localchannel.h"

#include <sys/socket.h>
#include <unistd.h>

QString localServerName(const QString &instanceName)
{
    return instanceName.isEmpty() ? QString() : instanceName + QStringLiteral(".sock");
}

bool peerIsThisUser(qintptr socketDescriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}
