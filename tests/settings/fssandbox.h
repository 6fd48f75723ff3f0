#pragma once

// Makes places unwritable, unreadable or full for the length of one test, including for root,
// whom file modes do not stop. Root gets a private mount namespace, so read-only bind mounts and
// small tmpfs mounts stay inside this process; other users fall back to file modes where those
// suffice.

#include <QList>
#include <QString>

#include <functional>

class FsSandbox
{
public:
    FsSandbox() = default;
    ~FsSandbox(); // undoes every change, newest first
    FsSandbox(const FsSandbox &) = delete;
    FsSandbox &operator=(const FsSandbox &) = delete;

    // Call once, before any other member.
    static void enterPrivateMounts();
    // Empty when mounts are available, otherwise why not.
    static QString whyNoMounts();

    // Each returns false, with error() saying why, where this machine cannot do it.
    bool makeReadOnly(const QString &path);
    bool makeImmutable(const QString &file);
    bool mountSmallDisk(const QString &dir, int kib);
    bool makeUnreadable(const QString &file);

    QString error() const { return m_error; }

private:
    bool fail(const QString &why);

    QList<std::function<void()>> m_undo;
    QString m_error;
};

// Drops an effective root to "nobody" while it lives, so that file modes apply to this process.
class Unprivileged
{
public:
    Unprivileged();
    ~Unprivileged();
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_dropped = false;
    bool m_ok = true;
};
