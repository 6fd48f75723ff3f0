// The messages for each desktop's session manager and logind, and the choice among managers.

#include "power/linux/sessionmanagers.h"

#include <QDBusMetaType>
#include <QTest>

using K = SessionManagerKind;
using L = QStringList;
using Choice = std::optional<SessionManagerKind>;

class TestSessionManagers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messages_data()
    {
        QTest::addColumn<Choice>("kind"); // none: logind
        QTest::addColumn<L>("calls");     // power off, reboot, log off: "member signature args"
        QTest::newRow("KDE") << Choice(K::Kde)
                             << L{"logoutAndShutdown", "logoutAndReboot", "logout"};
        // Log off never with mode 2, which would override programs that object.
        QTest::newRow("GNOME") << Choice(K::Gnome) << L{"Shutdown", "Reboot", "Logout u 1"};
        // Shutdown(allow_save), Restart(allow_save), Logout(show_dialog, allow_save).
        QTest::newRow("Xfce") << Choice(K::Xfce)
                              << L{"Shutdown b true", "Restart b true", "Logout bb false true"};
        // Interactive, so that polkit may ask for a password; it could log off only by force.
        QTest::newRow("logind") << Choice() << L{"PowerOff b true", "Reboot b true", ""};
    }
    void messages()
    {
        QFETCH(Choice, kind);
        QFETCH(L, calls);
        for (const auto action :
             {PowerAction::PowerOff, PowerAction::Reboot, PowerAction::Logoff}) {
            const auto m = kind ? sessionManagerCall(*kind, action) : logindCall(action);
            // With the types QtDBus marshals: signature() stays empty until the message is sent.
            L wire{m ? m->member() : QString(), {}};
            for (const QVariant &argument : m ? m->arguments() : QVariantList()) {
                wire[1] += QLatin1String(QDBusMetaType::typeToSignature(argument.metaType()));
                wire << argument.toString();
            }
            QCOMPARE(wire.join(' ').trimmed(), calls.takeFirst());
        }
    }

    void choice_data()
    {
        QTest::addColumn<L>("owned");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<Choice>("expected");
        const QString kde = "org.kde.Shutdown", gnome = "org.gnome.SessionManager";
        const QString xfce = "org.xfce.SessionManager", lxqt = "org.lxqt.session";
        QTest::newRow("none") << L{":1.7", kde + "X", gnome + ".Presence"} << "GNOME" << Choice();
        // The desktop's own manager first, in the variable's order, in any case.
        QTest::newRow("desktop's") << L{kde, xfce, lxqt} << "ubuntu:lxqt:XFCE" << Choice(K::Lxqt);
        // Else a fixed order, the GNOME name that MATE shares last.
        QTest::newRow("desktop's absent")
            << L{gnome, lxqt, "org.cinnamon.SessionManager"} << "KDE" << Choice(K::Cinnamon);
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
        QTest::addColumn<QString>("methods"); // on GNOME's interface; MATE's on another one
        QTest::addColumn<Choice>("expected");
        QTest::newRow("GNOME") << "Shutdown'/><method name='Reboot" << Choice(K::Gnome);
        QTest::newRow("both") << "Reboot'/><method name='RequestReboot" << Choice();
        QTest::newRow("broken XML") << "Reboot'/></interface></node><" << Choice();
    }
    void gnomeOrMate()
    {
        QFETCH(QString, methods);
        QFETCH(Choice, expected);
        const QString xml = "<node><interface name='org.gnome.SessionManager.Client'><method "
                            "name='RequestReboot'/></interface><interface "
                            "name='org.gnome.SessionManager'><method name='" +
                            methods + "'/></interface><node name='Client1'/></node>";
        QCOMPARE(gnomeOrMateFromIntrospection(xml), expected);
    }
};

QTEST_GUILESS_MAIN(TestSessionManagers)
#include "tst_sessionmanagers.moc"
