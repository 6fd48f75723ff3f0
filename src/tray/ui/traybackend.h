#pragma once

#include "tray/trayhost.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

// The desktop's notification area and the program's icon in it, replaceable in tests.
class TrayBackend : public QObject
{
    Q_OBJECT

public:
    using Mode = TrayHost::Mode;

    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual Mode mode() const = 0;
    virtual void show(const QIcon &icon, const QString &toolTip) = 0;
    virtual void setToolTip(const QString &toolTip) = 0;
    virtual void setIcon(const QIcon &icon) = 0;
    virtual void showMessage(const QString &title, const QString &text,
                             QSystemTrayIcon::MessageIcon icon) = 0;
    virtual void hide() = 0;
    // Menu the host shows by itself (StatusNotifierItem); nullptr detaches it.
    virtual void setContextMenu(QMenu *menu) = 0;

Q_SIGNALS:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void availabilityChanged(bool available);
};
