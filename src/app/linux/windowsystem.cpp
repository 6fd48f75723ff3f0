#include "app/windowsystem.h"

#include <QGuiApplication>

#include <wayland-client.h>

#include <cstring>

namespace {
void onGlobal(void *data, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    // Qt asks for server-side decorations through this protocol whenever it is offered.
    if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
        *static_cast<bool *>(data) = true;
}
void onGlobalRemoved(void *, wl_registry *, uint32_t) {}
} // namespace

bool ownTitleBarNeeded()
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return false;
    // A connection of our own for one look at the compositor's globals.
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return false;
    bool serverDecorates = false;
    wl_registry *registry = wl_display_get_registry(display);
    static const wl_registry_listener listener{onGlobal, onGlobalRemoved};
    wl_registry_add_listener(registry, &listener, &serverDecorates);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return !serverDecorates;
}

bool minimiseIsReported()
{
    return QGuiApplication::platformName() != QLatin1String("wayland");
}
