#include "winpowercontrol.h"

#include <QMetaObject>

WinPowerControl::WinPowerControl(const WinPower::Api &api) : m_backend(api) {}

void WinPowerControl::request(PowerAction action)
{
    // ExitWindowsEx only starts the action and returns at once, so asking here is fine; the
    // answer still has to arrive after request() returns, as the interface promises.
    const WinPower::Outcome outcome =
        m_backend.request(PowerActions::info(action).exitWindowsFlags);
    const QString reason =
        outcome.ok ? QString() : QString::fromStdWString(WinPower::errorText(outcome.error));
    QMetaObject::invokeMethod(
        this,
        [this, action, ok = outcome.ok, reason] { Q_EMIT requestFinished(action, ok, reason); },
        Qt::QueuedConnection);
}

std::unique_ptr<PowerControl> createPowerControl()
{
    return std::make_unique<WinPowerControl>();
}
