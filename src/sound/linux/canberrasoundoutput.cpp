#include "canberrasoundoutput.h"

#include <QTimer>

void CanberraSoundOutput::play(const QString &path)
{
    QTimer::singleShot(
        0, this, [this, path] { Q_EMIT playFailed(path, QStringLiteral("not implemented")); });
}

std::unique_ptr<SoundOutput> createSoundOutput(QObject *parent)
{
    return std::make_unique<CanberraSoundOutput>(parent);
}
