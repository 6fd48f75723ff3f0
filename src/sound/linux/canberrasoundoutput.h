#pragma once

#include "sound/soundoutput.h"

#include <memory>

class CanberraWorker;
class QThread;

// Plays through libcanberra on a thread of its own, so that a slow disk, a long conversion or
// a sound server that does not answer never holds up the caller. Each play() ends in
// playStarted, in playFailed, or in nothing when a later play() or stop() overtook it.
class CanberraSoundOutput final : public SoundOutput
{
    Q_OBJECT

public:
    CanberraSoundOutput();
    ~CanberraSoundOutput() override;

    void prepare() override;
    void play(const QString &path) override;
    void stop() override;

private:
    void ensureThread();

    std::unique_ptr<QThread> m_thread;
    CanberraWorker *m_worker = nullptr; // lives on m_thread, deleted when it finishes
};
