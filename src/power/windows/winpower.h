#pragma once

// Plain Win32, no Qt: the privilege step and the power request, built on their own for tests.

// Keeps windows.h from defining min and max over the Qt headers around it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace WinPower {

// Every system call the backend makes that a test needs to fail or to record.
struct Api
{
    decltype(&::GetVersionExA) getVersionEx = &::GetVersionExA;
    decltype(&::GetComputerNameA) getComputerName = &::GetComputerNameA;
    decltype(&::OpenProcessToken) openProcessToken = &::OpenProcessToken;
    decltype(&::LookupPrivilegeValueA) lookupPrivilegeValue = &::LookupPrivilegeValueA;
    decltype(&::AdjustTokenPrivileges) adjustTokenPrivileges = &::AdjustTokenPrivileges;
    decltype(&::CloseHandle) closeHandle = &::CloseHandle;
    decltype(&::ExitWindowsEx) exitWindowsEx = &::ExitWindowsEx;
};

inline constexpr DWORD plannedReason =
    SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED;

struct Outcome
{
    bool ok = false;
    DWORD error = ERROR_SUCCESS; // GetLastError() right after a refused request
};

// The system's one-line text for an error code, or "error <code>" when it has none.
std::wstring errorText(DWORD error);

class Backend
{
public:
    Backend() = default;
    explicit Backend(const Api &api) : m_api(api) {}

    // -1 on the NT family, 0 otherwise. A failed version query keeps the last answer.
    int isnt();

    // The computer name in the ANSI code page; empty when the system cannot say.
    std::string pcname();

    // Enables SeShutdownPrivilege in the own token. Each step runs whatever the previous gave.
    void shutpriv();

    // flags is EWX_POWEROFF, EWX_REBOOT or EWX_LOGOFF; anything else, force included, is refused
    // without asking the system.
    Outcome request(UINT flags);

private:
    Api m_api;
    OSVERSIONINFOA m_version{};
};

} // namespace WinPower
