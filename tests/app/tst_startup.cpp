// One running copy per installed program; the command line, the request handed to it, and how
// it takes the request.

#include "app/command.h"
#include "app/instanceguard.h"
#include "app/remotecontrol.h"
#include "fakes.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace std::chrono_literals;

using L = QStringList;

// A command as the request it becomes, between its first line and "end".
static QString words(const Command &c)
{
    const QStringList lines = QString::fromLatin1(c.toRequest()).split('\n');
    return lines.mid(1, lines.size() - 3).join(' ');
}

class TestStartup : public QObject
{
    Q_OBJECT

    FakeClock clock;
    FakeAlarm alarm;
    FakeProcesses processes;
    FakePower power;
    QTemporaryDir dir;
    const std::function<std::optional<ProcessId>(qint64)> find = [this](qint64 pid) {
        return processes.find(pid);
    };

private Q_SLOTS:
    void init() { processes.running = {{4242, {4242, 99, "make"}}}; }

    void lockIsPerInstalledCopy()
    {
        const QString a = dir.filePath("a/quorvel");
        const QString b = dir.filePath("b/quorvel");
        QVERIFY(QDir().mkpath(dir.filePath("a")));
        QFile(a).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(a, dir.filePath("link")));
        if (QFileInfo(dir.filePath("link")).isSymbolicLink()) // not a Windows shortcut
            QCOMPARE(instanceKey(dir.filePath("link")), instanceKey(a));
        QVERIFY(instanceKey(a) != instanceKey(b));
        QVERIFY(instanceKey(a, "S-1-5-21-1") != instanceKey(a, "S-1-5-21-2"));
    }

    void killedCopyLeavesNothingBehind()
    {
        if (QSysInfo::kernelType() != "linux") // a Linux lock; tst_windows tries the mutex
            QSKIP("the lock is held by a Linux process here");
        QProcess holder; // one process holding the same kind of lock as a running copy
        holder.start("/usr/bin/python3",
                     {"-c",
                      "import fcntl, os, sys, time; fcntl.flock(os.open(sys.argv[1], "
                      "os.O_RDWR | os.O_CREAT), fcntl.LOCK_EX); time.sleep(60)",
                      dir.filePath("quorvel.lock")});
        QVERIFY(holder.waitForStarted());
        const QString name = dir.filePath("quorvel");
        QTRY_COMPARE(createInstanceGuard(name)->tryAcquire(), InstanceGuard::Result::HeldByOther);
        holder.kill();
        holder.waitForFinished();
        auto next = createInstanceGuard(name);
        QCOMPARE(next->tryAcquire(), InstanceGuard::Result::Acquired);
        QCOMPARE(createInstanceGuard(name)->tryAcquire(), InstanceGuard::Result::HeldByOther);
    }
    void commandLine_data()
    {
        QTest::addColumn<L>("arguments");
        QTest::addColumn<QString>("parsed"); // as a request, or the start of the error message
        QTest::newRow("nothing") << L{} << "";
        QTest::newRow("everything")
            << L{"--stop", "-t", "restart", "--at", "6:05", "-r", "10", "--start", "--hidden"}
            << "stop task restart at 06:05:00 remind 10 start hidden";
        QTest::newRow("Chinese task")
            << L{"--task", "注销", "--no-remind"} << "task logoff remind 0";
        QTest::newRow("status") << L{"--status", "--json"} << "status json";
        QTest::newRow("bad time") << L{"--at", "25:00"} << "--at: '25:00'";
        QTest::newRow("bad minutes") << L{"--remind", "7"} << "--remind: '7'";
        QTest::newRow("bad task") << L{"--task", "reboot-now"} << "--task: 'reboot-now'";
        QTest::newRow("both reminders") << L{"-r", "5", "--no-remind"} << "--remind and";
        QTest::newRow("json alone") << L{"--json"} << "--json needs";
        QTest::newRow("unknown") << L{"--bogus"} << "Unknown option";
        QTest::newRow("in") << L{"--in", "1h30m", "--start"} << "in 5400 start";
        QTest::newRow("in seconds") << L{"--in", "45s"} << "in 45";
        for (const QString bad : {"0", "-5m", "25h", "1x", "", "90"})
            QTest::addRow("in %s", qPrintable(bad)) << L{"--in", bad} << "--in: '" + bad + "'";
        QTest::newRow("in and at") << L{"--in", "5m", "--at", "6:00"} << "--in and --at together";
        const L after{"--task", "poweroff", "--start", "--after-pid"};
        QTest::newRow("after a process")
            << after + L{"4242"} << "task poweroff after-pid 4242 99 start";
        for (const QString bad : {"x", "0", "-3", "4242x"})
            QTest::addRow("after %s", qPrintable(bad))
                << after + L{bad} << "--after-pid: '" + bad + "' is no process";
        QTest::newRow("after none") << after + L{"999999"} << "--after-pid: there is no process";
        const QString own = QString::number(QCoreApplication::applicationPid());
        QTest::newRow("after itself") << after + L{own} << "--after-pid: " + own + " is this";
        QTest::newRow("after, at") << after + L{"4242", "--at", "6:00"} << "--after-pid and --at";
        QTest::newRow("after, reminder")
            << after + L{"4242", "-r", "5"} << "--after-pid and --remind";
        QTest::newRow("after, no start")
            << L{"-t", "restart", "--after-pid", "4242"} << "--after-pid needs --task and --start";
    }
    void commandLine()
    {
        QFETCH(L, arguments);
        QFETCH(QString, parsed);
        const CommandLine line = CommandLine::parse(L{"quorvel"} + arguments, find);
        const bool error = line.outcome == CommandLine::Outcome::Error;
        QCOMPARE(error ? line.text.left(parsed.size()) : words(line.command), parsed);
        if (!error) // what a running copy gets is what was asked
            QCOMPARE(words(*Command::fromRequest(line.command.toRequest())), parsed);
    }

    void malformedRequestsReadAsNothing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("no header") << QByteArray("start\nend\n");
        QTest::newRow("twice") << QByteArray("quorvel 1\nstart\nstart\nend\n");
        QTest::newRow("unknown") << QByteArray("quorvel 1\nreboot\nend\n");
        QTest::newRow("Chinese task") << QByteArray("quorvel 1\ntask 关机\nend\n");
        QTest::newRow("bad minutes") << QByteArray("quorvel 1\nremind 7\nend\n");
        QTest::newRow("too long") << "quorvel 1\n" + QByteArray(300, 'x') + "\nend\n";
    }
    void malformedRequestsReadAsNothing()
    {
        QFETCH(QByteArray, request);
        QVERIFY(!Command::fromRequest(request));
    }

    void runningCopyTakesCommandsAsTheUserWould()
    {
        TaskModel task(clock, alarm, processes, power);
        RemoteControl remote(task, [](qintptr) { return true; });
        clock.set(QTime(8, 0));
        const auto send = [&](const L &arguments) {
            const std::optional<QString> refusal =
                remote.apply(CommandLine::parse(L{"quorvel"} + arguments, find).command);
            return refusal.value_or(remote.status(false));
        };
        QCOMPARE(send({"--task", "poweroff", "--at", "8:30", "--start"}),
                 "running: poweroff at 08:30:00, in 0:30:00");
        // A running task keeps its task and time, unless the same command stops it first.
        QCOMPARE(send({"--task", "restart", "--start"}).left(18), "a task is running:");
        QCOMPARE(task.task(), PowerAction::PowerOff);
        QCOMPARE(send({"--stop", "--task", "restart", "--at", "9:00", "--start"}),
                 "running: restart at 09:00:00, in 1:00:00");
        QCOMPARE(send({"--remind", "5"}), "running: restart at 09:00:00, reminder 5 min before");
        QCOMPARE(send({"--stop", "-t", "poweroff", "--after-pid", "4242", "--start"}).left(9),
                 "the remin"); // the reminder is on: nothing would ever act
        QCOMPARE(send({"--stop", "--no-remind", "--in", "90m", "--start"}),
                 "running: restart at 09:30:00, in 1:30:00");
        QCOMPARE(send({"--stop", "-t", "poweroff", "--after-pid", "4242", "--start"}),
                 "running: poweroff after process 4242 (make) ends");
        QVERIFY(remote.status(true).contains(R"("after_pid":4242)"));
        processes.end(4242); // with no warning asked for, at once
        QCOMPARE(power.requests, QList{PowerAction::PowerOff});
        QCOMPARE(remote.status(false), "idle");
        QCOMPARE(send({"--task", "restart", "--at", "9:00", "--remind", "5"}), "idle");
        QCOMPARE(send({"--stop"}), "idle");
        QCOMPARE(remote.status(true), R"({"after_pid":null,"at":"09:00:00","remind_minutes":5,)"
                                      R"("running":false,"seconds_left":null,"task":"restart"})");
    }

    void hostilePeersChangeNothing()
    {
        const QString name = dir.filePath("q.sock");
        TaskModel task(clock, alarm, processes, power);
        bool trusted = false;
        RemoteControl remote(task, [&](qintptr) { return trusted; });
        QVERIFY(remote.listen(name));
        Command start;
        start.start = true;
        // The peer talks from a thread of its own while this one serves.
        const auto peer = [&](auto talk) {
            auto done = std::async(std::launch::async, talk);
            while (done.wait_for(0s) != std::future_status::ready)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return done.get();
        };
        const auto raw = [&](const QByteArray &bytes) {
            return peer([&] {
                QLocalSocket socket;
                socket.connectToServer(name);
                socket.write(bytes);
                socket.waitForDisconnected(3000); // answered, cut off or timed out
                return socket.readAll();
            });
        };
        QCOMPARE(raw(start.toRequest()), QByteArray()); // another user
        trusted = true;
        QCOMPARE(raw(QByteArray(Command::maxRequestSize + 1, 'x')), QByteArray());
        QCOMPARE(raw(start.toRequest().chopped(1)), QByteArray()); // too slow to finish
        QVERIFY(!task.isRunning());
        QCOMPARE(raw(start.toRequest()).left(3), "ok\n");
        QVERIFY(task.isRunning());
        // A stale socket left by a killed copy does not keep the next one from listening.
        RemoteControl next(task, [](qintptr) { return true; });
        QVERIFY(next.listen(name));
        start.start = false;
        start.stop = true;
        QCOMPARE(peer([&] { return HandOver::send(name, start, 3000).result; }),
                 HandOver::Result::Done);
        QVERIFY(!task.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
