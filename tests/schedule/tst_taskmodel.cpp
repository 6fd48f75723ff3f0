// The task's rules and its second timer, headless, with a clock the test sets.

#include "fakes.h"
#include "schedule/longtime.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
// The QTimer inside a SecondTimer, caught as it first fires: its interval shows how it was armed.
struct TimerCatcher : QObject
{
    QPointer<QTimer> timer;
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Timer && !timer)
            timer = qobject_cast<QTimer *>(object);
        return false;
    }
};

// "14:30" on the clock's first day; "+14:30" on the day after.
QDateTime dayAndTime(QDate first, const QString &text)
{
    const bool next = text.startsWith('+');
    return QDateTime(first.addDays(next), QTime::fromString(text.mid(next), Qt::ISODate));
}

// A power-off task started at `start` for `target`, with the reminder's minutes (-1: off) and the
// warning's lead in seconds. Steps: a look at the clock at a time of day ("+": the day after),
// "j" the clock set by so many seconds, "p" the warning's ten minutes' delay. Then the one alarm
// is armed for `armed` ("": not at all), and `heard` is what came due, at which time of day.
struct Due
{
    QString start, target;
    int reminder, lead;
    QString steps, armed, heard;
};
} // namespace
Q_DECLARE_METATYPE(Due)

class TestTaskModel : public QObject
{
    Q_OBJECT

    FakeClock clock;
    FakePower power;
    FakeAlarm alarm;
    FakeProcesses processes;

    static void row(const char *name, const Due &due) { QTest::newRow(name) << due; }

private Q_SLOTS:
    void init() { power.requests.clear(); }

