#pragma once

#include "traybackend.h"

#include <memory>

// The notification area through QSystemTrayIcon; the platform's TrayHost says whether there
// is one.
class QtTrayBackend final : public TrayBackend
{
    Q_OBJECT

public:
    explicit QtTrayBackend(std::unique_ptr<TrayHost> host);
    ~QtTrayBackend() override;

    bool isAvailable() const override { return m_host->isAvailable(); }
    Mode mode() const override { return m_host->mode(); }
    void show(const QIcon &icon, const QString &toolTip) override;
    void setToolTip(const QString &toolTip) override;
    void setIcon(const QIcon &icon) override;
    void showMessage(const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon icon) override;
    void hide() override;
    void setContextMenu(QMenu *menu) override;

private:
    std::unique_ptr<TrayHost> m_host;
    QSystemTrayIcon *m_icon;
};
