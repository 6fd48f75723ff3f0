#pragma once

#include "power/poweraction.h"

#include <QDateTime>
#include <QObject>

#include <optional>

class Clock;
class PowerControl;
class SecondTimer;

// What a task is, apart from any window: the choices (the power action, its time of day, the
// reminder and its minutes), Idle or Running, and the evaluation on every second while Running
// that plays the reminder or asks for the power action. The window, the tray menu and the
// command line all go through it, so each rule lives here once.
class TaskModel : public QObject
{
    Q_OBJECT

public:
    TaskModel(const Clock &clock, SecondTimer &seconds, PowerControl &power);
    ~TaskModel() override;

    // nullopt: no task chosen (the blank entry, or nothing yet).
    std::optional<PowerAction> task() const { return m_task; }
    // The target time of day.
    QTime tasktime() const { return m_tasktime; }
    bool reminder() const { return m_reminder; }
    // The reminder's minutes; 0 while none are chosen.
    int tipmins() const { return m_tipmins; }
    bool isRunning() const { return m_running; }

    // The task and its time are fixed while Running: these do nothing then.
    void setTask(std::optional<PowerAction> task);
    void setTasktime(QTime time);
    // Turning the reminder on leaves no minutes chosen. A change while Running takes effect
    // from the next tick.
    void setReminder(bool on);
    void setTipmins(int minutes);

    void start();
    void stop();

    // Seconds until the power action is asked for: while Running with the reminder off and a
    // task chosen, otherwise nullopt. 0 within the target second.
    std::optional<int> secondsLeft() const;

    // One evaluation of the running task, on every tick of the shared second timer.
    void TaskTimer_Timer();

Q_SIGNALS:
    void taskChanged();
    void tasktimeChanged(QTime time);
    void reminderChanged(bool on);
    void tipminsChanged(int minutes);
    void runningChanged(bool running);
    // Play the reminder sound now.
    void reminderDue();
    // The target second was reached with the reminder off; the power request (if a task was
    // chosen) has gone out and the task is Idle again.
    void fired();
    void requestFailed(PowerAction action, const QString &reason);
    // Every tick while a power action is pending.
    void secondsLeftChanged(int seconds);
    // The target (or the reminder's minute) passed unseen, as while the machine slept; the task
    // waits for the same time tomorrow.
    void missed(QTime when, bool reminder);

private:
    void onPowerFinished(PowerAction action, bool ok, const QString &reason);
    std::optional<int> secondsLeftAt(QTime now) const;

    const Clock &m_clock;
    SecondTimer &m_seconds;
    PowerControl &m_power;
    std::optional<PowerAction> m_task;
    QTime m_tasktime{0, 0, 0};
    bool m_reminder = false;
    int m_tipmins = 0;
    bool m_running = false;
    QDateTime m_lastTick;
};
