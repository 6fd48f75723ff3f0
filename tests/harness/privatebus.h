#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <vector>

struct MockCall
{
    QString method;
    QVariantList args; // converted by dbusmock to the method's declared signature
};

// One python3-dbusmock service on a PrivateBus; it lives as long as the bus.
class MockService
{
public:
    // Any method of org.freedesktop.DBus.Mock, e.g. AddObject or SetProperty.
    QDBusMessage mock(const QString &method, const QVariantList &args = {});
    // On the main interface; code is Python that may set `ret` or raise.
    bool addMethod(const QString &name, const QString &in, const QString &out = {},
                   const QString &code = {})
    {
        return ok(mock(QStringLiteral("AddMethod"), {QString(), name, in, out, code}));
    }
    bool emitSignal(const QString &interface, const QString &name, const QString &signature,
                    const QVariantList &args)
    {
        return ok(mock(QStringLiteral("EmitSignal"), {interface, name, signature, args}));
    }
    QList<MockCall> calls();
    bool clearCalls() { return ok(mock(QStringLiteral("ClearCalls"))); }
    // SIGSTOP: the name stays on the bus and nothing answers.
    void pause() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(m_process.processId()), SIGCONT); }

private:
    static bool ok(const QDBusMessage &reply) { return reply.type() == QDBusMessage::ReplyMessage; }
    friend class PrivateBus;
    QProcess m_process;
    QDBusConnection m_bus{QString()};
    QString m_name;
    QString m_path;
};

// A dbus-daemon of our own, socket in a temporary directory, no service activation; a session or
// a system bus alike. What it started stops with it, or with the test process if that is killed.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();

    QString address() const { return m_address; }
    QDBusConnection connection() const { return m_connection; }

    // arguments: {"--template", "logind", "--parameters", json} or {name, path, interface}.
    // nullptr (with a warning) unless the service owns its name within 15 s.
    MockService *start(const QStringList &arguments, const QString &name, const QString &path);

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QDBusConnection m_connection{QString()};
    std::vector<std::unique_ptr<MockService>> m_services;
};
