// The Windows power backend against real Win32 under Wine. Every call goes through a recorder
// that can be told to fail or to answer for the system; ExitWindowsEx is never really called.

#include "winpower.h"

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

constexpr int failCall = -1;
enum Fail : unsigned { failOpen = 1, failName = 2, failLookup = 4, failAdjust = 8, failExit = 16 };

// What the recorders are told to do, then what they saw; every row starts from a fresh one.
struct Record
{
    int platform = 0;               // what the version query answers; failCall fails it
    std::string nameBytes = "PC-7"; // what the name query writes, also when it fails
    unsigned fails = 0;             // Fail bits
    std::string calls{};            // one word each, in order
};
Record rec;

bool step(const std::string &call, unsigned fail = 0)
{
    rec.calls += (rec.calls.empty() ? "" : " ") + call;
    return !(rec.fails & fail);
}

// Turns the shutdown privilege of the own token off and says whether it was on.
bool dropShutdown()
{
    HANDLE token = nullptr;
    TOKEN_PRIVILEGES off{1, {{{}, 0}}}, previous{};
    DWORD length = 0;
    REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    CHECK(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &off.Privileges[0].Luid));
    CHECK(AdjustTokenPrivileges(token, FALSE, &off, sizeof previous, &previous, &length));
    CloseHandle(token);
    return previous.PrivilegeCount == 1 && previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED;
}

// Like the real call, refuses any record size but its own; also scrubs the size it was given.
BOOL WINAPI fakeVersion(LPOSVERSIONINFOA info)
{
    const bool answer =
        step("version") && info->dwOSVersionInfoSize == sizeof *info && rec.platform != failCall;
    info->dwOSVersionInfoSize = 0;
    info->dwPlatformId = answer ? rec.platform : info->dwPlatformId;
    return answer;
}

BOOL WINAPI fakeName(LPSTR buffer, LPDWORD size)
{
    *size = static_cast<DWORD>(rec.nameBytes.copy(buffer, *size));
    return step("name", failName);
}

BOOL WINAPI fakeOpen(HANDLE process, DWORD access, PHANDLE token)
{
    return step("open", failOpen) && OpenProcessToken(process, access, token);
}

// Records the machine asked; the name is made up, so the privilege is looked up locally.
BOOL WINAPI fakeLookup(LPCSTR system, LPCSTR privilege, PLUID luid)
{
    return step("lookup(" + std::string(system ? system : "null") + ")", failLookup) &&
           LookupPrivilegeValueA(nullptr, privilege, luid);
}

BOOL WINAPI fakeAdjust(HANDLE token, BOOL all, PTOKEN_PRIVILEGES state, DWORD length,
                       PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    // Windows may fill all the room it is told of, and adjusts nothing when one entry does not fit.
    std::fill_n(reinterpret_cast<char *>(previous), previous ? length : 0, '\xCD');
    const bool fits = !previous || (returned && length >= sizeof(TOKEN_PRIVILEGES));
    return step("adjust", failAdjust) && fits &&
           AdjustTokenPrivileges(token, all, state, length, previous, returned);
}

BOOL WINAPI fakeClose(HANDLE handle)
{
    return step("close") && CloseHandle(handle);
}

// Notes whether the privilege was on when asked, and turns it off so that the next request has
// to enable it again. The error code is left set even on success, to be ignored then.
BOOL WINAPI fakeExit(UINT flags, DWORD)
{
    const bool ok =
        step("exit " + std::to_string(flags) + (dropShutdown() ? " privileged" : ""), failExit);
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return ok;
}

const WinPower::Api recorders{fakeVersion, fakeName,  fakeOpen, fakeLookup,
                              fakeAdjust,  fakeClose, fakeExit};

} // namespace

TEST_CASE("pcname")
{
    rec = {.nameBytes = std::string("\xB5\xE7\xC4\xD4\0XYZ", 8)}; // cut at the first NUL
    CHECK(WinPower::Backend(recorders).pcname() == "\xB5\xE7\xC4\xD4");
    rec = {.nameBytes = std::string(16, 'N')}; // a full buffer, no NUL
    CHECK(WinPower::Backend(recorders).pcname() == rec.nameBytes);
}

TEST_CASE("request")
{
    CHECK(WinPower::Backend().isnt() == -1); // Wine's own answer

    const int nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS;
    const DWORD ok = ERROR_SUCCESS, refused = ERROR_PRIVILEGE_NOT_HELD,
                invalid = ERROR_INVALID_PARAMETER;
    const std::string priv = "version open name lookup(PC-7) adjust ";
    // One backend, so each row has to enable the privilege again, and a failed version query
    // keeps the answer of the row before. No calls: refused unasked.
    using Row = std::tuple<std::string, int, UINT, unsigned, std::string, DWORD>;
    const Row rows[] = {
        {"NT power off", nt, EWX_POWEROFF, 0, priv + "close exit 8 privileged", ok},
        {"NT reboot refused", nt, EWX_REBOOT, failExit, priv + "close exit 2 privileged", refused},
        {"log off, version failed", failCall, EWX_LOGOFF, 0, priv + "close exit 0 privileged", ok},
        {"open fails", nt, EWX_POWEROFF, failOpen, priv + "exit 8", ok},
        {"name fails", nt, EWX_POWEROFF, failName,
         "version open name lookup() adjust close exit 8 privileged", ok},
        {"lookup fails", nt, EWX_POWEROFF, failLookup, priv + "close exit 8", ok},
        {"adjust fails", nt, EWX_POWEROFF, failAdjust, priv + "close exit 8", ok},
        {"9x power off", win9x, EWX_POWEROFF, 0, "version exit 8", ok},
        {"9x reboot, version failed", failCall, EWX_REBOOT, 0, "version exit 2", ok},
        {"Win32s log off", VER_PLATFORM_WIN32s, EWX_LOGOFF, 0, "version exit 0", ok},
        {"power off forced", nt, EWX_POWEROFF | EWX_FORCE, 0, "", invalid},
        {"reboot forced if hung", nt, EWX_REBOOT | EWX_FORCEIFHUNG, 0, "", invalid},
        {"shut down without power off", nt, EWX_SHUTDOWN, 0, "", invalid},
        {"reboot and power off at once", nt, EWX_REBOOT | EWX_POWEROFF, 0, "", invalid},
    };
    WinPower::Backend backend(recorders);
    for (const auto &[name, platform, flags, fails, calls, error] : rows) {
        INFO(name);
        rec = {.platform = platform, .fails = fails};
        const WinPower::Outcome outcome = backend.request(flags);
        CHECK(rec.calls == calls);
        CHECK(outcome.ok == (error == ok));
        CHECK(outcome.error == error);
    }
}

TEST_CASE("errortext")
{
    const std::wstring wide = WinPower::errorText(ERROR_PRIVILEGE_NOT_HELD);
    const std::string text(wide.begin(), wide.end());
    CAPTURE(text);
    CHECK(text.rfind("error ", 0) != 0); // the system's text, not the fallback
    CHECK(text.find_first_of("\r\n") == std::string::npos);
    CHECK((!text.empty() && text.find_last_not_of(". ") == text.size() - 1));
    CHECK(WinPower::errorText(0x20001234) == L"error 536875572");
}
