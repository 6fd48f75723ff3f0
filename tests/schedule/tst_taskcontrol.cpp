// Choosing, starting and stopping a task on the real window, and what its ticks do.

#include "app/xpcontrols.h"
#include "schedule/secondtimer.h"
#include "windowfixture.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>

Q_DECLARE_METATYPE(QList<QTime>)

namespace {
void choose(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index); // as when the user picks the entry
}

void setReminder(XPCheckBox *box, bool on)
{
    if ((box->Value() == -1) != on)
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QCOMPARE(box->Value(), on ? -1 : 0);
}
} // namespace

class TestTaskControl : public QObject
{
    Q_OBJECT

    struct Controls
    {
        QPushButton *start, *stop, *taskField, *stateField, *clockField;
        QTimeEdit *picker;
        QComboBox *tasks, *minutes;
        XPCheckBox *reminder;
        SecondTimer *taskTimer, *clockTimer;
        QAction *menuStart, *menuStop;
    };

    static Controls controls(const WindowFixture &f)
    {
        return {f.child<QPushButton>("Commanda1"),  f.child<QPushButton>("Commanda2"),
                f.child<QPushButton>("Commandc2"),  f.child<QPushButton>("Commandc3"),
                f.child<QPushButton>("Commandc1"),  f.child<QTimeEdit>("DTPicker1"),
                f.child<QComboBox>("Comborenwu"),   f.child<QComboBox>("Combotishi"),
                f.child<XPCheckBox>("XPCheckBox2"), f.child<SecondTimer>("TaskTimer"),
                f.child<SecondTimer>("sysTimer"),   f.child<QAction>("RightmenuStart"),
                f.child<QAction>("Rightmenustop")};
    }

private Q_SLOTS:
    void loadFillsBothListsWithNothingSelected()
    {
        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        QCOMPARE(c.tasks->count(), 4);
        QCOMPARE(c.tasks->itemText(0), QStringLiteral("  "));
        QCOMPARE(c.tasks->itemText(3), QStringLiteral("注销"));
        QCOMPARE(c.minutes->count(), 9);
        QCOMPARE(c.minutes->itemText(5), QStringLiteral("10"));
        QCOMPARE(c.tasks->currentIndex(), -1);
        QCOMPARE(c.minutes->currentIndex(), -1);
        QCOMPARE(c.tasks->currentText(), QString());
        QCOMPARE(f.window->taskState().tipmins, QString());
        QVERIFY(!c.tasks->isEditable());
        QVERIFY(!c.minutes->isEditable());
    }

    void taskFieldShowsTheChosenTask_data()
    {
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QString>("caption");
        QTest::newRow("power off") << QStringList{QStringLiteral("关机")} << QStringLiteral("关机");
        QTest::newRow("restart") << QStringList{QStringLiteral("重启")} << QStringLiteral("重启");
        QTest::newRow("blank after a task")
            << QStringList{QStringLiteral("注销"), QStringLiteral("  ")}
            << QStringLiteral("未选择任何任务");
        QTest::newRow("nothing chosen") << QStringList{} << QStringLiteral("未选择任何任务");
    }
    void taskFieldShowsTheChosenTask()
    {
        QFETCH(QStringList, choices);
        QFETCH(QString, caption);
        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        for (const QString &choice : choices)
            choose(c.tasks, choice);
        QCOMPARE(c.taskField->text(), caption);
        QCOMPARE(c.taskField->accessibleName(), QString());
        QCOMPARE(c.taskField->accessibleDescription(), QStringLiteral("任务状态"));
    }

    void reminderMinutesFollowTheList()
    {
        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        setReminder(c.reminder, true);
        choose(c.minutes, QStringLiteral("10"));
        QCOMPARE(f.window->taskState().tipmins, QStringLiteral("10"));
        // Turning the reminder on again clears the choice.
        setReminder(c.reminder, false);
        QCOMPARE(f.window->taskState().tipmins, QStringLiteral("10"));
        setReminder(c.reminder, true);
        QCOMPARE(c.minutes->currentIndex(), -1);
        QCOMPARE(f.window->taskState().tipmins, QString());
    }

