#pragma once

#include <QDateTime>
#include <QObject>

#include <memory>

// Wakes the program at a moment of the wall clock: one timer, armed for the next thing that
// is due, instead of a tick every second. A wall clock that is set meanwhile (by hand, by NTP,
// or waking from sleep) is reported at once, so that the moment can be worked out afresh.
class Alarm : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Replaces any earlier moment. A moment already past rings at once.
    virtual void arm(const QDateTime &when) = 0;
    virtual void disarm() = 0;

Q_SIGNALS:
    void rang();
    void clockChanged();
};

// Defined once per OS in schedule/<os>/.
std::unique_ptr<Alarm> createAlarm();
