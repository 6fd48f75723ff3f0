// The Windows power backend against real Win32 under Wine. Every call goes through a recorder
// that can be told to fail or to answer for the system; ExitWindowsEx is never really called.

#include "winpower.h"

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int failCall = -1;
enum Fail : unsigned { failOpen = 1, failName = 2, failLookup = 4, failAdjust = 8 };

std::string computerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? name : "";
}

// What the recorders are told to do, then what they saw; every row starts from a fresh one.
struct Record
{
    std::vector<int> platforms{};           // one per version query; failCall fails it
    std::string nameBytes = computerName(); // what the name query writes
    unsigned fails = 0;                     // Fail bits
    BOOL exitResult = TRUE;
    std::string calls{}, lookupSystem{}; // calls: one word each, in order
};
Record rec;

void note(const std::string &call)
{
    rec.calls += (rec.calls.empty() ? "" : " ") + call;
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
    note("version");
    const int platform = rec.platforms.at(0);
    rec.platforms.erase(rec.platforms.begin());
    const bool answer = info->dwOSVersionInfoSize == sizeof *info && platform != failCall;
    info->dwOSVersionInfoSize = 0;
    info->dwPlatformId = answer ? platform : info->dwPlatformId;
    return answer;
}

BOOL WINAPI fakeName(LPSTR buffer, LPDWORD size)
{
    note("name");
    CHECK(*size == MAX_COMPUTERNAME_LENGTH + 1); // all the buffer the longest name needs
    const auto written = static_cast<DWORD>(rec.nameBytes.copy(buffer, *size));
    *size = rec.fails & failName ? *size : written;
    return !(rec.fails & failName);
}

BOOL WINAPI fakeOpen(HANDLE process, DWORD access, PHANDLE token)
{
    note("open");
    return !(rec.fails & failOpen) && OpenProcessToken(process, access, token);
}

BOOL WINAPI fakeLookup(LPCSTR system, LPCSTR privilege, PLUID luid)
{
    note("lookup");
    rec.lookupSystem = system ? system : "(null)";
    return !(rec.fails & failLookup) && LookupPrivilegeValueA(system, privilege, luid);
}

BOOL WINAPI fakeAdjust(HANDLE token, BOOL all, PTOKEN_PRIVILEGES state, DWORD length,
                       PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    note("adjust");
    // Windows may fill all the room it is told of, and adjusts nothing when one entry does not fit.
    std::fill_n(reinterpret_cast<char *>(previous), previous ? length : 0, '\xCD');
    const bool fits = !previous || (returned && length >= sizeof(TOKEN_PRIVILEGES));
    return fits && !(rec.fails & failAdjust) &&
           AdjustTokenPrivileges(token, all, state, length, previous, returned);
}

BOOL WINAPI fakeClose(HANDLE handle)
{
    note("close");
    return CloseHandle(handle);
}

// Notes whether the privilege was on when asked, and turns it off so that the next request has
// to enable it again. The error code is left set even on success, to be ignored then.
BOOL WINAPI fakeExit(UINT flags, DWORD)
{
    note("exit " + std::to_string(flags) + (dropShutdown() ? " privileged" : ""));
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return rec.exitResult;
}

const WinPower::Api recorders{fakeVersion, fakeName,  fakeOpen, fakeLookup,
                              fakeAdjust,  fakeClose, fakeExit};

} // namespace

TEST_CASE("isnt")
{
    CHECK(WinPower::Backend().isnt() == -1); // Wine's own answer

    const int nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS;
    using Row = std::tuple<std::string, std::vector<int>, std::vector<int>>;
    const Row rows[] = {
        {"failure keeps NT", {nt, failCall, failCall}, {-1, -1, -1}},
        {"failure keeps the last answer, any other replaces it",
         {failCall, win9x, failCall, nt, VER_PLATFORM_WIN32s, failCall},
         {0, 0, 0, -1, 0, 0}},
    };
    for (const auto &[name, platforms, answers] : rows) {
        INFO(name);
        rec = {.platforms = platforms};
        WinPower::Backend backend(recorders);
        for (std::size_t i = 0; i < answers.size(); ++i) {
            CAPTURE(i);
            CHECK(backend.isnt() == answers[i]);
        }
    }
}

