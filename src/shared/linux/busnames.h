#pragma once

// The D-Bus objects Quorvel talks to, each named once.
struct BusObject
{
    const char *service;
    const char *path;
    const char *interface;
};

namespace Bus {
inline constexpr BusObject driver{"org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus"};
inline constexpr BusObject logind{"org.freedesktop.login1", "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager"};
// GNOME's, and MATE's under the same name.
inline constexpr BusObject gnomeSession{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                                        "org.gnome.SessionManager"};
inline constexpr BusObject powerManagement{"org.freedesktop.PowerManagement",
                                           "/org/freedesktop/PowerManagement/Inhibit",
                                           "org.freedesktop.PowerManagement.Inhibit"};
// KDE's policy agent, whose presence says that PowerDevil serves powerManagement.
inline constexpr const char *kdePolicyAgent = "org.kde.Solid.PowerManagement";
inline constexpr BusObject notifications{"org.freedesktop.Notifications",
                                         "/org/freedesktop/Notifications",
                                         "org.freedesktop.Notifications"};
inline constexpr BusObject statusNotifierWatcher{
    "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher"};
} // namespace Bus
