#include "actionwarning.h"

#include "schedule/longtime.h"
#include "schedule/taskmodel.h"
#include "schedule/taskrules.h"
#include "settings/moduleini.h"
#include "settings/settingskeys.h"
#include "tray/notifier.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWarning, "quorvel.warning")

ActionWarning::ActionWarning(TaskModel &task, Notifier &notifier, const Moduleini &settings)
    : m_task(task), m_notifier(notifier), m_settings(settings)
{
    connect(&task, &TaskModel::runningChanged, this, [this](bool running) {
        if (running)
            m_lead = leadFrom(m_settings.iniread(SettingsKeys::warningSeconds));
        follow(m_task.secondsLeft());
    });
    connect(&task, &TaskModel::secondsLeftChanged, this, &ActionWarning::follow);
    connect(&task, &TaskModel::reminderChanged, this, [this] { follow(m_task.secondsLeft()); });
    connect(&task, &TaskModel::missed, this, &ActionWarning::onMissed);
    connect(&notifier, &Notifier::stopRequested, &task, &TaskModel::stop);
    connect(&notifier, &Notifier::notShown, this, &ActionWarning::balloon);
}

int ActionWarning::leadFrom(const QString &stored)
{
    bool ok = false;
    const int seconds = stored.trimmed().toInt(&ok);
    return ok && seconds >= 0 && seconds <= maxLeadSeconds ? seconds : defaultLeadSeconds;
}

void ActionWarning::follow(std::optional<int> left)
{
    // A target that is due now, or was just missed, waits a day: nothing imminent then.
    const bool imminent = left && *left > 0 && *left <= m_lead;
    if (!imminent) {
        withdraw();
        return;
    }
    if (m_warned)
        return;
    m_warned = true;
    const QString text =
        QStringLiteral("将在 %1 秒后%2").arg(*left).arg(PowerActions::caption(*m_task.task()));
    qCInfo(lcWarning).noquote() << text;
    m_notifier.show(text, Notifier::Kind::Warning);
}

void ActionWarning::withdraw()
{
    if (!m_warned)
        return;
    m_warned = false;
    m_notifier.withdraw();
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
    m_warned = false;
    m_notifier.show(text, Notifier::Kind::Notice);
}
