#pragma once

#include <QDateTime>
#include <QStringList>
#include <QTime>

#include <optional>

namespace TaskRules {

// Entries of the task list, in order: two blanks for "no task", then each power action's caption.
const QStringList &taskNames();
// Entries of the reminder-minutes list, in order, as text.
const QStringList &reminderMinutes();

inline const QString noTaskCaption = QStringLiteral("未选择任何任务");

// Whole minutes from now's minute to the target's minute, counted forward round the 24-hour
// circle (0..1439), so a reminder before midnight for a target after midnight still matches.
int minutesUntil(QTime now, QTime target);

// Whole seconds from now's second to the target's, forward round the circle (0..86399).
int secondsUntil(QTime now, QTime target);

// Seconds since `time` of day was passed between two ticks, when it lies in (previous, now] on
// the 24-hour circle; a day or more between them passes every time. A clock set back (by hand,
// or as summer time ends) passes none: the time comes round again.
std::optional<int> secondsSincePassed(const QDateTime &previousTick, const QDateTime &now,
                                      QTime time);

// A tick this close after the target still acts (a late tick); one later has missed it (the
// machine slept, the clock jumped) and the task waits for the next day.
inline constexpr int firingWindowSeconds = 60;

} // namespace TaskRules
