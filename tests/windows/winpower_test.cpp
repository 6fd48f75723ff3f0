// The Windows power backend against real Win32 under Wine, with the calls that would end the
// session, or that cannot be made to fail on demand, replaced by recorders.

#include "check.h"
#include "winpower.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using WinPower::Api;
using WinPower::Backend;

constexpr int failCall = -1;
const HANDLE fakeToken = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4d2));
constexpr LUID fakeLuid{0x13, 0x7};

// What the fakes are told to do and what they saw, reset for every row.
struct Record
{
    std::vector<std::string> calls;

    std::vector<int> platforms; // consumed per version query; failCall fails it
    std::vector<DWORD> versionSizes;

    bool nameFails = false;
    std::string nameBytes = "QUORVELPC";
    DWORD nameSize = 0;

    bool openFails = false;
    HANDLE openProcess = nullptr;
    DWORD openAccess = 0;
    HANDLE openedToken = nullptr;

    bool lookupFails = false;
    std::optional<std::string> lookupSystem;
    std::string lookupPrivilege;

    bool adjustFails = false;
    HANDLE adjustToken = nullptr;
    BOOL adjustDisableAll = -1;
    DWORD adjustCount = 0;
    LUID adjustLuid{};
    DWORD adjustAttributes = 0;
    DWORD adjustBufferLength = 0;
    bool adjustPreviousApart = false;
    DWORD adjustReturnLengthIn = 0;

    std::vector<HANDLE> closed;

    std::vector<UINT> exitFlags;
    std::vector<DWORD> exitReserved;
    std::vector<bool> exitPrivileged;
    BOOL exitResult = TRUE;
    DWORD exitError = ERROR_SUCCESS;
};

Record rec;

void reset(const std::string &row)
{
    rec = Record{};
    Check::row(row);
}

// The shutdown privilege as the process token holds it now; nullopt when absent.
std::optional<bool> shutdownEnabled()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return std::nullopt;
    }
    LUID luid{};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
    alignas(TOKEN_PRIVILEGES) char buffer[4096];
    DWORD length = 0;
    const BOOL read = GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &length);
    CloseHandle(token);
    if (!read) {
        return std::nullopt;
    }
    const auto *privileges = reinterpret_cast<const TOKEN_PRIVILEGES *>(buffer);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES &entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart) {
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return std::nullopt;
}

bool disableShutdown()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        return false;
    }
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &state.Privileges[0].Luid);
    state.Privileges[0].Attributes = 0;
    const BOOL done = AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr);
    CloseHandle(token);
    return done && shutdownEnabled() == false;
}

