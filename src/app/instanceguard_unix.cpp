#include "instanceguard.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceGuard::Result InstanceGuard::tryAcquire()
{
    if (m_handle >= 0)
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
        m_handle = fd;
        return Result::Acquired;
    }
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? Result::HeldByOther : Result::Unavailable;
}

void InstanceGuard::release()
{
    // The file stays: removing it would let a starting copy lock a file nobody else sees.
    if (m_handle >= 0)
        ::close(int(m_handle));
    m_handle = -1;
}
