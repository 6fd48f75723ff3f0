#include "dbusnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcNotify, "quorvel.notify")

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString stopKey = QStringLiteral("stop");
} // namespace

DBusNotifier::DBusNotifier(const QDBusConnection &bus, int timeoutMs, QObject *parent)
    : Notifier(parent), m_bus(bus), m_timeoutMs(timeoutMs)
{
    // Any sender: naming the service would make Qt look its owner up synchronously.
    m_bus.connect(QString(), path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QString(), path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
}

template<typename OnReply>
void DBusNotifier::call(const QString &method, const QVariantList &arguments, OnReply onReply,
                        const QString &failedText)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method, onReply, failedText](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (!finished->isError()) {
                    onReply(finished->reply());
                    return;
                }
                qCWarning(lcNotify).noquote()
                    << method << "failed:" << finished->error().name() << finished->error().message();
                if (!failedText.isEmpty())
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
        QStringLiteral("GetCapabilities"), {},
        [this, text, kind, generation](const QDBusMessage &reply) {
            if (generation != m_generation)
                return;
            if (reply.arguments().value(0).toStringList().contains(QStringLiteral("actions")))
                notify(text, kind, generation);
            else
                Q_EMIT notShown(text);
        },
        text);
}

void DBusNotifier::notify(const QString &text, Kind kind, quint64 generation)
{
    const bool warning = kind == Kind::Warning;
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(warning ? 2 : 1))},
        {QStringLiteral("desktop-entry"), QStringLiteral("quorvel")}};
    const QStringList actions = warning ? QStringList{stopKey, QStringLiteral("停止")} : QStringList();
    // A warning stays until it is withdrawn: the task stops or fires.
    const int expire = warning ? 0 : -1;
    call(
        QStringLiteral("Notify"),
        {QStringLiteral("Quorvel"), m_id, QStringLiteral("quorvel"), QStringLiteral("Quorvel"),
         text, actions, hints, expire},
        [this, generation](const QDBusMessage &reply) {
            const uint id = reply.arguments().value(0).toUInt();
            if (generation == m_generation)
                m_id = id;
            else if (id != 0) // withdrawn while it was on its way
                call(QStringLiteral("CloseNotification"), {id}, [](const QDBusMessage &) {}, {});
        },
        text);
}

void DBusNotifier::withdraw()
{
    ++m_generation;
    if (m_id == 0)
        return;
    call(QStringLiteral("CloseNotification"), {std::exchange(m_id, 0u)},
         [](const QDBusMessage &) {}, {});
}

void DBusNotifier::onActionInvoked(uint id, const QString &action)
{
    if (id != 0 && id == m_id && action == stopKey)
        Q_EMIT stopRequested();
}

void DBusNotifier::onClosed(uint id, uint)
{
    if (id == m_id)
        m_id = 0;
}

std::unique_ptr<Notifier> createNotifier(QObject *parent)
{
    return std::make_unique<DBusNotifier>(QDBusConnection::sessionBus(), 5000, parent);
}
