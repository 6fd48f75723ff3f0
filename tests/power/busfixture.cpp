#include "busfixture.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <csignal>

namespace testbus {

namespace {

const char *variable(Bus bus)
{
    return bus == Bus::Session ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS";
}

QString socketPath(const QString &address)
{
    // Only a single unix:path= entry is accepted; anything else could be somebody's real bus.
    if (!address.startsWith(QLatin1String("unix:")) || address.contains(u';'))
        return {};
    for (const QString &pair : address.mid(5).split(u',')) {
        if (pair.startsWith(QLatin1String("path=")))
            return pair.mid(5);
    }
    return {};
}

QString busId(const QDBusConnection &connection)
{
    const QDBusMessage reply =
        connection.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("GetId")),
                        QDBus::Block, 2000);
    return reply.arguments().value(0).toString();
}

[[noreturn]] void refuse(const QString &why)
{
    qFatal("refusing to run: %s. Run this test through tests/harness/buses.py run, which gives it "
           "a private session bus and a private system bus.",
           qPrintable(why));
}

} // namespace

void refuseUnlessPrivate()
{
    const QString directory = busDirectory();
    if (directory.isEmpty())
        refuse(QStringLiteral("QUORVEL_TEST_BUS_DIR is unset"));
    const QString privateDirectory = QDir(directory).canonicalPath();
    for (const Bus bus : {Bus::Session, Bus::System}) {
        const QString path = socketPath(address(bus));
        const QFileInfo socket(path);
        if (path.isEmpty() || socket.canonicalPath() != privateDirectory)
            refuse(QStringLiteral("%1 is not a socket in %2")
                       .arg(QLatin1String(variable(bus)), directory));
        for (const char *real :
             {"/run/dbus/system_bus_socket", "/var/run/dbus/system_bus_socket"}) {
            if (socket.canonicalFilePath() == QFileInfo(QLatin1String(real)).canonicalFilePath())
                refuse(
                    QStringLiteral("%1 is the real system bus").arg(QLatin1String(variable(bus))));
        }
    }
    for (const char *starter : {"DBUS_STARTER_ADDRESS", "DBUS_STARTER_BUS_TYPE"}) {
        if (qEnvironmentVariableIsSet(starter))
            refuse(QStringLiteral("%1 is set").arg(QLatin1String(starter)));
    }

    // The addresses look right; make sure Qt's default buses are those very buses.
    const QDBusConnection system =
        QDBusConnection::connectToBus(address(Bus::System), QStringLiteral("quorvel-guard-system"));
    const QDBusConnection session = QDBusConnection::connectToBus(
        address(Bus::Session), QStringLiteral("quorvel-guard-session"));
    if (!system.isConnected() || !session.isConnected())
        refuse(QStringLiteral("cannot connect to the private buses"));
    if (busId(QDBusConnection::systemBus()) != busId(system))
        refuse(QStringLiteral("Qt's system bus is not the private one"));
    if (busId(QDBusConnection::sessionBus()) != busId(session))
        refuse(QStringLiteral("Qt's session bus is not the private one"));
    // Every real system bus has logind; a fresh private one has nothing yet.
    const QDBusMessage owned =
        system.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                   QStringLiteral("/org/freedesktop/DBus"),
                                                   QStringLiteral("org.freedesktop.DBus"),
                                                   QStringLiteral("NameHasOwner"))
                        << QStringLiteral("org.freedesktop.login1"),
                    QDBus::Block, 2000);
    if (owned.type() != QDBusMessage::ReplyMessage || owned.arguments().value(0).toBool())
        refuse(QStringLiteral("org.freedesktop.login1 is already on the system bus"));
}

QString address(Bus bus)
{
    return qEnvironmentVariable(variable(bus));
}

QString busDirectory()
{
    return qEnvironmentVariable("QUORVEL_TEST_BUS_DIR");
}

qint64 daemonPid(Bus bus)
{
    return qEnvironmentVariableIntValue(bus == Bus::Session ? "QUORVEL_TEST_SESSION_BUS_PID"
                                                            : "QUORVEL_TEST_SYSTEM_BUS_PID");
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace testbus

namespace {

void startHarness(QProcess &process, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(QUORVEL_PYTHON),
                  QStringList{QStringLiteral(QUORVEL_BUSES_PY)} + arguments);
}

void stopHarness(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGCONT);
    process.closeWriteChannel(); // the helper's cue to stop
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

QList<QJsonObject> takeLines(QProcess &process, QByteArray &buffer)
{
    buffer += process.readAllStandardOutput();
    QList<QJsonObject> events;
    qsizetype end;
    while ((end = buffer.indexOf('\n')) >= 0) {
        events.append(QJsonDocument::fromJson(buffer.left(end)).object());
        buffer.remove(0, end + 1);
    }
    return events;
}

const char *busOption(testbus::Bus bus)
{
    return bus == testbus::Bus::Session ? "session" : "system";
}

} // namespace

