// The messages for each desktop's session manager and logind, and the choice among managers.

#include "power/linux/sessionmanagers.h"

#include <QDBusMetaType>
#include <QTest>

using K = SessionManagerKind;
using L = QStringList;
using Choice = std::optional<SessionManagerKind>;

namespace {

const QString kde = QStringLiteral("org.kde.Shutdown");
const QString gnome = QStringLiteral("org.gnome.SessionManager");
const QString xfce = QStringLiteral("org.xfce.SessionManager");
const QString cinnamon = QStringLiteral("org.cinnamon.SessionManager");
const QString lxqt = QStringLiteral("org.lxqt.session");

// "service path interface member signature arguments...", with the types QtDBus marshals them
// as: QDBusMessage::signature() stays empty until a message has been on a bus.
QString wire(const QDBusMessage &m)
{
    L parts{m.service(), m.path(), m.interface(), m.member(), {}};
    for (const QVariant &argument : m.arguments()) {
        parts[4] += QLatin1String(QDBusMetaType::typeToSignature(argument.metaType()));
        parts << argument.toString();
    }
    return parts.join(u' ').trimmed();
}

QString introspection(const L &methods, const QString &interface = gnome)
{
    return QStringLiteral("<node><interface name='org.freedesktop.DBus.Introspectable'><method "
                          "name='Reboot'/></interface><interface name='%1'><method name='%2'/>"
                          "</interface><node name='Client1'/></node>")
        .arg(interface, methods.join(QLatin1String("'/><method name='")));
}

} // namespace

class TestSessionManagers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messages_data()
    {
        QTest::addColumn<Choice>("kind"); // none: logind
        QTest::addColumn<QString>("target");
        QTest::addColumn<L>("calls"); // power off, reboot, log off
        const QString gnomeTarget = gnome + " /org/gnome/SessionManager " + gnome;
        // Log off never with mode 2, which would override programs that object.
        QTest::newRow("KDE") << Choice(K::Kde) << kde + " /Shutdown " + kde
                             << L{"logoutAndShutdown", "logoutAndReboot", "logout"};
        QTest::newRow("GNOME") << Choice(K::Gnome) << gnomeTarget
                               << L{"Shutdown", "Reboot", "Logout u 1"};
        QTest::newRow("MATE") << Choice(K::Mate) << gnomeTarget
                              << L{"RequestShutdown", "RequestReboot", "Logout u 1"};
        // Shutdown(allow_save), Restart(allow_save), Logout(show_dialog, allow_save).
        QTest::newRow("Xfce") << Choice(K::Xfce)
                              << xfce + " /org/xfce/SessionManager org.xfce.Session.Manager"
                              << L{"Shutdown b true", "Restart b true", "Logout bb false true"};
        QTest::newRow("Cinnamon") << Choice(K::Cinnamon)
                                  << cinnamon + " /org/cinnamon/SessionManager " + cinnamon
                                  << L{"RequestShutdown", "RequestReboot", "Logout u 1"};
        QTest::newRow("LXQt") << Choice(K::Lxqt) << lxqt + " /LXQtSession " + lxqt
                              << L{"powerOff", "reboot", "logout"};
        // Interactive, so that polkit may ask for a password; it could log off only by force.
        QTest::newRow("logind") << Choice()
                                << "org.freedesktop.login1 /org/freedesktop/login1 "
                                   "org.freedesktop.login1.Manager"
                                << L{"PowerOff b true", "Reboot b true", {}};
    }
    void messages()
    {
        QFETCH(Choice, kind);
        QFETCH(QString, target);
        QFETCH(L, calls);
        const PowerAction actions[] = {PowerAction::PowerOff, PowerAction::Reboot,
                                       PowerAction::Logoff};
        for (int i = 0; i < 3; ++i) {
            const auto call = kind ? sessionManagerCall(*kind, actions[i]) : logindCall(actions[i]);
            QCOMPARE(call ? wire(*call) : QString(),
                     calls[i].isEmpty() ? QString() : target + ' ' + calls[i]);
        }
    }

    void choice_data()
    {
        QTest::addColumn<L>("owned");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<Choice>("expected");
        QTest::newRow("none") << L{":1.7", kde + "X", gnome + ".Presence"} << "GNOME" << Choice();
        QTest::newRow("desktop's one absent") << L{xfce} << "KDE" << Choice(K::Xfce);
        QTest::newRow("MATE desktop") << L{gnome} << "MATE" << Choice(K::Mate);
        // The desktop's own manager first, in the variable's order, in any case.
        QTest::newRow("X-Cinnamon") << L{kde, cinnamon} << "X-Cinnamon" << Choice(K::Cinnamon);
        QTest::newRow("ubuntu:GNOME") << L{kde, gnome} << "ubuntu:GNOME" << Choice(K::Gnome);
        QTest::newRow("first present") << L{xfce, lxqt} << "LXQt:XFCE" << Choice(K::Lxqt);
        QTest::newRow("other case") << L{kde, xfce} << "xfce" << Choice(K::Xfce);
        // No usable name: a fixed order, the GNOME name that MATE shares last.
        QTest::newRow("unknown desktop") << L{gnome, lxqt, kde} << "Hyprland" << Choice(K::Kde);
        QTest::newRow("GNOME name last") << L{gnome, cinnamon} << "" << Choice(K::Cinnamon);
    }
    void choice()
    {
        QFETCH(L, owned);
        QFETCH(QString, desktop);
        QFETCH(Choice, expected);
        QCOMPARE(chooseSessionManager(owned, desktop), expected);
    }

    void gnomeOrMate_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<Choice>("expected");
        QTest::newRow("GNOME") << introspection({"Shutdown", "Reboot"}) << Choice(K::Gnome);
        QTest::newRow("MATE") << introspection({"Shutdown", "RequestReboot"}) << Choice(K::Mate);
        // Methods on other interfaces say nothing.
        QTest::newRow("other interface")
            << introspection({"Reboot"}, gnome + ".Client") << Choice();
        QTest::newRow("both") << introspection({"Reboot", "RequestReboot"}) << Choice();
        QTest::newRow("broken XML") << introspection({"Reboot"}).chopped(7) << Choice();
    }
    void gnomeOrMate()
    {
        QFETCH(QString, xml);
        QFETCH(Choice, expected);
        QCOMPARE(gnomeOrMateFromIntrospection(xml), expected);
    }
};

QTEST_GUILESS_MAIN(TestSessionManagers)
#include "tst_sessionmanagers.moc"
