#include "app/localchannel.h"

#include "tokenuser.h"

QString localServerName(const QString &instanceName)
{
    return instanceName;
}

bool peerIsThisUser(qintptr socketDescriptor)
{
    // The pipe lets only this user in (QLocalServer::UserAccessOption); the client is checked
    // as well, as on Linux, in case someone else made a pipe of the same name first.
    ULONG pid = 0;
    if (!::GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(socketDescriptor), &pid))
        return false;
    const HANDLE client = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!client)
        return false;
    const std::string peer = tokenUser(client), self = tokenUser(::GetCurrentProcess());
    const bool same = userSid(peer) && userSid(self) && ::EqualSid(userSid(peer), userSid(self));
    ::CloseHandle(client);
    return same;
}
