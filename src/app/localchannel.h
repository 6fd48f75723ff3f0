#pragma once

#include <QString>

// The local socket of one program copy, beside its lock in the user's runtime directory (a
// named pipe on Windows). Defined once per OS in app/<os>/.
QString localServerName(const QString &instanceName);

// Whether the process at the other end of a connected local socket runs as this user.
bool peerIsThisUser(qintptr socketDescriptor);
