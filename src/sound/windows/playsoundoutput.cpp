#include "playsoundoutput.h"

#include <QDir>
#include <QFileInfo>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmsystem.h>

#include <string>

PlaySoundOutput::~PlaySoundOutput()
{
    // A sound still playing would outlive the player otherwise.
    stop();
}

void PlaySoundOutput::play(const QString &path)
{
    stop();
    if (path.isEmpty()) {
        reportFailed(path, QStringLiteral("no sound file chosen"));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        reportFailed(path, QStringLiteral("file not found"));
        return;
    }
    // SND_NODEFAULT: a file that cannot be played stays silent instead of the default beep.
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (!PlaySoundW(native.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT)) {
        reportFailed(path, QStringLiteral("the system cannot play this file"));
        return;
    }
    reportStarted(path);
}

void PlaySoundOutput::stop()
{
    PlaySoundW(nullptr, nullptr, 0);
}

void PlaySoundOutput::reportStarted(const QString &path)
{
    QMetaObject::invokeMethod(
        this, [this, path] { Q_EMIT playStarted(path); }, Qt::QueuedConnection);
}

void PlaySoundOutput::reportFailed(const QString &path, const QString &reason)
{
    QMetaObject::invokeMethod(
        this, [this, path, reason] { Q_EMIT playFailed(path, reason); }, Qt::QueuedConnection);
}

std::unique_ptr<SoundOutput> createSoundOutput()
{
    return std::make_unique<PlaySoundOutput>();
}
