#include "dbuscall.h"

#include <QDBusPendingCallWatcher>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDBus, "quorvel.dbus")

void callDBus(QObject *context, const QDBusConnection &bus, const QDBusMessage &message,
              int timeoutMs, const QString &who, std::function<void(const QDBusMessage &)> onReply,
              std::function<void(const QDBusError &)> onError)
{
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [who, timeoutMs, member = message.member(), onReply = std::move(onReply),
                      onError = std::move(onError)](QDBusPendingCallWatcher *finished) {
                         finished->deleteLater();
                         if (!finished->isError()) {
                             if (onReply)
                                 onReply(finished->reply());
                         } else if (onError) {
                             onError(finished->error());
                         } else {
                             qCWarning(lcDBus).noquote()
                                 << member << "failed:"
                                 << describeDBusError(finished->error(), who, timeoutMs);
                         }
                     });
}

bool isDBusTimeout(const QDBusError &error)
{
    return error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout ||
           error.type() == QDBusError::TimedOut;
}

QString describeDBusError(const QDBusError &error, const QString &who, int timeoutMs)
{
    // Qt's own text for a missing reply is a paragraph of guesses; say what happened instead.
    if (isDBusTimeout(error)) {
        const QString within = timeoutMs % 1000 == 0 ? QStringLiteral("%1 s").arg(timeoutMs / 1000)
                                                     : QStringLiteral("%1 ms").arg(timeoutMs);
        return QStringLiteral("no answer from %1 within %2").arg(who, within);
    }
    if (error.message().isEmpty())
        return QStringLiteral("%1: %2").arg(who, error.name());
    return QStringLiteral("%1: %2 (%3)").arg(who, error.message(), error.name());
}

QDBusMessage dbusMethodCall(const BusObject &object, const char *method,
                            const QVariantList &arguments)
{
    return dbusMethodCall(QLatin1String(object.service), QLatin1String(object.path),
                          QLatin1String(object.interface), QLatin1String(method), arguments);
}

QDBusMessage dbusMethodCall(const QString &service, const QString &path, const QString &interface,
                            const QString &method, const QVariantList &arguments)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(arguments);
    return m;
}
