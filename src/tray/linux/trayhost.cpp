#include "tray/trayhost.h"

#include "shared/linux/dbuscall.h"

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

Q_LOGGING_CATEGORY(lcTrayHost, "quorvel.tray")

namespace {

const QString watcherService = QLatin1String(Bus::statusNotifierWatcher.service);

// Qt hosts the icon through D-Bus when a StatusNotifierItem host is registered as the first
// tray icon is made, else through XEmbed; this asks the same question. Qt asks just as
// synchronously when it makes the icon; one call, bounded, and an absent watcher is an error
// reply at once.
bool statusNotifierHostRegistered(const QDBusConnection &bus)
{
    QDBusMessage get =
        dbusMethodCall(watcherService, QLatin1String(Bus::statusNotifierWatcher.path),
                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                       {QLatin1String(Bus::statusNotifierWatcher.interface),
                        QStringLiteral("IsStatusNotifierHostRegistered")});
    get.setAutoStartService(false);
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

// A StatusNotifierItem host is there while the watcher's name has an owner.
class StatusNotifierHost final : public TrayHost
{
public:
    explicit StatusNotifierHost(const QDBusConnection &bus)
        : m_watcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange)
    {
        connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &, const QString &newOwner) {
                    if (m_available != !newOwner.isEmpty())
                        Q_EMIT availabilityChanged(m_available = !newOwner.isEmpty());
                });
    }
    bool isAvailable() const override { return m_available; }
    Mode mode() const override { return Mode::StatusNotifier; }

private:
    QDBusServiceWatcher m_watcher;
    bool m_available = true;
};

// An XEmbed tray is there while its manager owns the selection _NET_SYSTEM_TRAY_Sn; XFixes
// reports every change of owner. Without an X server (Wayland) there is none.
class XEmbedHost final : public TrayHost, public QAbstractNativeEventFilter
{
public:
    XEmbedHost()
    {
        auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        m_connection = x11 ? x11->connection() : nullptr;
        if (!m_connection)
            return;
        const int screen = screenNumber();
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, name.size(), name.constData()), nullptr);
        if (!atom)
            return;
        m_selection = atom->atom;
        free(atom);
        const xcb_query_extension_reply_t *xfixes =
            xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        if (!xfixes || !xfixes->present) {
            qCWarning(lcTrayHost) << "no XFixes: changes of the notification area are not seen";
            m_available = ownerOfSelection() != XCB_NONE;
            return;
        }
        m_selectionNotify = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        free(xcb_xfixes_query_version_reply(m_connection,
                                            xcb_xfixes_query_version(m_connection, 1, 0), nullptr));
        xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screen && roots.rem > 1; ++i)
            xcb_screen_next(&roots);
        xcb_xfixes_select_selection_input(
            m_connection, roots.data->root, m_selection,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(m_connection);
        // Asked after subscribing, so that no change of owner goes unseen.
        m_available = ownerOfSelection() != XCB_NONE;
        qApp->installNativeEventFilter(this);
    }
    ~XEmbedHost() override
    {
        if (qApp)
            qApp->removeNativeEventFilter(this);
    }

    bool isAvailable() const override { return m_available; }
    Mode mode() const override { return Mode::XEmbed; }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t" || !m_selectionNotify)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != m_selectionNotify)
            return false;
        const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
        if (notify->selection == m_selection && m_available != (notify->owner != XCB_NONE))
            Q_EMIT availabilityChanged(m_available = notify->owner != XCB_NONE);
        return false; // Qt's own tray code watches the same selection
    }

private:
    // The screen of DISPLAY (":0.1" is screen 1), as Qt picks its tray selection.
    static int screenNumber()
    {
        char *host = nullptr;
        int display = 0, screen = 0;
        if (!xcb_parse_display(nullptr, &host, &display, &screen))
            return 0;
        free(host);
        return screen;
    }

    xcb_window_t ownerOfSelection() const
    {
        if (m_selection == XCB_NONE)
            return XCB_NONE;
        xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr);
        const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
        free(reply);
        return owner;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_atom_t m_selection = XCB_NONE;
    uint8_t m_selectionNotify = 0;
    bool m_available = false;
};

} // namespace

std::unique_ptr<TrayHost> createTrayHost()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (statusNotifierHostRegistered(bus))
        return std::make_unique<StatusNotifierHost>(bus);
    return std::make_unique<XEmbedHost>();
}
