#pragma once

#include "power/poweraction.h"
#include "schedule/processwatch.h"

#include <QDateTime>
#include <QObject>

#include <optional>

class Alarm;
class Clock;
class PowerControl;

// What a task is, apart from any window: the choices (the power action, its time of day or a
// process to wait for, the reminder and its minutes), Idle or Running, and what comes due while
// Running: the reminder's plays, the warning, the power request. The window, the tray menu and
// the command line all go through it, so each rule lives here once.
//
// While Running it wakes only when something is due: one alarm on the wall clock, armed for the
// next event (the warning, the target second, each second of the reminder's minute). Each
// look at the clock judges what passed since the look before, as a tick every second would.
class TaskModel : public QObject
{
    Q_OBJECT

public:
    TaskModel(const Clock &clock, Alarm &alarm, ProcessWatch &processes, PowerControl &power);
    ~TaskModel() override;

    // nullopt: no task chosen (the blank entry, or nothing yet).
    std::optional<PowerAction> task() const { return m_task; }
    // The target time of day.
    QTime tasktime() const { return m_tasktime; }
    bool reminder() const { return m_reminder; }
    // The reminder's minutes; 0 while none are chosen.
    int tipmins() const { return m_tipmins; }
    bool isRunning() const { return m_running; }
    // The process the task waits for instead of a time of day, and whether it has ended.
    const std::optional<ProcessId> &afterProcess() const { return m_after; }
    bool processEnded() const { return m_ended; }

    // The task and its time are fixed while Running: these do nothing then.
    void setTask(std::optional<PowerAction> task);
    void setTasktime(QTime time);
    // The time of day so many seconds from now.
    void setTasktimeIn(int seconds);
    // Turning the reminder on leaves no minutes chosen. A change while Running takes effect
    // at once. The reminder does not apply to a task that waits for a process.
    void setReminder(bool on);
    void setTipmins(int minutes);
    // While Idle: wait for this process to end, then act once the warning's lead has passed
    // (nullopt: the time of day again). A stop forgets it.
    void setAfterProcess(std::optional<ProcessId> process);
    // Seconds of warning before the power action; 0 for none.
    void setWarningLead(int seconds);

    void start();
    void stop();
    // Moves a pending power action so many seconds later; the warning comes again before it.
    void postpone(int seconds);

    // Seconds until the power action is asked for, worked out now: while Running with a task
    // chosen and the reminder off (or once the awaited process has ended), else nullopt. 0
    // within the target second.
    std::optional<int> secondsLeft() const;

    // Looks at what came due since the last look, then arms the alarm for what is due next.
    // The alarm's ring, a set clock and waking from sleep all call it.
    void TaskTimer_Timer();

Q_SIGNALS:
    void taskChanged();
    void tasktimeChanged(QTime time);
    void reminderChanged(bool on);
    void tipminsChanged(int minutes);
    void runningChanged(bool running);
    void afterProcessChanged();
    // Play the reminder sound now.
    void reminderDue();
    // The power action follows in so many seconds.
    void warningDue(int seconds);
    // The pending power action was moved later.
    void postponed();
    // The target was reached with the reminder off; the power request (if a task was chosen)
    // has gone out and the task is Idle again.
    void fired();
    void requestFailed(PowerAction action, const QString &reason);
    // The target (or the reminder's minute) passed unseen, as while the machine slept; the task
    // waits for the same time tomorrow.
    void missed(QTime when, bool reminder);

private:
    void onPowerFinished(PowerAction action, bool ok, const QString &reason);
    void onProcessEnded();
    void fire();
    // Emits the warning if it is due now, and arms the alarm for the next event.
    void reschedule();
    bool waitsForProcess() const { return m_after.has_value(); }
    // The start of the minute in which the reminder plays.
    QTime reminderMinute() const;
    // The moment of the power action, while one is pending.
    std::optional<QDateTime> actionAt(const QDateTime &now) const;

    const Clock &m_clock;
    Alarm &m_alarm;
    ProcessWatch &m_processes;
    PowerControl &m_power;
    std::optional<PowerAction> m_task;
    QTime m_tasktime{0, 0, 0};
    bool m_reminder = false;
    int m_tipmins = 0;
    bool m_running = false;
    int m_lead = 0;
    bool m_warned = false;
    QDateTime m_lastTick;
    std::optional<ProcessId> m_after;
    bool m_ended = false;
    qint64 m_deadline = 0; // once the process has ended, on the steady clock
};
