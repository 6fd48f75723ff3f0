#pragma once

#include "sound/soundoutput.h"

// Plays through the system's PlaySound: asynchronous, one sound per process, and a new sound
// ends the one before, which is exactly the player's contract.
class PlaySoundOutput final : public SoundOutput
{
    Q_OBJECT

public:
    PlaySoundOutput() = default;
    ~PlaySoundOutput() override;

    void prepare() override {}
    void play(const QString &path) override;
    void stop() override;

private:
    // Signals arrive after play() returns, as with every backend.
    void reportStarted(const QString &path);
    void reportFailed(const QString &path, const QString &reason);
};
