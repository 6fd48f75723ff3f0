#include "schedule/processwatch.h"

#include <QFileInfo>
#include <QWinEventNotifier>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

std::optional<ProcessId> processNow(qint64 pid);

// A process handle is signalled when the process ends.
class HandleWatch final : public ProcessWatch
{
public:
    ~HandleWatch() override { cancel(); }

    void watch(const ProcessId &process) override
    {
        cancel();
        m_process = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(process.pid));
        const std::optional<ProcessId> now = find(process.pid);
        if (!m_process || !now || now->started != process.started) {
            cancel();
            QMetaObject::invokeMethod(this, &ProcessWatch::ended, Qt::QueuedConnection);
            return;
        }
        m_notifier = std::make_unique<QWinEventNotifier>(m_process);
        connect(m_notifier.get(), &QWinEventNotifier::activated, this, [this] {
            cancel();
            Q_EMIT ended();
        });
    }

    std::optional<ProcessId> find(qint64 pid) const override { return processNow(pid); }

    void cancel() override
    {
        m_notifier.reset();
        if (m_process)
            ::CloseHandle(m_process);
        m_process = nullptr;
    }

private:
    HANDLE m_process = nullptr;
    std::unique_ptr<QWinEventNotifier> m_notifier;
};

std::optional<ProcessId> processNow(qint64 pid)
{
    if (pid <= 0 || pid > 0xFFFFFFFFLL)
        return std::nullopt;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return std::nullopt;
    std::optional<ProcessId> found;
    DWORD code = 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
        ::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        wchar_t path[MAX_PATH];
        DWORD size = MAX_PATH;
        const QString name = ::QueryFullProcessImageNameW(process, 0, path, &size)
                                 ? QFileInfo(QString::fromWCharArray(path, int(size))).fileName()
                                 : QString();
        found =
            ProcessId{pid, (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime, name};
    }
    ::CloseHandle(process);
    return found;
}

} // namespace

std::unique_ptr<ProcessWatch> createProcessWatch()
{
    return std::make_unique<HandleWatch>();
}
