#pragma once

#include "power/sleepguard.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>

// Each desktop's own hold where it has one that holds off only its automatic suspend, else
// systemd-logind's "idle" lock (see dbussleepguard.cpp for the choice). Follows logind's
// PrepareForSleep to report a wake-up. Every call is asynchronous.
class DBusSleepGuard final : public SleepGuard
{
    Q_OBJECT

public:
    DBusSleepGuard(const QDBusConnection &sessionBus, const QDBusConnection &systemBus,
                   QObject *parent = nullptr);
    ~DBusSleepGuard() override;

    void hold(bool on) override;

private Q_SLOTS:
    // By name: QDBusConnection::connect takes no function pointers.
    void onPrepareForSleep(bool suspending);

private:
    enum class Way { None, Gnome, Kde, Logind };

    void take(const QStringList &sessionNames);
    void release();
    void send(const QDBusConnection &bus, const QDBusMessage &message,
              const std::function<void(const QDBusMessage &)> &onReply);

    QDBusConnection m_session;
    QDBusConnection m_system;
    bool m_wanted = false;
    bool m_pending = false;
    Way m_way = Way::None;
    uint m_cookie = 0;
    QDBusUnixFileDescriptor m_lock;
};
