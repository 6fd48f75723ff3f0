#include "dbusnotifier.h"

#include "shared/linux/dbuscall.h"

#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcNotify, "quorvel.notify")

namespace {
const QString stopKey = QStringLiteral("stop");
const QString postponeKey = QStringLiteral("postpone");
const QString who = QStringLiteral("the notification server");
} // namespace

DBusNotifier::DBusNotifier(const QDBusConnection &bus, int timeoutMs)
    : m_bus(bus), m_timeoutMs(timeoutMs)
{
    // Any sender: naming the service would make Qt look its owner up synchronously.
    const QString path = QLatin1String(Bus::notifications.path);
    const QString interface = QLatin1String(Bus::notifications.interface);
    m_bus.connect(QString(), path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QString(), path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
}

void DBusNotifier::call(const char *method, const QVariantList &arguments,
                        std::function<void(const QDBusMessage &)> onReply,
                        const QString &failedText, quint64 generation)
{
    callDBus(this, m_bus, dbusMethodCall(Bus::notifications, method, arguments), m_timeoutMs, who,
             std::move(onReply), [this, method, failedText, generation](const QDBusError &e) {
                 qCWarning(lcNotify).noquote()
                     << method << "failed:" << describeDBusError(e, who, m_timeoutMs);
                 // Told some other way, unless it was withdrawn or replaced meanwhile.
                 if (!failedText.isEmpty() && generation == m_generation)
                     Q_EMIT notShown(failedText);
             });
}

void DBusNotifier::show(const QString &text, Kind kind)
{
    const quint64 generation = ++m_generation;
    if (kind == Kind::Notice) {
        notify(text, kind, generation);
        return;
    }
    call(
        "GetCapabilities", {},
        [this, text, kind, generation](const QDBusMessage &reply) {
            if (generation != m_generation)
                return;
            if (reply.arguments().value(0).toStringList().contains(QStringLiteral("actions")))
                notify(text, kind, generation);
            else
                Q_EMIT notShown(text);
        },
        text, generation);
}

void DBusNotifier::notify(const QString &text, Kind kind, quint64 generation)
{
    const bool warning = kind == Kind::Warning;
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(warning ? 2 : 1))},
        {QStringLiteral("desktop-entry"), QStringLiteral("quorvel")}};
    const QStringList actions =
        warning ? QStringList{stopKey, QStringLiteral("停止"), postponeKey, postponeCaption}
                : QStringList();
    // A warning stays until it is withdrawn: the task stops or fires.
    const int expire = warning ? 0 : -1;
    call(
        "Notify",
        {QStringLiteral("Quorvel"), m_id, QStringLiteral("quorvel"), QStringLiteral("Quorvel"),
         text, actions, hints, expire},
        [this, generation](const QDBusMessage &reply) {
            const uint id = reply.arguments().value(0).toUInt();
            if (generation == m_generation)
                m_id = id;
            else if (id != 0) // withdrawn while it was on its way
                call("CloseNotification", {id}, {}, {}, generation);
        },
        text, generation);
}

void DBusNotifier::withdraw()
{
    ++m_generation;
    if (m_id == 0)
        return;
    call("CloseNotification", {std::exchange(m_id, 0u)}, {}, {}, m_generation);
}

void DBusNotifier::onActionInvoked(uint id, const QString &action)
{
    if (id == 0 || id != m_id)
        return;
    if (action == stopKey)
        Q_EMIT stopRequested();
    else if (action == postponeKey)
        Q_EMIT postponeRequested();
}

void DBusNotifier::onClosed(uint id, uint)
{
    if (id == m_id)
        m_id = 0;
}

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<DBusNotifier>(QDBusConnection::sessionBus());
}
