#pragma once

#include "traybackend.h"

#include <QTimer>

class QSystemTrayIcon;

// The notification area through QSystemTrayIcon.
class QtTrayBackend final : public TrayBackend
{
    Q_OBJECT

public:
    explicit QtTrayBackend(QObject *parent = nullptr);
    ~QtTrayBackend() override;

    bool isAvailable() const override { return m_available; }
    Mode mode() const override { return m_mode; }
    void show(const QIcon &icon, const QString &toolTip) override;
    void setToolTip(const QString &toolTip) override;
    void setIcon(const QIcon &icon) override;
    void showMessage(const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon icon) override;
    void hide() override;
    bool isShown() const override;
    void setContextMenu(QMenu *menu) override;

    // How Qt will host the icon: through a StatusNotifierItem host when one is registered on
    // the session bus, else the XEmbed tray.
    static Mode detectMode();

private:
    void recheckAvailability();

    QSystemTrayIcon *m_icon;
    Mode m_mode;
    bool m_available;
    QTimer m_availabilityPoll;
};
