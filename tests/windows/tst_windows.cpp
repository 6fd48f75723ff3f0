// The Windows pieces against real Win32 under Wine: where settings go and in which code page,
// the single copy and its pipe, waking up, and the power request through a recording seam
// (ExitWindowsEx is never really called).

#include "app/instanceguard.h"
#include "app/localchannel.h"
#include "app/remotecontrol.h"
#include "fakes.h"
#include "power/sleepguard.h"
#include "power/windows/winpower.h"
#include "power/windows/winpowercontrol.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/windows/windowssettings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>
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

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    // A Chinese Windows keeps config.ini in code page 936; a file with a UTF-8 mark stays UTF-8.
    void settingsKeepTheFilesCodePage_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("path"); // as read; null: anything but nothing
        QTest::addColumn<QByteArray>("after");
        const QByteArray gbk("C:\\\xD2\xF4\xC0\xD6\\\xCC\xE1\xD0\xD1.wav"); // C:\音乐\提醒.wav
        QTest::newRow("936") << "[soundpath]\r\nspath=" + gbk + "\r\n"
                             << "C:\\音乐\\提醒.wav"
                             << "[soundpath]\r\nspath=" + gbk + "\r\n[Tips]\r\nifTips=1\r\n";
        const QByteArray utf8 = QString("C:\\音乐\\提醒.wav").toUtf8();
        QTest::newRow("UTF-8 with its mark")
            << "\xEF\xBB\xBF[soundpath]\nspath=" + utf8 + "\n"
            << "C:\\音乐\\提醒.wav"
            << "\xEF\xBB\xBF[soundpath]\nspath=" + utf8 + "\n[Tips]\nifTips=1\n";
        // Notepad's "Unicode": read, and written back in kind.
        const auto utf16 = [](const QString &text) {
            return QByteArray("\xFF\xFE") +
                   QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        };
        QTest::newRow("UTF-16") << utf16("[soundpath]\r\nspath=C:\\音乐\\提醒.wav\r\n")
                                << "C:\\音乐\\提醒.wav"
                                << utf16("[soundpath]\r\nspath=C:\\音乐\\提醒.wav\r\n[Tips]\r\n"
                                         "ifTips=1\r\n");
        // Bytes that are no text in 936 read as something, and stay as they were.
        QTest::newRow("garbage") << QByteArray("[soundpath]\nspath=\x81\xFF\x80\n") << QString()
                                 << QByteArray(
                                        "[soundpath]\nspath=\x81\xFF\x80\n[Tips]\nifTips=1\n");
    }
    void settingsKeepTheFilesCodePage()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, path);
        QFETCH(QByteArray, after);
        QTemporaryDir program;
        put(program.filePath("config.ini"), file);
        Moduleini settings(program.path(), dir.filePath("appdata"), windowsSettings(936));
        const QString read = settings.iniread(SettingsKeys::soundPath);
        QCOMPARE(path.isNull() ? read.left(0) : read, path.isNull() ? QString("") : path);
        QVERIFY(!read.isEmpty());
        QVERIFY(settings.iniwrite(SettingsKeys::tips, "1"));
        QCOMPARE(contents(program.filePath("config.ini")), after);
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

    // Beside the program wherever files can be made there, else in the user's folder. Root
    // may write anywhere on Linux, but not into /proc.
    void settingsFolder()
    {
        const QString user = dir.filePath("appdata/Quorvel");
        QCOMPARE(Moduleini(dir.path(), user, windowsSettings()).settingsPath(),
                 dir.path() + "/config.ini");
        QCOMPARE(Moduleini("Z:/proc", user, windowsSettings()).settingsPath(),
                 user + "/config.ini");
        QVERIFY(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).isEmpty()); // no probes
    }

    void oneCopyPerUserAndProgram()
    {
        const QString name = instanceName("C:/Program Files/Quorvel/quorvel.exe");
        QVERIFY(name.startsWith("quorvel-"));
        auto first = createInstanceGuard(name);
        QCOMPARE(first->tryAcquire(), InstanceGuard::Result::Acquired);
        QCOMPARE(createInstanceGuard(name)->tryAcquire(), InstanceGuard::Result::HeldByOther);
        first.reset();
        QCOMPARE(createInstanceGuard(name)->tryAcquire(), InstanceGuard::Result::Acquired);
    }

    // The hand-over over the named pipe, from a thread of its own while this one serves.
    void commandsReachTheRunningCopyOverItsPipe()
    {
        FakeClock clock;
        FakeAlarm alarm;
        FakeProcesses processes;
        FakePower power;
        TaskModel task(clock, alarm, processes, power);
        RemoteControl remote(task, &peerIsThisUser);
        const QString pipe = localServerName(instanceName(dir.filePath("quorvel.exe")));
        QVERIFY(remote.listen(pipe));
        Command start;
        start.task = PowerAction::Reboot;
        start.start = true;
        auto answer =
            std::async(std::launch::async, [&] { return HandOver::send(pipe, start, 3000); });
        while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const HandOver reply = answer.get();
        QCOMPARE(reply.result, HandOver::Result::Done);
        QVERIFY2(reply.text.startsWith("running: restart at 00:00:00"), qPrintable(reply.text));
        QVERIFY(task.isRunning());
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
        guard->hold(true);
        guard->hold(false);
    }

    void powerRequest_data()
    {
        QTest::addColumn<DWORD>("platform");
        QTest::addColumn<UINT>("flags");
        QTest::addColumn<unsigned>("fails");
        QTest::addColumn<QString>("calls");
        const DWORD nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS, failed = 0;
        const QString priv = "version open lookup(PC-7) adjust close ";
        // One backend: each row must enable the privilege anew, a failed version query keeps
        // the last answer. Any other flags, force included, are refused unasked.
        QTest::newRow("power off")
            << nt << UINT(EWX_POWEROFF) << 0u << priv + "exit 8 privileged ok 0";
        QTest::newRow("restart refused") << nt << UINT(EWX_REBOOT) << unsigned(failExit)
                                         << priv + "exit 2 privileged failed 1314";
        QTest::newRow("log off, version unknown")
            << failed << UINT(EWX_LOGOFF) << 0u << priv + "exit 0 privileged ok 0";
        QTest::newRow("no computer name")
            << nt << UINT(EWX_POWEROFF) << unsigned(failName)
            << "version open lookup() adjust close exit 8 privileged ok 0";
        QTest::newRow("not NT") << win9x << UINT(EWX_POWEROFF) << 0u << "version exit 8 ok 0";
        QTest::newRow("not NT, kept") << failed << UINT(EWX_REBOOT) << 0u << "version exit 2 ok 0";
        QTest::newRow("force") << nt << UINT(EWX_POWEROFF | EWX_FORCE) << 0u << "failed 87";
        QTest::newRow("force if hung")
            << nt << UINT(EWX_REBOOT | EWX_FORCEIFHUNG) << 0u << "failed 87";
        QTest::newRow("shutdown without power off")
            << nt << UINT(EWX_SHUTDOWN) << 0u << "failed 87";
        QTest::newRow("two at once") << nt << UINT(EWX_REBOOT | EWX_POWEROFF) << 0u << "failed 87";
    }
    void powerRequest()
    {
        QFETCH(DWORD, platform);
        QFETCH(UINT, flags);
        QFETCH(unsigned, fails);
        QFETCH(QString, calls);
        static WinPower::Backend backend(recorders); // one for all rows, as in the program
        rec = {.platform = platform, .fails = fails};
        const auto [ok, error] = backend.request(flags);
        QCOMPARE(
            QString::fromStdString(rec.calls + (ok ? "ok " : "failed ") + std::to_string(error)),
            calls);
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
