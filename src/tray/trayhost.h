#pragma once

#include <QObject>

#include <memory>

// Whether the desktop has a notification area to hold the tray icon, and how it hosts icons.
// Follows the host's arrival and departure as the desktop reports them; nothing is polled.
class TrayHost : public QObject
{
    Q_OBJECT

public:
    // XEmbed: a tray that reports double clicks. StatusNotifier: a StatusNotifierItem host,
    // which reports only activation and shows the icon's menu by itself.
    enum class Mode { XEmbed, StatusNotifier };

    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual Mode mode() const = 0;

Q_SIGNALS:
    void availabilityChanged(bool available);
};

// Defined once per OS in tray/<os>/; needs the application object.
std::unique_ptr<TrayHost> createTrayHost();
