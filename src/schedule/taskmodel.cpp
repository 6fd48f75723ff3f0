#include "taskmodel.h"

#include "alarm.h"
#include "clock.h"
#include "power/powercontrol.h"
#include "taskrules.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTask, "quorvel.task")

namespace {

QDateTime wholeSecond(const QDateTime &t)
{
    return t.addMSecs(-t.time().msec());
}

// The next moment, after now's second, at which the wall clock shows `time`; a summer-time
// change in between moves it with the clock.
QDateTime nextAt(const QDateTime &now, QTime time)
{
    const QDateTime today(now.date(), time);
    if (today.isValid() && today > wholeSecond(now))
        return today;
    return QDateTime(now.date().addDays(1), time);
}

} // namespace

TaskModel::TaskModel(const Clock &clock, Alarm &alarm, ProcessWatch &processes, PowerControl &power)
    : m_clock(clock), m_alarm(alarm), m_processes(processes), m_power(power)
{
    connect(&m_alarm, &Alarm::rang, this, &TaskModel::TaskTimer_Timer);
    connect(&m_alarm, &Alarm::clockChanged, this, &TaskModel::TaskTimer_Timer);
    connect(&m_processes, &ProcessWatch::ended, this, &TaskModel::onProcessEnded);
    connect(&m_power, &PowerControl::requestFinished, this, &TaskModel::onPowerFinished);
}

TaskModel::~TaskModel()
{
    m_alarm.disarm();
    m_processes.cancel();
}

void TaskModel::setTask(std::optional<PowerAction> task)
{
    if (m_running || task == m_task)
        return;
    m_task = task;
    Q_EMIT taskChanged();
}

void TaskModel::setTasktime(QTime time)
{
    time.setHMS(time.hour(), time.minute(), time.second());
    if (m_running || time == m_tasktime)
        return;
    m_tasktime = time;
    Q_EMIT tasktimeChanged(time);
}

void TaskModel::setTasktimeIn(int seconds)
{
    setTasktime(m_clock.now().addSecs(seconds).time());
}

void TaskModel::setReminder(bool on)
{
    if (on == m_reminder)
        return;
    m_reminder = on;
    if (on)
        setTipmins(0);
    m_warned = false;
    Q_EMIT reminderChanged(on);
    reschedule();
}

void TaskModel::setTipmins(int minutes)
{
    if (minutes == m_tipmins)
        return;
    m_tipmins = minutes;
    Q_EMIT tipminsChanged(minutes);
    reschedule();
}

void TaskModel::setAfterProcess(std::optional<ProcessId> process)
{
    if (m_running || process == m_after)
        return;
    if (process && process->name.isEmpty())
        if (const std::optional<ProcessId> now = m_processes.find(process->pid);
            now && now->started == process->started)
            process->name = now->name;
    m_after = std::move(process);
    Q_EMIT afterProcessChanged();
}

void TaskModel::setWarningLead(int seconds)
{
    m_lead = std::max(0, seconds);
    reschedule();
}

void TaskModel::start()
{
    if (m_running)
        return;
    m_running = true;
    m_warned = false;
    m_ended = false;
    m_lastTick = m_clock.now();
    Q_EMIT runningChanged(true);
    if (waitsForProcess())
        m_processes.watch(*m_after);
    reschedule();
}

void TaskModel::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_alarm.disarm();
    m_processes.cancel();
    m_warned = false;
    m_ended = false;
    // Waiting for a process is a one-off: a later start waits for the time of day again.
    const bool forget = std::exchange(m_after, std::nullopt).has_value();
    Q_EMIT runningChanged(false);
    if (forget)
        Q_EMIT afterProcessChanged();
}

void TaskModel::postpone(int seconds)
{
    if (!secondsLeft())
        return;
    if (waitsForProcess()) {
        m_deadline += seconds * qint64(1000);
    } else {
        m_tasktime = m_tasktime.addSecs(seconds);
        Q_EMIT tasktimeChanged(m_tasktime);
    }
    m_warned = false;
    Q_EMIT postponed();
    reschedule();
}

