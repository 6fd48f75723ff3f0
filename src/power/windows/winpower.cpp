#include "winpower.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace WinPower {

namespace {

// Room for two entries, so the previous state always fits the length we announce for it.
struct PrivilegeRecord
{
    TOKEN_PRIVILEGES head;
    LUID_AND_ATTRIBUTES spare;
};
static_assert(sizeof(PrivilegeRecord) == sizeof(DWORD) + 2 * sizeof(LUID_AND_ATTRIBUTES));
static_assert(sizeof(OSVERSIONINFOA) == 148);

constexpr DWORD privilegesSize(DWORD count)
{
    return offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES);
}

} // namespace

std::wstring errorText(DWORD error)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    LocalFree(buffer);
    // System texts end in a full stop and a line break, which a one-line reason does not want.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) {
        return L"error " + std::to_wstring(error);
    }
    return text;
}

int Backend::isnt()
{
    // Set before every call: the record outlives the call and any other size is rejected.
    m_version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    m_api.getVersionEx(&m_version);
    return m_version.dwPlatformId == VER_PLATFORM_WIN32_NT ? -1 : 0;
}

std::string Backend::pcname()
{
    char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof buffer;
    if (!m_api.getComputerName(buffer, &size)) {
        return {};
    }
    // The first NUL ends the name, whatever length the call reports.
    return std::string(std::begin(buffer), std::find(std::begin(buffer), std::end(buffer), '\0'));
}

void Backend::shutpriv()
{
    HANDLE token = nullptr;
    m_api.openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);

    const std::string machine = pcname();
    LUID luid{};
    // Spelled out: SE_SHUTDOWN_NAME turns wide when UNICODE is defined, as Qt builds do.
    m_api.lookupPrivilegeValue(machine.c_str(), "SeShutdownPrivilege", &luid);

    PrivilegeRecord newState{};
    newState.head.PrivilegeCount = 1;
    newState.head.Privileges[0].Luid = luid;
    newState.head.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

    PrivilegeRecord previousState{};
    DWORD returnLength = privilegesSize(previousState.head.PrivilegeCount);
    m_api.adjustTokenPrivileges(token, FALSE, &newState.head,
                                privilegesSize(newState.head.PrivilegeCount), &previousState.head,
                                &returnLength);

    if (token) {
        m_api.closeHandle(token);
    }
}

Outcome Backend::request(UINT flags)
{
    if (flags != EWX_POWEROFF && flags != EWX_REBOOT && flags != EWX_LOGOFF) {
        return {false, ERROR_INVALID_PARAMETER};
    }
    // NT refuses a power off or restart from a process without the shutdown privilege.
    if (isnt() == -1) {
        shutpriv();
    }
    // A planned action of the user's own, for the system's shutdown log.
    if (m_api.exitWindowsEx(flags, plannedReason)) {
        return {true, ERROR_SUCCESS};
    }
    return {false, GetLastError()};
}

} // namespace WinPower
