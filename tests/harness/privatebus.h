#pragma once

// A dbus-daemon of our own, socket in a temporary directory, no service activation; a session or
// a system bus alike, with python3-dbusmock services on it. What it started stops with it, or
// with the test process if that is killed.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtDBus>

#include <csignal>
#include <sys/prctl.h>

// Dies with the test process; closing kills it, which works on a paused process too.
struct Child : QProcess
{
    Child()
    {
        setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
    ~Child() override { close(); }
};

struct MockCall
{
    QString method;
    QVariantList args; // converted by dbusmock to the method's declared signature
};

inline const QDBusArgument &operator>>(const QDBusArgument &log, MockCall &call)
{
    quint64 time;
    log.beginStructure();
    log >> time >> call.method >> call.args;
    log.endStructure();
    return log;
}

// One python3-dbusmock service on a PrivateBus; it lives as long as the bus.
struct MockService
{
    QDBusConnection bus;
    QString name, path;
    Child process;

    // Any method of org.freedesktop.DBus.Mock, e.g. AddMethod or EmitSignal; false on an error.
    bool mock(const QString &method, const QVariantList &args)
    {
        return call(method, args).type() == QDBusMessage::ReplyMessage;
    }
    QList<MockCall> calls()
    {
        return qdbus_cast<QList<MockCall>>(call("GetCalls", {}).arguments().value(0));
    }
    // Each call as "method argument...", leaving out arguments with spaces (reasons, code).
    QStringList log()
    {
        QStringList out;
        for (const MockCall &c : calls()) {
            out << c.method;
            for (const QVariant &arg : c.args)
                out.last() += arg.toString().contains(u' ') ? QString() : ' ' + arg.toString();
        }
        return out;
    }
    // SIGSTOP: the name stays on the bus and nothing answers; pause(false) resumes.
    void pause(bool on = true) { ::kill(pid_t(process.processId()), on ? SIGSTOP : SIGCONT); }
    QDBusMessage call(const QString &method, const QVariantList &args)
    {
        auto m = QDBusMessage::createMethodCall(name, path, "org.freedesktop.DBus.Mock", method);
        m.setArguments(args);
        return bus.call(m, QDBus::Block, 5000);
    }
};

class PrivateBus
{
public:
    PrivateBus()
    {
        const QString socket = m_dir.filePath("bus");
        const QString config = m_dir.filePath("bus.conf");
        // The stock session.conf's policy without its service directories: nothing real starts.
        if (QFile file(config); file.open(QIODevice::WriteOnly))
            file.write("<busconfig><type>session</type><listen>unix:path=" + socket.toUtf8() +
                       "</listen><policy context='default'><allow send_destination='*' "
                       "eavesdrop='true'/><allow eavesdrop='true'/><allow own='*'/></policy>"
                       "</busconfig>");
        m_daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        // Only the socket this bus was given, never the machine's buses.
        if (!m_address.startsWith("unix:path=" + socket + ','))
            qFatal("refusing bus address '%s': %s", qPrintable(m_address),
                   m_daemon.readAllStandardError().constData());
        m_connection = QDBusConnection::connectToBus(m_address, m_dir.path());
    }
    ~PrivateBus() { QDBusConnection::disconnectFromBus(m_connection.name()); }

    QDBusConnection connection() const { return m_connection; }

    // {name, path, interface} or {name, path, "--template", "logind", ...}: nullptr (with a
    // warning) unless the service owns its name within 15 s.
    MockService *start(const QStringList &args)
    {
        auto &mock = *m_services.emplace_back(new MockService{m_connection, args[0], args[1], {}});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Whichever bus the service asks for, it lands here.
        environment.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", m_address);
        mock.process.setProcessEnvironment(environment);
        mock.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock.process.start("/usr/bin/python3", QStringList{"-m", "dbusmock"} +
                                                   (args[2].startsWith(u'-') ? args.mid(2) : args));
        if (QTest::qWaitFor(
                [&] { return m_connection.interface()->isServiceRegistered(args[0]).value(); },
                15000))
            return &mock;
        qWarning("dbusmock %s did not come up", qPrintable(args.join(u' ')));
        return nullptr;
    }

private:
    QTemporaryDir m_dir;
    Child m_daemon;
    QString m_address;
    QDBusConnection m_connection{QString()};
    std::vector<std::unique_ptr<MockService>> m_services; // stopped first
};
