// Holding off automatic suspend, each desktop its own way, over private buses.

#include "power/linux/dbussleepguard.h"
#include "privatebus.h"

#include <QSignalSpy>

using L = QStringList;

class TestSleepGuard : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> session, system;
    MockService *logind = nullptr;

    L inhibitors() { return logind->call("Inhibitors", {}).arguments().value(0).toStringList(); }

private Q_SLOTS:
    void init()
    {
        session = std::make_unique<PrivateBus>();
        system = std::make_unique<PrivateBus>();
        logind = system->startLogind();
        QVERIFY(logind);
        QVERIFY(logind->mock("AddMethod", {"org.freedesktop.DBus.Mock", "Inhibitors", "", "as",
                                           "ret = [f'{i[0]} {i[1]} {i[3]}' for i in "
                                           "self.ListInhibitors()]"}));
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
        MockService *service = session->start(desktop.mid(0, 3));
        QVERIFY(service);
        for (const QString &m : desktop.mid(3))
            QVERIFY(service->mock("AddMethod",
                                  {"", m.section(' ', 0, 0), m.section(' ', 1), "u", "ret = 7"}));
        QVERIFY(owned.isEmpty() || session->connection().registerService(owned));
        const auto seen = [&] { return service->log() + logind->log().filter(u"Inhibit "); };

        auto guard = std::make_unique<DBusSleepGuard>(session->connection(), system->connection());
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
        DBusSleepGuard guard(session->connection(), system->connection());
        QSignalSpy resumed(&guard, &SleepGuard::resumed);
        // Each is queued here before its EmitSignal returns: the spy sees all three at once.
        for (const bool suspending : {true, false, true})
            QVERIFY(logind->mock("EmitSignal", {"org.freedesktop.login1.Manager", "PrepareForSleep",
                                                "b", QVariantList{suspending}}));
        QTRY_COMPARE(resumed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSleepGuard)
#include "tst_sleepguard.moc"
