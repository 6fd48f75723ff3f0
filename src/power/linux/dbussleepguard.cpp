#include "dbussleepguard.h"

#include "shared/linux/dbuscall.h"

#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcSleep, "quorvel.sleep")

// What each desktop's automatic suspend honours, and why each call is chosen:
// - GNOME: gnome-settings-daemon suspends on idle unless gnome-session's InhibitedActions has
//   the suspend flag (4). Flag 8 (idle) would also stop the screen from dimming, blanking and
//   locking, so only 4 is taken. gnome-session passes it on to logind as a "sleep" lock, which
//   logind does not apply to the user's own suspend requests (a weak lock in newer versions).
// - KDE Plasma: PowerDevil's org.freedesktop.PowerManagement.Inhibit maps to "do not interrupt
//   the session", which only its automatic suspend honours; screen dimming and locking follow
//   another policy, and suspends the user asks for bypass every policy. (A logind "idle" lock
//   would also stop the screen from dimming there.)
// - Xfce: xfce4-power-manager's only hold, the same org.freedesktop.PowerManagement.Inhibit,
//   also stops the screen from blanking and locking and makes the sleep key ask first, so it is
//   not taken: Xfce, like any other desktop, gets logind's "idle" lock, which holds off logind's
//   own IdleAction and never blocks a suspend. A task slept through is then reported on wake-up.
// Every hold ends with our bus connection (the desktops drop a departed client's holds) or with
// the lock's file descriptor, so none outlives the process.

namespace {
const QString why = QStringLiteral("A scheduled task is waiting for its time");
const QString who = QStringLiteral("the power management");
constexpr int timeoutMs = 10'000;
constexpr uint gnomeInhibitSuspend = 4;
} // namespace

DBusSleepGuard::DBusSleepGuard(const QDBusConnection &sessionBus, const QDBusConnection &systemBus)
    : m_session(sessionBus), m_system(systemBus)
{
    // Any sender: naming the service would make Qt look its owner up synchronously.
    m_system.connect(QString(), QLatin1String(Bus::logind.path),
                     QLatin1String(Bus::logind.interface), QStringLiteral("PrepareForSleep"), this,
                     SLOT(onPrepareForSleep(bool)));
}

DBusSleepGuard::~DBusSleepGuard()
{
    release();
}

void DBusSleepGuard::hold(bool on)
{
    m_wanted = on;
    if (m_hold == Hold::Pending)
        return; // the answer on its way takes the latest wish into account
    if (!on) {
        release();
    } else if (m_hold == Hold::None) {
        m_hold = Hold::Pending;
        take(dbusMethodCall(Bus::driver, "ListNames"), m_session,
             [this](const QDBusMessage &r) { choose(r.arguments().value(0).toStringList()); });
    }
}

void DBusSleepGuard::take(const QDBusMessage &call, const QDBusConnection &bus,
                          std::function<void(const QDBusMessage &)> onReply)
{
    callDBus(this, bus, call, timeoutMs, who, std::move(onReply), [this](const QDBusError &error) {
        // The task goes on all the same; only the hold is missing.
        qCWarning(lcSleep).noquote()
            << "cannot hold off automatic suspend:" << describeDBusError(error, who, timeoutMs);
        m_hold = Hold::None;
    });
}

void DBusSleepGuard::choose(const QStringList &sessionNames)
{
    // undo: the call that lets go of the hold; none for logind's lock.
    const auto held = [this](const QDBusMessage &undo) {
        m_hold = Hold::Held;
        m_undo = undo;
        qCInfo(lcSleep) << "holding off automatic suspend";
        if (!m_wanted)
            release();
    };
    const auto cookie = [](const QDBusMessage &reply) {
        return QVariantList{reply.arguments().value(0).toUInt()};
    };
    const auto has = [&](const char *name) { return sessionNames.contains(QLatin1String(name)); };
    if (has(Bus::kdePolicyAgent) && has(Bus::powerManagement.service)) {
        take(dbusMethodCall(Bus::powerManagement, "Inhibit", {QStringLiteral("Quorvel"), why}),
             m_session, [held, cookie](const QDBusMessage &reply) {
                 held(dbusMethodCall(Bus::powerManagement, "UnInhibit", cookie(reply)));
             });
    } else if (has(Bus::gnomeSession.service)) {
        take(dbusMethodCall(Bus::gnomeSession, "Inhibit",
                            {QStringLiteral("quorvel"), 0u, why, gnomeInhibitSuspend}),
             m_session, [held, cookie](const QDBusMessage &reply) {
                 held(dbusMethodCall(Bus::gnomeSession, "Uninhibit", cookie(reply)));
             });
    } else {
        take(dbusMethodCall(
                 Bus::logind, "Inhibit",
                 {QStringLiteral("idle"), QStringLiteral("Quorvel"), why, QStringLiteral("block")}),
             m_system, [this, held](const QDBusMessage &reply) {
                 m_lock = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
                 held({});
             });
    }
}

void DBusSleepGuard::release()
{
    if (std::exchange(m_hold, Hold::None) != Hold::Held)
        return; // none, or one on its way: hold() waits for that answer
    if (m_undo.type() == QDBusMessage::MethodCallMessage)
        callDBus(this, m_session, std::exchange(m_undo, {}), timeoutMs, who, {});
    m_lock = QDBusUnixFileDescriptor(); // closing our end ends a logind lock
    qCInfo(lcSleep) << "automatic suspend no longer held off";
}

void DBusSleepGuard::onPrepareForSleep(bool suspending)
{
    if (!suspending)
        Q_EMIT resumed();
}

std::unique_ptr<SleepGuard> createSleepGuard()
{
    return std::make_unique<DBusSleepGuard>(QDBusConnection::sessionBus(),
                                            QDBusConnection::systemBus());
}
