#include "secondtimer.h"

#include "clock.h"

namespace {
// Lands the tick safely inside the new second even if the timer fires a little early.
constexpr int boundaryMarginMs = 2;
// A wake-up this close before a boundary counts as early: wait for the boundary instead.
constexpr int earlyWakeThresholdMs = 950;
} // namespace

SecondTimer::SecondTimer(const Clock &clock) : m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SecondTimer::fire);
}

void SecondTimer::want(const QObject *user, bool wanted)
{
    const bool wasActive = isActive();
    if (wanted)
        m_users.insert(user);
    else
        m_users.remove(user);
    if (isActive() && !wasActive)
        arm();
    else if (!isActive())
        m_timer.stop();
}

void SecondTimer::realign()
{
    if (!isActive())
        return;
    arm();
    Q_EMIT timeout();
}

void SecondTimer::arm()
{
    m_timer.start(1000 - m_clock.now().time().msec() + boundaryMarginMs);
}

void SecondTimer::fire()
{
    const bool early = m_clock.now().time().msec() >= earlyWakeThresholdMs;
    arm();
    if (!early)
        Q_EMIT timeout();
}
