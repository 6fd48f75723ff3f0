#pragma once

#include "sound/soundoutput.h"

#include <QThread>

#include <atomic>

// Plays through the system's PlaySound: one sound per process, and a new sound ends the one
// before, which is exactly the player's contract. Opening the file may wait on the disk or a
// network share, so every call runs on a thread of its own; only the newest request plays.
class PlaySoundOutput final : public SoundOutput
{
    Q_OBJECT

public:
    PlaySoundOutput();
    ~PlaySoundOutput() override;

    void prepare() override {}
    void play(const QString &path) override;
    void stop() override;

Q_SIGNALS:
    // From the sound thread.
    void reported(quint64 ticket, const QString &path, const QString &failure);

private:
    QThread *m_thread; // left to finish on its own if it hangs at exit
    QObject *m_worker;
    std::atomic<quint64> m_latest{0};
};
