#pragma once

#include "power/sleepguard.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <functional>

// Each desktop's own hold where it has one that holds off only its automatic suspend, else
// systemd-logind's "idle" lock (see dbussleepguard.cpp for the choice). Follows logind's
// PrepareForSleep to report a wake-up. Every call is asynchronous.
class DBusSleepGuard final : public SleepGuard
{
    Q_OBJECT

public:
    DBusSleepGuard(const QDBusConnection &sessionBus, const QDBusConnection &systemBus);
    ~DBusSleepGuard() override;

    void hold(bool on) override;

private Q_SLOTS:
    // By name: QDBusConnection::connect takes no function pointers.
    void onPrepareForSleep(bool suspending);

private:
    // Pending: a call on the way to taking a hold.
    enum class Hold { None, Pending, Held };

    // One step towards a hold; a failure gives it up.
    void take(const QDBusMessage &call, const QDBusConnection &bus,
              std::function<void(const QDBusMessage &)> onReply);
    void choose(const QStringList &sessionNames);
    void release();

    QDBusConnection m_session;
    QDBusConnection m_system;
    bool m_wanted = false;
    Hold m_hold = Hold::None;
    QDBusMessage m_undo; // on the session bus
    QDBusUnixFileDescriptor m_lock;
};
