#include "privatebus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QTest>

#include <sys/prctl.h>

namespace {

void startChild(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
}

void stopChild(QProcess &process)
{
    process.kill(); // SIGKILL works on a paused process too
    process.waitForFinished();
}

} // namespace

QDBusMessage MockService::mock(const QString &method, const QVariantList &args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_name, m_path, QStringLiteral("org.freedesktop.DBus.Mock"), method);
    call.setArguments(args);
    return m_bus.call(call, QDBus::Block, 5000);
}

QList<MockCall> MockService::calls()
{
    QList<MockCall> calls;
    const auto log = mock(QStringLiteral("GetCalls")).arguments().value(0).value<QDBusArgument>();
    log.beginArray();
    while (!log.atEnd()) {
        MockCall call;
        quint64 time;
        log.beginStructure();
        log >> time >> call.method >> call.args;
        log.endStructure();
        calls.append(call);
    }
    log.endArray();
    return calls;
}

PrivateBus::PrivateBus()
{
    const QString socket = m_dir.filePath(QStringLiteral("bus"));
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config.fileName()));
    // The stock session.conf's policy, but without its service directories: nothing real gets
    // activated here.
    config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:path=%1</listen>"
                                "<policy context='default'><allow send_destination='*' "
                                "eavesdrop='true'/><allow eavesdrop='true'/><allow own='*'/>"
                                "</policy></busconfig>")
                     .arg(socket)
                     .toUtf8());
    config.close();
    startChild(m_daemon, QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    // Only the socket this bus was given, never the machine's buses.
    if (!address.startsWith(QStringLiteral("unix:path=%1,").arg(socket)) ||
        QFileInfo(socket).canonicalFilePath() ==
            QFileInfo(QStringLiteral("/run/dbus/system_bus_socket")).canonicalFilePath())
        qFatal("refusing bus address '%s', not %s: %s", qPrintable(address), qPrintable(socket),
               m_daemon.readAllStandardError().constData());
    m_address = address;
    m_connection = QDBusConnection::connectToBus(address, m_dir.path());
}

PrivateBus::~PrivateBus()
{
    for (const auto &service : m_services)
        stopChild(service->m_process);
    m_services.clear();
    QDBusConnection::disconnectFromBus(m_connection.name());
    stopChild(m_daemon);
}

MockService *PrivateBus::start(const QStringList &arguments, const QString &name,
                               const QString &path)
{
    auto service = std::make_unique<MockService>();
    service->m_bus = m_connection;
    service->m_name = name;
    service->m_path = path;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Whichever bus the template asks for, it lands here.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    environment.remove(QStringLiteral("DBUS_STARTER_ADDRESS"));
    service->m_process.setProcessEnvironment(environment);
    service->m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startChild(service->m_process, QStringLiteral("/usr/bin/python3"),
               QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + arguments);
    const auto up = [&] { return m_connection.interface()->isServiceRegistered(name).value(); };
    const auto exited = [&] { return service->m_process.state() == QProcess::NotRunning; };
    if (!QTest::qWaitFor([&] { return up() || exited(); }, 15000) || !up()) {
        qWarning("dbusmock %s did not come up", qPrintable(arguments.join(u' ')));
        stopChild(service->m_process);
        return nullptr;
    }
    return m_services.emplace_back(std::move(service)).get();
}
