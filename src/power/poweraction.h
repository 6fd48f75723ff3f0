#pragma once

#include <QString>

// Values are the flag words the Windows request takes; the force flag (4) is never added.
enum class PowerAction : unsigned { Logoff = 0, Reboot = 2, PowerOff = 8 };

constexpr unsigned flagWord(PowerAction action)
{
    return static_cast<unsigned>(action);
}

QString powerActionName(PowerAction action);
