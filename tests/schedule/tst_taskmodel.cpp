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
} // namespace

class TestTaskModel : public QObject
{
    Q_OBJECT

    FakeClock clock;
    FakePower power;
    FakeAlarm alarm;
    FakeProcesses processes;

    // Running since `start`, with the reminder off.
    std::unique_ptr<TaskModel> running(QTime start, QTime target,
                                       std::optional<PowerAction> task = PowerAction::PowerOff)
    {
        auto model = std::make_unique<TaskModel>(clock, alarm, processes, power);
        model->setTask(task);
        model->setTasktime(target);
        clock.set(start);
        model->start();
        return model;
    }

    void tickAt(TaskModel &model, QTime time, int daysLater = 0)
    {
        for (int i = 0; i < daysLater; ++i)
            clock.nextDay();
        clock.set(time);
        model.TaskTimer_Timer();
    }

private Q_SLOTS:
    void init() { power.requests.clear(); }

    void actionFiresOnceItsSecondIsReached_data()
    {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<QList<QTime>>("ticks"); // a tick earlier than the one before is a day on
        QTest::addColumn<int>("firesAt");        // index into ticks, or -1

        const QTime t(14, 30, 0);
        QTest::newRow("at its second")
            << t.addSecs(-2) << t << QList{t.addSecs(-1), t, t.addSecs(1)} << 1;
        QTest::newRow("late tick") << t.addSecs(-2) << t << QList{t.addSecs(-1), t.addSecs(1)} << 1;
        QTest::newRow("59 s late")
            << t.addSecs(-2) << t << QList{t.addSecs(-1), t.addSecs(59)} << 1;
        QTest::newRow("a minute late waits a day")
            << t.addSecs(-2) << t << QList{t.addSecs(-1), t.addSecs(60), t} << 2;
        QTest::newRow("across midnight")
            << QTime(23, 59, 58) << QTime(0, 0) << QList{QTime(23, 59, 59), QTime(0, 0)} << 1;
        QTest::newRow("earlier than the start: next day")
            << t.addSecs(1800) << t << QList{t.addSecs(1801), t.addSecs(-1), t} << 2;
        QTest::newRow("started within its second: next day")
            << t << t << QList{t.addSecs(1), t.addSecs(-1), t} << 2;
    }
    void actionFiresOnceItsSecondIsReached()
    {
        QFETCH(QTime, start);
        QFETCH(QTime, target);
        QFETCH(QList<QTime>, ticks);
        QFETCH(int, firesAt);
        auto model = running(start, target);
        QSignalSpy fired(model.get(), &TaskModel::fired);
        QTime previous = start;
        for (int i = 0; i < ticks.size(); ++i) {
            tickAt(*model, ticks[i], ticks[i] < previous ? 1 : 0);
            previous = ticks[i];
            const bool due = firesAt >= 0 && i >= firesAt;
            QCOMPARE(fired.size(), due ? 1 : 0);
            QCOMPARE(power.requests, due ? QList{PowerAction::PowerOff} : QList<PowerAction>{});
            QCOMPARE(model->isRunning(), !due);
        }
    }

    void whatPassedUnseenIsTold_data()
    {
        QTest::addColumn<int>("reminder"); // minutes, 0 for the power action
        QTest::addColumn<QTime>("wake");
        QTest::addColumn<int>("daysLater");
        QTest::addColumn<QTime>("missed"); // invalid: nothing missed

        QTest::newRow("action slept through") << 0 << QTime(14, 40) << 0 << QTime(14, 30);
        QTest::newRow("a day slept through") << 0 << QTime(14, 10) << 1 << QTime(14, 30);
        QTest::newRow("woke within the minute") << 0 << QTime(14, 30, 59) << 0 << QTime();
        QTest::newRow("woke before") << 0 << QTime(14, 29) << 0 << QTime();
        QTest::newRow("clock set back") << 0 << QTime(13, 59, 56) << 0 << QTime();
        QTest::newRow("reminder slept through") << 5 << QTime(14, 26) << 0 << QTime(14, 25);
        QTest::newRow("woke in the reminder's minute") << 5 << QTime(14, 25, 30) << 0 << QTime();
    }
    void whatPassedUnseenIsTold()
    {
        QFETCH(int, reminder);
        QFETCH(QTime, wake);
        QFETCH(int, daysLater);
        QFETCH(QTime, missed);
        auto model = running(QTime(14, 0), QTime(14, 30));
        model->setReminder(reminder != 0);
        model->setTipmins(reminder);
        QSignalSpy told(model.get(), &TaskModel::missed);
        tickAt(*model, QTime(14, 0, 1));
        tickAt(*model, wake, daysLater);
        QCOMPARE(told.size(), missed.isValid() ? 1 : 0);
        if (missed.isValid()) {
            QCOMPARE(told[0][0].toTime(), missed);
            QCOMPARE(told[0][1].toBool(), reminder != 0);
            QVERIFY(model->isRunning());
            QVERIFY(power.requests.isEmpty());
        }
    }

