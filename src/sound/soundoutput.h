#pragma once

#include <QObject>

#include <memory>

// Plays one sound file at a time. play() stops whatever plays and starts the file from its
// beginning; it returns at once. A file that cannot be played is reported through playFailed.
class SoundOutput : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Get ready to play (connect to the sound server); called once, may be slow in the backend
    // but must not block the caller.
    virtual void prepare() = 0;
    virtual void play(const QString &path) = 0;
    virtual void stop() = 0;

Q_SIGNALS:
    void playStarted(const QString &path);
    void playFailed(const QString &path, const QString &reason);
};

// The platform's backend; defined once per platform in sound/<os>/.
std::unique_ptr<SoundOutput> createSoundOutput();
