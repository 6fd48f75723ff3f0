#include "poweraction.h"

QString powerActionName(PowerAction action)
{
    switch (action) {
    case PowerAction::PowerOff:
        return QStringLiteral("power off");
    case PowerAction::Reboot:
        return QStringLiteral("reboot");
    case PowerAction::Logoff:
        return QStringLiteral("log off");
    }
    return {};
}
