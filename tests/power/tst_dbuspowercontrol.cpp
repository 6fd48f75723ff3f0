// The power backend over private buses, with session managers and logind mocked by dbusmock.

#include "power/linux/dbuspowercontrol.h"
#include "privatebus.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using L = QStringList;

namespace {

// Short, and different, so that a wait tells which one ran out.
constexpr DBusPowerControl::Timeouts timeouts{4000, 1000, 2000};
const L xfce{"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager"};

// "who method type:value..." for each call that dbusmock logged.
L calls(MockService *service, const QString &who)
{
    L seen;
    for (const MockCall &call : service ? service->calls() : QList<MockCall>()) {
        seen << who + ' ' + call.method;
        for (const QVariant &arg : call.args)
            seen.last() += QStringLiteral(" %1:%2").arg(arg.typeName(), arg.toString());
    }
    return seen;
}

MockService *startManager(PrivateBus &bus, const L &owner)
{
    MockService *manager = bus.start(owner.mid(0, 3), owner[0], owner[1]);
    for (const QString &method : owner.mid(3)) {
        if (manager && !manager->addMethod(method.section(u' ', 0, 0), method.section(u' ', 1, 1),
                                           {}, method.section(u' ', 2)))
            return nullptr;
    }
    return manager;
}

} // namespace

class TestDBusPowerControl : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_session;
    std::unique_ptr<PrivateBus> m_system;
    MockService *m_logind = nullptr;

private Q_SLOTS:
    void init()
    {
        m_session = std::make_unique<PrivateBus>();
        m_system = std::make_unique<PrivateBus>();
        m_logind = m_system->start({"--template", "logind"}, "org.freedesktop.login1",
                                   "/org/freedesktop/login1");
        QVERIFY(m_logind);
    }
    void request_data()
    {
        // On the session bus: name, path, interface, then "method signature python-code"s.
        QTest::addColumn<L>("manager");
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<PowerAction>("action");
        QTest::addColumn<QString>("failure"); // a part of the reason; empty: success
        QTest::addColumn<int>("timeoutMs");   // that runs out (QtDBus's coarse timers: -5 %)
        QTest::addColumn<L>("expected");      // calls
        const auto off = PowerAction::PowerOff;
        const L gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                      "org.gnome.SessionManager"};
        QTest::newRow("logind power off")
            << L() << "" << off << "" << 0 << L{"logind PowerOff bool:true"};
        QTest::newRow("no log off by logind")
            << L() << "" << PowerAction::Logoff << "log" << 0 << L();
        QTest::newRow("session manager first")
            << xfce + L{"Shutdown b"} << "" << off << "" << 0 << L{"manager Shutdown bool:true"};
        // The GNOME name may be MATE's: only introspection tells.
        QTest::newRow("MATE") << gnome + L{"RequestShutdown", "RequestReboot"} << "" << off << ""
                              << 0 << L{"manager RequestShutdown"};
        QTest::newRow("error reply")
            << xfce + L{"Shutdown b raise dbus.exceptions.DBusException('not now', name='a.No')"}
            << "" << off << "not now" << 0 << L{"manager Shutdown bool:true"};
        QTest::newRow("hung manager") << xfce + L{"Shutdown b"} << "hung manager" << off << "1 s"
                                      << 1000 << L{"manager Shutdown bool:true"};
        QTest::newRow("no logind") << L() << "no logind" << off << "ServiceUnknown" << 0 << L();
    }
    void request()
    {
        QFETCH(L, manager);
        QFETCH(QString, trouble);
        QFETCH(PowerAction, action);
        QFETCH(QString, failure);
        QFETCH(int, timeoutMs);
        QFETCH(L, expected);
        MockService *sm = manager.isEmpty() ? nullptr : startManager(*m_session, manager);
        QVERIFY(manager.isEmpty() || sm);
        if (trouble == "hung manager")
            sm->pause();
        PrivateBus withoutLogind;
        DBusPowerControl power(m_session->connection(),
                               (trouble == "no logind" ? withoutLogind : *m_system).connection(),
                               timeouts, {});
        QSignalSpy answers(&power, &PowerControl::requestFinished);
        QTimer ticker;
        QSignalSpy ticks(&ticker, &QTimer::timeout);
        ticker.start(10);
        QElapsedTimer clock;
        clock.start();
        power.request(action);
        QVERIFY(answers.wait(10000));
        QCOMPARE_GE(clock.elapsed(), timeoutMs * 95 / 100);
        QCOMPARE_LT(clock.elapsed(), timeoutMs + 900);
        QCOMPARE_GE(ticks.size(), timeoutMs / 40); // the event loop kept running
        QCOMPARE(answers[0][1].toBool(), failure.isEmpty());
        QVERIFY2(answers[0][2].toString().contains(failure), qPrintable(answers[0][2].toString()));
        if (trouble == "hung manager")
            sm->resume();
        QCOMPARE(calls(sm, "manager") + calls(m_logind, "logind"), expected);
    }

    void secondRequestWhilePending()
    {
        MockService *manager = startManager(*m_session, xfce + L{"Shutdown b", "Restart b"});
        QVERIFY(manager);
        DBusPowerControl power(m_session->connection(), m_system->connection(), timeouts, {});
        QSignalSpy answers(&power, &PowerControl::requestFinished);
        manager->pause();
        power.request(PowerAction::PowerOff);
        power.request(PowerAction::Reboot);
        QVERIFY(answers.wait(500)); // the earlier one may be ending the session already
        QCOMPARE(answers[0][0].value<PowerAction>(), PowerAction::Reboot);
        QVERIFY(!answers[0][1].toBool());
        QVERIFY(answers.wait(5000));
        QCOMPARE(answers[1][0].value<PowerAction>(), PowerAction::PowerOff);
        manager->resume();
        QCOMPARE(calls(manager, "xfce"), L{"xfce Shutdown bool:true"});
        power.request(PowerAction::Reboot); // once answered, requests go out again
        QVERIFY(answers.wait(5000));
        QVERIFY(answers[2][1].toBool());
    }
};

QTEST_GUILESS_MAIN(TestDBusPowerControl)
#include "tst_dbuspowercontrol.moc"