std::optional<int> TaskModel::secondsLeft() const
{
    if (!m_running || !m_task)
        return std::nullopt;
    if (waitsForProcess()) {
        if (!m_ended)
            return std::nullopt;
        return int((std::max<qint64>(0, m_deadline - m_clock.steadyMs()) + 999) / 1000);
    }
    if (m_reminder)
        return std::nullopt;
    return TaskRules::secondsUntil(m_clock.now().time(), m_tasktime);
}

QTime TaskModel::reminderMinute() const
{
    const QTime before = m_tasktime.addSecs(-60 * m_tipmins);
    return QTime(before.hour(), before.minute());
}

std::optional<QDateTime> TaskModel::actionAt(const QDateTime &now) const
{
    if (waitsForProcess()) {
        if (!m_ended)
            return std::nullopt;
        return now.addMSecs(m_deadline - m_clock.steadyMs());
    }
    if (m_reminder)
        return std::nullopt;
    return nextAt(now, m_tasktime);
}

void TaskModel::reschedule()
{
    if (!m_running)
        return;
    const QDateTime now = m_clock.now();
    if (m_reminder && !waitsForProcess()) {
        if (m_tipmins == 0) {
            m_alarm.disarm();
        } else if (TaskRules::minutesUntil(now.time(), m_tasktime) == m_tipmins) {
            m_alarm.arm(wholeSecond(now).addSecs(1)); // every second of the reminder's minute
        } else {
            m_alarm.arm(nextAt(now, reminderMinute()));
        }
        return;
    }
    const std::optional<QDateTime> action = actionAt(now);
    if (!action) {
        m_alarm.disarm(); // the process watch tells when it ends
        return;
    }
    const std::optional<int> left = secondsLeft();
    if (left && *left > 0 && *left <= m_lead && !m_warned) {
        m_warned = true;
        Q_EMIT warningDue(*left);
    }
    const bool warningAhead = left && m_lead > 0 && !m_warned;
    m_alarm.arm(warningAhead ? action->addSecs(-m_lead) : *action);
}

void TaskModel::TaskTimer_Timer()
{
    if (!m_running)
        return;
    const QDateTime now = m_clock.now();
    const QDateTime previous = std::exchange(m_lastTick, now);

    if (waitsForProcess()) {
        // A millisecond early is on time: the alarm keeps the wall clock, the deadline the steady
        // one.
        if (m_ended && m_clock.steadyMs() >= m_deadline - 1)
            fire();
        else
            reschedule();
        return;
    }
    if (m_reminder) {
        const bool chosen = m_tipmins != 0;
        if (chosen && TaskRules::minutesUntil(now.time(), m_tasktime) == m_tipmins)
            Q_EMIT reminderDue();
        else if (chosen &&
                 TaskRules::secondsSincePassed(previous, now, reminderMinute()).value_or(0) >= 60)
            Q_EMIT missed(reminderMinute(), true);
        reschedule();
        return;
    }
    const std::optional<int> since = TaskRules::secondsSincePassed(previous, now, m_tasktime);
    if (since && *since < TaskRules::firingWindowSeconds) {
        fire();
        return;
    }
    if (since) {
        m_warned = false;
        Q_EMIT missed(m_tasktime, false);
    }
    reschedule();
}

void TaskModel::fire()
{
    if (m_task)
        m_power.request(*m_task);
    else
        qCInfo(lcTask) << "target reached with no task chosen; nothing requested";
    stop();
    Q_EMIT fired();
}

void TaskModel::onProcessEnded()
{
    if (!m_running || !waitsForProcess() || m_ended)
        return;
    m_ended = true;
    m_deadline = m_clock.steadyMs() + m_lead * qint64(1000);
    qCInfo(lcTask) << "process" << m_after->pid << "ended";
    Q_EMIT afterProcessChanged();
    TaskTimer_Timer();
}

void TaskModel::onPowerFinished(PowerAction action, bool ok, const QString &reason)
{
    if (ok) {
        qCInfo(lcTask).noquote() << "requested" << PowerActions::logName(action);
        return;
    }
    qCWarning(lcTask).noquote() << "could not" << PowerActions::logName(action) << "-" << reason;
    Q_EMIT requestFailed(action, reason);
}
