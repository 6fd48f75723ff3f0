#include "fssandbox.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString s_whyNoMounts = QStringLiteral("mount namespace not entered");

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

constexpr uid_t nobody = 65534;

} // namespace

void FsSandbox::enterPrivateMounts()
{
    if (geteuid() != 0) {
        s_whyNoMounts = QStringLiteral("not running as root");
        return;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        s_whyNoMounts = QStringLiteral("unshare(CLONE_NEWNS): ") + lastError();
        return;
    }
    // Without this, mounts made here would show up on the host.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        s_whyNoMounts = QStringLiteral("making / private: ") + lastError();
        return;
    }
    s_whyNoMounts.clear();
}

QString FsSandbox::whyNoMounts()
{
    return s_whyNoMounts;
}

FsSandbox::~FsSandbox()
{
    for (auto it = m_undo.crbegin(); it != m_undo.crend(); ++it)
        (*it)();
}

bool FsSandbox::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool FsSandbox::makeReadOnly(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (s_whyNoMounts.isEmpty()) {
        if (mount(native.constData(), native.constData(), nullptr, MS_BIND, nullptr) != 0)
            return fail(QStringLiteral("bind mount: ") + lastError());
        m_undo.append([native] { umount2(native.constData(), MNT_DETACH); });
        if (mount(nullptr, native.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                  nullptr) != 0)
            return fail(QStringLiteral("read-only remount: ") + lastError());
        return true;
    }
    if (geteuid() == 0)
        return fail(QStringLiteral("root ignores file modes, and no mounts: ") + s_whyNoMounts);
    const QFile::Permissions before = QFile::permissions(path);
    const QFile::Permissions readOnly = QFileInfo(path).isDir()
                                            ? QFile::ReadOwner | QFile::ExeOwner
                                            : QFile::Permissions(QFile::ReadOwner);
    if (!QFile::setPermissions(path, readOnly))
        return fail(QStringLiteral("chmod failed"));
    m_undo.append([path, before] { QFile::setPermissions(path, before); });
    return true;
}

bool FsSandbox::makeImmutable(const QString &file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
    if (fd < 0)
        return fail(QStringLiteral("open: ") + lastError());
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        int immutable = flags | FS_IMMUTABLE_FL;
        done = ioctl(fd, FS_IOC_SETFLAGS, &immutable) == 0;
    }
    const QString why = lastError();
    if (!done) {
        ::close(fd);
        return fail(QStringLiteral("immutable attribute: ") + why);
    }
    m_undo.append([fd, flags] {
        int restored = flags;
        ioctl(fd, FS_IOC_SETFLAGS, &restored);
        ::close(fd);
    });
    return true;
}

bool FsSandbox::mountSmallDisk(const QString &dir, int kib)
{
    if (!s_whyNoMounts.isEmpty())
        return fail(QStringLiteral("no small tmpfs without mounts: ") + s_whyNoMounts);
    const QByteArray native = QFile::encodeName(dir);
    const QByteArray options = "size=" + QByteArray::number(kib) + 'k';
    if (mount("tmpfs", native.constData(), "tmpfs", 0, options.constData()) != 0)
        return fail(QStringLiteral("tmpfs mount: ") + lastError());
    m_undo.append([native] { umount2(native.constData(), MNT_DETACH); });
    return true;
}

bool FsSandbox::makeUnreadable(const QString &file)
{
    const QFile::Permissions before = QFile::permissions(file);
    if (!QFile::setPermissions(file, {}))
        return fail(QStringLiteral("chmod failed"));
    m_undo.append([file, before] { QFile::setPermissions(file, before); });
    return true;
}

Unprivileged::Unprivileged()
{
    if (geteuid() != 0)
        return;
    m_dropped = seteuid(nobody) == 0;
    m_ok = m_dropped;
}

Unprivileged::~Unprivileged()
{
    if (m_dropped && seteuid(0) != 0)
        qFatal("cannot regain root after dropping it");
}
