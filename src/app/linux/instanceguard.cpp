#include "app/instanceguard.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

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

std::unique_ptr<InstanceGuard> createInstanceGuard(const QString &lockPath)
{
    return std::make_unique<FlockGuard>(lockPath);
}
