#include "qttraybackend.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int availabilityPollMs = 2000;
} // namespace

QtTrayBackend::QtTrayBackend(QObject *parent)
    : TrayBackend(parent), m_icon(new QSystemTrayIcon(this)), m_mode(detectMode()),
      m_available(QSystemTrayIcon::isSystemTrayAvailable())
{
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayBackend::activated);
    // Qt reports no change of the notification area; look again now and then.
    m_availabilityPoll.setInterval(availabilityPollMs);
    connect(&m_availabilityPoll, &QTimer::timeout, this, &QtTrayBackend::recheckAvailability);
    m_availabilityPoll.start();
}

QtTrayBackend::~QtTrayBackend() = default;

TrayBackend::Mode QtTrayBackend::detectMode()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(watcherService).value())
        return Mode::XEmbed;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    // Qt asks the same question, just as synchronously, when the first tray icon is made.
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return Mode::XEmbed;
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    return value.toBool() ? Mode::StatusNotifier : Mode::XEmbed;
}

void QtTrayBackend::recheckAvailability()
{
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available == m_available)
        return;
    m_available = available;
    Q_EMIT availabilityChanged(available);
}

void QtTrayBackend::show(const QIcon &icon, const QString &toolTip)
{
    m_icon->setIcon(icon);
    m_icon->setToolTip(toolTip);
    m_icon->show();
}

void QtTrayBackend::setToolTip(const QString &toolTip)
{
    m_icon->setToolTip(toolTip);
}

void QtTrayBackend::setIcon(const QIcon &icon)
{
    m_icon->setIcon(icon);
}

void QtTrayBackend::showMessage(const QString &title, const QString &text,
                                QSystemTrayIcon::MessageIcon icon)
{
    m_icon->showMessage(title, text, icon);
}

void QtTrayBackend::hide()
{
    m_icon->hide();
}

bool QtTrayBackend::isShown() const
{
    return m_icon->isVisible();
}

void QtTrayBackend::setContextMenu(QMenu *menu)
{
    m_icon->setContextMenu(menu);
}
