#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

// The desktop's notification area, replaceable in tests.
class TrayBackend : public QObject
{
    Q_OBJECT

public:
    // How the desktop hosts the icon: an XEmbed tray reports double clicks; a
    // StatusNotifierItem host reports only activation and shows its own menu.
    enum class Mode { XEmbed, StatusNotifier };

    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual Mode mode() const = 0;
    virtual void show(const QIcon &icon, const QString &toolTip) = 0;
    virtual void setToolTip(const QString &toolTip) = 0;
    virtual void setIcon(const QIcon &icon) = 0;
    virtual void showMessage(const QString &title, const QString &text,
                             QSystemTrayIcon::MessageIcon icon) = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;
    // Menu the host shows by itself (StatusNotifierItem); nullptr detaches it.
    virtual void setContextMenu(QMenu *menu) = 0;

Q_SIGNALS:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void availabilityChanged(bool available);
};
