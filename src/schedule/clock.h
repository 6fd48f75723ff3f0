#pragma once

#include <QDateTime>
#include <QDeadlineTimer>

// The wall clock, and a steady one that setting the wall clock does not move; replaceable so
// tests can step time instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds from some fixed moment, never set back.
    virtual qint64 steadyMs() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 steadyMs() const override { return QDeadlineTimer::current().deadline(); }
};