BOOL WINAPI scriptedVersion(LPOSVERSIONINFOA info)
{
    rec.calls.push_back("version");
    rec.versionSizes.push_back(info->dwOSVersionInfoSize);
    // A stale size left behind must not survive into the next query.
    info->dwOSVersionInfoSize = 0;
    if (rec.platforms.empty() || rec.platforms.front() == failCall) {
        if (!rec.platforms.empty()) {
            rec.platforms.erase(rec.platforms.begin());
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwPlatformId = static_cast<DWORD>(rec.platforms.front());
    rec.platforms.erase(rec.platforms.begin());
    return TRUE;
}

BOOL WINAPI scriptedName(LPSTR buffer, LPDWORD size)
{
    rec.calls.push_back("name");
    rec.nameSize = *size;
    const std::size_t written = std::min<std::size_t>(rec.nameBytes.size(), *size);
    rec.nameBytes.copy(buffer, written);
    if (rec.nameFails) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    *size = static_cast<DWORD>(written);
    return TRUE;
}

BOOL WINAPI recordedOpen(HANDLE process, DWORD access, PHANDLE token)
{
    rec.calls.push_back("open");
    rec.openProcess = process;
    rec.openAccess = access;
    if (rec.openFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *token = fakeToken;
    return TRUE;
}

BOOL WINAPI realOpen(HANDLE process, DWORD access, PHANDLE token)
{
    const BOOL opened = OpenProcessToken(process, access, token);
    rec.calls.push_back("open");
    rec.openedToken = *token;
    return opened;
}

BOOL WINAPI recordedLookup(LPCSTR system, LPCSTR privilege, PLUID luid)
{
    rec.calls.push_back("lookup");
    rec.lookupSystem = system ? std::optional<std::string>(system) : std::nullopt;
    rec.lookupPrivilege = privilege ? privilege : "";
    if (rec.lookupFails) {
        SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    *luid = fakeLuid;
    return TRUE;
}

BOOL WINAPI recordedAdjust(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength)
{
    rec.calls.push_back("adjust");
    rec.adjustToken = token;
    rec.adjustDisableAll = disableAll;
    rec.adjustCount = newState->PrivilegeCount;
    rec.adjustLuid = newState->Privileges[0].Luid;
    rec.adjustAttributes = newState->Privileges[0].Attributes;
    rec.adjustBufferLength = bufferLength;
    rec.adjustPreviousApart = previousState != nullptr && previousState != newState;
    rec.adjustReturnLengthIn = returnLength ? *returnLength : 0;
    if (rec.adjustFails) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI realAdjust(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                       DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength)
{
    rec.calls.push_back("adjust");
    return AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState,
                                 returnLength);
}

BOOL WINAPI recordedClose(HANDLE handle)
{
    rec.calls.push_back("close");
    rec.closed.push_back(handle);
    return handle == fakeToken ? TRUE : CloseHandle(handle);
}

// Stands in for ExitWindowsEx, which would end the Wine session; notes whether the privilege
// was on when asked, then turns it off so the next request has to enable it again.
BOOL WINAPI recordedExit(UINT flags, DWORD reserved)
{
    rec.calls.push_back("exit " + std::to_string(flags));
    rec.exitFlags.push_back(flags);
    rec.exitReserved.push_back(reserved);
    rec.exitPrivileged.push_back(shutdownEnabled() == true);
    disableShutdown();
    SetLastError(rec.exitError);
    return rec.exitResult;
}

// The real system, except that nothing may end the session.
Api realApi()
{
    Api api;
    api.exitWindowsEx = recordedExit;
    return api;
}

Api fakeApi()
{
    Api api;
    api.getVersionEx = scriptedVersion;
    api.getComputerName = scriptedName;
    api.openProcessToken = recordedOpen;
    api.lookupPrivilegeValue = recordedLookup;
    api.adjustTokenPrivileges = recordedAdjust;
    api.closeHandle = recordedClose;
    api.exitWindowsEx = recordedExit;
    return api;
}

void isntGroup()
{
    reset("Wine reports the NT platform");
    Backend real(realApi());
    for (int i = 0; i < 3; ++i) {
        CHECK_EQ(real.isnt(), -1);
    }

    struct Row
    {
        const char *name;
        std::vector<int> platforms;
        std::vector<int> expected;
    };
    const std::vector<Row> rows = {
        {"failing first query reads the zeroed record", {failCall}, {0}},
        {"NT", {VER_PLATFORM_WIN32_NT}, {-1}},
        {"Windows 9x family", {VER_PLATFORM_WIN32_WINDOWS}, {0}},
        {"Win32s", {VER_PLATFORM_WIN32s}, {0}},
        {"failure keeps NT", {VER_PLATFORM_WIN32_NT, failCall, failCall}, {-1, -1, -1}},
        {"failure keeps non-NT", {VER_PLATFORM_WIN32_WINDOWS, failCall}, {0, 0}},
        {"later success replaces",
         {failCall, VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS},
         {0, -1, 0}},
    };
    for (const Row &row : rows) {
        reset(row.name);
        rec.platforms = row.platforms;
        Backend backend(fakeApi());
        std::vector<int> answers;
        for (std::size_t i = 0; i < row.expected.size(); ++i) {
            answers.push_back(backend.isnt());
        }
        CHECK_EQ(answers, row.expected);
        CHECK_EQ(rec.versionSizes, std::vector<DWORD>(row.expected.size(), 148));
        CHECK(rec.exitFlags.empty());
    }
}

void pcnameGroup()
{
    struct Row
    {
        const char *name;
        std::string written; // bytes the fake puts in the buffer, at most the size offered
        bool fails;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"12 characters", "QUORVEL-PC12", false, "QUORVEL-PC12"},
        {"15 characters", "QUORVELWORKST15", false, "QUORVELWORKST15"},
        {"double-byte characters", "\xB5\xE7\xC4\xD4-01", false, "\xB5\xE7\xC4\xD4-01"},
        {"cut at the first NUL", std::string("ABC\0XYZ", 7), false, "ABC"},
        {"buffer full without NUL", std::string(16, 'N'), false, std::string(16, 'N')},
        {"empty name", "", false, ""},
        {"failure after writing", "LEFTOVER", true, ""},
        {"failure writing nothing", "", true, ""},
    };
    for (const Row &row : rows) {
        reset(row.name);
        rec.nameBytes = row.written;
        rec.nameFails = row.fails;
        Backend backend(fakeApi());
        CHECK_EQ(backend.pcname(), row.expected);
        CHECK_EQ(rec.nameSize, DWORD{MAX_COMPUTERNAME_LENGTH + 1});
        CHECK(rec.exitFlags.empty());
    }

    reset("Wine's own computer name");
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    CHECK(GetComputerNameA(name, &size));
    Backend real(realApi());
    const std::string got = real.pcname();
    CHECK_EQ(got, std::string(name));
    CHECK(!got.empty());
    std::printf("computer name under Wine: %s\n", got.c_str());
}

void shutprivGroup()
{
    struct Row
    {
        const char *name;
        bool openFails, nameFails, lookupFails, adjustFails;
    };
    const std::vector<Row> rows = {
        {"every step succeeds", false, false, false, false},
        {"open fails", true, false, false, false},
        {"name fails", false, true, false, false},
        {"lookup fails", false, false, true, false},
        {"adjust fails", false, false, false, true},
        {"open and lookup fail", true, false, true, false},
        {"everything fails", true, true, true, true},
    };
    for (const Row &row : rows) {
        reset(row.name);
        rec.openFails = row.openFails;
        rec.nameFails = row.nameFails;
        rec.lookupFails = row.lookupFails;
        rec.adjustFails = row.adjustFails;
        Backend backend(fakeApi());
        backend.shutpriv();

        std::vector<std::string> steps = {"open", "name", "lookup", "adjust"};
        if (!row.openFails) {
            steps.push_back("close");
        }
        CHECK_EQ(rec.calls, steps);
        CHECK_EQ(rec.openProcess, GetCurrentProcess());
        CHECK_EQ(rec.openAccess, DWORD{40});
        CHECK_EQ(rec.lookupSystem, std::optional<std::string>(row.nameFails ? "" : "QUORVELPC"));
        CHECK_EQ(rec.lookupPrivilege, std::string("SeShutdownPrivilege"));
        CHECK_EQ(rec.adjustToken, row.openFails ? HANDLE{} : fakeToken);
        CHECK_EQ(rec.adjustDisableAll, FALSE);
        CHECK_EQ(rec.adjustCount, DWORD{1});
        CHECK_EQ(rec.adjustLuid.LowPart, row.lookupFails ? DWORD{0} : fakeLuid.LowPart);
        CHECK_EQ(rec.adjustLuid.HighPart, row.lookupFails ? LONG{0} : fakeLuid.HighPart);
        CHECK_EQ(rec.adjustAttributes, DWORD{SE_PRIVILEGE_ENABLED});
        CHECK_EQ(rec.adjustBufferLength, DWORD{16});
        CHECK_EQ(rec.adjustReturnLengthIn, DWORD{4});
        CHECK(rec.adjustPreviousApart);
        CHECK_EQ(rec.closed,
                 row.openFails ? std::vector<HANDLE>{} : std::vector<HANDLE>{fakeToken});
        CHECK(rec.exitFlags.empty());
    }

    struct RealRow
    {
        const char *name;
        bool nameFails;
    };
    for (const RealRow &row :
         {RealRow{"real token", false}, RealRow{"real token, no computer name", true}}) {
        reset(row.name);
        if (!CHECK(disableShutdown())) {
            continue;
        }
        Api api = realApi();
        api.openProcessToken = realOpen;
        api.closeHandle = recordedClose;
        if (row.nameFails) {
            api.getComputerName = scriptedName;
            rec.nameFails = true;
        }
        Backend(api).shutpriv();
        CHECK_EQ(shutdownEnabled(), std::optional<bool>(true));
        CHECK(rec.openedToken != nullptr);
        CHECK_EQ(rec.closed, std::vector<HANDLE>{rec.openedToken});
    }
}

void requestGroup()
{
    struct Row
    {
        const char *name;
        std::vector<int> platforms;
        UINT flags;
        std::vector<std::string> calls;
        bool privileged;
    };
    const std::vector<Row> rows = {
        {"power off on NT", {VER_PLATFORM_WIN32_NT}, 8, {"version", "adjust", "exit 8"}, true},
        {"reboot on NT", {VER_PLATFORM_WIN32_NT}, 2, {"version", "adjust", "exit 2"}, true},
        {"log off on NT", {VER_PLATFORM_WIN32_NT}, 0, {"version", "adjust", "exit 0"}, true},
        {"power off elsewhere", {VER_PLATFORM_WIN32_WINDOWS}, 8, {"version", "exit 8"}, false},
        {"log off elsewhere", {VER_PLATFORM_WIN32_WINDOWS}, 0, {"version", "exit 0"}, false},
        {"unknown platform", {failCall}, 2, {"version", "exit 2"}, false},
        {"force alone", {VER_PLATFORM_WIN32_NT}, EWX_FORCE, {}, false},
        {"power off forced", {VER_PLATFORM_WIN32_NT}, EWX_POWEROFF | EWX_FORCE, {}, false},
        {"reboot forced", {VER_PLATFORM_WIN32_NT}, EWX_REBOOT | EWX_FORCE, {}, false},
        {"log off forced", {VER_PLATFORM_WIN32_NT}, EWX_LOGOFF | EWX_FORCE, {}, false},
        {"force if hung", {VER_PLATFORM_WIN32_NT}, EWX_POWEROFF | EWX_FORCEIFHUNG, {}, false},
        {"shut down without power off", {VER_PLATFORM_WIN32_NT}, EWX_SHUTDOWN, {}, false},
    };
    for (const Row &row : rows) {
        reset(row.name);
        if (!CHECK(disableShutdown())) {
            continue;
        }
        rec.platforms = row.platforms;
        Api api = realApi();
        api.getVersionEx = scriptedVersion;
        api.adjustTokenPrivileges = realAdjust;
        const WinPower::Outcome outcome = Backend(api).request(row.flags);
        const bool asked = !row.calls.empty();
        CHECK_EQ(rec.calls, row.calls);
        CHECK_EQ(rec.exitReserved, std::vector<DWORD>(asked ? 1 : 0, 0));
        CHECK_EQ(rec.exitPrivileged, std::vector<bool>(asked ? 1 : 0, row.privileged));
        CHECK_EQ(outcome.ok, asked);
        CHECK_EQ(outcome.error, asked ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_INVALID_PARAMETER});
    }

    reset("privilege enabled again before every request");
    if (CHECK(disableShutdown())) {
        Api api = realApi();
        api.adjustTokenPrivileges = realAdjust;
        Backend backend(api);
        for (const UINT flags : {8u, 2u, 0u, 8u}) {
            backend.request(flags);
        }
        CHECK_EQ(rec.calls, (std::vector<std::string>{"adjust", "exit 8", "adjust", "exit 2",
                                                      "adjust", "exit 0", "adjust", "exit 8"}));
        CHECK_EQ(rec.exitPrivileged, std::vector<bool>(4, true));
    }

    struct OutcomeRow
    {
        const char *name;
        BOOL result;
        DWORD error;
        bool ok;
        DWORD reported;
    };
    const std::vector<OutcomeRow> outcomes = {
        {"accepted", TRUE, ERROR_SUCCESS, true, ERROR_SUCCESS},
        {"accepted with a stale error code", TRUE, ERROR_ACCESS_DENIED, true, ERROR_SUCCESS},
        {"privilege missing", FALSE, ERROR_PRIVILEGE_NOT_HELD, false, ERROR_PRIVILEGE_NOT_HELD},
        {"access denied", FALSE, ERROR_ACCESS_DENIED, false, ERROR_ACCESS_DENIED},
    };
    for (const OutcomeRow &row : outcomes) {
        reset(row.name);
        rec.exitResult = row.result;
        rec.exitError = row.error;
        const WinPower::Outcome outcome = Backend(realApi()).request(EWX_REBOOT);
        CHECK_EQ(outcome.ok, row.ok);
        CHECK_EQ(outcome.error, row.reported);
    }
}

std::string narrow(const std::wstring &text)
{
    std::string out;
    for (const wchar_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

void errorTextGroup()
{
    struct Row
    {
        const char *name;
        DWORD error;
        const char *expected; // null: any system text on one line
    };
    const std::vector<Row> rows = {
        {"privilege not held", ERROR_PRIVILEGE_NOT_HELD, nullptr},
        {"access denied", ERROR_ACCESS_DENIED, nullptr},
        {"code without a text", 0x20001234, "error 536875572"},
    };
    for (const Row &row : rows) {
        reset(row.name);
        const std::string text = narrow(WinPower::errorText(row.error));
        if (row.expected) {
            CHECK_EQ(text, std::string(row.expected));
            continue;
        }
        std::printf("%s: %s\n", row.name, text.c_str());
        CHECK(!text.empty());
        CHECK(text.rfind("error ", 0) != 0);
        CHECK(text.find_first_of("\r\n") == std::string::npos);
        CHECK(text.back() != '.');
    }
}

} // namespace

int main(int argc, char **argv)
{
    return Check::main(argc, argv,
                       {{"isnt", isntGroup},
                        {"pcname", pcnameGroup},
                        {"shutpriv", shutprivGroup},
                        {"request", requestGroup},
                        {"errortext", errorTextGroup}});
}
