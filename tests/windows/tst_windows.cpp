// The Windows pieces against real Win32 under Wine: where settings go and in which code page,
// waking up, and the power request through a recording seam (ExitWindowsEx is never really
// called). The single copy and its pipe are met by the journey of the real program.

#include "power/sleepguard.h"
#include "power/windows/winpower.h"
#include "power/windows/winpowercontrol.h"
#include "settings/windows/windowssettings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// What the recorders are told to do, then what they saw; every row starts from a fresh one.
enum Fail : unsigned { failName = 1, failExit = 2 };
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
    [](UINT flags, DWORD reason) -> BOOL {
        HANDLE token = nullptr;
        TOKEN_PRIVILEGES off{1, {{{19, 0}, 0}}}, was{}; // 19: the shutdown privilege
        DWORD size = 0;
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
        AdjustTokenPrivileges(token, FALSE, &off, sizeof was, &was, &size);
        CloseHandle(token);
        const bool on = was.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED;
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return rec.step("exit " + std::to_string(flags) + (on ? " privileged" : "") +
                            (reason == WinPower::plannedReason ? "" : " unplanned"),
                        failExit);
    }};

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    // A Chinese Windows keeps config.ini in code page 936; a file with a UTF-8 mark stays UTF-8,
    // Notepad's "Unicode" is read and written back in kind, and bytes that are no text in 936
    // read as something and stay as they were.
    void settingsKeepTheFilesCodePage()
    {
        const QString path("C:\\音乐\\提醒.wav");
        const auto utf16 = [](const QString &text) {
            return QByteArray("\xFF\xFE") +
                   QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        };
        const QByteArray gbk("C:\\\xD2\xF4\xC0\xD6\\\xCC\xE1\xD0\xD1.wav"); // the path in 936
        const std::tuple<QByteArray, QString, QByteArray> files[] = {
            {"[soundpath]\r\nspath=" + gbk + "\r\n", path, "[Tips]\r\nifTips=1\r\n"},
            {"\xEF\xBB\xBF[soundpath]\nspath=" + path.toUtf8() + "\n", path, "[Tips]\nifTips=1\n"},
            {utf16("[soundpath]\r\nspath=" + path + "\r\n"), path,
             utf16("[Tips]\r\nifTips=1\r\n").mid(2)},
            {"[soundpath]\nspath=\x81\xFF\x80\n", QString(), "[Tips]\nifTips=1\n"},
        };
        for (const auto &[file, read, added] : files) {
            QTemporaryDir program;
            put(program.filePath("config.ini"), file);
            Moduleini settings(program.path(), dir.filePath("appdata"), windowsSettings(936));
            const QString value = settings.iniread(SettingsKeys::soundPath);
            QVERIFY(!value.isEmpty());
            if (!read.isNull())
                QCOMPARE(value, read);
            QVERIFY(settings.iniwrite(SettingsKeys::tips, "1"));
            QCOMPARE(contents(program.filePath("config.ini")), file + added);
        }
    }

    // A path 936 cannot hold is stored by its short name, or not at all: never mangled.
    void pathsTheCodePageLacks()
    {
        QTemporaryDir program;
        const Moduleini settings(program.path(), QString(), windowsSettings(936));
        const QString thai = program.filePath("เสียง.wav");   // Thai: not in 936
        QCOMPARE(settings.storablePath(thai), std::nullopt); // no such file, so no short name
        put(thai, "RIFF");
        const std::optional<QString> stored = settings.storablePath(thai);
        QVERIFY(stored && !stored->contains(u'เ'));
        QVERIFY(QFile::exists(*stored));
        const QString chinese = program.filePath("提醒.wav");
        QCOMPARE(settings.storablePath(chinese), chinese);
    }

    // In the user's folder where the program's cannot take files (root may write anywhere on
    // Linux, but not into /proc), found without leaving probe files behind.
    void settingsFolder()
    {
        const QString user = dir.filePath("appdata/Quorvel");
        QCOMPARE(Moduleini("Z:/proc", user, windowsSettings()).settingsPath(),
                 user + "/config.ini");
        QCOMPARE(Moduleini(dir.path(), user, windowsSettings()).settingsPath(),
                 dir.path() + "/config.ini");
        QVERIFY(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).isEmpty());
    }

    void wakingUpIsReported()
    {
        const std::unique_ptr<SleepGuard> guard = createSleepGuard();
        QSignalSpy resumed(guard.get(), &SleepGuard::resumed);
        const HWND window = FindWindowW(L"QuorvelPowerEvents", nullptr);
        QVERIFY(window);
        SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0); // the same wake-up
        QTRY_COMPARE(resumed.size(), 1);
    }

    // One backend for all, as in the program: every request enables the privilege anew, a failed
    // version query keeps the last answer, and any other flags, force included, are refused
    // without asking the system.
    void powerRequests()
    {
        const DWORD nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS, failed = 0;
        const std::string priv = "version open lookup(PC-7) adjust close ";
        const std::tuple<DWORD, UINT, unsigned, std::string> rows[] = {
            {nt, EWX_POWEROFF, 0, priv + "exit 8 privileged ok 0"},
            {nt, EWX_REBOOT, failExit, priv + "exit 2 privileged failed 1314"},
            {failed, EWX_LOGOFF, 0, priv + "exit 0 privileged ok 0"},
            {nt, EWX_POWEROFF, failName,
             "version open lookup() adjust close exit 8 privileged ok 0"},
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
            QCOMPARE(QString::fromStdString(rec.calls + (ok ? "ok " : "failed ") +
                                            std::to_string(error)),
                     QString::fromStdString(calls));
        }
    }

    void powerRequestSaysWhatTheSystemSaid()
    {
        rec = {.name = std::string("\xB5\xE7\xC4\xD4\0XYZ", 8)}; // cut at the first NUL
        QCOMPARE(WinPower::Backend(recorders).pcname(), "\xB5\xE7\xC4\xD4");
        QCOMPARE(WinPower::Backend().isnt(), -1); // Wine's own answer

        rec = {.platform = VER_PLATFORM_WIN32_NT, .fails = failExit};
        WinPowerControl power(recorders);
        QSignalSpy finished(&power, &PowerControl::requestFinished);
        power.request(PowerAction::Reboot);
        QCOMPARE(finished.size(), 0); // after request() returns
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][1].toBool(), false);
        const QString reason = finished[0][2].toString(); // the system's text: one line
        QVERIFY2(!reason.isEmpty() && !reason.contains('\n') && !reason.endsWith('.'),
                 qPrintable(reason));
        QCOMPARE(WinPower::errorText(0x20001234), L"error 536875572");
    }
};

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
