// The D-Bus power backend against mocked session managers and logind on private buses.
// Must run through tests/harness/buses.py run; it refuses to start otherwise.

#include "busfixture.h"
#include "power/linux/dbuspowercontrol.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <vector>

using testbus::Bus;

Q_DECLARE_METATYPE(PowerAction)

namespace {

const QString logindName = QStringLiteral("org.freedesktop.login1");

// What each desktop's session manager offers, decoys included: a wrong choice of method would
// still be answered and must show up as the wrong member on the wire.
MockService::Setup sessionManager(const QString &desktop)
{
    MockService::Setup setup;
    const auto methods = [&setup](std::initializer_list<std::pair<QString, QString>> list) {
        setup.methods = list;
    };
    if (desktop == QLatin1String("KDE")) {
        setup.name = setup.interface = QStringLiteral("org.kde.Shutdown");
        setup.path = QStringLiteral("/Shutdown");
        methods({{"logoutAndShutdown", ""}, {"logoutAndReboot", ""}, {"logout", ""}});
    } else if (desktop == QLatin1String("GNOME") || desktop == QLatin1String("MATE")) {
        setup.name = setup.interface = QStringLiteral("org.gnome.SessionManager");
        setup.path = QStringLiteral("/org/gnome/SessionManager");
        if (desktop == QLatin1String("GNOME"))
            methods({{"Shutdown", ""}, {"Reboot", ""}, {"Logout", "u"}});
        else
            methods({{"Shutdown", ""},
                     {"RequestShutdown", ""},
                     {"RequestReboot", ""},
                     {"Logout", "u"}});
    } else if (desktop == QLatin1String("Xfce")) {
        setup.name = QStringLiteral("org.xfce.SessionManager");
        setup.path = QStringLiteral("/org/xfce/SessionManager");
        setup.interface = QStringLiteral("org.xfce.Session.Manager");
        methods({{"Shutdown", "b"}, {"Restart", "b"}, {"Logout", "bb"}});
    } else if (desktop == QLatin1String("Cinnamon")) {
        setup.name = setup.interface = QStringLiteral("org.cinnamon.SessionManager");
        setup.path = QStringLiteral("/org/cinnamon/SessionManager");
        methods({{"Shutdown", ""},
                 {"Reboot", ""},
                 {"RequestShutdown", ""},
                 {"RequestReboot", ""},
                 {"Logout", "u"}});
    } else if (desktop == QLatin1String("LXQt")) {
        setup.name = setup.interface = QStringLiteral("org.lxqt.session");
        setup.path = QStringLiteral("/LXQtSession");
        methods({{"powerOff", ""}, {"reboot", ""}, {"logout", ""}});
    }
    return setup;
}

struct Outcome
{
    PowerAction action;
    bool ok;
    QString reason;
};

Outcome outcomeAt(const QSignalSpy &spy, int index)
{
    const QList<QVariant> &arguments = spy.at(index);
    return {arguments.at(0).value<PowerAction>(), arguments.at(1).toBool(),
            arguments.at(2).toString()};
}

// Resumes a stopped bus daemon even when a check fails halfway.
struct ResumeOnExit
{
    qint64 pid = 0;
    ~ResumeOnExit()
    {
        if (pid > 0)
            ::kill(pid_t(pid), SIGCONT);
    }
};

} // namespace

class TestDBusPowerControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void logindAloneGetsPowerOffAndReboot_data();
    void logindAloneGetsPowerOffAndReboot();
    void logOffWithLogindAloneFailsWithoutCallingIt();
    void sessionManagerGetsTheRequestNotLogind_data();
    void sessionManagerGetsTheRequestNotLogind();
    void severalManagersDesktopOrIntrospectionDecides_data();
    void severalManagersDesktopOrIntrospectionDecides();
    void hungServiceNeitherBlocksNorSucceeds_data();
    void hungServiceNeitherBlocksNorSucceeds();
    void missingBusOrServiceAnswersPromptly_data();
    void missingBusOrServiceAnswersPromptly();
    void errorReplyIsAFailureWithItsMessage_data();
    void errorReplyIsAFailureWithItsMessage();
    void secondRequestWhilePendingGetsItsOwnOutcome();
    void destroyedWhileWaitingReportsNothingLater();
    void factoryUsesTheBusesOfTheEnvironment();

