// One running copy per installed program; the command line, the request handed to it, and how
// it takes the request.

#include "app/command.h"
#include "app/instanceguard.h"
#include "app/remotecontrol.h"
#include "fakes.h"
#include "schedule/taskmodel.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <future>

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

    static void row(const char *name, const QString &arguments, const QString &parsed)
    {
        QTest::newRow(name) << arguments << parsed;
    }

    FakeClock clock;
    FakeAlarm alarm;
    FakeProcesses processes;
    FakePower power;
    QTemporaryDir dir;
    const std::function<std::optional<ProcessId>(qint64)> find =
        std::bind_front(&FakeProcesses::find, &processes);

private Q_SLOTS:
    void init() { processes.running = {{4242, {4242, 99, "make"}}}; }

    // A lock per installed program and user, which a killed copy leaves free.
    void oneCopyPerInstalledProgram()
    {
        const QString a = dir.filePath("a/quorvel");
        QVERIFY(QDir().mkpath(dir.filePath("a")));
        QFile(a).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(a, dir.filePath("link")));
        if (QFileInfo(dir.filePath("link")).isSymbolicLink()) // not a Windows shortcut
            QCOMPARE(instanceKey(dir.filePath("link")), instanceKey(a));
        QVERIFY(instanceKey(a) != instanceKey(dir.filePath("b/quorvel")));
        QVERIFY(instanceKey(a, "S-1-5-21-1") != instanceKey(a, "S-1-5-21-2"));
        if (QSysInfo::kernelType() != "linux") // a Linux lock; the Windows journey meets the mutex
            QSKIP("the lock is held by a Linux process here");
        QProcess holder; // holds the same kind of lock as a running copy
        holder.start("flock", {"--no-fork", dir.filePath("quorvel.lock"), "sleep", "60"});
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
        QTest::addColumn<QString>("arguments"); // split at each space
        QTest::addColumn<QString>("parsed");    // as a request, or the start of the error message
        row("nothing", "", "");
        row("everything", "--stop -t restart --at 6:05 -r 10 --start --hidden",
            "stop task restart at 06:05:00 remind 10 start hidden");
        row("Chinese task", "--task 注销 --no-remind", "task logoff remind 0");
        row("status", "--status --json", "status json");
        row("bad time", "--at 25:00", "--at: '25:00'");
        row("bad minutes", "--remind 7", "--remind: '7'");
        row("bad task", "--task reboot-now", "--task: 'reboot-now'");
        row("both reminders", "-r 5 --no-remind", "--remind and");
        row("json alone", "--json", "--json needs");
        row("unknown", "--bogus", "Unknown option");
        row("in", "--in 1h30m --start", "in 5400 start");
        row("in seconds", "--in 45s", "in 45");
        for (const QString bad : {"0", "-5m", "25h", "1x", "", "90"})
            row(qPrintable("in " + bad), "--in " + bad, "--in: '" + bad + "'");
        row("in and at", "--in 5m --at 6:00", "--in and --at together");
        const QString after = "--task poweroff --start --after-pid ";
        row("after a process", after + "4242", "task poweroff after-pid 4242 99 start");
        for (const QString bad : {"x", "0", "-3", "4242x"})
            row(qPrintable("after " + bad), after + bad,
                "--after-pid: '" + bad + "' is no process");
        row("after none", after + "999999", "--after-pid: there is no process");
        const QString own = QString::number(QCoreApplication::applicationPid());
        row("after itself", after + own, "--after-pid: " + own + " is this");
        row("after, at", after + "4242 --at 6:00", "--after-pid and --at");
        row("after, reminder", after + "4242 -r 5", "--after-pid and --remind");
        row("after, no start", "-t restart --after-pid 4242",
            "--after-pid needs --task and --start");
    }
    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, parsed);
        const L line = L{"quorvel"} + (arguments.isEmpty() ? L() : arguments.split(' '));
        const CommandLine result = CommandLine::parse(line, find);
        const bool error = result.outcome == CommandLine::Outcome::Error;
        QCOMPARE(error ? result.text.left(parsed.size()) : words(result.command), parsed);
        if (!error) // what a running copy gets is what was asked
            QCOMPARE(words(*Command::fromRequest(result.command.toRequest())), parsed);
    }

    void malformedRequestsReadAsNothing()
    {
        for (const QByteArray &request :
             {QByteArray("start\nend\n"), QByteArray("quorvel 1\nstart\nstart\nend\n"),
              QByteArray("quorvel 1\nreboot\nend\n"), QByteArray("quorvel 1\nremind 7\nend\n"),
              "quorvel 1\n" + QByteArray(300, 'x') + "\nend\n"})
            QVERIFY2(!Command::fromRequest(request), request.left(30).constData());
    }

    void runningCopyTakesCommandsAsTheUserWould()
    {
        TaskModel task(clock, alarm, processes, power);
        RemoteControl remote(task, [](qintptr) { return true; });
        clock.set(QTime(8, 0));
        const auto send = [&](const QString &arguments) { // a refusal, or the status after it
            const Command command =
                CommandLine::parse(("quorvel " + arguments).split(' '), find).command;
            return remote.apply(command).value_or(remote.status(false));
        };
        QCOMPARE(send("--task poweroff --at 8:30 --start"),
                 "running: poweroff at 08:30:00, in 0:30:00");
        // A running task keeps its task and time, unless the same command stops it first.
        QCOMPARE(send("--task restart --start").left(18), "a task is running:");
        QCOMPARE(task.task(), PowerAction::PowerOff);
        QCOMPARE(send("--stop --task restart --at 9:00 --start"),
                 "running: restart at 09:00:00, in 1:00:00");
        QCOMPARE(send("--remind 5"), "running: restart at 09:00:00, reminder 5 min before");
        QCOMPARE(send("--stop -t poweroff --after-pid 4242 --start").left(9),
                 "the remin"); // the reminder is on: nothing would ever act
        QCOMPARE(send("--stop --no-remind --in 90m --start"),
                 "running: restart at 09:30:00, in 1:30:00");
        QCOMPARE(send("--stop -t poweroff --after-pid 4242 --start"),
                 "running: poweroff after process 4242 (make) ends");
        QVERIFY(remote.status(true).contains(R"("after_pid":4242)"));
        processes.end(4242); // with no warning asked for, at once
        QCOMPARE(power.requests, QList{PowerAction::PowerOff});
        QCOMPARE(remote.status(false), "idle");
        QCOMPARE(send("--task restart --at 9:00 --remind 5"), "idle");
        QCOMPARE(send("--stop"), "idle");
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
        Command start, stop;
        start.start = stop.stop = true;
        // The peer talks from a thread of its own while this one serves.
        const auto peer = [&](auto talk) {
            auto done = std::async(std::launch::async, talk);
            while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return done.get();
        };
        const auto raw = [&](const QByteArray &bytes) {
            return peer([&] {
                QLocalSocket socket;
                socket.connectToServer(name);
                socket.write(bytes);
                // Answered or cut off, never left waiting.
                return socket.waitForDisconnected(3000) ? socket.readAll() : "left open";
            });
        };
        QCOMPARE(raw(start.toRequest()), QByteArray()); // another user
        trusted = true;
        QCOMPARE(raw(QByteArray(Command::maxRequestSize + 1, 'x')), QByteArray());
        QCOMPARE(raw(start.toRequest().chopped(1)), QByteArray()); // too slow to finish
        QVERIFY(!task.isRunning());
        QCOMPARE(raw(start.toRequest()).left(3), "ok\n");
        QVERIFY(task.isRunning());
        QCOMPARE(peer([&] { return HandOver::send(name, stop, 3000).result; }),
                 HandOver::Result::Done);
        QVERIFY(!task.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
