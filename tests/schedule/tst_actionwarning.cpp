// The warning before the power action and the word about a missed task, through a mocked
// notification server on a private bus.

#include "fakes.h"
#include "privatebus.h"
#include "schedule/actionwarning.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"
#include "tray/linux/dbusnotifier.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using L = QStringList;

class TestActionWarning : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<PrivateBus> bus;
    MockService *server = nullptr;
    FakeClock clock;
    SecondTimer seconds{clock};
    FakePower power;

    struct Setup
    {
        TaskModel task;
        DBusNotifier notifier;
        Moduleini settings;
        ActionWarning warning;
        QSignalSpy balloons;
        Setup(TestActionWarning &t)
            : task(t.clock, t.seconds, t.power), notifier(t.bus->connection(), 500),
              settings(t.dir.path(), {}), warning(task, notifier, settings),
              balloons(&warning, &ActionWarning::balloon)
        {
        }
    };

    // Calls to the server, as "method body-or-id [actions] [urgency]".
    L calls()
    {
        L out;
        for (const MockCall &c : server->calls()) {
            if (c.method == "Notify")
                out << QStringLiteral("Notify %1 %2 %3")
                           .arg(c.args[4].toString(), c.args[5].toStringList().join(','))
                           .arg(qdbus_cast<QVariantMap>(c.args[6]).value("urgency").toInt());
            else if (c.method == "CloseNotification")
                out << "Close " + c.args[0].toString();
        }
        return out;
    }

    void startServer(const QString &capabilities)
    {
        server = bus->start({"org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                             "--template", "notification_daemon", "--parameters",
                             QStringLiteral(R"({"capabilities": "%1"})").arg(capabilities)});
        QVERIFY(server);
    }

    void tick(TaskModel &task, QTime time)
    {
        clock.set(time);
        task.TaskTimer_Timer();
        QTest::qWait(50); // the calls on their way
    }

    // A power-off task for 14:30:00, started at `start`, with the lead stored in config.ini.
    std::unique_ptr<Setup> running(QTime start, const QByteArray &lead = {})
    {
        QFile ini(dir.filePath("config.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write(lead.isNull() ? QByteArray() : "[warning]\nseconds=" + lead + '\n');
        ini.close();
        auto s = std::make_unique<Setup>(*this);
        s->task.setTask(PowerAction::PowerOff);
        s->task.setTasktime(QTime(14, 30));
        clock.set(start);
        s->task.start();
        QTest::qWait(50);
        return s;
    }

private Q_SLOTS:
    void init()
    {
        bus = std::make_unique<PrivateBus>();
        power.requests.clear();
    }

    void leadComesFromTheSettings()
    {
        for (auto [stored, lead] : {std::pair{"", 60},
                                    {" 10 ", 10},
                                    {"0", 0},
                                    {"3600", 3600},
                                    {"3601", 60},
                                    {"-5", 60},
                                    {"10s", 60}})
            QCOMPARE(ActionWarning::leadFrom(QString::fromLatin1(stored)), lead);
    }

    void warnsOnceAsTheActionDraws_data()
    {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QByteArray>("lead");
        QTest::addColumn<QTime>("warnedAt");
        QTest::addColumn<QString>("text");
        const QString sixty = "Notify 将在 60 秒后关机 stop,停止 2";
        QTest::newRow("a minute ahead") << QTime(14, 28) << QByteArray() << QTime(14, 29) << sixty;
        QTest::newRow("started late: at once")
            << QTime(14, 29, 30) << QByteArray() << QTime(14, 29, 30)
            << "Notify 将在 30 秒后关机 stop,停止 2";
        QTest::newRow("stored lead") << QTime(14, 28) << QByteArray("10") << QTime(14, 29, 50)
                                     << "Notify 将在 10 秒后关机 stop,停止 2";
        QTest::newRow("turned off") << QTime(14, 28) << QByteArray("0") << QTime() << "";
    }
    void warnsOnceAsTheActionDraws()
    {
        QFETCH(QTime, start);
        QFETCH(QByteArray, lead);
        QFETCH(QTime, warnedAt);
        QFETCH(QString, text);
        startServer("body actions");
        auto s = running(start, lead);
        QList<QTime> ticks{QTime(14, 28, 59), QTime(14, 29, 59)};
        if (warnedAt > start)
            ticks.insert(1, warnedAt);
        for (const QTime t : ticks) {
            if (t < start)
                continue;
            tick(s->task, t);
            const bool due = warnedAt.isValid() && clock.now().time() >= warnedAt;
            QTRY_COMPARE(calls(), due ? L{text} : L());
        }
        tick(s->task, QTime(14, 30)); // fires on time, and the warning goes
        QCOMPARE(power.requests, QList{PowerAction::PowerOff});
        QTRY_COMPARE(calls(), warnedAt.isValid() ? (L{text, "Close 1"}) : L());
    }

    void stopFromTheNotificationStopsTheTask()
    {
        startServer("body actions");
        auto s = running(QTime(14, 29, 30));
        QTRY_COMPARE(calls().size(), 1);
        QVERIFY(server->mock("EmitSignal", {"org.freedesktop.Notifications", "ActionInvoked", "us",
                                            QVariantList{1u, "stop"}}));
        QTRY_VERIFY(!s->task.isRunning());
        tick(s->task, QTime(14, 30));
        QVERIFY(power.requests.isEmpty());
        QTRY_COMPARE(calls().last(), "Close 1");
    }

    void withoutActionsOrServerABalloonTells_data()
    {
        QTest::addColumn<QString>("capabilities");
        QTest::newRow("no actions") << "body";
        QTest::newRow("hung server") << "hung";
    }
    void withoutActionsOrServerABalloonTells()
    {
        QFETCH(QString, capabilities);
        startServer(capabilities == "hung" ? "body actions" : capabilities);
        if (capabilities == "hung")
            server->pause();
        auto s = running(QTime(14, 29, 30));
        QTRY_COMPARE(s->balloons.size(), 1);
        QCOMPARE(s->balloons[0][0].toString(), "将在 30 秒后关机");
        tick(s->task, QTime(14, 30)); // the request is not held up by the server
        QCOMPARE(power.requests, QList{PowerAction::PowerOff});
        if (capabilities == "hung")
            server->pause(false);
    }

    void whatWasSleptThroughIsTold()
    {
        startServer("body");
        auto s = running(QTime(14, 0));
        tick(s->task, QTime(14, 0, 1));
        tick(s->task, QTime(15, 10)); // the machine slept meanwhile
        QTRY_COMPARE(calls(), L{"Notify 错过了 14:30:00 的关机，已改为明天同一时间。  1"});
        QVERIFY(s->task.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestActionWarning)
#include "tst_actionwarning.moc"