    void reminderPlaysThroughItsMinute_data()
    {
        QTest::addColumn<QTime>("target");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QTime>("tick");
        QTest::addColumn<bool>("plays");

        const QTime t(14, 30, 0);
        QTest::newRow("minute begins") << t << 5 << QTime(14, 25, 0) << true;
        QTest::newRow("minute ends") << t << 5 << QTime(14, 25, 59) << true;
        QTest::newRow("second before") << t << 5 << QTime(14, 24, 59) << false;
        QTest::newRow("minute after") << t << 5 << QTime(14, 26, 0) << false;
        QTest::newRow("at the target") << t << 5 << t << false;
        QTest::newRow("before midnight, target after")
            << QTime(0, 3) << 5 << QTime(23, 58, 30) << true;
        QTest::newRow("no minutes chosen") << t << 0 << QTime(14, 30, 0) << false;
    }
    void reminderPlaysThroughItsMinute()
    {
        QFETCH(QTime, target);
        QFETCH(int, minutes);
        QFETCH(QTime, tick);
        QFETCH(bool, plays);
        auto model = running(QTime(12, 0), target);
        model->setReminder(true);
        model->setTipmins(minutes);
        QSignalSpy due(model.get(), &TaskModel::reminderDue);
        tickAt(*model, tick);
        QCOMPARE(due.size(), plays ? 1 : 0);
        QVERIFY(model->isRunning());
        QVERIFY(power.requests.isEmpty());
    }

