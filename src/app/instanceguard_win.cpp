#include "instanceguard.h"

#include <QFileInfo>

#include <string>

#include <windows.h>

InstanceGuard::Result InstanceGuard::tryAcquire()
{
    if (m_handle != -1)
        return Result::Acquired;
    // A named mutex in the session's namespace; Windows drops it when the process ends.
    const std::wstring name = L"Local\\" + QFileInfo(m_lockPath).fileName().toStdWString();
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name.c_str());
    if (!mutex)
        return Result::Unavailable;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return Result::HeldByOther;
    }
    m_handle = reinterpret_cast<qintptr>(mutex);
    return Result::Acquired;
}

void InstanceGuard::release()
{
    if (m_handle != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = -1;
}
