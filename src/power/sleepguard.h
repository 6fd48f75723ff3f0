#pragma once

#include <QObject>

#include <memory>

// Holds off automatic suspend on idle while a task waits, so the machine does not sleep through
// it. A suspend the user asks for (lid, menu, power key) is never blocked or delayed, and the
// screen still blanks and locks as usual. The hold ends with the process at the latest.
class SleepGuard : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Returns at once.
    virtual void hold(bool on) = 0;

Q_SIGNALS:
    // The machine woke up from a suspend.
    void resumed();
};

// Defined once per OS in power/<os>/.
std::unique_ptr<SleepGuard> createSleepGuard();
