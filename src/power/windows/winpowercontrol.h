#pragma once

#include "power/powercontrol.h"
#include "winpower.h"

class WinPowerControl final : public PowerControl
{
    Q_OBJECT

public:
    WinPowerControl() = default;
    explicit WinPowerControl(const WinPower::Api &api);

    void request(PowerAction action) override;

private:
    WinPower::Backend m_backend;
};