    void whatComesDueAndTheAlarmForIt_data()
    {
        QTest::addColumn<Due>("due");
        row("acts at its second, not before",
            {"14:29:58", "14:30", -1, 0, "14:29:59 14:30:00 14:30:01", "", "14:30:00 poweroff"});
        row("acts 59 s late",
            {"14:29:58", "14:30", -1, 0, "14:29:59 14:30:59", "", "14:30:59 poweroff"});
        row("a minute late: missed, tomorrow", {"14:29:58", "14:30", -1, 0, "14:29:59 14:31:00",
                                                "+14:30", "14:31:00 missed 14:30:00"});
        row("a day slept through: missed",
            {"14:00", "14:30", -1, 0, "14:00:01 +14:10:00", "+14:30", "14:10:00 missed 14:30:00"});
        row("across midnight",
            {"23:59:58", "00:00", -1, 0, "23:59:59 +00:00:00", "", "00:00:00 poweroff"});
        row("started within its second: tomorrow", {"14:30", "14:30", -1, 0, "", "+14:30", ""});
        row("a second after starting within it: nothing",
            {"14:30", "14:30", -1, 0, "14:30:01", "+14:30", ""});
        row("earlier than now: tomorrow's warning", {"15:00", "14:30", -1, 60, "", "+14:29", ""});
        row("within the warning: told at once, the target next",
            {"14:29:30", "14:30", -1, 60, "", "14:30", "14:29:30 warn 30"});
        row("warned once, then acts", {"14:00", "14:30", -1, 60, "14:29:00 14:29:30 14:30:00", "",
                                       "14:29:00 warn 60, 14:30:00 poweroff"});
        row("clock set back an hour: the same moment",
            {"14:00", "14:30", -1, 60, "j-3600", "14:29", ""});
        row("warned, then the clock set past the target: missed, tomorrow's warning",
            {"14:00", "14:30", -1, 60, "14:29:00 j3600", "+14:29",
             "14:29:00 warn 60, 15:29:00 missed 14:30:00"});
        row("postponed past midnight",
            {"23:54:30", "23:55", -1, 60, "p", "+00:04", "23:54:30 warn 30"});
        row("reminder: each second of its minute",
            {"14:00", "14:30", 5, 60, "14:24:59 14:25:00 14:25:10", "14:25:11",
             "14:25:00 remind, 14:25:10 remind"});
        row("reminder: its minute over, no power action",
            {"14:00", "14:30", 5, 60, "14:25:59 14:26:00 14:30:00", "+14:25", "14:25:59 remind"});
        row("reminder slept through: missed",
            {"14:00", "14:30", 5, 60, "14:26:00", "+14:25", "14:26:00 reminder missed 14:25:00"});
        row("reminder before midnight, target after",
            {"23:00", "00:03", 5, 60, "23:58:30", "23:58:31", "23:58:30 remind"});
        row("reminder without minutes: nothing",
            {"14:00", "14:30", 0, 60, "14:25:00 14:30:00", "", ""});
    }
    void whatComesDueAndTheAlarmForIt()
    {
        QFETCH(Due, due);
        const auto &[start, target, reminder, lead, steps, armed, heard] = due;
        FakeClock wall;
        TaskModel model(wall, alarm, processes, power);
        QStringList told;
        const auto hear = [&](const QString &what) {
            told << wall.now().toString("HH:mm:ss ") + what;
        };
        connect(&model, &TaskModel::warningDue, [&](int s) { hear("warn " + QString::number(s)); });
        connect(&model, &TaskModel::reminderDue, [&] { hear("remind"); });
        connect(&model, &TaskModel::missed, [&](QTime t, bool r) {
            hear((r ? "reminder missed " : "missed ") + t.toString());
        });
        connect(&power, &PowerControl::requestFinished, &model,
                [&](PowerAction a) { hear(PowerActions::keyword(a)); });
        model.setTask(PowerAction::PowerOff);
        model.setTasktime(QTime::fromString(target, Qt::ISODate));
        model.setReminder(reminder >= 0);
        model.setTipmins(std::max(reminder, 0));
        wall.set(QTime::fromString(start, Qt::ISODate));
        const QDate today = wall.now().date();
        model.start();
        model.setWarningLead(lead);
        for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
            if (step == "p")
                model.postpone(600);
            else if (step[0] == 'j')
                wall.jump(step.mid(1).toInt());
            else
                wall.set(dayAndTime(today, step));
            model.TaskTimer_Timer();
        }
        QCOMPARE(told.join(", "), heard);
        QCOMPARE(alarm.armedFor, armed.isEmpty() ? QDateTime() : dayAndTime(today, armed));
        QCOMPARE(model.isRunning(), !heard.contains("poweroff"));
    }

    // Spring forward: five on the wall clock is three hours on from one.
    void summerTimeMovesTheMomentWithTheClock()
    {
        qputenv("TZ", "Europe/Berlin"); // Windows keeps its own zone
        auto unset = qScopeGuard([] { qunsetenv("TZ"); });
        FakeClock wall;
        wall.set(QDateTime(QDate(2026, 3, 29), QTime(1, 0)));
        const QDateTime five(wall.now().date(), QTime(5, 0));
        if (wall.now().secsTo(five) != 3 * 3600)
            QSKIP("no summer time in this system's time zone");
        TaskModel model(wall, alarm, processes, power);
        model.setTasktime(QTime(5, 0));
        model.start();
        QCOMPARE(alarm.armedFor, five);
    }

    void afterAProcessEnds()
    {
        processes.running = {{42, {42, 7, "make"}}};
        TaskModel model(clock, alarm, processes, power);
        QSignalSpy warned(&model, &TaskModel::warningDue);
        model.setTask(PowerAction::Reboot);
        model.setAfterProcess(ProcessId{42, 7, {}});
        QCOMPARE(model.afterProcess()->name, "make");
        clock.set(QTime(9, 0));
        model.start();
        model.setWarningLead(60);
        QVERIFY(processes.watched && !alarm.armedFor.isValid() && !model.secondsLeft());
        processes.end(42);
        QCOMPARE(warned.size(), 1);
        QCOMPARE(alarm.armedFor, clock.now().addSecs(60));
        clock.set(QTime(9, 0, 30));
        model.postpone(600);
        QCOMPARE(model.secondsLeft(), 630);
        clock.jump(-3600); // the steady clock keeps the deadline
        model.TaskTimer_Timer();
        QCOMPARE(alarm.armedFor, clock.now().addSecs(570));
        QCOMPARE(warned.size(), 1);
        clock.set(clock.now().addSecs(570));
        model.TaskTimer_Timer();
        QCOMPARE(warned.size(), 2);
        clock.set(clock.now().addSecs(60));
        model.TaskTimer_Timer();
        QCOMPARE(power.requests, QList{PowerAction::Reboot});
        QVERIFY(!model.isRunning() && !model.afterProcess()); // a later start is by the clock

        // Gone before the start: warned at once; no warning asked for: acted on at once.
        model.setAfterProcess(ProcessId{43, 1, {}});
        model.start();
        model.setWarningLead(0);
        QTRY_COMPARE(power.requests.size(), 2);
    }

    void secondTimerArmsJustAfterEachSecond_data()
    {
        QTest::addColumn<QString>("steps"); // users a and b letting go (-) or wanting (+), ...
        QTest::addColumn<int>("msec");      // the clock's milliseconds during the steps
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("armedMs"); // 0: stopped
        QTest::newRow("fires on the boundary") << "fire" << 0 << 1 << 1002;
        QTest::newRow("fires late") << "fire" << 949 << 1 << 53;
        QTest::newRow("fires early: no tick, waits") << "fire" << 950 << 0 << 52;
        QTest::newRow("realign ticks at once, and arms afresh") << "realign" << 998 << 1 << 4;
        QTest::newRow("one user of two left") << "a- fire" << 500 << 1 << 502;
        QTest::newRow("nobody: stopped, realign idle") << "a- b- realign" << 500 << 0 << 0;
        QTest::newRow("wanted again") << "a- b- a+" << 250 << 0 << 752;
    }
    void secondTimerArmsJustAfterEachSecond()
    {
        QFETCH(QString, steps);
        QFETCH(int, msec);
        QFETCH(int, ticks);
        QFETCH(int, armedMs);
        FakeClock wall;
        SecondTimer timer(wall);
        TimerCatcher catcher;
        QCoreApplication::instance()->installEventFilter(&catcher);
        const QObject a, b;
        wall.set(QTime(12, 0, 0, 999));
        timer.want(&a, true);
        timer.want(&b, true);
        QTRY_VERIFY(catcher.timer); // armed for 3 ms; firing at 999 ms again is early
        QTimer &inner = *catcher.timer;
        QSignalSpy ticked(&timer, &SecondTimer::timeout);
        wall.set(QTime(12, 0, 1, msec));
        for (const QString &step : steps.split(' ')) {
            if (step == "fire") { // now, rather than when it was armed for
                QVERIFY(inner.isActive());
                QSignalSpy fired(&inner, &QTimer::timeout);
                inner.start(0);
                QVERIFY(fired.wait());
            } else if (step == "realign") {
                timer.realign();
            } else {
                timer.want(step[0] == 'a' ? &a : &b, step[1] == '+');
            }
        }
        QCOMPARE(ticked.size(), ticks);
        QCOMPARE(inner.isActive() ? inner.interval() : 0, armedMs);
        QCOMPARE(timer.isActive(), armedMs != 0);
    }

    void longTimeCarriesSecondsInEveryLocale()
    {
        for (const char *name : {"C", "zh_CN", "en_US", "de_DE", "ar_EG", "ko_KR"}) {
            const QLocale locale{QLatin1String(name)};
            const QString text = longTimeString(QTime(21, 7, 9), locale);
            QCOMPARE(locale.toTime(text, longTimeFormat(locale)), QTime(21, 7, 9));
            QVERIFY2(longTimeString(QTime(21, 7, 10), locale) != text, name);
        }
    }
};

QTEST_GUILESS_MAIN(TestTaskModel)
#include "tst_taskmodel.moc"