TEST_CASE("pcname")
{
    REQUIRE(!computerName().empty());
    CHECK(WinPower::Backend().pcname() == computerName());

    using Row = std::tuple<std::string, std::string, unsigned, std::string>;
    const Row rows[] = {
        {"double-byte characters", "\xB5\xE7\xC4\xD4-01", 0, "\xB5\xE7\xC4\xD4-01"},
        {"cut at the first NUL", std::string("ABC\0XYZ", 7), 0, "ABC"},
        {"buffer full without NUL", std::string(16, 'N'), 0, std::string(16, 'N')},
        {"failure after writing", "LEFTOVER", failName, ""},
    };
    for (const auto &[name, written, fails, expected] : rows) {
        INFO(name);
        rec = {.nameBytes = written, .fails = fails};
        CHECK(WinPower::Backend(recorders).pcname() == expected);
    }
}

TEST_CASE("shutpriv")
{
    using Row = std::tuple<std::string, unsigned>;
    const Row rows[] = {
        {"every step succeeds", 0},   {"open fails", failOpen},     {"name fails", failName},
        {"lookup fails", failLookup}, {"adjust fails", failAdjust},
    };
    dropShutdown();
    for (const auto &[name, fails] : rows) {
        INFO(name);
        rec = {.fails = fails};
        WinPower::Backend(recorders).shutpriv();
        // Each step runs with whatever the one before gave; only an opened token is closed.
        CHECK(rec.calls ==
              (fails & failOpen ? "open name lookup adjust" : "open name lookup adjust close"));
        CHECK(rec.lookupSystem == (fails & failName ? "" : computerName()));
        CHECK(dropShutdown() == !(fails & (failOpen | failLookup | failAdjust)));
    }
}

TEST_CASE("request")
{
    const int nt = VER_PLATFORM_WIN32_NT;
    const std::string privileged = "version open name lookup adjust close exit ";
    using Row = std::tuple<std::string, int, UINT, std::string>; // no calls: refused unasked
    const Row rows[] = {
        {"NT power off", nt, EWX_POWEROFF, privileged + "8 privileged"},
        {"NT reboot", nt, EWX_REBOOT, privileged + "2 privileged"},
        {"NT log off", nt, EWX_LOGOFF, privileged + "0 privileged"},
        {"9x power off", VER_PLATFORM_WIN32_WINDOWS, EWX_POWEROFF, "version exit 8"},
        {"power off forced", nt, EWX_POWEROFF | EWX_FORCE, ""},
        {"force if hung", nt, EWX_POWEROFF | EWX_FORCEIFHUNG, ""},
        {"shut down without power off", nt, EWX_SHUTDOWN, ""},
        {"reboot and power off at once", nt, EWX_REBOOT | EWX_POWEROFF, ""},
    };
    dropShutdown();
    // One backend for all rows: each request has to enable the privilege again.
    WinPower::Backend backend(recorders);
    for (const auto &[name, platform, flags, calls] : rows) {
        INFO(name);
        rec = {.platforms = {platform}};
        const WinPower::Outcome outcome = backend.request(flags);
        CHECK(rec.calls == calls);
        CHECK(outcome.ok == !calls.empty());
        CHECK(outcome.error == DWORD(calls.empty() ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS));
    }

    rec = {.platforms = {nt}, .exitResult = FALSE};
    const WinPower::Outcome refused = backend.request(EWX_REBOOT);
    CHECK_FALSE(refused.ok);
    CHECK(refused.error == ERROR_PRIVILEGE_NOT_HELD); // the system's reason
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