MockService::Setup MockService::logind()
{
    Setup setup;
    setup.bus = testbus::Bus::System;
    setup.name = QStringLiteral("org.freedesktop.login1");
    setup.path = QStringLiteral("/org/freedesktop/login1");
    setup.interface = QStringLiteral("org.freedesktop.login1.Manager");
    setup.templateName = QStringLiteral("logind");
    return setup;
}

MockService::MockService(Setup setup) : m_setup(std::move(setup)) {}

MockService::~MockService()
{
    stopHarness(m_process);
}

bool MockService::start(QString *error)
{
    QStringList arguments{QStringLiteral("mock"),
                          QStringLiteral("--bus"),
                          QLatin1String(busOption(m_setup.bus)),
                          QStringLiteral("--name"),
                          m_setup.name,
                          QStringLiteral("--path"),
                          m_setup.path,
                          QStringLiteral("--interface"),
                          m_setup.interface};
    if (!m_setup.templateName.isEmpty())
        arguments << QStringLiteral("--template") << m_setup.templateName;
    for (const auto &[name, signature] : std::as_const(m_setup.methods))
        arguments << QStringLiteral("--method") << name << signature;
    for (const QStringList &error : std::as_const(m_setup.errors))
        arguments << QStringLiteral("--error") << error;
    startHarness(m_process, arguments);
    const bool ready = testbus::waitUntil(
        [this] {
            readEvents();
            return m_process.state() == QProcess::NotRunning ||
                   std::any_of(m_events.cbegin(), m_events.cend(), [](const QJsonObject &event) {
                       return event.value(QLatin1String("event")) == QLatin1String("ready");
                   });
        },
        10000);
    if (ready && m_process.state() != QProcess::NotRunning)
        return true;
    *error = QStringLiteral("mock of %1 did not start").arg(m_setup.name);
    return false;
}

QList<MockCall> MockService::calls()
{
    readEvents();
    QList<MockCall> calls;
    for (const QJsonObject &event : std::as_const(m_events)) {
        if (event.value(QLatin1String("event")) != QLatin1String("call"))
            continue;
        calls.append({event.value(QLatin1String("time")).toDouble(),
                      event.value(QLatin1String("method")).toString(),
                      event.value(QLatin1String("args")).toArray().toVariantList()});
    }
    return calls;
}

void MockService::pause()
{
    ::kill(pid_t(m_process.processId()), SIGSTOP);
}

void MockService::resume()
{
    ::kill(pid_t(m_process.processId()), SIGCONT);
}

void MockService::readEvents()
{
    m_events += takeLines(m_process, m_buffer);
}

WireMonitor::WireMonitor(testbus::Bus bus) : m_bus(bus) {}

WireMonitor::~WireMonitor()
{
    stopHarness(m_process);
}

bool WireMonitor::start(QString *error)
{
    startHarness(m_process, {QStringLiteral("monitor"), QStringLiteral("--bus"),
                             QLatin1String(busOption(m_bus))});
    const bool ready = testbus::waitUntil(
        [this] {
            readEvents();
            return m_ready || m_process.state() == QProcess::NotRunning;
        },
        10000);
    if (ready && m_ready)
        return true;
    *error = QStringLiteral("dbus-monitor did not start");
    return false;
}

bool WireMonitor::sync(const QDBusConnection &connection)
{
    // A marker sent on the same connection follows everything sent on it before.
    const QString marker = QStringLiteral("quorvel.test.sync%1").arg(++m_syncs);
    connection.asyncCall(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                        QStringLiteral("/org/freedesktop/DBus"),
                                                        QStringLiteral("org.freedesktop.DBus"),
                                                        QStringLiteral("NameHasOwner"))
                         << marker);
    return testbus::waitUntil([this, &marker] {
        readEvents();
        return std::any_of(m_calls.cbegin(), m_calls.cend(),
                           [&marker](const WireCall &call) { return call.args.contains(marker); });
    });
}

QList<WireCall> WireMonitor::callsTo(const QString &destination)
{
    readEvents();
    QList<WireCall> calls;
    std::copy_if(m_calls.cbegin(), m_calls.cend(), std::back_inserter(calls),
                 [&destination](const WireCall &call) { return call.destination == destination; });
    return calls;
}

void WireMonitor::clear()
{
    readEvents();
    m_calls.clear();
}

void WireMonitor::readEvents()
{
    for (const QJsonObject &event : takeLines(m_process, m_buffer)) {
        const QString kind = event.value(QLatin1String("event")).toString();
        if (kind == QLatin1String("ready")) {
            m_ready = true;
            continue;
        }
        if (kind != QLatin1String("call"))
            continue;
        WireCall call;
        call.time = event.value(QLatin1String("time")).toDouble();
        call.sender = event.value(QLatin1String("sender")).toString();
        call.destination = event.value(QLatin1String("destination")).toString();
        call.path = event.value(QLatin1String("path")).toString();
        call.interface = event.value(QLatin1String("interface")).toString();
        call.member = event.value(QLatin1String("member")).toString();
        call.signature = event.value(QLatin1String("signature")).toString();
        for (const QJsonValue &arg : event.value(QLatin1String("args")).toArray())
            call.args.append(arg.toString());
        m_calls.append(call);
    }
}
