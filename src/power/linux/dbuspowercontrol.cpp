#include "dbuspowercontrol.h"

#include "shared/linux/dbuscall.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPower, "quorvel.power")

DBusPowerControl::DBusPowerControl()
    : DBusPowerControl(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), defaultTimeouts,
                       qEnvironmentVariable("XDG_CURRENT_DESKTOP"))
{
}

DBusPowerControl::DBusPowerControl(const QDBusConnection &sessionBus,
                                   const QDBusConnection &systemBus, Timeouts timeouts,
                                   const QString &currentDesktop)
    : m_sessionBus(sessionBus), m_systemBus(systemBus), m_timeouts(timeouts),
      m_currentDesktop(currentDesktop)
{
}

void DBusPowerControl::request(PowerAction action)
{
    if (m_pending) {
        QMetaObject::invokeMethod(
            this,
            [this, action] {
                Q_EMIT requestFinished(
                    action, false,
                    QStringLiteral("an earlier request is still waiting for its answer"));
            },
            Qt::QueuedConnection);
        return;
    }
    m_pending = true;
    m_action = action;

    if (!m_sessionBus.isConnected()) {
        askLogind(QStringLiteral("the session bus is not connected"));
        return;
    }
    send(m_sessionBus, dbusMethodCall(Bus::driver, "ListNames"), m_timeouts.probeMs,
         QStringLiteral("the session bus"), [this](const QDBusMessage &reply) {
             onSessionBusNames(reply.arguments().value(0).toStringList());
         });
}

void DBusPowerControl::onSessionBusNames(const QStringList &names)
{
    const std::optional<SessionManagerKind> kind = chooseSessionManager(names, m_currentDesktop);
    if (!kind) {
        askLogind(QStringLiteral("no session manager is on the session bus"));
        return;
    }
    // They share one name; only the methods the owner offers tell them apart.
    if (*kind == SessionManagerKind::Gnome || *kind == SessionManagerKind::Mate)
        introspectThenAsk(*kind);
    else
        askSessionManager(*kind);
}

void DBusPowerControl::introspectThenAsk(SessionManagerKind guess)
{
    const SessionManagerService manager = sessionManagerService(guess);
    const QDBusMessage introspect = QDBusMessage::createMethodCall(
        manager.service, manager.path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect"));
    const QString who = QStringLiteral("the owner of %1").arg(manager.service);
    send(
        m_sessionBus, introspect, m_timeouts.probeMs, who,
        [this, guess](const QDBusMessage &reply) {
            const QString xml = reply.arguments().value(0).toString();
            askSessionManager(gnomeOrMateFromIntrospection(xml).value_or(guess));
        },
        [this, guess, who](const QDBusError &error) {
            // A service that does not answer this will not answer the request either; one that
            // merely does not introspect gets the desktop's own guess.
            if (isDBusTimeout(error))
                finish(false, describeDBusError(error, who, m_timeouts.probeMs));
            else
                askSessionManager(guess);
        });
}

void DBusPowerControl::askSessionManager(SessionManagerKind kind)
{
    const QDBusMessage call = sessionManagerCall(kind, m_action);
    const QString who = sessionManagerService(kind).label;
    qCInfo(lcPower).noquote() << "asking the" << who << "to" << PowerActions::logName(m_action)
                              << "by" << call.member();
    send(m_sessionBus, call, m_timeouts.sessionManagerMs, who,
         [this](const QDBusMessage &) { finish(true, {}); });
}

void DBusPowerControl::askLogind(const QString &whyNotSessionManager)
{
    const std::optional<QDBusMessage> call = logindCall(m_action);
    if (!call) {
        // logind could only end the session by force, and that is never done.
        finish(false, QStringLiteral("logging off needs the desktop's session manager, and %1")
                          .arg(whyNotSessionManager));
        return;
    }
    if (!m_systemBus.isConnected()) {
        const QString detail = m_systemBus.lastError().message();
        finish(false, detail.isEmpty()
                          ? QStringLiteral("the system bus is not connected")
                          : QStringLiteral("the system bus is not connected (%1)").arg(detail));
        return;
    }
    qCInfo(lcPower).noquote() << whyNotSessionManager << "- asking systemd-logind to"
                              << PowerActions::logName(m_action);
    send(m_systemBus, *call, m_timeouts.logindMs, QStringLiteral("systemd-logind"),
         [this](const QDBusMessage &) { finish(true, {}); });
}

void DBusPowerControl::send(const QDBusConnection &bus, const QDBusMessage &message, int timeoutMs,
                            const QString &who, ReplyHandler onReply, ErrorHandler onError)
{
    // Every failure without a handler of its own ends the request.
    if (!onError)
        onError = [this, who, timeoutMs](const QDBusError &error) {
            finish(false, describeDBusError(error, who, timeoutMs));
        };
    callDBus(this, bus, message, timeoutMs, who, std::move(onReply), std::move(onError));
}

void DBusPowerControl::finish(bool ok, const QString &reason)
{
    m_pending = false;
    const PowerAction action = m_action;
    // Always after request() has returned, even when the answer is known at once.
    QMetaObject::invokeMethod(
        this, [this, action, ok, reason] { Q_EMIT requestFinished(action, ok, reason); },
        Qt::QueuedConnection);
}

std::unique_ptr<PowerControl> createPowerControl()
{
    return std::make_unique<DBusPowerControl>();
}
