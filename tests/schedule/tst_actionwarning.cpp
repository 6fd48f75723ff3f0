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
    FakeAlarm alarm;
    FakeProcesses processes;
    FakePower power;

    struct Setup
    {
        TaskModel task;
        DBusNotifier notifier;
        Moduleini settings;
        ActionWarning warning;
        QSignalSpy balloons;
        Setup(TestActionWarning &t)
            : task(t.clock, t.alarm, t.processes, t.power), notifier(t.bus->connection(), 500),
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

    void whatTheUserIsTold_data()
    {
        QTest::addColumn<QString>("server");  // its capabilities, or "hung"
        QTest::addColumn<QByteArray>("lead"); // as stored
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QList<QTime>>(
            "ticks"); // an invalid time: an action pressed on the warning
        QTest::addColumn<QString>("press");
        QTest::addColumn<L>("calls");         // to the server
        QTest::addColumn<QString>("balloon"); // where no notification could be shown
        QTest::addColumn<bool>("fires");
        const QString actions = "body actions";
        const QTime at(14, 30), t(14, 29, 50);
        const auto warning = [](int s) { return QStringLiteral("将在 %1 秒后关机").arg(s); };
        const auto shown = [&](int s) {
            return L{"Notify " + warning(s) + " stop,停止,postpone,推迟 10 分钟 2", "Close 1"};
        };
        QTest::newRow("a minute ahead, once, gone as it fires")
            << actions << QByteArray() << QTime(14, 28)
            << QList{QTime(14, 28, 59), QTime(14, 29), QTime(14, 29, 59), at} << "" << shown(60)
            << "" << true;
        QTest::newRow("started late: at once") << actions << QByteArray() << QTime(14, 29, 30)
                                               << QList{at} << "" << shown(30) << "" << true;
        QTest::newRow("stored lead")
            << actions << QByteArray("10") << QTime(14, 28) << QList{t.addSecs(-1), t, at} << ""
            << shown(10) << "" << true;
        QTest::newRow("turned off") << actions << QByteArray("0") << QTime(14, 28) << QList{t, at}
                                    << "" << L() << "" << true;
        QTest::newRow("stopped from the warning")
            << actions << QByteArray() << QTime(14, 29, 30) << QList{QTime()} << "stop" << shown(30)
            << "" << false;
        // Ten minutes later, and warned again a minute before.
        QTest::newRow("postponed from the warning")
            << actions << QByteArray() << QTime(14, 29, 30) << QList{QTime(), at, QTime(14, 39)}
            << "postpone" << shown(30) + shown(60).mid(0, 1) << "" << false;
        // The power request is never held up by the server.
        QTest::newRow("no actions: a balloon") << "body" << QByteArray() << QTime(14, 29, 30)
                                               << QList{at} << "" << L() << warning(30) << true;
        QTest::newRow("hung server: a balloon") << "hung" << QByteArray() << QTime(14, 29, 30)
                                                << QList{at} << "" << L() << warning(30) << true;
        QTest::newRow("slept through")
            << "body" << QByteArray() << QTime(14, 0) << QList{QTime(14, 0, 1), QTime(15, 10)} << ""
            << L{"Notify 错过了 14:30:00 的关机，已改为明天同一时间。  1"} << "" << false;
    }
    void whatTheUserIsTold()
    {
        QFETCH(QString, server);
        QFETCH(QByteArray, lead);
        QFETCH(QTime, start);
        QFETCH(QList<QTime>, ticks);
        QFETCH(QString, press);
        QFETCH(L, calls);
        QFETCH(QString, balloon);
        QFETCH(bool, fires);
        startServer(server == "hung" ? "body actions" : server);
        if (server == "hung")
            this->server->pause();
        auto s = running(start, lead);
        for (const QTime time : ticks) {
            if (time == ticks.last()) { // what went before is in before the last step
                QTRY_COMPARE(s->balloons.size(), balloon.isEmpty() ? 0 : 1);
                if (server != "hung")
                    QTRY_COMPARE(this->calls().size(), qMax(0, calls.size() - 1));
            }
            if (time.isValid()) {
                tick(s->task, time);
                continue;
            }
            QVERIFY(
                this->server->mock("EmitSignal", {"org.freedesktop.Notifications", "ActionInvoked",
                                                  "us", QVariantList{1u, press}}));
            QTRY_VERIFY(press == "stop" ? !s->task.isRunning()
                                        : s->task.tasktime() == QTime(14, 40));
        }
        QCOMPARE(power.requests, fires ? QList{PowerAction::PowerOff} : QList<PowerAction>());
        this->server->pause(false);
        QTRY_COMPARE(this->calls(), calls);
        QCOMPARE(s->balloons.value(0).value(0).toString(), balloon);
    }
};

QTEST_GUILESS_MAIN(TestActionWarning)
#include "tst_actionwarning.moc"
