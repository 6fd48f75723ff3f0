// Task selection, start and stop, the clock and the task tick of the main window.

#include "app/mian.h"

#include "app/xpcontrols.h"
#include "power/powercontrol.h"
#include "schedule/clock.h"
#include "schedule/longtime.h"
#include "schedule/secondtimer.h"
#include "schedule/taskrules.h"

#include <QAction>
#include <QComboBox>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>

Q_LOGGING_CATEGORY(lcTask, "quorvel.task")

void Mian::combadd()
{
    // Appending to an empty combo box selects the first entry; nothing is selected afterwards.
    const QSignalBlocker renwuBlocker(Comborenwu);
    const QSignalBlocker tishiBlocker(Combotishi);
    for (const QString &name : TaskRules::taskNames())
        Comborenwu->addItem(name);
    for (const QString &minutes : TaskRules::reminderMinutes())
        Combotishi->addItem(minutes);
    Comborenwu->setCurrentIndex(-1);
    Combotishi->setCurrentIndex(-1);
}

void Mian::Comborenwu_Click()
{
    if (const auto caption = TaskRules::taskCaption(Comborenwu->currentText()))
        Commandc2->setText(*caption);
}

void Mian::Combotishi_Click()
{
    m_task.tipmins = Combotishi->currentText();
}

void Mian::start()
{
    Commanda1->setEnabled(false);
    Commanda2->setEnabled(true);
    DTPicker1->setEnabled(false);
    Comborenwu->setEnabled(false);
    Commandc3->setText(QStringLiteral("启动"));
    if (XPCheckBox2->Value() == -1)
        Combotishi->setEnabled(false);
    m_task.tasktime = DTPicker1->dateTime().toString(Qt::ISODate);
    m_lastTaskTick = m_services.clock.now();
    TaskTimer->setEnabled(true);
    // The tray menu follows the task whichever way it was started.
    mirrorTaskIntoMenu();
}

void Mian::stop()
{
    Commanda1->setEnabled(true);
    Commanda2->setEnabled(false);
    DTPicker1->setEnabled(true);
    Comborenwu->setEnabled(true);
    Commandc3->setText(QStringLiteral("停止"));
    Combotishi->setEnabled(XPCheckBox2->Value() != 0);
    TaskTimer->setEnabled(false);
    mirrorTaskIntoMenu();
}

void Mian::Commanda1_Click()
{
    start();
}

void Mian::Commanda2_Click()
{
    stop();
}

void Mian::RightmenuStart_Click()
{
    start();
}

void Mian::Rightmenustop_Click()
{
    stop();
}

void Mian::mirrorTaskIntoMenu()
{
    // Follows the Stop button, which is enabled exactly while a task runs.
    const bool running = Commanda2->isEnabled();
    RightmenuStart->setEnabled(!running);
    Rightmenustop->setEnabled(running);
}

void Mian::sysTimer_Timer()
{
    Commandc1->setText(longTimeString(m_services.clock.now().time()));
}

void Mian::TaskTimer_Timer()
{
    const QDateTime now = m_services.clock.now();
    const QDateTime previous = std::exchange(m_lastTaskTick, now);
    const QTime target = QDateTime::fromString(m_task.tasktime, Qt::ISODate).time();

    if (XPCheckBox2->Value() == -1) {
        m_task.leftmins = QString::number(TaskRules::minutesUntil(now.time(), target));
        if (m_task.tipmins == m_task.leftmins) {
            m_reminderMinute = now.addSecs(-now.time().second()).addMSecs(-now.time().msec());
            Commanda5_Click();
        }
    }
    if (XPCheckBox2->Value() == 0) {
        if (!TaskRules::actionDue(previous.time(), now.time(), target))
            return;
        if (const auto action = TaskRules::actionForTask(Comborenwu->currentText()))
            m_services.power.request(*action);
        else
            qCInfo(lcTask) << "target time reached with no task chosen; nothing requested";
        Commanda2_Click();
    }
}

void Mian::onPowerFinished(PowerAction action, bool ok, const QString &reason)
{
    if (ok) {
        qCInfo(lcTask) << "requested" << powerActionName(action);
        return;
    }
    qCWarning(lcTask).noquote() << "could not" << powerActionName(action) << "-" << reason;
    reportProblem(QStringLiteral("定时任务失败"),
                  QStringLiteral("系统没有执行%1：%2").arg(TaskRules::taskName(action), reason));
}
