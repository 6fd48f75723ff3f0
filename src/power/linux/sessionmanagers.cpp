#include "sessionmanagers.h"

#include "shared/linux/dbuscall.h"

#include <QXmlStreamReader>

#include <array>

namespace {

// What the methods take besides their name.
enum class Arguments {
    None,
    // Logout(1): mode 1 skips the confirmation dialog; mode 2 would also override programs
    // that object, so it is never used.
    LogoutWithoutConfirmation,
    // Xfce: allow programs to save; for Logout, first whether to show a dialog.
    Xfce,
};

struct Entry
{
    SessionManagerKind kind;
    const char *label;
    const char *service;
    const char *path;
    const char *interface;
    // Names this desktop puts in XDG_CURRENT_DESKTOP.
    std::array<const char *, 2> desktopNames;
    // In the order of PowerActions::all: power off, reboot, log off.
    std::array<const char *, PowerActions::all.size()> methods;
    Arguments arguments;
};

// In the order tried when XDG_CURRENT_DESKTOP does not settle it; GNOME before MATE, as an
// owner of the shared name is most likely GNOME's until introspection says otherwise.
constexpr std::array<Entry, 6> entries{{
    {SessionManagerKind::Kde,
     "KDE Plasma session manager",
     "org.kde.Shutdown",
     "/Shutdown",
     "org.kde.Shutdown",
     {"KDE", nullptr},
     {"logoutAndShutdown", "logoutAndReboot", "logout"},
     Arguments::None},
    {SessionManagerKind::Xfce,
     "Xfce session manager",
     "org.xfce.SessionManager",
     "/org/xfce/SessionManager",
     "org.xfce.Session.Manager",
     {"XFCE", nullptr},
     {"Shutdown", "Restart", "Logout"},
     Arguments::Xfce},
    {SessionManagerKind::Cinnamon,
     "Cinnamon session manager",
     "org.cinnamon.SessionManager",
     "/org/cinnamon/SessionManager",
     "org.cinnamon.SessionManager",
     {"X-Cinnamon", "Cinnamon"},
     {"RequestShutdown", "RequestReboot", "Logout"},
     Arguments::LogoutWithoutConfirmation},
    {SessionManagerKind::Lxqt,
     "LXQt session manager",
     "org.lxqt.session",
     "/LXQtSession",
     "org.lxqt.session",
     {"LXQt", nullptr},
     {"powerOff", "reboot", "logout"},
     Arguments::None},
    {SessionManagerKind::Gnome,
     "GNOME session manager",
     Bus::gnomeSession.service,
     Bus::gnomeSession.path,
     Bus::gnomeSession.interface,
     {"GNOME", nullptr},
     {"Shutdown", "Reboot", "Logout"},
     Arguments::LogoutWithoutConfirmation},
    {SessionManagerKind::Mate,
     "MATE session manager",
     Bus::gnomeSession.service,
     Bus::gnomeSession.path,
     Bus::gnomeSession.interface,
     {"MATE", nullptr},
     // MATE's Shutdown would open a dialog and wait for the user.
     {"RequestShutdown", "RequestReboot", "Logout"},
     Arguments::LogoutWithoutConfirmation},
}};

const Entry &entry(SessionManagerKind kind)
{
    for (const Entry &e : entries) {
        if (e.kind == kind)
            return e;
    }
    Q_UNREACHABLE();
}

const Entry *entryForDesktopName(QStringView name)
{
    for (const Entry &e : entries) {
        for (const char *desktopName : e.desktopNames) {
            if (desktopName && name.compare(QLatin1String(desktopName), Qt::CaseInsensitive) == 0)
                return &e;
        }
    }
    return nullptr;
}

} // namespace

SessionManagerService sessionManagerService(SessionManagerKind kind)
{
    const Entry &e = entry(kind);
    return {QString::fromLatin1(e.label), QString::fromLatin1(e.service),
            QString::fromLatin1(e.path), QString::fromLatin1(e.interface)};
}

std::optional<SessionManagerKind> chooseSessionManager(const QStringList &ownedNames,
                                                       const QString &currentDesktop)
{
    const auto owned = [&](const Entry &e) {
        return ownedNames.contains(QLatin1String(e.service));
    };
    for (const QStringView name : QStringView(currentDesktop).split(u':')) {
        if (const Entry *e = entryForDesktopName(name); e && owned(*e))
            return e->kind;
    }
    for (const Entry &e : entries) {
        if (owned(e))
            return e.kind;
    }
    return std::nullopt;
}

std::optional<SessionManagerKind> gnomeOrMateFromIntrospection(const QString &xml)
{
    QXmlStreamReader reader(xml);
    bool inManagerInterface = false;
    bool hasReboot = false;
    bool hasRequestReboot = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"interface") {
            inManagerInterface = reader.attributes().value(QLatin1String("name")) ==
                                 QLatin1String(Bus::gnomeSession.interface);
        } else if (reader.isEndElement() && reader.name() == u"interface") {
            inManagerInterface = false;
        } else if (inManagerInterface && reader.isStartElement() && reader.name() == u"method") {
            const auto method = reader.attributes().value(QLatin1String("name"));
            hasReboot = hasReboot || method == u"Reboot";
            hasRequestReboot = hasRequestReboot || method == u"RequestReboot";
        }
    }
    if (reader.hasError() || hasReboot == hasRequestReboot)
        return std::nullopt;
    return hasReboot ? SessionManagerKind::Gnome : SessionManagerKind::Mate;
}

QDBusMessage sessionManagerCall(SessionManagerKind kind, PowerAction action)
{
    const Entry &e = entry(kind);
    const bool logoff = action == PowerAction::Logoff;
    QDBusMessage message =
        dbusMethodCall({e.service, e.path, e.interface}, e.methods.at(std::size_t(action)));
    switch (e.arguments) {
    case Arguments::None:
        break;
    case Arguments::LogoutWithoutConfirmation:
        if (logoff)
            message.setArguments({QVariant::fromValue(quint32(1))});
        break;
    case Arguments::Xfce:
        message.setArguments(logoff ? QVariantList{false, true} : QVariantList{true});
        break;
    }
    return message;
}

std::optional<QDBusMessage> logindCall(PowerAction action)
{
    const char *method = PowerActions::info(action).logindMethod;
    if (!method)
        return std::nullopt;
    // Interactive: polkit may ask the user for a password.
    return dbusMethodCall(Bus::logind, method, {true});
}
