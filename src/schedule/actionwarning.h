#pragma once

#include <QObject>
#include <QTime>

class Moduleini;
class Notifier;
class TaskModel;

// Tells the user, through a desktop notification, some seconds before a running task asks for
// its power action, and lets the notification's "停止" stop the task as the stop button does,
// and its "推迟 10 分钟" move it ten minutes later. Also tells of a target that passed unseen.
// Nothing here ever delays the power request unless the user asks.
class ActionWarning : public QObject
{
    Q_OBJECT

public:
    ActionWarning(TaskModel &task, Notifier &notifier, const Moduleini &settings);

    static constexpr int defaultLeadSeconds = 60;
    static constexpr int maxLeadSeconds = 3600;
    static constexpr int postponeSeconds = 10 * 60;

    // The warning's lead from config.ini's [warning] seconds: the default unless it holds a
    // whole number from 0 (no warning) to the maximum.
    static int leadFrom(const QString &stored);

    // The pending power action, ten minutes later.
    void postpone();

Q_SIGNALS:
    // No notification could carry the text: show it in a tray balloon instead.
    void balloon(const QString &text);
    // A warning is up (until the task stops, fires or is postponed).
    void warningShown(bool shown);

private:
    void warn(int secondsLeft);
    void onMissed(QTime when, bool reminder);
    void withdraw();

    TaskModel &m_task;
    Notifier &m_notifier;
    const Moduleini &m_settings;
    bool m_warned = false;
};
