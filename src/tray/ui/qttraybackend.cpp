#include "qttraybackend.h"

#include <QMenu>

QtTrayBackend::QtTrayBackend(std::unique_ptr<TrayHost> host)
    : m_host(std::move(host)), m_icon(new QSystemTrayIcon(this))
{
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayBackend::activated);
    connect(m_host.get(), &TrayHost::availabilityChanged, this, &TrayBackend::availabilityChanged);
}

QtTrayBackend::~QtTrayBackend() = default;

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

void QtTrayBackend::setContextMenu(QMenu *menu)
{
    m_icon->setContextMenu(menu);
}
