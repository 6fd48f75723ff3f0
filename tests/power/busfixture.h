#pragma once

// The C++ side of tests/harness/buses.py: the two private buses that `buses.py run` started for
// this test program, services mocked with dbusmock, and the method calls as seen on the wire.

#include <QDBusConnection>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace testbus {

enum class Bus { Session, System };

// Aborts the whole run unless both buses are the private ones of `buses.py run`, Qt's default
// buses included: nothing here may ever reach the machine's own buses.
void refuseUnlessPrivate();

QString address(Bus bus);
QString busDirectory();
qint64 daemonPid(Bus bus);
// Spins the event loop until done() or the timeout; returns done().
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);

} // namespace testbus

struct MockCall
{
    double time = 0; // seconds since the epoch, when the service got it
    QString method;
    QVariantList args;
};

// One dbusmock service, served by `buses.py mock` until destroyed.
class MockService
{
public:
    struct Setup
    {
        testbus::Bus bus = testbus::Bus::Session;
        QString name;
        QString path;
        QString interface;
        QString templateName;
        QList<std::pair<QString, QString>> methods; // name, input signature
        QList<QStringList> errors;                  // method, error name, message
    };
    static Setup logind();

    explicit MockService(Setup setup);
    ~MockService();
    MockService(const MockService &) = delete;
    MockService &operator=(const MockService &) = delete;

    // Returns once the service owns its name; false with *error otherwise.
    bool start(QString *error);
    const Setup &setup() const { return m_setup; }
    QList<MockCall> calls();
    // SIGSTOP: the name stays on the bus, nothing answers.
    void pause();
    void resume();

private:
    void readEvents();

    Setup m_setup;
    QProcess m_process;
    QByteArray m_buffer;
    QList<QJsonObject> m_events;
};

struct WireCall
{
    double time = 0;
    QString sender;
    QString destination;
    QString path;
    QString interface;
    QString member;
    QString signature;
    QStringList args; // as dbus-monitor prints them: true, 1, text of strings
};

// Every method call on one bus, from `buses.py monitor` (dbus-monitor underneath).
class WireMonitor
{
public:
    explicit WireMonitor(testbus::Bus bus);
    ~WireMonitor();
    WireMonitor(const WireMonitor &) = delete;
    WireMonitor &operator=(const WireMonitor &) = delete;

    bool start(QString *error);
    // Returns once every call sent on connection so far has been seen.
    bool sync(const QDBusConnection &connection);
    QList<WireCall> callsTo(const QString &destination);
    void clear();

private:
    void readEvents();

    testbus::Bus m_bus;
    QProcess m_process;
    QByteArray m_buffer;
    QList<WireCall> m_calls;
    bool m_ready = false;
    int m_syncs = 0;
};