private:
    MockService *startMock(MockService::Setup setup);
    void syncWires();
    std::unique_ptr<DBusPowerControl> makeControl(DBusPowerControl::Timeouts timeouts,
                                                  const QString &desktop = {});
    // Asks a fresh control for the action and waits for its one outcome, and for the wires to
    // have seen everything it sent.
    void ask(PowerAction action, Outcome *outcome);
    // Nothing reached logind, not even a harmless call.
    void verifyLogindUntouched(MockService *logind);

    QDBusConnection m_session{QString()};
    QDBusConnection m_system{QString()};
    std::unique_ptr<WireMonitor> m_sessionWire;
    std::unique_ptr<WireMonitor> m_systemWire;
    std::vector<std::unique_ptr<MockService>> m_mocks;
    static constexpr DBusPowerControl::Timeouts generous{5000, 5000, 5000};
};

void TestDBusPowerControl::initTestCase()
{
    testbus::refuseUnlessPrivate();
    qRegisterMetaType<PowerAction>();
    m_session = QDBusConnection::connectToBus(testbus::address(Bus::Session),
                                              QStringLiteral("quorvel-test-session"));
    m_system = QDBusConnection::connectToBus(testbus::address(Bus::System),
                                             QStringLiteral("quorvel-test-system"));
    QVERIFY(m_session.isConnected());
    QVERIFY(m_system.isConnected());
    QString error;
    m_sessionWire = std::make_unique<WireMonitor>(Bus::Session);
    m_systemWire = std::make_unique<WireMonitor>(Bus::System);
    QVERIFY2(m_sessionWire->start(&error), qPrintable(error));
    QVERIFY2(m_systemWire->start(&error), qPrintable(error));
}

void TestDBusPowerControl::init()
{
    syncWires();
    m_sessionWire->clear();
    m_systemWire->clear();
}

void TestDBusPowerControl::cleanup()
{
    std::vector<QString> names;
    for (const auto &mock : m_mocks)
        names.push_back(mock->setup().name);
    m_mocks.clear();
    // The next test must not meet a name left over from this one.
    for (const QString &name : names) {
        QVERIFY(testbus::waitUntil([&] {
            return !m_session.interface()->isServiceRegistered(name).value() &&
                   !m_system.interface()->isServiceRegistered(name).value();
        }));
    }
}

MockService *TestDBusPowerControl::startMock(MockService::Setup setup)
{
    auto mock = std::make_unique<MockService>(std::move(setup));
    QString error;
    if (!mock->start(&error)) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    m_mocks.push_back(std::move(mock));
    return m_mocks.back().get();
}

void TestDBusPowerControl::syncWires()
{
    QVERIFY(m_sessionWire->sync(m_session));
    QVERIFY(m_systemWire->sync(m_system));
}

std::unique_ptr<DBusPowerControl>
TestDBusPowerControl::makeControl(DBusPowerControl::Timeouts timeouts, const QString &desktop)
{
    return std::make_unique<DBusPowerControl>(m_session, m_system, timeouts, desktop);
}

void TestDBusPowerControl::ask(PowerAction action, Outcome *outcome)
{
    auto control = makeControl(generous);
    QSignalSpy finished(control.get(), &PowerControl::requestFinished);
    control->request(action);
    QTRY_COMPARE(finished.count(), 1);
    *outcome = outcomeAt(finished, 0);
    QCOMPARE(outcome->action, action);
    syncWires();
}

void TestDBusPowerControl::verifyLogindUntouched(MockService *logind)
{
    QVERIFY(m_systemWire->callsTo(logindName).isEmpty());
    QVERIFY(logind->calls().isEmpty());
}

