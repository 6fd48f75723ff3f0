#include "app/instanceguard.h"

#include <QFileInfo>

#include <string>

#include <windows.h>

namespace {

// A named mutex in the session's namespace; Windows drops it when the process ends.
class MutexGuard final : public InstanceGuard
{
public:
    explicit MutexGuard(const QString &lockPath)
        : m_name(L"Local\\" + QFileInfo(lockPath).fileName().toStdWString())
    {
    }
    ~MutexGuard() override
    {
        if (m_mutex)
            ::CloseHandle(m_mutex);
    }
    MutexGuard(const MutexGuard &) = delete;
    MutexGuard &operator=(const MutexGuard &) = delete;

    Result tryAcquire() override
    {
        if (m_mutex)
            return Result::Acquired;
        HANDLE mutex = ::CreateMutexW(nullptr, TRUE, m_name.c_str());
        if (!mutex)
            return Result::Unavailable;
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            ::CloseHandle(mutex);
            return Result::HeldByOther;
        }
        m_mutex = mutex;
        return Result::Acquired;
    }

private:
    std::wstring m_name;
    HANDLE m_mutex = nullptr;
};

} // namespace

std::unique_ptr<InstanceGuard> createInstanceGuard(const QString &lockPath)
{
    return std::make_unique<MutexGuard>(lockPath);
}
