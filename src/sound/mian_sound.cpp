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
}