void TestDBusPowerControl::logindAloneGetsPowerOffAndReboot_data()
{
    QTest::addColumn<PowerAction>("action");
    QTest::addColumn<QString>("member");
    QTest::newRow("power off") << PowerAction::PowerOff << QStringLiteral("PowerOff");
    QTest::newRow("reboot") << PowerAction::Reboot << QStringLiteral("Reboot");
}

void TestDBusPowerControl::logindAloneGetsPowerOffAndReboot()
{
    QFETCH(PowerAction, action);
    QFETCH(QString, member);
    MockService *logind = startMock(MockService::logind());
    QVERIFY(logind);
    Outcome outcome{};
    ask(action, &outcome);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(outcome.ok, qPrintable(outcome.reason));
    const QList<WireCall> wire = m_systemWire->callsTo(logindName);
    QCOMPARE(wire.size(), 1);
    QCOMPARE(wire[0].interface, QStringLiteral("org.freedesktop.login1.Manager"));
    QCOMPARE(wire[0].path, QStringLiteral("/org/freedesktop/login1"));
    QCOMPARE(wire[0].member, member);
    // Interactive: polkit may ask for a password rather than refuse outright.
    QCOMPARE(wire[0].signature, QStringLiteral("b"));
    QCOMPARE(wire[0].args, QStringList{QStringLiteral("true")});
    const QList<MockCall> calls = logind->calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].method, member);
}

void TestDBusPowerControl::logOffWithLogindAloneFailsWithoutCallingIt()
{
    MockService *logind = startMock(MockService::logind());
    QVERIFY(logind);
    Outcome outcome{};
    ask(PowerAction::Logoff, &outcome);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.reason,
             QStringLiteral("logging off needs the desktop's session manager, and no session "
                            "manager is on the session bus"));
    // Not even a harmless call: logind can only end a session by force.
    verifyLogindUntouched(logind);
}

void TestDBusPowerControl::sessionManagerGetsTheRequestNotLogind_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<PowerAction>("action");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QStringList>("args");

    const QStringList none;
    const QStringList noConfirmation{QStringLiteral("1")};
    struct Row
    {
        const char *desktop;
        PowerAction action;
        const char *member;
        const char *signature;
        QStringList args;
    };
    const Row rows[] = {
        {"KDE", PowerAction::PowerOff, "logoutAndShutdown", "", none},
        {"KDE", PowerAction::Reboot, "logoutAndReboot", "", none},
        {"KDE", PowerAction::Logoff, "logout", "", none},
        {"GNOME", PowerAction::PowerOff, "Shutdown", "", none},
        {"GNOME", PowerAction::Reboot, "Reboot", "", none},
        {"GNOME", PowerAction::Logoff, "Logout", "u", noConfirmation},
        {"MATE", PowerAction::PowerOff, "RequestShutdown", "", none},
        {"MATE", PowerAction::Reboot, "RequestReboot", "", none},
        {"MATE", PowerAction::Logoff, "Logout", "u", noConfirmation},
        {"Xfce", PowerAction::PowerOff, "Shutdown", "b", {"true"}},
        {"Xfce", PowerAction::Reboot, "Restart", "b", {"true"}},
        {"Xfce", PowerAction::Logoff, "Logout", "bb", {"false", "true"}},
        {"Cinnamon", PowerAction::PowerOff, "RequestShutdown", "", none},
        {"Cinnamon", PowerAction::Reboot, "RequestReboot", "", none},
        {"Cinnamon", PowerAction::Logoff, "Logout", "u", noConfirmation},
        {"LXQt", PowerAction::PowerOff, "powerOff", "", none},
        {"LXQt", PowerAction::Reboot, "reboot", "", none},
        {"LXQt", PowerAction::Logoff, "logout", "", none},
    };
    for (const Row &row : rows) {
        QTest::addRow("%s %s", row.desktop, qPrintable(powerActionName(row.action)))
            << QString::fromLatin1(row.desktop) << row.action << QString::fromLatin1(row.member)
            << QString::fromLatin1(row.signature) << row.args;
    }
}

