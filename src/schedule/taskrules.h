#pragma once

#include <QStringList>
#include <QTime>

#include <optional>

#include "power/poweraction.h"

namespace TaskRules {

// Entries of the task list, in order; the first, two blanks, is "no task".
const QStringList &taskNames();
// Entries of the reminder-minutes list, in order, as text.
const QStringList &reminderMinutes();

inline const QString noTaskCaption = QStringLiteral("未选择任何任务");

// The power action a task text asks for; the blank entry and empty text ask for none.
std::optional<PowerAction> actionForTask(const QString &taskText);

// The task list text of an action ("关机" for power off and so on).
QString taskName(PowerAction action);

// Whole minutes from now's minute to the target's minute, counted forward round the 24-hour
// circle (0..1439), so a reminder before midnight for a target after midnight still matches.
int minutesUntil(QTime now, QTime target);

// Whole seconds from now's second to the target's, forward round the circle (0..86399).
int secondsUntil(QTime now, QTime target);

// True when the target second has been reached since the previous tick: the target lies in
// (previous, now] on the 24-hour circle and passed less than a minute ago. A late tick still
// fires; a target slept through or jumped over by more than a minute waits for the next day.
bool actionDue(QTime previousTick, QTime now, QTime target);

inline constexpr int firingWindowSeconds = 60;

} // namespace TaskRules
