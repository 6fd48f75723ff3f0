#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// The three power actions; their values index PowerActions::all.
enum class PowerAction { PowerOff, Reboot, Logoff };

namespace PowerActions {

// Everything that names or carries out one power action, one row per action.
struct Info
{
    PowerAction action;
    const char *keyword; // command line, hand-over request and status
    const char *caption; // the task list's entry (UTF-8)
    const char *logName;
    unsigned exitWindowsFlags; // ExitWindowsEx's flag word; the force flag (4) is never added
    const char *logindMethod;  // nullptr: systemd-logind has no graceful way
};

inline constexpr std::array<Info, 3> all{{
    {PowerAction::PowerOff, "poweroff", "关机", "power off", 8, "PowerOff"},
    {PowerAction::Reboot, "restart", "重启", "reboot", 2, "Reboot"},
    {PowerAction::Logoff, "logoff", "注销", "log off", 0, nullptr},
}};

constexpr const Info &info(PowerAction action)
{
    return all[static_cast<std::size_t>(action)];
}

QString caption(PowerAction action);
QString keyword(PowerAction action);
QString logName(PowerAction action);

std::optional<PowerAction> fromKeyword(QStringView keyword);
// The blank entry and any other text ask for none.
std::optional<PowerAction> fromCaption(QStringView caption);

} // namespace PowerActions