void TestDBusPowerControl::sessionManagerGetsTheRequestNotLogind()
{
    QFETCH(QString, desktop);
    QFETCH(PowerAction, action);
    QFETCH(QString, member);
    QFETCH(QString, signature);
    QFETCH(QStringList, args);
    MockService *logind = startMock(MockService::logind());
    MockService *manager = startMock(sessionManager(desktop));
    QVERIFY(logind && manager);
    // No desktop name: the bus alone decides.
    Outcome outcome{};
    ask(action, &outcome);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(outcome.ok, qPrintable(outcome.reason));
    QList<WireCall> wire = m_sessionWire->callsTo(manager->setup().name);
    wire.removeIf(
        [&](const WireCall &call) { return call.interface != manager->setup().interface; });
    QCOMPARE(wire.size(), 1);
    QCOMPARE(wire[0].path, manager->setup().path);
    QCOMPARE(wire[0].member, member);
    QCOMPARE(wire[0].signature, signature);
    QCOMPARE(wire[0].args, args);
    QCOMPARE(manager->calls().size(), 1);
    QCOMPARE(manager->calls().at(0).method, member);
    verifyLogindUntouched(logind);
}

void TestDBusPowerControl::severalManagersDesktopOrIntrospectionDecides_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("currentDesktop");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("member");

    QTest::newRow("desktop name picks GNOME over KDE")
        << QStringList{"KDE", "GNOME"} << QStringLiteral("ubuntu:GNOME")
        << QStringLiteral("org.gnome.SessionManager") << QStringLiteral("Shutdown");
    QTest::newRow("no desktop name: KDE before the shared GNOME name")
        << QStringList{"KDE", "GNOME"} << QString() << QStringLiteral("org.kde.Shutdown")
        << QStringLiteral("logoutAndShutdown");
    QTest::newRow("methods of the service beat a GNOME desktop name")
        << QStringList{"MATE"} << QStringLiteral("GNOME")
        << QStringLiteral("org.gnome.SessionManager") << QStringLiteral("RequestShutdown");
}

void TestDBusPowerControl::severalManagersDesktopOrIntrospectionDecides()
{
    QFETCH(QStringList, present);
    QFETCH(QString, currentDesktop);
    QFETCH(QString, chosen);
    QFETCH(QString, member);
    QStringList names;
    for (const QString &desktop : present) {
        QVERIFY(startMock(sessionManager(desktop)));
        names << sessionManager(desktop).name;
    }
    auto control = makeControl(generous, currentDesktop);
    QSignalSpy finished(control.get(), &PowerControl::requestFinished);

    control->request(PowerAction::PowerOff);

    QTRY_COMPARE(finished.count(), 1);
    QVERIFY2(outcomeAt(finished, 0).ok, qPrintable(outcomeAt(finished, 0).reason));
    syncWires();
    for (const QString &name : std::as_const(names)) {
        QList<WireCall> wire = m_sessionWire->callsTo(name);
        wire.removeIf([](const WireCall &call) {
            return call.interface == QLatin1String("org.freedesktop.DBus.Introspectable");
        });
        if (name != chosen) {
            QVERIFY2(wire.isEmpty(), qPrintable(name));
            continue;
        }
        QCOMPARE(wire.size(), 1);
        QCOMPARE(wire[0].member, member);
    }
}

void TestDBusPowerControl::hungServiceNeitherBlocksNorSucceeds_data()
{
    QTest::addColumn<QString>("hung");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("reason");

    // Distinct timeouts show which one ended the wait.
    QTest::newRow("session manager")
        << QStringLiteral("Xfce") << 1000
        << QStringLiteral("no answer from Xfce session manager within 1 s");
    QTest::newRow("owner of the GNOME name, asked what it is")
        << QStringLiteral("GNOME") << 700
        << QStringLiteral("no answer from the owner of org.gnome.SessionManager within 700 ms");
    QTest::newRow("logind") << QStringLiteral("logind") << 1300
                            << QStringLiteral("no answer from systemd-logind within 1300 ms");
    QTest::newRow("session bus daemon")
        << QStringLiteral("session bus") << 700
        << QStringLiteral("no answer from the session bus within 700 ms");
}

