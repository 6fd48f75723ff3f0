#pragma once

#include "power/powercontrol.h"
#include "winpower.h"

class WinPowerControl final : public PowerControl
{
    Q_OBJECT

public:
    explicit WinPowerControl(QObject *parent = nullptr);
    WinPowerControl(const WinPower::Api &api, QObject *parent);

    void request(PowerAction action) override;

private:
    WinPower::Backend m_backend;
};
