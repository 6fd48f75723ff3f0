// Holding off automatic suspend, each desktop its own way, over private buses.

#include "power/linux/dbussleepguard.h"
#include "privatebus.h"

#include <QDBusArgument>
#include <QSignalSpy>
#include <QTest>

using L = QStringList;

class TestSleepGuard : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> session, system;
    MockService *logind = nullptr;

    // logind's inhibitors, as "what who mode".
    L inhibitors()
    {
        const QDBusArgument list =
            system->connection()
                .call(QDBusMessage::createMethodCall(
                    "org.freedesktop.login1", "/org/freedesktop/login1",
                    "org.freedesktop.login1.Manager", "ListInhibitors"))
                .arguments()
                .value(0)
                .value<QDBusArgument>();
        L out;
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint uid, pid;
            list.beginStructure();
            list >> what >> who >> why >> mode >> uid >> pid;
            list.endStructure();
            out << what + ' ' + who + ' ' + mode;
        }
        list.endArray();
        return out;
    }

    // "method arguments..." of each call, leaving out the reason given (a sentence).
    static L calls(MockService *service)
    {
        L out;
        for (const MockCall &call : service->calls()) {
            L words{call.method};
            for (const QVariant &arg : call.args)
                if (!arg.toString().contains(' '))
                    words << arg.toString();
            out << words.join(' ');
        }
        return out;
    }

private Q_SLOTS:
    void init()
    {
        session = std::make_unique<PrivateBus>();
        system = std::make_unique<PrivateBus>();
        logind = system->start({"--template", "logind"}, "org.freedesktop.login1",
                               "/org/freedesktop/login1");
        QVERIFY(logind);
    }

    void eachDesktopItsOwnHold_data()
    {
        QTest::addColumn<L>("services"); // on the session bus: name path interface, ...
        QTest::addColumn<L>("methods");  // of the first: "name in-signature"
        QTest::addColumn<L>("calls");    // to the first, held then released
        QTest::addColumn<L>("held");     // logind's inhibitors while held
        const L gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                      "org.gnome.SessionManager"};
        const L fdo{"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                    "org.freedesktop.PowerManagement.Inhibit"};
        const L powerDevil{"org.kde.Solid.PowerManagement", "/org/kde/Solid/PowerManagement", "x.y"};
        // The suspend flag (4) only: the idle flag would keep the screen from blanking.
        QTest::newRow("GNOME") << gnome << L{"Inhibit susu", "Uninhibit u"}
                               << L{"Inhibit quorvel 0 4", "Uninhibit 7"} << L();
        QTest::newRow("KDE Plasma") << fdo + powerDevil << L{"Inhibit ss", "UnInhibit u"}
                                    << L{"Inhibit Quorvel", "UnInhibit 7"} << L();
        // Xfce's own hold would stop the screen from blanking: logind's, as on any other.
        QTest::newRow("Xfce and the rest") << fdo << L{"Inhibit ss", "UnInhibit u"} << L()
                                           << L{"idle Quorvel block"};
    }
    void eachDesktopItsOwnHold()
    {
        QFETCH(L, services);
        QFETCH(L, methods);
        QFETCH(L, calls);
        QFETCH(L, held);
        MockService *desktop = session->start(services.mid(0, 3), services[0], services[1]);
        QVERIFY(desktop);
        for (const QString &m : methods)
            QVERIFY(desktop->addMethod(m.section(' ', 0, 0), m.section(' ', 1), "u", "ret = 7"));
        for (qsizetype i = 3; i < services.size(); i += 3)
            QVERIFY(session->start(services.mid(i, 3), services[i], services[i + 1]));

        DBusSleepGuard guard(session->connection(), system->connection());
        guard.hold(true);
        QTRY_COMPARE(this->calls(desktop).size() + inhibitors().size(), 1);
        QCOMPARE(inhibitors(), held);
        guard.hold(false);
        QTRY_COMPARE(this->calls(desktop), calls);
        QTRY_COMPARE(inhibitors(), L());
    }

    void holdDroppedBeforeItArrivesIsReleased()
    {
        DBusSleepGuard guard(session->connection(), system->connection());
        guard.hold(true);
        guard.hold(false);
        QTest::qWait(300);
        QCOMPARE(inhibitors(), L());
    }

    void holdEndsWithTheGuard()
    {
        auto guard = std::make_unique<DBusSleepGuard>(session->connection(), system->connection());
        guard->hold(true);
        QTRY_COMPARE(inhibitors(), L{"idle Quorvel block"});
        guard.reset();
        QTRY_COMPARE(inhibitors(), L());
    }

    void wakingUpIsReported()
    {
        DBusSleepGuard guard(session->connection(), system->connection());
        QSignalSpy resumed(&guard, &SleepGuard::resumed);
        QTest::qWait(100); // the match rule in place
        QVERIFY(logind->emitSignal("org.freedesktop.login1.Manager", "PrepareForSleep", "b", {true}));
        QVERIFY(logind->emitSignal("org.freedesktop.login1.Manager", "PrepareForSleep", "b", {false}));
        QVERIFY(resumed.wait());
        QCOMPARE(resumed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSleepGuard)
#include "tst_sleepguard.moc"