void TestDBusPowerControl::hungServiceNeitherBlocksNorSucceeds()
{
    QFETCH(QString, hung);
    QFETCH(int, timeoutMs);
    QFETCH(QString, reason);
    ResumeOnExit resumeDaemon;
    if (hung == QLatin1String("logind")) {
        MockService *logind = startMock(MockService::logind());
        QVERIFY(logind);
        logind->pause();
    } else if (hung == QLatin1String("session bus")) {
        QVERIFY(startMock(MockService::logind()));
        resumeDaemon.pid = testbus::daemonPid(Bus::Session);
        QVERIFY(resumeDaemon.pid > 0);
        ::kill(pid_t(resumeDaemon.pid), SIGSTOP);
    } else {
        MockService *manager = startMock(sessionManager(hung));
        QVERIFY(manager);
        manager->pause();
    }
    auto control = makeControl({700, 1000, 1300});
    QSignalSpy finished(control.get(), &PowerControl::requestFinished);
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    int ticks = 0;
    qint64 lastTickMs = 0;
    qint64 longestGapMs = 0;
    QElapsedTimer clock;
    connect(&ticker, &QTimer::timeout, this, [&] {
        ++ticks;
        longestGapMs = std::max(longestGapMs, clock.elapsed() - lastTickMs);
        lastTickMs = clock.elapsed();
    });
    ticker.start();
    clock.start();

    control->request(PowerAction::PowerOff);
    const qint64 returnedUs = clock.nsecsElapsed() / 1000;

    QVERIFY2(returnedUs < 20'000, qPrintable(QString::number(returnedUs)));
    // A real event loop, as in the program; QTRY_ would sleep between its rounds.
    QVERIFY(finished.wait(timeoutMs + 3000));
    const qint64 waitedMs = clock.elapsed();
    ticker.stop();
    const Outcome outcome = outcomeAt(finished, 0);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.reason, reason);
    // Qt's coarse timers may fire a few per cent early.
    QVERIFY2(waitedMs >= timeoutMs * 9 / 10 && waitedMs < timeoutMs + 1000,
             qPrintable(QString::number(waitedMs)));
    // The clock of the window would have kept ticking at its rate all along.
    QVERIFY2(ticks >= waitedMs / 10 * 8 / 10, qPrintable(QString::number(ticks)));
    QVERIFY2(longestGapMs < 100, qPrintable(QString::number(longestGapMs)));
    qInfo("%s: request() returned after %lld us, failed after %lld ms, %d ticks of 10 ms, "
          "longest gap %lld ms",
          QTest::currentDataTag(), returnedUs, waitedMs, ticks, longestGapMs);
}

void TestDBusPowerControl::missingBusOrServiceAnswersPromptly_data()
{
    QTest::addColumn<bool>("sessionBus");
    QTest::addColumn<bool>("systemBus");
    QTest::addColumn<bool>("logind");
    QTest::addColumn<PowerAction>("action");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reasonStart");
    QTest::addColumn<QString>("logindMember");

    QTest::newRow("no session bus: logind powers off")
        << false << true << true << PowerAction::PowerOff << true << QString()
        << QStringLiteral("PowerOff");
    QTest::newRow("no session bus: no log off")
        << false << true << true << PowerAction::Logoff << false
        << QStringLiteral("logging off needs the desktop's session manager, and the session bus "
                          "is not connected")
        << QString();
    QTest::newRow("no system bus")
        << true << false << false << PowerAction::Reboot << false
        << QStringLiteral("the system bus is not connected") << QString();
    QTest::newRow("no bus at all")
        << false << false << false << PowerAction::PowerOff << false
        << QStringLiteral("the system bus is not connected") << QString();
    QTest::newRow("no logind on the system bus")
        << true << true << false << PowerAction::Reboot << false
        << QStringLiteral("systemd-logind: The name org.freedesktop.login1 was not provided by "
                          "any .service files (org.freedesktop.DBus.Error.ServiceUnknown)")
        << QString();
}

