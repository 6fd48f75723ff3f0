#pragma once

#include <QLockFile>
#include <QString>

// One running copy per user and per installed program: the lock lives in the user's runtime
// directory and is named after the program's own path. The kernel drops the lock of a copy
// that dies, so a killed copy never blocks the next start.
class InstanceGuard
{
public:
    enum class Result { Acquired, HeldByOther, Unavailable };

    explicit InstanceGuard(const QString &lockPath);

    Result tryAcquire();

    static QString lockPathFor(const QString &programPath, const QString &runtimeDir);

private:
    QLockFile m_lock;
};
