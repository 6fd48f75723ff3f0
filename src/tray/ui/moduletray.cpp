#include "moduletray.h"

#include "traybackend.h"

namespace {
QSystemTrayIcon::MessageIcon messageIcon(unsigned infoFlags)
{
    switch (infoFlags) {
    case NotifyIconData::NIIF_INFO:
        return QSystemTrayIcon::Information;
    case NotifyIconData::NIIF_WARNING:
        return QSystemTrayIcon::Warning;
    case NotifyIconData::NIIF_ERROR:
        return QSystemTrayIcon::Critical;
    default:
        return QSystemTrayIcon::NoIcon;
    }
}
} // namespace

void Moduletray::trayadd(QWidget *window, const QString &tip, const QIcon &icon)
{
    m_trayicon.hIcon = icon.isNull() && window ? window->windowIcon() : icon;
    if (tip != noTipText)
        m_trayicon.szTip = tip;
    m_backend.show(m_trayicon.hIcon, m_trayicon.szTip);
}

void Moduletray::traytip(const QString &text, const QString &title, qint16 flags, const QIcon &icon)
{
    m_trayicon.szInfoTitle = title;
    m_trayicon.szInfo = text;
    m_trayicon.dwInfoFlags = static_cast<unsigned>(static_cast<int>(flags));
    if (!icon.isNull()) {
        m_trayicon.hIcon = icon;
        m_backend.setIcon(icon);
    }
    m_backend.setToolTip(m_trayicon.szTip);
    m_backend.showMessage(m_trayicon.szInfoTitle, m_trayicon.szInfo,
                          messageIcon(m_trayicon.dwInfoFlags));
}

void Moduletray::settip(const QString &tip)
{
    m_trayicon.szTip = tip;
    m_backend.setToolTip(tip);
}

void Moduletray::traydel()
{
    m_backend.hide();
}
