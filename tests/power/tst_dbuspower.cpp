// The power backend on Linux: each desktop's messages and the choice among session managers;
// then, over private buses with session managers, desktops and logind mocked by dbusmock, the
// requests and the sleep holds.

#include "power/linux/dbuspowercontrol.h"
#include "power/linux/dbussleepguard.h"
#include "power/linux/sessionmanagers.h"
#include "privatebus.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

using K = SessionManagerKind;
using L = QStringList;
using Choice = std::optional<SessionManagerKind>;

// Short, and different, so that a wait tells which one ran out.
constexpr DBusPowerControl::Timeouts timeouts{4000, 1000, 2000};
const L gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager"};
const L xfce{"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager"};
const L fdo{"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
            "org.freedesktop.PowerManagement.Inhibit"};

class TestDBusPower : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_session, m_system;
    MockService *m_logind = nullptr;

    L inhibitors() { return m_logind->call("Inhibitors", {}).arguments().value(0).toStringList(); }
    // A session bus with `service` on it (name, path, interface, then methods as "name
    // signature code", answering with `out`), and a system bus with logind, which lists its
    // inhibitors as "what who mode". The service (logind without one), or nullptr.
    MockService *startBuses(const L &service = {}, const QString &out = {})
    {
        m_session = std::make_unique<PrivateBus>();
        m_system = std::make_unique<PrivateBus>();
        m_logind = m_system->start(
            {"org.freedesktop.login1", "/org/freedesktop/login1", "--template", "logind"});
        if (!m_logind ||
            !m_logind->mock("AddMethod", {"org.freedesktop.DBus.Mock", "Inhibitors", "", "as",
                                          "ret = [f'{i[0]} {i[1]} {i[3]}' for i in "
                                          "self.ListInhibitors()]"}))
            return nullptr;
        MockService *mock = service.isEmpty() ? m_logind : m_session->start(service.mid(0, 3));
        for (const QString &m : service.mid(3))
            if (mock && !mock->mock("AddMethod", {"", m.section(' ', 0, 0), m.section(' ', 1, 1),
                                                  out, m.section(' ', 2)}))
                return nullptr;
        return mock;
    }

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
        const QString kde = "org.kde.Shutdown", lxqt = "org.lxqt.session";
        QTest::newRow("none") << L{":1.7", kde + "X", gnome[0] + ".Presence"} << "GNOME"
                              << Choice();
        // The desktop's own manager first, in the variable's order, in any case.
        QTest::newRow("desktop's")
            << L{kde, xfce[0], lxqt} << "ubuntu:lxqt:XFCE" << Choice(K::Lxqt);
        // Else a fixed order, the GNOME name that MATE shares last.
        QTest::newRow("desktop's absent")
            << L{gnome[0], lxqt, "org.cinnamon.SessionManager"} << "KDE" << Choice(K::Cinnamon);
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

    void request_data()
    {
        QTest::addColumn<L>("manager");       // on the session bus
        QTest::addColumn<int>("hungMs");      // not 0: it never answers, and this timeout runs out
        QTest::addColumn<QString>("failure"); // a part of the reason; empty: success
        QTest::addColumn<L>("calls");         // to the manager, then to logind
        // The GNOME name may be MATE's: only introspection tells.
        QTest::newRow("MATE") << gnome + L{"RequestShutdown", "RequestReboot"} << 0 << ""
                              << L{"RequestShutdown"};
        QTest::newRow("error reply")
            << xfce + L{"Shutdown b raise dbus.exceptions.DBusException('not now', name='a.No')"}
            << 0 << "not now" << L{"Shutdown true"};
        QTest::newRow("hung manager")
            << xfce + L{"Shutdown b"} << 1000 << "1 s" << L{"Shutdown true"};
    }
    void request()
    {
        QFETCH(L, manager);
        QFETCH(int, hungMs);
        QFETCH(QString, failure);
        QFETCH(L, calls);
        MockService *sm = startBuses(manager);
        QVERIFY(sm);
        if (hungMs)
            sm->pause();
        DBusPowerControl power(m_session->connection(), m_system->connection(), timeouts, {});
        QSignalSpy answers(&power, &PowerControl::requestFinished);
        QTimer ticker;
        QSignalSpy ticks(&ticker, &QTimer::timeout);
        ticker.start(10);
        QElapsedTimer clock;
        clock.start();
        power.request(PowerAction::PowerOff);
        QVERIFY(answers.wait(10000));
        // QtDBus's coarse timers may end a wait 5 % early.
        QCOMPARE_GE(clock.elapsed(), hungMs * 95 / 100);
        QCOMPARE_LT(clock.elapsed(), hungMs + 900);
        QCOMPARE_GE(ticks.size(), hungMs / 40); // the event loop kept running
        QCOMPARE(answers[0][1].toBool(), failure.isEmpty());
        QVERIFY2(answers[0][2].toString().contains(failure), qPrintable(answers[0][2].toString()));
        sm->pause(false);
        QCOMPARE(sm->log() + m_logind->log(), calls);
    }

    // With no session manager: logind's.
    void aRequestWhileOneWaitsFails()
    {
        QVERIFY(startBuses());
        DBusPowerControl power(m_session->connection(), m_system->connection(), timeouts, {});
        QSignalSpy answers(&power, &PowerControl::requestFinished);
        power.request(PowerAction::PowerOff);
        power.request(PowerAction::Reboot); // the earlier one may be ending the session already
        QTRY_COMPARE(answers.size(), 2);
        QCOMPARE(answers[0][0].value<PowerAction>(), PowerAction::Reboot);
        QVERIFY(!answers[0][1].toBool());
        power.request(PowerAction::Reboot); // once answered, requests go out again
        QTRY_COMPARE(answers.size(), 3);
        QCOMPARE(m_logind->log(), (L{"PowerOff true", "Reboot true"}));
    }

    void eachDesktopItsOwnHold_data()
    {
        QTest::addColumn<L>("desktop");     // on the session bus
        QTest::addColumn<QString>("owned"); // another name on the session bus
        QTest::addColumn<QString>("end");   // of the hold
        QTest::addColumn<L>("calls");       // to the desktop, and Inhibit to logind
        QTest::addColumn<L>("held");        // logind's inhibitors, "what who mode", while held
        const L powerManagement = fdo + L{"Inhibit ss ret = 7", "UnInhibit u ret = 7"};
        // The suspend flag (4) only: the idle flag would keep the screen from blanking.
        QTest::newRow("GNOME, dropped before the answer")
            << gnome + L{"Inhibit susu ret = 7", "Uninhibit u ret = 7"} << ""
            << "early" << L{"Inhibit quorvel 0 4", "Uninhibit 7"} << L();
        QTest::newRow("KDE Plasma, guard destroyed")
            << powerManagement << "org.kde.Solid.PowerManagement"
            << "destroyed" << L{"Inhibit Quorvel", "UnInhibit 7"} << L();
        // Xfce's own hold would stop the screen from blanking: logind's, as on any other.
        QTest::newRow("Xfce and the rest")
            << powerManagement << ""
            << "hold(false)" << L{"Inhibit idle Quorvel block"} << L{"idle Quorvel block"};
    }
    void eachDesktopItsOwnHold()
    {
        QFETCH(L, desktop);
        QFETCH(QString, owned);
        QFETCH(QString, end);
        QFETCH(L, calls);
        QFETCH(L, held);
        MockService *service = startBuses(desktop, "u");
        QVERIFY(service);
        QVERIFY(owned.isEmpty() || m_session->connection().registerService(owned));
        const auto seen = [&] { return service->log() + m_logind->log().filter(u"Inhibit "); };
        auto guard =
            std::make_unique<DBusSleepGuard>(m_session->connection(), m_system->connection());
        QSignalSpy resumed(guard.get(), &SleepGuard::resumed);
        guard->hold(true);
        if (end != "early") {
            QTRY_COMPARE(seen().size(), 1);
            QTest::qWait(100); // the answer in, so that a lock let go at once shows
            QCOMPARE(inhibitors(), held);
            for (const bool suspending : {true, false}) // a suspend asked for by the user
                QVERIFY(m_logind->mock("EmitSignal",
                                       {"org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                                        QVariantList{suspending}}));
            QTRY_COMPARE(resumed.size(), 1);
        }
        end == "destroyed" ? guard.reset() : guard->hold(false);
        QTRY_COMPARE(seen(), calls);
        QTRY_COMPARE(inhibitors(), L());
    }
};

QTEST_GUILESS_MAIN(TestDBusPower)
#include "tst_dbuspower.moc"