    void startAndStopSwitchEveryControl_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<bool>("reminder");
        QTest::newRow("buttons, reminder off") << false << false;
        QTest::newRow("buttons, reminder on") << false << true;
        QTest::newRow("tray menu, reminder off") << true << false;
        QTest::newRow("tray menu, reminder on") << true << true;
    }
    void startAndStopSwitchEveryControl()
    {
        QFETCH(bool, fromMenu);
        QFETCH(bool, reminder);
        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        setReminder(c.reminder, reminder);
        c.picker->setTime(QTime(22, 15, 30));

        if (fromMenu)
            c.menuStart->trigger();
        else
            QTest::mouseClick(c.start, Qt::LeftButton);
        QVERIFY(!c.start->isEnabled());
        QVERIFY(c.stop->isEnabled());
        QVERIFY(!c.picker->isEnabled());
        QVERIFY(!c.tasks->isEnabled());
        QCOMPARE(c.stateField->text(), QStringLiteral("启动"));
        QVERIFY(!c.minutes->isEnabled());
        QCOMPARE(QDateTime::fromString(f.window->taskState().tasktime, Qt::ISODate).time(),
                 QTime(22, 15, 30));
        QVERIFY(c.taskTimer->isEnabled());
        // The tray menu follows the task whichever way it was started.
        QVERIFY(!c.menuStart->isEnabled());
        QVERIFY(c.menuStop->isEnabled());
        QCOMPARE(c.taskField->text(), QStringLiteral("未选择任何任务"));

        if (fromMenu)
            c.menuStop->trigger();
        else
            QTest::mouseClick(c.stop, Qt::LeftButton);
        QVERIFY(c.start->isEnabled());
        QVERIFY(!c.stop->isEnabled());
        QVERIFY(c.picker->isEnabled());
        QVERIFY(c.tasks->isEnabled());
        QCOMPARE(c.stateField->text(), QStringLiteral("停止"));
        QCOMPARE(c.minutes->isEnabled(), reminder);
        QVERIFY(!c.taskTimer->isEnabled());
        QVERIFY(c.menuStart->isEnabled());
        QVERIFY(!c.menuStop->isEnabled());
        // A stop clears nothing.
        QCOMPARE(QDateTime::fromString(f.window->taskState().tasktime, Qt::ISODate).time(),
                 QTime(22, 15, 30));
    }

    void clockShowsTheTimeOnEveryTick()
    {
        WindowFixture f;
        f.create();
        const Controls c = controls(f);
        QVERIFY(c.clockTimer->isEnabled());
        QCOMPARE(c.clockTimer->interval(), 1000);
        QCOMPARE(c.clockField->text(), QString());
        f.clock.setTime(QTime(9, 8, 7));
        Q_EMIT c.clockTimer->timeout();
        QCOMPARE(c.clockField->text(), QStringLiteral("09:08:07"));
        f.window->Form_Load();
        QTest::mouseClick(c.start, Qt::LeftButton);
        f.clock.setTime(QTime(9, 8, 8));
        Q_EMIT c.clockTimer->timeout();
        QCOMPARE(c.clockField->text(), QStringLiteral("09:08:08"));
        QCOMPARE(c.clockField->accessibleName(), QString());
        QCOMPARE(c.clockField->accessibleDescription(), QStringLiteral("系统时间"));
    }

    // Each case: the task, the reminder, the target; the task starts at the first time in
    // `ticks` and the timer ticks at each later one.
    void tickDoesWhatTheTaskAsks_data()
    {
        QTest::addColumn<QString>("task");
        QTest::addColumn<bool>("reminder");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<bool>("soundSwitch");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<QList<QTime>>("ticks");
        QTest::addColumn<QList<int>>("requests");
        QTest::addColumn<int>("plays");
        QTest::addColumn<bool>("runningAfter");

        const QTime t(14, 30, 0);
        QTest::newRow("power off at the second")
            << QStringLiteral("关机") << false << QString() << true << t
            << QList<QTime>{QTime(14, 29, 58), QTime(14, 29, 59), QTime(14, 30, 0)} << QList<int>{8}
            << 0 << false;
        QTest::newRow("not a second early")
            << QStringLiteral("关机") << false << QString() << true << t
            << QList<QTime>{QTime(14, 29, 57), QTime(14, 29, 58), QTime(14, 29, 59)} << QList<int>{}
            << 0 << true;
        QTest::newRow("restart") << QStringLiteral("重启") << false << QString() << true << t
                                 << QList<QTime>{QTime(14, 29, 59), QTime(14, 30, 0)}
                                 << QList<int>{2} << 0 << false;
        QTest::newRow("log off") << QStringLiteral("注销") << false << QString() << true << t
                                 << QList<QTime>{QTime(14, 29, 59), QTime(14, 30, 0)}
                                 << QList<int>{0} << 0 << false;
        QTest::newRow("blank task requests nothing, stops")
            << QStringLiteral("  ") << false << QString() << true << t
            << QList<QTime>{QTime(14, 29, 59), QTime(14, 30, 0)} << QList<int>{} << 0 << false;
        QTest::newRow("no task chosen requests nothing, stops")
            << QString() << false << QString() << true << t
            << QList<QTime>{QTime(14, 29, 59), QTime(14, 30, 0)} << QList<int>{} << 0 << false;
        QTest::newRow("delayed tick still fires")
            << QStringLiteral("关机") << false << QString() << true << t
            << QList<QTime>{QTime(14, 29, 58), QTime(14, 29, 59), QTime(14, 30, 2)} << QList<int>{8}
            << 0 << false;
        QTest::newRow("slept through it waits for tomorrow")
            << QStringLiteral("关机") << false << QString() << true << t
            << QList<QTime>{QTime(14, 0, 0), QTime(14, 29, 59, 500), QTime(16, 0, 0),
                            QTime(16, 0, 1)}
            << QList<int>{} << 0 << true;
        QTest::newRow("started after the target fires next day")
            << QStringLiteral("关机") << false << QString() << true << t
            << QList<QTime>{QTime(14, 30, 0, 400), QTime(14, 30, 1),  QTime(23, 59, 59),
                            QTime(0, 0, 0),        QTime(14, 29, 59), QTime(14, 30, 0)}
            << QList<int>{8} << 0 << false;
        QTest::newRow("reminder plays through its minute")
            << QStringLiteral("关机") << true << QStringLiteral("5") << true << t
            << QList<QTime>{QTime(14, 24, 58), QTime(14, 24, 59), QTime(14, 25, 0),
                            QTime(14, 25, 30), QTime(14, 25, 59), QTime(14, 26, 0),
                            QTime(14, 30, 0)}
            << QList<int>{} << 3 << true;
        QTest::newRow("reminder with no minutes chosen is silent")
            << QStringLiteral("关机") << true << QString() << true << t
            << QList<QTime>{QTime(14, 29, 0), QTime(14, 29, 30), QTime(14, 30, 0)} << QList<int>{}
            << 0 << true;
        QTest::newRow("reminder plays with the sound switch off")
            << QStringLiteral("重启") << true << QStringLiteral("1") << false << t
            << QList<QTime>{QTime(14, 28, 59), QTime(14, 29, 0)} << QList<int>{} << 1 << true;
        QTest::newRow("reminder before midnight for a target after it")
            << QStringLiteral("关机") << true << QStringLiteral("5") << true << QTime(0, 3, 0)
            << QList<QTime>{QTime(23, 57, 59), QTime(23, 58, 0), QTime(23, 58, 1)} << QList<int>{}
            << 2 << true;
    }
    void tickDoesWhatTheTaskAsks()
    {
        QFETCH(QString, task);
        QFETCH(bool, reminder);
        QFETCH(QString, minutes);
        QFETCH(bool, soundSwitch);
        QFETCH(QTime, target);
        QFETCH(QList<QTime>, ticks);
        QFETCH(QList<int>, requests);
        QFETCH(int, plays);
        QFETCH(bool, runningAfter);

        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        auto *soundBox = f.child<XPCheckBox>("XPCheckBox1");
        if ((soundBox->Value() == -1) != soundSwitch)
            QTest::mouseClick(soundBox, Qt::LeftButton, {}, QPoint(6, soundBox->height() / 2));
        setReminder(c.reminder, reminder);
        if (!task.isNull())
            choose(c.tasks, task);
        if (!minutes.isEmpty())
            choose(c.minutes, minutes);
        c.picker->setTime(target);

        f.clock.setTime(ticks.takeFirst());
        QTest::mouseClick(c.start, Qt::LeftButton);
        for (const QTime tick : std::as_const(ticks)) {
            f.clock.setTime(tick);
            if (c.taskTimer->isEnabled())
                Q_EMIT c.taskTimer->timeout();
        }

        QList<int> flags;
        for (PowerAction action : std::as_const(f.power.requests))
            flags << int(flagWord(action));
        QCOMPARE(flags, requests);
        QCOMPARE(f.sound.plays.size(), plays);
        QCOMPARE(c.taskTimer->isEnabled(), runningAfter);
        QCOMPARE(c.stateField->text(),
                 runningAfter ? QStringLiteral("启动") : QStringLiteral("停止"));
        QCOMPARE(c.start->isEnabled(), !runningAfter);
        QCOMPARE(c.menuStop->isEnabled(), runningAfter);
    }

    void switchingTheReminderOffWhileRunningFiresTheAction()
    {
        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        setReminder(c.reminder, true);
        choose(c.tasks, QStringLiteral("关机"));
        choose(c.minutes, QStringLiteral("1"));
        c.picker->setTime(QTime(8, 0, 0));
        f.clock.setTime(QTime(7, 58, 59));
        QTest::mouseClick(c.start, Qt::LeftButton);
        f.clock.setTime(QTime(7, 59, 0));
        Q_EMIT c.taskTimer->timeout();
        QCOMPARE(f.sound.plays.size(), 1);
        QCOMPARE(f.window->taskState().leftmins, QStringLiteral("1"));
        setReminder(c.reminder, false);
        f.clock.setTime(QTime(7, 59, 59));
        Q_EMIT c.taskTimer->timeout();
        f.clock.setTime(QTime(8, 0, 0));
        Q_EMIT c.taskTimer->timeout();
        QCOMPARE(f.power.requests, QList<PowerAction>{PowerAction::PowerOff});
        QCOMPARE(f.sound.plays.size(), 1);
        QCOMPARE(f.window->taskState().leftmins, QStringLiteral("1")); // action branch leaves it
    }

    void aFailedRequestStillEndsTheTaskAndIsReported()
    {
        WindowFixture f;
        f.power.succeed = false;
        f.load();
        const Controls c = controls(f);
        choose(c.tasks, QStringLiteral("重启"));
        c.picker->setTime(QTime(6, 0, 0));
        f.clock.setTime(QTime(5, 59, 59));
        QTest::mouseClick(c.start, Qt::LeftButton);
        f.clock.setTime(QTime(6, 0, 0));
        Q_EMIT c.taskTimer->timeout();
        QCOMPARE(f.power.requests.size(), 1);
        QVERIFY(!c.taskTimer->isEnabled());
        QCOMPARE(f.tray.messages.size(), 1);
        QCOMPARE(f.tray.messages.at(0).icon, QSystemTrayIcon::Warning);
        QVERIFY(f.tray.messages.at(0).text.contains(QStringLiteral("重启")));
        QVERIFY(f.tray.messages.at(0).text.contains(QStringLiteral("refused")));
    }

    void exitEndsARunningTaskWithoutAnyRequest()
    {
        WindowFixture f;
        f.load();
        const Controls c = controls(f);
        QSignalSpy unloaded(f.window.get(), &Mian::unloaded);
        choose(c.tasks, QStringLiteral("关机"));
        c.picker->setTime(QTime(12, 0, 1));
        f.clock.setTime(QTime(12, 0, 0));
        QTest::mouseClick(c.start, Qt::LeftButton);
        QTest::mouseClick(f.child<QPushButton>("Commanda3"), Qt::LeftButton);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!c.taskTimer->isEnabled());
        QVERIFY(!c.clockTimer->isEnabled());
        QVERIFY(f.power.requests.isEmpty());
        QVERIFY(!f.tray.shown);
    }
};

QTEST_MAIN(TestTaskControl)
#include "tst_taskcontrol.moc"
