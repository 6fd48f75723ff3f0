#include "app/instanceguard.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isOwnFolder(const QString &path, bool onlyOwnerMayEnter)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (!onlyOwnerMayEnter || (st.st_mode & 0077) == 0);
}

// XDG_RUNTIME_DIR, or where it is not set (cron, su, ssh) a folder of the user's own in the
// temporary directory, the one Qt falls back to. That folder then goes into XDG_RUNTIME_DIR,
// so that Qt, which looks there while it starts, uses it too and has nothing to warn about.
QString runtimeDirectory()
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty())
        return isOwnFolder(xdg, false) ? xdg : QString();
    const passwd *user = ::getpwuid(::geteuid());
    const QString name = user ? QFile::decodeName(user->pw_name) : QString::number(::geteuid());
    const QString fallback = QDir::tempPath() + QStringLiteral("/runtime-") + name;
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    // Someone else's folder, or a link planted under that name, is never used.
    if (!isOwnFolder(fallback, true))
        return {};
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(fallback));
    return fallback;
}

// flock() on a file that stays: removing it would let a starting copy lock a file nobody else
// sees.
class FlockGuard final : public InstanceGuard
{
public:
    explicit FlockGuard(QString lockPath) : m_lockPath(std::move(lockPath)) {}
    ~FlockGuard() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FlockGuard(const FlockGuard &) = delete;
    FlockGuard &operator=(const FlockGuard &) = delete;

    Result tryAcquire() override
    {
        if (m_fd >= 0)
            return Result::Acquired;
        if (m_lockPath.isEmpty())
            return Result::Unavailable;
        // Close-on-exec: a program we start must not keep our lock alive after we end.
        const int fd =
            ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return Result::Unavailable;
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0) {
            m_fd = fd;
            return Result::Acquired;
        }
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldByOther : Result::Unavailable;
    }

private:
    QString m_lockPath;
    int m_fd = -1;
};

} // namespace

QString instanceName(const QString &programPath)
{
    const QString dir = runtimeDirectory();
    return dir.isEmpty() ? QString() : dir + u'/' + instanceKey(programPath);
}

std::unique_ptr<InstanceGuard> createInstanceGuard(const QString &instanceName)
{
    return std::make_unique<FlockGuard>(
        instanceName.isEmpty() ? QString() : instanceName + QStringLiteral(".lock"));
}
