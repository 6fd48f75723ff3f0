#pragma once

#include "power/poweraction.h"
#include "schedule/processwatch.h"

#include <QByteArray>
#include <QStringList>
#include <QTime>

#include <functional>
#include <optional>

// What one start of the program asks for: from its command line, and handed over as a request
// to the copy that is already running.
struct Command
{
    std::optional<PowerAction> task;
    std::optional<QTime> at;
    std::optional<int> in; // seconds from now, for the time of day
    std::optional<ProcessId> afterProcess;
    std::optional<int> remind; // minutes before the target; 0 turns the reminder off
    bool stop = false;
    bool start = false;
    bool hidden = false;
    bool status = false;
    bool json = false;

    // Nothing for a running copy to do: a second start is then refused as ever.
    bool isEmpty() const;
    bool operator==(const Command &) const = default;

    // The request to a running copy, and back. A request is a few short lines; anything else,
    // too long, malformed or hostile, reads as nothing.
    QByteArray toRequest() const;
    static std::optional<Command> fromRequest(QByteArrayView request);
    static constexpr qsizetype maxRequestSize = 256;
    static constexpr int maxInSeconds = 24 * 60 * 60;
};

// The command line, with the standard tools' manners: --help, --version, and a one-line
// message for anything wrong.
struct CommandLine
{
    enum class Outcome { Run, Help, Version, Error };

    Outcome outcome = Outcome::Run;
    Command command;
    QString text; // the help, the version line or the error message

    // findProcess: the process with a number, as --after-pid is checked.
    static CommandLine parse(const QStringList &arguments,
                             const std::function<std::optional<ProcessId>(qint64)> &findProcess);

    // "90m", "1h30m", "45s", "2h": seconds, or nullopt.
    static std::optional<int> durationFrom(const QString &text);
};
