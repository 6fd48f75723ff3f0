// The power backend and the sleep holds over private buses, with session managers, desktops and
// logind mocked by dbusmock.

#include "power/linux/dbuspowercontrol.h"
#include "power/linux/dbussleepguard.h"
#include "privatebus.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

using L = QStringList;

// Short, and different, so that a wait tells which one ran out.
constexpr DBusPowerControl::Timeouts timeouts{4000, 1000, 2000};

class TestDBusPower : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_session, m_system;
    MockService *m_logind = nullptr;

    L inhibitors() { return m_logind->call("Inhibitors", {}).arguments().value(0).toStringList(); }

private Q_SLOTS:
    void init()
    {
        m_session = std::make_unique<PrivateBus>();
        m_system = std::make_unique<PrivateBus>();
        m_logind = m_system->startLogind();
        QVERIFY(m_logind);
        QVERIFY(m_logind->mock("AddMethod", {"org.freedesktop.DBus.Mock", "Inhibitors", "", "as",
                                             "ret = [f'{i[0]} {i[1]} {i[3]}' for i in "
                                             "self.ListInhibitors()]"}));
    }

    void request_data()
    {
        QTest::addColumn<L>("manager");  // name, path, interface, then "method signature code"s
        QTest::addColumn<int>("hungMs"); // not 0: it never answers, and this timeout runs out
        QTest::addColumn<QString>("failure"); // a part of the reason; empty: success
        QTest::addColumn<L>("calls");         // to the manager, then to logind
        const L xfce{"org.xfce.SessionManager", "/org/xfce/SessionManager",
                     "org.xfce.Session.Manager"};
        QTest::newRow("logind") << L() << 0 << "" << L{"PowerOff true"};
        // The GNOME name may be MATE's: only introspection tells.
        QTest::newRow("MATE") << L{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                                   "org.gnome.SessionManager", "RequestShutdown", "RequestReboot"}
                              << 0 << "" << L{"RequestShutdown"};
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
        MockService *sm = manager.isEmpty() ? nullptr : m_session->start(manager.mid(0, 3));
        QVERIFY(manager.isEmpty() || sm);
        for (const QString &m : manager.mid(3))
            QVERIFY(sm->mock("AddMethod", {"", m.section(' ', 0, 0), m.section(' ', 1, 1), "",
                                           m.section(' ', 2)}));
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
        if (hungMs)
            sm->pause(false);
        QCOMPARE((sm ? sm->log() : L()) + m_logind->log(), calls);
    }

    void aRequestWhileOneWaitsFails()
    {
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
        QTest::addColumn<L>("desktop");     // on the session bus: name, path, interface, methods
        QTest::addColumn<QString>("owned"); // another name on the session bus
        QTest::addColumn<QString>("end");   // of the hold
        QTest::addColumn<L>("calls");       // to the desktop, and Inhibit to logind
        QTest::addColumn<L>("held");        // logind's inhibitors, "what who mode", while held
        const L gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                      "org.gnome.SessionManager", "Inhibit susu", "Uninhibit u"};
        const L fdo{"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                    "org.freedesktop.PowerManagement.Inhibit", "Inhibit ss", "UnInhibit u"};
        // The suspend flag (4) only: the idle flag would keep the screen from blanking.
        QTest::newRow("GNOME, dropped before the answer")
            << gnome << ""
            << "early" << L{"Inhibit quorvel 0 4", "Uninhibit 7"} << L();
        QTest::newRow("KDE Plasma, guard destroyed")
            << fdo << "org.kde.Solid.PowerManagement"
            << "destroyed" << L{"Inhibit Quorvel", "UnInhibit 7"} << L();
        // Xfce's own hold would stop the screen from blanking: logind's, as on any other.
        QTest::newRow("Xfce and the rest")
            << fdo << ""
            << "hold(false)" << L{"Inhibit idle Quorvel block"} << L{"idle Quorvel block"};
    }
    void eachDesktopItsOwnHold()
    {
        QFETCH(L, desktop);
        QFETCH(QString, owned);
        QFETCH(QString, end);
        QFETCH(L, calls);
        QFETCH(L, held);
        MockService *service = m_session->start(desktop.mid(0, 3));
        QVERIFY(service);
        for (const QString &m : desktop.mid(3))
            QVERIFY(service->mock("AddMethod",
                                  {"", m.section(' ', 0, 0), m.section(' ', 1), "u", "ret = 7"}));
        QVERIFY(owned.isEmpty() || m_session->connection().registerService(owned));
        const auto seen = [&] { return service->log() + m_logind->log().filter(u"Inhibit "); };

        auto guard =
            std::make_unique<DBusSleepGuard>(m_session->connection(), m_system->connection());
        guard->hold(true);
        if (end != "early") {
            QTRY_COMPARE(seen().size(), 1);
            QTest::qWait(100); // the answer in, so that a lock let go at once shows
            QCOMPARE(inhibitors(), held);
        }
        end == "destroyed" ? guard.reset() : guard->hold(false);
        QTRY_COMPARE(seen(), calls);
        QTRY_COMPARE(inhibitors(), L());
    }

    void wakingUpIsReported()
    {
        DBusSleepGuard guard(m_session->connection(), m_system->connection());
        QSignalSpy resumed(&guard, &SleepGuard::resumed);
        // Each is queued here before its EmitSignal returns: the spy sees all three at once.
        for (const bool suspending : {true, false, true})
            QVERIFY(
                m_logind->mock("EmitSignal", {"org.freedesktop.login1.Manager", "PrepareForSleep",
                                              "b", QVariantList{suspending}}));
        QTRY_COMPARE(resumed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDBusPower)
#include "tst_dbuspower.moc"
