#include "app/instanceguard.h"

#include "tokenuser.h"

#include <sddl.h>

namespace {

// The user's security identifier ("S-1-5-21-..."): pipe names are shared by every session on
// the machine, so the name must tell users apart.
QString userSidText()
{
    const std::string user = tokenUser(::GetCurrentProcess());
    wchar_t *text = nullptr;
    if (!userSid(user) || !::ConvertSidToStringSidW(userSid(user), &text))
        return {};
    const QString sid = QString::fromWCharArray(text);
    ::LocalFree(text);
    return sid;
}

// A named mutex in the session's namespace; Windows drops it when the process ends.
class MutexGuard final : public InstanceGuard
{
public:
    explicit MutexGuard(const QString &name) : m_name(L"Local\\" + name.toStdWString()) {}
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
            return ::GetLastError() == ERROR_ACCESS_DENIED ? Result::HeldByOther
                                                           : Result::Unavailable;
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

QString instanceName(const QString &programPath)
{
    return instanceKey(programPath, userSidText());
}

std::unique_ptr<InstanceGuard> createInstanceGuard(const QString &instanceName)
{
    return std::make_unique<MutexGuard>(instanceName);
}
