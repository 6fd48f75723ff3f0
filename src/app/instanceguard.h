#pragma once

#include <QString>

#include <memory>

// One running copy per user and per installed program. The lock lives in the user's runtime
// directory, named after the program's own path, and is held by the operating system for the
// life of the process: a copy that dies, even by SIGKILL, releases it, and no stale-lock
// clean-up can race with a starting copy.
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

    static QString lockPathFor(const QString &programPath, const QString &runtimeDir);
};

// Defined once per OS in app/<os>/.
std::unique_ptr<InstanceGuard> createInstanceGuard(const QString &lockPath);
