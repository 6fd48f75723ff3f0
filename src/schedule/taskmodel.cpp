#include "taskmodel.h"

#include "clock.h"
#include "power/powercontrol.h"
#include "secondtimer.h"
#include "taskrules.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTask, "quorvel.task")

TaskModel::TaskModel(const Clock &clock, SecondTimer &seconds, PowerControl &power)
    : m_clock(clock), m_seconds(seconds), m_power(power)
{
    connect(&m_seconds, &SecondTimer::timeout, this, &TaskModel::TaskTimer_Timer);
    connect(&m_power, &PowerControl::requestFinished, this, &TaskModel::onPowerFinished);
}

TaskModel::~TaskModel()
{
    m_seconds.want(this, false);
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

void TaskModel::setReminder(bool on)
{
    if (on == m_reminder)
        return;
    m_reminder = on;
    if (on)
        setTipmins(0);
    Q_EMIT reminderChanged(on);
}

void TaskModel::setTipmins(int minutes)
{
    if (minutes == m_tipmins)
        return;
    m_tipmins = minutes;
    Q_EMIT tipminsChanged(minutes);
}

void TaskModel::start()
{
    if (m_running)
        return;
    m_running = true;
    m_lastTick = m_clock.now();
    m_seconds.want(this, true);
    Q_EMIT runningChanged(true);
}

void TaskModel::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_seconds.want(this, false);
    Q_EMIT runningChanged(false);
}

std::optional<int> TaskModel::secondsLeft() const
{
    return secondsLeftAt(m_clock.now().time());
}

std::optional<int> TaskModel::secondsLeftAt(QTime now) const
{
    if (!m_running || m_reminder || !m_task)
        return std::nullopt;
    return TaskRules::secondsUntil(now, m_tasktime);
}

void TaskModel::TaskTimer_Timer()
{
    if (!m_running)
        return;
    const QDateTime now = m_clock.now();
    const QDateTime previous = std::exchange(m_lastTick, now);

    if (m_reminder) {
        if (m_tipmins == 0)
            return;
        if (TaskRules::minutesUntil(now.time(), m_tasktime) == m_tipmins) {
            Q_EMIT reminderDue();
            return;
        }
        const QTime before = m_tasktime.addSecs(-60 * m_tipmins);
        const QTime minute(before.hour(), before.minute());
        if (TaskRules::secondsSincePassed(previous, now, minute).value_or(0) >= 60)
            Q_EMIT missed(minute, true);
        return;
    }
    const std::optional<int> since = TaskRules::secondsSincePassed(previous, now, m_tasktime);
    if (!since || *since >= TaskRules::firingWindowSeconds) {
        if (since)
            Q_EMIT missed(m_tasktime, false);
        if (const std::optional<int> left = secondsLeftAt(now.time()))
            Q_EMIT secondsLeftChanged(*left);
        return;
    }
    if (m_task)
        m_power.request(*m_task);
    else
        qCInfo(lcTask) << "target time reached with no task chosen; nothing requested";
    stop();
    Q_EMIT fired();
}

void TaskModel::onPowerFinished(PowerAction action, bool ok, const QString &reason)
{
    if (ok) {
        qCInfo(lcTask) << "requested" << PowerActions::logName(action);
        return;
    }
    qCWarning(lcTask).noquote() << "could not" << PowerActions::logName(action) << "-" << reason;
    Q_EMIT requestFailed(action, reason);
}
