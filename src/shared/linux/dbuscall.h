#pragma once

#include "shared/linux/busnames.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include <functional>

// The one way the D-Bus backends talk to a service: asynchronous, with a timeout, the answer
// handled in `context`'s thread unless `context` is gone by then. Exactly one handler runs;
// without onError a failure is only logged, as `who` failed.
void callDBus(QObject *context, const QDBusConnection &bus, const QDBusMessage &message,
              int timeoutMs, const QString &who, std::function<void(const QDBusMessage &)> onReply,
              std::function<void(const QDBusError &)> onError = {});

bool isDBusTimeout(const QDBusError &error);

// "no answer from <who> within 5 s", or "<who>: <message> (<name>)".
QString describeDBusError(const QDBusError &error, const QString &who, int timeoutMs);

// A call with its arguments in one expression.
QDBusMessage dbusMethodCall(const BusObject &object, const char *method,
                            const QVariantList &arguments = {});
QDBusMessage dbusMethodCall(const QString &service, const QString &path, const QString &interface,
                            const QString &method, const QVariantList &arguments = {});
