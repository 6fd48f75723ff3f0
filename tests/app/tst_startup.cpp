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
    SecondTimer seconds{clock};
    FakePower power;
    QTemporaryDir dir;

private Q_SLOTS:
    void lockIsPerInstalledCopy()
    {
        const QString a = dir.filePath("a/quorvel");
        const QString b = dir.filePath("b/quorvel");
        QVERIFY(QDir().mkpath(dir.filePath("a")));
        QFile(a).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(a, dir.filePath("link")));
        QCOMPARE(instanceKey(dir.filePath("link")), instanceKey(a));
        QVERIFY(instanceKey(a) != instanceKey(b));
        QVERIFY(instanceKey(a, "S-1-5-21-1") != instanceKey(a, "S-1-5-21-2"));
    }

    void killedCopyLeavesNothingBehind()
    {
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
    }
    void commandLine()
    {
        QFETCH(L, arguments);
        QFETCH(QString, parsed);
        const CommandLine line = CommandLine::parse(L{"quorvel"} + arguments);
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
        TaskModel task(clock, seconds, power);
        RemoteControl remote(task, [](qintptr) { return true; });
        clock.set(QTime(8, 0));
        const auto send = [&](const L &arguments) {
            const std::optional<QString> refusal =
                remote.apply(CommandLine::parse(L{"quorvel"} + arguments).command);
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
        QCOMPARE(send({"--stop"}), "idle");
        QCOMPARE(remote.status(true), R"({"at":"09:00:00","remind_minutes":5,"running":false,)"
                                      R"("seconds_left":null,"task":"restart"})");
    }

    void hostilePeersChangeNothing()
    {
        const QString name = dir.filePath("q.sock");
        TaskModel task(clock, seconds, power);
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
