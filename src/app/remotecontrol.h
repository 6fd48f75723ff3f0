#pragma once

#include "app/command.h"

#include <QLocalServer>

#include <functional>

class TaskModel;

// The running copy's end of the hand-over: a local socket next to its lock (mode 0600; a named
// pipe on Windows), where a second start hands over its command. Only the same user may talk to
// it. A request is bounded in size and time; anything malformed, oversized, slow or from
// another user is dropped without effect.
class RemoteControl : public QObject
{
    Q_OBJECT

public:
    // trusted: whether the peer on a connected socket descriptor is this user.
    RemoteControl(TaskModel &task, std::function<bool(qintptr)> trusted);

    // Takes the name over from a copy that died without cleaning up.
    bool listen(const QString &name);

    // Does what the command asks, as the user would with the controls: stop, then set, then
    // start. Setting the task or time of a running task is refused (nothing changes) unless
    // the command stops it first: the refusal is returned.
    std::optional<QString> apply(const Command &command);

    // "idle", "running: poweroff at 23:30:00, in 1:12:05", "running: poweroff after process
    // 1234 (make) ends"; or one JSON object. The time left is worked out now.
    QString status(bool json) const;

    static constexpr int requestTimeoutMs = 1000;
    static constexpr int maxConnections = 8;

Q_SIGNALS:
    void hideRequested();

private:
    void onConnection();

    TaskModel &m_task;
    std::function<bool(qintptr)> m_trusted;
    QLocalServer m_server;
    int m_connections = 0;
};

// The second start's end: hands a command to the running copy and waits for its answer.
struct HandOver
{
    // Invalid: the copy found the command wrong (waiting for itself).
    enum class Result { NoCopy, NoAnswer, Done, Refused, Invalid };

    Result result = Result::NoCopy;
    QString text; // what the copy answered

    static HandOver send(const QString &name, const Command &command, int timeoutMs);
};
