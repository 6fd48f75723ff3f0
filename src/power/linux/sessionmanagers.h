#pragma once

#include "power/poweraction.h"

#include <QDBusMessage>
#include <QString>
#include <QStringList>

#include <optional>

// Session managers that end a session the graceful way: running programs are asked first and
// may save their work or object.
enum class SessionManagerKind { Kde, Gnome, Mate, Xfce, Cinnamon, Lxqt };

struct SessionManagerService
{
    QString label;
    QString service;
    QString path;
    QString interface;
};

SessionManagerService sessionManagerService(SessionManagerKind kind);

// Picks the session manager to ask, given the names that have an owner on the session bus.
// A desktop named in XDG_CURRENT_DESKTOP wins, in that variable's order, when its manager is
// there; otherwise the first present in the order KDE, Xfce, Cinnamon, LXQt, GNOME. GNOME's
// name comes last because MATE's session manager owns the very same name.
std::optional<SessionManagerKind> chooseSessionManager(const QStringList &ownedNames,
                                                       const QString &currentDesktop);

// GNOME and MATE serve the same bus name, path and interface with different methods: only
// GNOME has Reboot, only MATE has RequestReboot. Tells them apart from the object's
// introspection data; nullopt when it does not say.
std::optional<SessionManagerKind> gnomeOrMateFromIntrospection(const QString &xml);

QDBusMessage sessionManagerCall(SessionManagerKind kind, PowerAction action);

// systemd-logind can power off and reboot; it has no graceful log off.
std::optional<QDBusMessage> logindCall(PowerAction action);
