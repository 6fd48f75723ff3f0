#pragma once

#include "power/powercontrol.h"

class DBusPowerControl final : public PowerControl
{
    Q_OBJECT

public:
    using PowerControl::PowerControl;
    void request(PowerAction action) override;
};
