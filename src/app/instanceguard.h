#pragma once

#include <QString>

#include <memory>

// One running copy per user and per installed program. The lock is named after the program's
// own path and is held by the operating system for the life of the process: a copy that dies,
// even by SIGKILL, releases it, and no stale-lock clean-up can race with a starting copy.
//
// QLockFile is not used: recovering a lock left by a killed copy, it can remove the lock file
// that another starting copy has just created and not yet locked, letting two copies run
// (seen with ten simultaneous starts after a SIGKILL).
class InstanceGuard
{
public:
    enum class Result { Acquired, HeldByOther, Unavailable };

    virtual ~InstanceGuard() = default;

    // Held until the guard is destroyed.
    virtual Result tryAcquire() = 0;
};

// "quorvel-" and 16 hex digits, the same for every path to one program file (links resolved)
// and for one `user`.
QString instanceKey(const QString &programPath, const QString &user = {});

// Defined once per OS in app/<os>/. The name of this user's copy of the program at
// programPath, which its lock and its channel (localServerName()) are made from; empty when
// the user has no private place for them.
QString instanceName(const QString &programPath);
std::unique_ptr<InstanceGuard> createInstanceGuard(const QString &instanceName);
