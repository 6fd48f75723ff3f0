#pragma once

#include "sound/soundoutput.h"

class CanberraSoundOutput final : public SoundOutput
{
    Q_OBJECT

public:
    using SoundOutput::SoundOutput;
    void prepare() override {}
    void play(const QString &path) override;
    void stop() override {}
};