    // The one alarm is armed for what comes next, on the wall clock. Steps: "t" a look at the
    // given time, "j" the clock set by so many seconds, "p" the warning's ten minutes' delay.
    void theAlarmIsArmedForWhatComesNext_data()
    {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<int>("reminder"); // minutes, -1: off
        QTest::addColumn<int>("lead");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QDateTime>("armed"); // invalid: not at all
        QTest::addColumn<QString>("told");    // warnings' seconds and misses, in order

        const QDate today(2026, 12, 6), tomorrow = today.addDays(1);
        const QTime t(14, 30), warning(14, 29);
        QTest::newRow("the warning first")
            << QTime(14, 0) << t << -1 << 60 << "" << QDateTime(today, warning) << "";
        QTest::newRow("within the warning: told at once, the target next")
            << QTime(14, 29, 30) << t << -1 << 60 << "" << QDateTime(today, t) << "30";
        QTest::newRow("at the warning")
            << QTime(14, 0) << t << -1 << 60 << "t14:29:00" << QDateTime(today, t) << "60";
        QTest::newRow("no warning")
            << QTime(14, 0) << t << -1 << 0 << "" << QDateTime(today, t) << "";
        QTest::newRow("earlier than now: tomorrow")
            << QTime(15, 0) << t << -1 << 60 << "" << QDateTime(tomorrow, warning) << "";
        QTest::newRow("clock set back an hour: the same moment")
            << QTime(14, 0) << t << -1 << 60 << "j-3600" << QDateTime(today, warning) << "";
        QTest::newRow("clock set past the target: tomorrow")
            << QTime(14, 0) << t << -1 << 60 << "j3600" << QDateTime(tomorrow, warning) << "missed";
        QTest::newRow("postponed past midnight") << QTime(23, 54, 30) << QTime(23, 55) << -1 << 60
                                                 << "p" << QDateTime(tomorrow, QTime(0, 4)) << "30";
        QTest::newRow("reminder: its minute")
            << QTime(14, 0) << t << 5 << 60 << "" << QDateTime(today, QTime(14, 25)) << "";
        QTest::newRow("reminder: each second of its minute")
            << QTime(14, 0) << t << 5 << 60 << "t14:25:10" << QDateTime(today, QTime(14, 25, 11))
            << "";
        QTest::newRow("reminder: its minute over")
            << QTime(14, 0) << t << 5 << 60 << "t14:25:59 t14:26:00"
            << QDateTime(tomorrow, QTime(14, 25)) << "";
        QTest::newRow("reminder without minutes")
            << QTime(14, 0) << t << 0 << 60 << "" << QDateTime() << "";
    }
    void theAlarmIsArmedForWhatComesNext()
    {
        QFETCH(QTime, start);
        QFETCH(QTime, target);
        QFETCH(int, reminder);
        QFETCH(int, lead);
        QFETCH(QString, steps);
        QFETCH(QDateTime, armed);
        QFETCH(QString, told);
        FakeClock wall;
        TaskModel model(wall, alarm, processes, power);
        QStringList heard;
        connect(&model, &TaskModel::warningDue, this, [&](int s) { heard << QString::number(s); });
        connect(&model, &TaskModel::missed, this, [&] { heard << "missed"; });
        model.setTask(PowerAction::PowerOff);
        model.setTasktime(target);
        model.setReminder(reminder >= 0);
        model.setTipmins(std::max(reminder, 0));
        wall.set(start);
        model.start();
        model.setWarningLead(lead);
        for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
            if (step[0] == 't')
                wall.set(QTime::fromString(step.mid(1), "HH:mm:ss"));
            else if (step[0] == 'j')
                wall.jump(step.mid(1).toInt());
            else
                model.postpone(600);
            model.TaskTimer_Timer();
        }
        QCOMPARE(alarm.armedFor, armed);
        QCOMPARE(heard.join(' '), told);
        QVERIFY(model.isRunning());
    }

    // Spring forward: five on the wall clock is three hours on from one.
    void summerTimeMovesTheMomentWithTheClock()
    {
        qputenv("TZ", "Europe/Berlin"); // Windows keeps its own zone
        auto unset = qScopeGuard([] { qunsetenv("TZ"); });
        const QDate change(2026, 3, 29);
        if (QDateTime(change, QTime(1, 0)).secsTo(QDateTime(change, QTime(5, 0))) != 3 * 3600)
            QSKIP("no summer time in this system's time zone");
        FakeClock wall;
        wall.set(QTime(1, 0));
        wall.jump(QDateTime(QDate(2026, 12, 6), QTime(1, 0))
                      .secsTo(QDateTime(QDate(2026, 3, 29), QTime(1, 0))));
        TaskModel model(wall, alarm, processes, power);
        model.setTasktime(QTime(5, 0));
        model.start();
        QCOMPARE(alarm.armedFor.time(), QTime(5, 0));
        QCOMPARE(wall.now().secsTo(alarm.armedFor), 3 * 3600);
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
        clock.set(clock.now().time().addSecs(570));
        model.TaskTimer_Timer();
        QCOMPARE(warned.size(), 2);
        clock.set(clock.now().time().addSecs(60));
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
        QTest::newRow("fires 1 ms early") << "fire" << 999 << 0 << 3;
        QTest::newRow("realign ticks at once") << "realign" << 999 << 1 << 3;
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

    void longTimeCarriesSecondsInEveryLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        for (const char *name : {"C", "zh_CN", "en_US", "de_DE", "ar_EG", "ko_KR"})
            QTest::newRow(name) << QLocale(QLatin1String(name));
    }
    void longTimeCarriesSecondsInEveryLocale()
    {
        QFETCH(QLocale, locale);
        const QTime time(21, 7, 9);
        const QString text = longTimeString(time, locale);
        QCOMPARE(locale.toTime(text, longTimeFormat(locale)), time);
        QVERIFY(longTimeString(time.addSecs(1), locale) != text);
    }
};

QTEST_GUILESS_MAIN(TestTaskModel)
#include "tst_taskmodel.moc"
