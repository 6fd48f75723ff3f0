// The alert sound and the choice of its file.

#include "app/mian.h"

#include "settings/moduleini.h"
#include "sound/commondialog.h"
#include "sound/mediacontrol.h"

#include <QLineEdit>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSound, "quorvel.sound")

void Mian::Play()
{
    mci1->prepare();
}

void Mian::Commanda5_Click()
{
    mci1->close();
    mci1->open(Textsound->text());
    mci1->play();
}

void Mian::Commandopen_Click()
{
    Dialog1->ShowOpen();
    if (Dialog1->fileName().isEmpty())
        return;
    Textsound->setText(Dialog1->fileName());
    m_services.settings.iniwrite(QStringLiteral("soundpath"), QStringLiteral("spath"),
                                 Textsound->text());
}

void Mian::onSoundFailed(const QString &path, const QString &reason)
{
    qCWarning(lcSound).noquote() << "could not play" << path << "-" << reason;
    // A silent reminder is worth telling, once per reminder minute rather than every tick.
    if (!m_reminderMinute.isValid() || m_reminderMinute == m_reportedReminderMinute)
        return;
    m_reportedReminderMinute = m_reminderMinute;
    reportProblem(QStringLiteral("提醒声音无法播放"),
                  path.isEmpty() ? QStringLiteral("没有选择声音文件。")
                                 : QStringLiteral("无法播放声音文件 %1（%2）").arg(path, reason));
}
