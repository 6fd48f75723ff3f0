#pragma once

#include <QObject>
#include <QTimer>

class Clock;

// A 1000 ms timer whose ticks fall just after each wall-clock second begins. Every tick
// re-arms for the next boundary as read from the clock, so a jump of the wall clock is
// followed at the next tick.
class SecondTimer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(int interval READ interval CONSTANT)

public:
    explicit SecondTimer(const Clock &clock, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int interval() const { return 1000; }

    // Delay from a wall-clock millisecond-of-second to just past the next boundary.
    static int delayToNextSecond(int msecOfSecond);

Q_SIGNALS:
    void timeout();

private:
    void arm();
    void fire();

    const Clock &m_clock;
    QTimer m_timer;
    bool m_enabled = false;
};
