#include "actionwarning.h"

#include "schedule/longtime.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"
#include "settings/settingskeys.h"
#include "tray/notifier.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWarning, "quorvel.warning")

ActionWarning::ActionWarning(TaskModel &task, Notifier &notifier, const Moduleini &settings)
    : m_task(task), m_notifier(notifier), m_settings(settings)
{
    connect(&task, &TaskModel::runningChanged, this, [this](bool running) {
        // Read at every start, so that an edited config.ini counts from the next task on.
        if (running)
            m_task.setWarningLead(leadFrom(m_settings.iniread(SettingsKeys::warningSeconds)));
        else
            withdraw();
    });
    connect(&task, &TaskModel::warningDue, this, &ActionWarning::warn);
    // With the reminder on, nothing is pending; turned off, the task warns afresh when due.
    connect(&task, &TaskModel::reminderChanged, this, &ActionWarning::withdraw);
    connect(&task, &TaskModel::postponed, this, &ActionWarning::withdraw);
    connect(&task, &TaskModel::missed, this, &ActionWarning::onMissed);
    connect(&notifier, &Notifier::stopRequested, &task, &TaskModel::stop);
    connect(&notifier, &Notifier::postponeRequested, this, &ActionWarning::postpone);
    connect(&notifier, &Notifier::notShown, this, &ActionWarning::balloon);
}

int ActionWarning::leadFrom(const QString &stored)
{
    bool ok = false;
    const int seconds = stored.trimmed().toInt(&ok);
    return ok && seconds >= 0 && seconds <= maxLeadSeconds ? seconds : defaultLeadSeconds;
}

void ActionWarning::postpone()
{
    m_task.postpone(postponeSeconds);
}

void ActionWarning::warn(int secondsLeft)
{
    const std::optional<PowerAction> task = m_task.task();
    if (!task)
        return;
    m_warned = true;
    const QString text =
        QStringLiteral("将在 %1 秒后%2").arg(secondsLeft).arg(PowerActions::caption(*task));
    qCInfo(lcWarning).noquote() << text;
    m_notifier.show(text, Notifier::Kind::Warning);
    Q_EMIT warningShown(true);
}

void ActionWarning::withdraw()
{
    if (!m_warned)
        return;
    m_warned = false;
    m_notifier.withdraw();
    Q_EMIT warningShown(false);
}

void ActionWarning::onMissed(QTime when, bool reminder)
{
    const std::optional<PowerAction> task = m_task.task();
    const QString what = reminder ? QStringLiteral("提醒")
                         : task   ? PowerActions::caption(*task)
                                  : QStringLiteral("定时任务");
    const QString text =
        QStringLiteral("错过了 %1 的%2，已改为明天同一时间。").arg(longTimeString(when), what);
    qCInfo(lcWarning).noquote() << text;
    withdraw();
    m_notifier.show(text, Notifier::Kind::Notice);
}
