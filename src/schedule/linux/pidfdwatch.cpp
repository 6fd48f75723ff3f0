#include "schedule/processwatch.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/syscall.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcProcess, "quorvel.process")

namespace {

std::optional<ProcessId> processNow(qint64 pid);

QByteArray procFile(qint64 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// pidfd_open(2) by number: glibc before 2.36 has no wrapper.
int openPidFd(qint64 pid)
{
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
}

// A pidfd turns readable when its process ends; any process can be waited for this way, one
// of root's (an upgrade) too.
class PidFdWatch final : public ProcessWatch
{
public:
    ~PidFdWatch() override { cancel(); }

    void watch(const ProcessId &process) override
    {
        cancel();
        m_fd = openPidFd(process.pid);
        // Gone already, or its number given to another process: ended.
        const std::optional<ProcessId> now = find(process.pid);
        if (m_fd < 0 || !now || now->started != process.started) {
            if (m_fd < 0 && errno != ESRCH)
                qCWarning(lcProcess) << "cannot wait for process" << process.pid << "-"
                                     << std::strerror(errno) << "- taking it as ended";
            cancel();
            QMetaObject::invokeMethod(this, &ProcessWatch::ended, Qt::QueuedConnection);
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
            cancel();
            Q_EMIT ended();
        });
    }

    std::optional<ProcessId> find(qint64 pid) const override { return processNow(pid); }

    void cancel() override
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

std::optional<ProcessId> processNow(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return std::nullopt;
    // The fields after the name, which is in parentheses and may hold anything.
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // State, then 18 more fields to the start time (field 22 of the whole line). A zombie
    // has ended all but its entry.
    if (fields.size() < 20 || fields[0] == "Z" || fields[0] == "X")
        return std::nullopt;
    return ProcessId{pid, fields[19].toULongLong(),
                     QString::fromLocal8Bit(procFile(pid, "comm").trimmed())};
}

} // namespace

std::unique_ptr<ProcessWatch> createProcessWatch()
{
    return std::make_unique<PidFdWatch>();
}
