#pragma once

#include <QObject>
#include <QSet>
#include <QTimer>

class Clock;

// The one second-aligned source of the program: ticks fall just after each wall-clock second
// begins, for as long as anyone wants them, and not at all otherwise. Every tick re-arms for
// the next boundary as read from the clock, so a jump of the wall clock is followed at the
// next tick.
class SecondTimer : public QObject
{
    Q_OBJECT

public:
    explicit SecondTimer(const Clock &clock);

    // Each user says for itself whether it wants ticks; they run while at least one does.
    void want(const QObject *user, bool wanted);
    bool isActive() const { return !m_users.isEmpty(); }

    // Ticks at once and arms afresh for the next boundary, as after the machine woke up.
    void realign();

Q_SIGNALS:
    void timeout();

private:
    void arm();
    void fire();

    const Clock &m_clock;
    QTimer m_timer;
    QSet<const QObject *> m_users;
};
