// The warning before the power action and the word about a missed task, through a mocked
// notification server on a private bus.

#include "fakes.h"
#include "privatebus.h"
#include "schedule/actionwarning.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"
#include "tray/linux/dbusnotifier.h"

#include <QSignalSpy>

using L = QStringList;

class TestActionWarning : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<PrivateBus> bus;
    FakeClock clock;
    FakeAlarm alarm;
    FakeProcesses processes;
    FakePower power;

    // Calls to the server, as "method body-or-id [actions] [urgency]".
    static L calls(MockService &server)
    {
        L out;
        for (const MockCall &c : server.calls()) {
            if (c.method == "Notify")
                out << QStringLiteral("Notify %1 %2 %3")
                           .arg(c.args[4].toString(), c.args[5].toStringList().join(','))
                           .arg(qdbus_cast<QVariantMap>(c.args[6]).value("urgency").toInt());
            else if (c.method == "CloseNotification")
                out << "Close " + c.args[0].toString();
        }
        return out;
    }

private Q_SLOTS:
    void init()
    {
        bus = std::make_unique<PrivateBus>();
        power.requests.clear();
    }

    void leadComesFromTheSettings()
    {
        const std::pair<const char *, int> leads[]{{"", 60},       {" 10 ", 10}, {"0", 0},
                                                   {"3600", 3600}, {"3601", 60}, {"-5", 60},
                                                   {"10s", 60}};
        for (auto [stored, lead] : leads)
            QCOMPARE(ActionWarning::leadFrom(QString::fromLatin1(stored)), lead);
    }

    // A power-off task for 14:30:00, started at the first step. Steps: a look at the clock at a
    // time of day, or an action pressed on the warning.
    void whatTheUserIsTold_data()
    {
        QTest::addColumn<QString>("server"); // its capabilities, or "hung"
        QTest::addColumn<QString>("lead");   // as stored; null: none
        QTest::addColumn<QString>("steps");
        QTest::addColumn<L>("calls");         // to the server
        QTest::addColumn<QString>("balloon"); // where no notification could be shown
        QTest::addColumn<bool>("fires");
        const QString actions = "body actions";
        const auto warning = [](int s) { return QStringLiteral("将在 %1 秒后关机").arg(s); };
        const auto shown = [&](int s) {
            return L{"Notify " + warning(s) + " stop,停止,postpone,推迟 10 分钟 2", "Close 1"};
        };
        QTest::newRow("a minute ahead, once, gone as it fires")
            << actions << QString() << "14:28:00 14:28:59 14:29:00 14:29:59 14:30:00" << shown(60)
            << "" << true;
        QTest::newRow("stored lead")
            << actions << "10"
            << "14:28:00 14:29:49 14:29:50 14:30:00" << shown(10) << "" << true;
        QTest::newRow("started late: at once, and stopped from the warning")
            << actions << QString() << "14:29:30 stop" << shown(30) << "" << false;
        // Ten minutes later, and warned again a minute before.
        QTest::newRow("postponed from the warning")
            << actions << QString() << "14:29:30 postpone 14:30:00 14:39:00"
            << shown(30) + shown(60).mid(0, 1) << "" << false;
        // The power request is never held up by the server.
        QTest::newRow("no actions: a balloon")
            << "body" << QString() << "14:29:30 14:30:00" << L() << warning(30) << true;
        QTest::newRow("hung server: a balloon")
            << "hung" << QString() << "14:29:30 14:30:00" << L() << warning(30) << true;
        QTest::newRow("slept through")
            << "body" << QString() << "14:00:00 14:00:01 15:10:00"
            << L{"Notify 错过了 14:30:00 的关机，已改为明天同一时间。  1"} << "" << false;
    }
    void whatTheUserIsTold()
    {
        QFETCH(QString, server);
        QFETCH(QString, lead);
        QFETCH(QString, steps);
        QFETCH(L, calls);
        QFETCH(QString, balloon);
        QFETCH(bool, fires);
        MockService *mock =
            bus->start({"org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                        "--template", "notification_daemon", "--parameters",
                        QStringLiteral(R"({"capabilities": "%1"})")
                            .arg(server == "hung" ? "body actions" : server)});
        QVERIFY(mock);
        if (server == "hung")
            mock->pause();
        if (QFile ini(dir.filePath("config.ini")); ini.open(QIODevice::WriteOnly))
            ini.write(lead.isNull() ? QByteArray()
                                    : "[warning]\nseconds=" + lead.toLatin1() + '\n');
        TaskModel task(clock, alarm, processes, power);
        DBusNotifier notifier(bus->connection(), 500);
        Moduleini settings(dir.path(), {});
        ActionWarning warning(task, notifier, settings);
        QSignalSpy balloons(&warning, &ActionWarning::balloon);
        task.setTask(PowerAction::PowerOff);
        task.setTasktime(QTime(14, 30));
        const L list = steps.split(' ');
        for (const QString &step : list) {
            if (&step == &list.last()) { // what went before is in before the last step
                QTRY_COMPARE(balloons.size(), balloon.isEmpty() ? 0 : 1);
                if (server != "hung")
                    QTRY_COMPARE(this->calls(*mock).size(), qMax(0, calls.size() - 1));
            }
            if (step == "stop" || step == "postpone") {
                QVERIFY(mock->mock("EmitSignal", {"org.freedesktop.Notifications", "ActionInvoked",
                                                  "us", QVariantList{1u, step}}));
                QTRY_VERIFY(step == "stop" ? !task.isRunning() : task.tasktime() == QTime(14, 40));
                continue;
            }
            clock.set(QTime::fromString(step, Qt::ISODate));
            &step == &list.first() ? task.start() : task.TaskTimer_Timer();
            QTest::qWait(50); // the calls on their way
        }
        QCOMPARE(power.requests, fires ? QList{PowerAction::PowerOff} : QList<PowerAction>());
        mock->pause(false);
        QTRY_COMPARE(this->calls(*mock), calls);
        QCOMPARE(balloons.value(0).value(0).toString(), balloon);
    }
};

QTEST_GUILESS_MAIN(TestActionWarning)
#include "tst_actionwarning.moc"
