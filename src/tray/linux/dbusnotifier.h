#pragma once

#include "tray/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>

// org.freedesktop.Notifications on the session bus, every call asynchronous with a timeout. A
// warning needs the server's "actions" capability, asked for afresh each time (the server may
// have changed since); without it, or without a server, the text is handed back (notShown).
class DBusNotifier final : public Notifier
{
    Q_OBJECT

public:
    static constexpr int defaultTimeoutMs = 5000;

    explicit DBusNotifier(const QDBusConnection &bus, int timeoutMs = defaultTimeoutMs);

    void show(const QString &text, Kind kind) override;
    void withdraw() override;

private Q_SLOTS:
    // Slots by name: QDBusConnection::connect takes no function pointers.
    void onActionInvoked(uint id, const QString &action);
    void onClosed(uint id, uint reason);

private:
    void notify(const QString &text, Kind kind, quint64 generation);
    // failedText: what notShown() hands back if the call fails.
    void call(const char *method, const QVariantList &arguments,
              std::function<void(const QDBusMessage &)> onReply, const QString &failedText,
              quint64 generation);

    QDBusConnection m_bus;
    int m_timeoutMs;
    uint m_id = 0;
    // Outdates the answers to calls made before the latest show() or withdraw().
    quint64 m_generation = 0;
};
