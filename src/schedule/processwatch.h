#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// A process that a task waits for: its number, and when it started, so that the number given
// to a new process later is not taken for it.
struct ProcessId
{
    qint64 pid = 0;
    quint64 started = 0; // in the system's own units
    QString name;

    bool operator==(const ProcessId &) const = default;
};

// Tells when a process ends, without polling.
class ProcessWatch : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The process with that number now, or nullopt.
    virtual std::optional<ProcessId> find(qint64 pid) const = 0;
    // ended() follows once the process is gone: after this returns, and at once if it has gone
    // already (or its number now names another process). Replaces any earlier watch.
    virtual void watch(const ProcessId &process) = 0;
    virtual void cancel() = 0;

Q_SIGNALS:
    void ended();
};

// Defined once per OS in schedule/<os>/.
std::unique_ptr<ProcessWatch> createProcessWatch();