void TestDBusPowerControl::missingBusOrServiceAnswersPromptly()
{
    QFETCH(bool, sessionBus);
    QFETCH(bool, systemBus);
    QFETCH(bool, logind);
    QFETCH(PowerAction, action);
    QFETCH(bool, ok);
    QFETCH(QString, reasonStart);
    QFETCH(QString, logindMember);
    MockService *logindMock = logind ? startMock(MockService::logind()) : nullptr;
    QVERIFY(!logind || logindMock);
    const QString nowhere =
        QStringLiteral("unix:path=%1/no_such_socket").arg(testbus::busDirectory());
    const QDBusConnection absent =
        QDBusConnection::connectToBus(nowhere, QStringLiteral("quorvel-test-absent"));
    QVERIFY(!absent.isConnected());
    // Long timeouts: a prompt answer cannot have come from one of them.
    DBusPowerControl control(sessionBus ? m_session : absent, systemBus ? m_system : absent,
                             {30'000, 30'000, 30'000}, QString());
    QSignalSpy finished(&control, &PowerControl::requestFinished);
    QElapsedTimer clock;
    clock.start();

    control.request(action);

    QCOMPARE(finished.count(), 0); // never from inside request()
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 1000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    const Outcome outcome = outcomeAt(finished, 0);
    QCOMPARE(outcome.action, action);
    QCOMPARE(outcome.ok, ok);
    QVERIFY2(outcome.reason.startsWith(reasonStart), qPrintable(outcome.reason));
    QCOMPARE(outcome.reason.isEmpty(), ok);
    syncWires();
    const QList<WireCall> wire = m_systemWire->callsTo(logindName);
    if (logindMember.isEmpty()) {
        QVERIFY(!logindMock || logindMock->calls().isEmpty());
        if (systemBus && logind)
            QVERIFY(wire.isEmpty());
    } else {
        QCOMPARE(wire.size(), 1);
        QCOMPARE(wire[0].member, logindMember);
        QCOMPARE(wire[0].signature, QStringLiteral("b"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("quorvel-test-absent"));
}

void TestDBusPowerControl::errorReplyIsAFailureWithItsMessage_data()
{
    QTest::addColumn<QString>("desktop"); // empty: logind alone
    QTest::addColumn<PowerAction>("action");
    QTest::addColumn<QStringList>("error");
    QTest::addColumn<QString>("reason");

    QTest::newRow("logind denies")
        << QString() << PowerAction::PowerOff
        << QStringList{"PowerOff", "org.freedesktop.DBus.Error.AccessDenied", "Permission denied"}
        << QStringLiteral(
               "systemd-logind: Permission denied (org.freedesktop.DBus.Error.AccessDenied)");
    QTest::newRow("logind busy")
        << QString() << PowerAction::Reboot
        << QStringList{"Reboot", "org.freedesktop.login1.OperationInProgress",
                       "There's already a shutdown or sleep operation in progress"}
        << QStringLiteral("systemd-logind: There's already a shutdown or sleep operation in "
                          "progress (org.freedesktop.login1.OperationInProgress)");
    QTest::newRow("GNOME not running yet")
        << QStringLiteral("GNOME") << PowerAction::Logoff
        << QStringList{"Logout", "org.gnome.SessionManager.NotInRunning",
                       "Logout interface is only available during the Running phase"}
        << QStringLiteral("GNOME session manager: Logout interface is only available during the "
                          "Running phase (org.gnome.SessionManager.NotInRunning)");
    QTest::newRow("Xfce refuses")
        << QStringLiteral("Xfce") << PowerAction::Reboot
        << QStringList{"Restart", "org.xfce.SessionManager.Error.Failed",
                       "Session manager must be in idle state when requesting a restart"}
        << QStringLiteral("Xfce session manager: Session manager must be in idle state when "
                          "requesting a restart (org.xfce.SessionManager.Error.Failed)");
}

void TestDBusPowerControl::errorReplyIsAFailureWithItsMessage()
{
    QFETCH(QString, desktop);
    QFETCH(PowerAction, action);
    QFETCH(QStringList, error);
    QFETCH(QString, reason);
    MockService::Setup setup = desktop.isEmpty() ? MockService::logind() : sessionManager(desktop);
    setup.errors = {error};
    QVERIFY(startMock(setup));
    Outcome outcome{};
    ask(action, &outcome);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.reason, reason);
}

void TestDBusPowerControl::secondRequestWhilePendingGetsItsOwnOutcome()
{
    MockService *xfce = startMock(sessionManager(QStringLiteral("Xfce")));
    QVERIFY(xfce);
    xfce->pause();
    auto control = makeControl({5000, 1000, 5000});
    QSignalSpy finished(control.get(), &PowerControl::requestFinished);
    QElapsedTimer clock;
    clock.start();

    control->request(PowerAction::PowerOff);
    control->request(PowerAction::Reboot);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 500);
    const Outcome second = outcomeAt(finished, 0);
    QCOMPARE(second.action, PowerAction::Reboot);
    QVERIFY(!second.ok);
    QCOMPARE(second.reason, QStringLiteral("an earlier request is still waiting for its answer"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 4000);
    const Outcome first = outcomeAt(finished, 1);
    QCOMPARE(first.action, PowerAction::PowerOff);
    QVERIFY(!first.ok);
    QVERIFY(clock.elapsed() >= 950);

    // Once answered, the next request goes through.
    xfce->resume();
    control->request(PowerAction::Logoff);
    QTRY_COMPARE(finished.count(), 3);
    const Outcome third = outcomeAt(finished, 2);
    QCOMPARE(third.action, PowerAction::Logoff);
    QVERIFY2(third.ok, qPrintable(third.reason));
    syncWires();
    QStringList members;
    for (const WireCall &call : m_sessionWire->callsTo(xfce->setup().name)) {
        if (call.interface == xfce->setup().interface)
            members << call.member;
    }
    // The refused reboot never went out.
    QCOMPARE(members, (QStringList{"Shutdown", "Logout"}));
}

void TestDBusPowerControl::destroyedWhileWaitingReportsNothingLater()
{
    MockService *xfce = startMock(sessionManager(QStringLiteral("Xfce")));
    QVERIFY(xfce);
    xfce->pause();
    auto control = makeControl({5000, 300, 5000});
    int outcomes = 0;
    connect(control.get(), &PowerControl::requestFinished, this, [&outcomes] { ++outcomes; });
    control->request(PowerAction::PowerOff);
    // Destroyed with the call sent and its answer outstanding.
    QVERIFY(testbus::waitUntil([&] {
        const QList<WireCall> wire = m_sessionWire->callsTo(xfce->setup().name);
        return std::any_of(wire.cbegin(), wire.cend(), [](const WireCall &call) {
            return call.member == QLatin1String("Shutdown");
        });
    }));

    control.reset();
    xfce->resume(); // the answer now arrives for a request nobody waits on
    QVERIFY(testbus::waitUntil([&] { return !xfce->calls().isEmpty(); }));
    QTest::qWait(500); // past the timeout as well

    QCOMPARE(outcomes, 0);
}

void TestDBusPowerControl::factoryUsesTheBusesOfTheEnvironment()
{
    // initTestCase made sure Qt's default buses are the private ones.
    MockService *logind = startMock(MockService::logind());
    QVERIFY(logind);
    const std::unique_ptr<PowerControl> control = createPowerControl();
    QSignalSpy finished(control.get(), &PowerControl::requestFinished);

    control->request(PowerAction::Reboot);

    QTRY_COMPARE(finished.count(), 1);
    QVERIFY2(outcomeAt(finished, 0).ok, qPrintable(outcomeAt(finished, 0).reason));
    QCOMPARE(logind->calls().size(), 1);
    QCOMPARE(logind->calls().at(0).method, QStringLiteral("Reboot"));
    QCOMPARE(logind->calls().at(0).args, QVariantList{true});
}

QTEST_GUILESS_MAIN(TestDBusPowerControl)
#include "tst_dbuspowercontrol.moc"
