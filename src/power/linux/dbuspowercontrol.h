#pragma once

#include "power/linux/sessionmanagers.h"
#include "power/powercontrol.h"

#include <QDBusConnection>

#include <functional>

class QDBusError;

// Asks the desktop's session manager on the session bus, so that running programs may save their
// work or object; only when none is there does it ask systemd-logind on the system bus, which can
// power off or reboot but has no graceful log off. Which session manager: see
// chooseSessionManager(). Every call is asynchronous and has a timeout; no answer is a failure.
class DBusPowerControl final : public PowerControl
{
    Q_OBJECT

public:
    struct Timeouts
    {
        int probeMs;
        int sessionManagerMs;
        int logindMs;
    };
    // Listing names and introspecting are quick; a session manager may take a moment to start
    // ending the session; logind may wait on a password prompt.
    static constexpr Timeouts defaultTimeouts{5'000, 60'000, 5 * 60'000};

    // The user's session and system buses, and XDG_CURRENT_DESKTOP. Both buses are connected
    // here rather than at the first request, which must not block.
    DBusPowerControl();
    DBusPowerControl(const QDBusConnection &sessionBus, const QDBusConnection &systemBus,
                     Timeouts timeouts, const QString &currentDesktop);

    // A request made while another still waits for its answer fails at once: the earlier one
    // may be ending the session already.
    void request(PowerAction action) override;

private:
    using ReplyHandler = std::function<void(const QDBusMessage &)>;
    using ErrorHandler = std::function<void(const QDBusError &)>;

    void onSessionBusNames(const QStringList &names);
    void askSessionManager(SessionManagerKind kind);
    void askLogind(const QString &whyNotSessionManager);
    void send(const QDBusConnection &bus, const QDBusMessage &message, int timeoutMs,
              const QString &who, ReplyHandler onReply, ErrorHandler onError = {});
    void introspectThenAsk(SessionManagerKind guess);
    void finish(bool ok, const QString &reason);

    QDBusConnection m_sessionBus;
    QDBusConnection m_systemBus;
    Timeouts m_timeouts;
    QString m_currentDesktop;
    bool m_pending = false;
    PowerAction m_action = PowerAction::PowerOff;
};
