#pragma once

#include <QObject>
#include <QTime>

class Moduleini;
class Notifier;
class TaskModel;

// Tells the user, through a desktop notification, some seconds before a running task asks for
// its power action, and lets the notification's "停止" stop the task as the stop button does.
// Also tells of a target that passed unseen. Nothing here ever delays the power request.
class ActionWarning : public QObject
{
    Q_OBJECT

public:
    ActionWarning(TaskModel &task, Notifier &notifier, const Moduleini &settings);

    static constexpr int defaultLeadSeconds = 60;
    static constexpr int maxLeadSeconds = 3600;

    // The warning's lead from config.ini's [warning] seconds: the default unless it holds a
    // whole number from 0 (no warning) to the maximum.
    static int leadFrom(const QString &stored);

Q_SIGNALS:
    // No notification could carry the text: show it in a tray balloon instead.
    void balloon(const QString &text);

private:
    // Seconds to the power action, nullopt when none is pending.
    void follow(std::optional<int> left);
    void onMissed(QTime when, bool reminder);
    void withdraw();

    TaskModel &m_task;
    Notifier &m_notifier;
    const Moduleini &m_settings;
    int m_lead = defaultLeadSeconds;
    bool m_warned = false;
};
