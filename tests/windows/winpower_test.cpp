// The Windows power backend against real Win32 under Wine. Every call goes through a recorder
// that can be told to fail or to answer for the system; ExitWindowsEx is never really called.

#include "../../src/power/windows/winpower.h"

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>

#include <tuple>
#include <utility>

enum Fail : unsigned { failName = 1, failExit = 2 };

// What the recorders are told to do, then what they saw; every row starts from a fresh one.
struct Record
{
    DWORD platform = 0;        // what the version query answers; 0 fails it
    unsigned fails = 0;        // Fail bits
    std::string name = "PC-7"; // what the name query writes, also when it fails
    std::string calls{};       // one word each, in order
    bool step(const std::string &call, unsigned fail = 0)
    {
        calls += call + ' ';
        return !(fails & fail);
    }
} rec;

const WinPower::Api recorders{
    // Like the real call, refuses any record size but its own; also scrubs the size it was given.
    [](LPOSVERSIONINFOA info) -> BOOL {
        const bool sized = std::exchange(info->dwOSVersionInfoSize, 0) == sizeof *info;
        return rec.step("version") && sized && rec.platform && (info->dwPlatformId = rec.platform);
    },
    [](LPSTR buffer, LPDWORD size) -> BOOL {
        *size = static_cast<DWORD>(rec.name.copy(buffer, *size));
        return !(rec.fails & failName);
    },
    [](auto... args) -> BOOL { return rec.step("open") && OpenProcessToken(args...); },
    [](LPCSTR system, LPCSTR privilege, PLUID luid) -> BOOL {
        return rec.step("lookup(" + std::string(system ? system : "null") + ")") &&
               LookupPrivilegeValueA(nullptr, privilege, luid); // the name is made up
    },
    // Windows may fill all the room it is told of, and adjusts nothing when one entry does not fit.
    [](auto token, auto all, auto state, DWORD size, auto was, auto wasSize) -> BOOL {
        FillMemory(was, was ? size : 0, 0xCD);
        return rec.step("adjust") && (!was || (wasSize && size >= sizeof *was)) &&
               AdjustTokenPrivileges(token, all, state, size, was, wasSize);
    },
    [](auto... args) -> BOOL { return rec.step("close") && CloseHandle(args...); },
    // Notes and drops the privilege, so every row must enable it; always sets the error code.
    [](UINT flags, DWORD) -> BOOL {
        HANDLE token = nullptr;
        TOKEN_PRIVILEGES off{1, {{{19, 0}, 0}}}, was{}; // 19: the shutdown privilege
        DWORD size = 0;
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
        AdjustTokenPrivileges(token, FALSE, &off, sizeof was, &was, &size);
        CloseHandle(token);
        const bool on = was.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED;
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return rec.step("exit " + std::to_string(flags) + (on ? " privileged" : ""), failExit);
    }};

TEST_CASE("winpower")
{
    rec = {.name = std::string("\xB5\xE7\xC4\xD4\0XYZ", 8)}; // cut at the first NUL
    CHECK(WinPower::Backend(recorders).pcname() == "\xB5\xE7\xC4\xD4");
    rec = {.name = std::string(16, 'N')}; // a full buffer, no NUL
    CHECK(WinPower::Backend(recorders).pcname() == rec.name);

    CHECK(WinPower::Backend().isnt() == -1); // Wine's own answer
    const DWORD nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS, failed = 0;
    const std::string priv = "version open lookup(PC-7) adjust close ";
    // One backend: each row must enable the privilege anew, a failed version query keeps the last
    // answer. Any other flags are refused unasked.
    const std::tuple<DWORD, UINT, unsigned, std::string> rows[] = {
        {nt, EWX_POWEROFF, 0, priv + "exit 8 privileged ok 0"},
        {nt, EWX_REBOOT, failExit, priv + "exit 2 privileged failed 1314"},
        {failed, EWX_LOGOFF, 0, priv + "exit 0 privileged ok 0"},
        {nt, EWX_POWEROFF, failName, "version open lookup() adjust close exit 8 privileged ok 0"},
        {win9x, EWX_POWEROFF, 0, "version exit 8 ok 0"},
        {failed, EWX_REBOOT, 0, "version exit 2 ok 0"},
        {nt, EWX_POWEROFF | EWX_FORCE, 0, "failed 87"},
        {nt, EWX_REBOOT | EWX_FORCEIFHUNG, 0, "failed 87"},
        {nt, EWX_SHUTDOWN, 0, "failed 87"},
        {nt, EWX_REBOOT | EWX_POWEROFF, 0, "failed 87"},
    };
    WinPower::Backend backend(recorders);
    for (const auto &[platform, flags, fails, calls] : rows) {
        rec = {.platform = platform, .fails = fails};
        const auto [ok, error] = backend.request(flags);
        CHECK(rec.calls + (ok ? "ok " : "failed ") + std::to_string(error) == calls);
    }

    const std::wstring wide = WinPower::errorText(ERROR_PRIVILEGE_NOT_HELD);
    const std::string text(wide.begin(), wide.end()); // the system's text: one line, no full stop
    CHECK_MESSAGE((text.rfind("error ", 0) && text.find_first_of(".\r\n") == text.npos), text);
    CHECK(WinPower::errorText(0x20001234) == L"error 536875572");
}
