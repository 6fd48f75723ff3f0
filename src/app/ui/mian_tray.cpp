// The main window and its tray icon: hiding to the tray, restoring, the popup menu.

#include "mian.h"

#include "app/version.h"
#include "tray/ui/traybackend.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

namespace {
const QString balloonTitle = QStringLiteral("气泡提示");
}

void Mian::Form_Resize()
{
    if (!RightmenuStart)
        return; // resize events during construction
    if (isMinimized())
        hideToTray();
}

void Mian::hideToTray()
{
    // Without a notification area there would be no way back: the window stays.
    if (m_intray || !m_services.tray.isAvailable())
        return;
    m_intray = true;
    hide();
    if (m_services.tray.mode() == TrayBackend::Mode::StatusNotifier)
        m_services.tray.setContextMenu(Rightmenu);
    m_moduletray.traytip(Version::programTitle, balloonTitle, NotifyIconData::NIIF_INFO);
}

void Mian::Form_MouseMove(int message)
{
    if (!m_intray)
        return;
    if (message == WM_LBUTTONDBLCLK) {
        Rightmenumian_Click();
        m_moduletray.traytip(Version::programTitle, balloonTitle, NotifyIconData::NIIF_INFO);
    }
    if (message == WM_RBUTTONUP) {
        m_rightmenuAt = QCursor::pos();
        // Hiding into the tray takes the focus away, and the window system deactivates the
        // program a moment later (400 ms on X11), closing every open popup. A menu asked for
        // in that moment would flash and vanish: it waits for the deactivation (or 500 ms).
        if (QGuiApplication::applicationState() == Qt::ApplicationActive)
            m_rightmenuWait->start();
        else
            popupRightmenu();
    }
}

void Mian::popupRightmenu()
{
    m_rightmenuWait->stop();
    if (m_intray)
        Rightmenu->popup(m_rightmenuAt);
}

void Mian::Rightmenumian_Click()
{
    m_intray = false;
    m_services.tray.setContextMenu(nullptr);
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void Mian::onTrayAvailabilityChanged(bool available)
{
    // The notification area went away under a hidden window: bring the window back so it can
    // still be reached, minimised as the user left it.
    if (!available && m_intray) {
        m_intray = false;
        m_services.tray.setContextMenu(nullptr);
        showMinimized();
        return;
    }
    // A notification area that appears under a minimised window takes it in.
    Form_Resize();
}

void Mian::offerPostpone(bool on)
{
    RightmenuPostpone->setVisible(on);
}

void Mian::reportProblem(const QString &title, const QString &text)
{
    if (m_services.tray.isAvailable())
        m_moduletray.traytip(text, title, NotifyIconData::NIIF_WARNING);
}

void Mian::balloon(const QString &text)
{
    reportProblem(QStringLiteral("Quorvel"), text);
}

void Mian::onTrayActivated(int reason)
{
    const bool notifierHost = m_services.tray.mode() == TrayBackend::Mode::StatusNotifier;
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::DoubleClick:
        if (!notifierHost)
            Form_MouseMove(WM_LBUTTONDBLCLK);
        break;
    case QSystemTrayIcon::Trigger:
        // A StatusNotifierItem host has no double click: its activation stands for one.
        if (notifierHost && m_intray) {
            Form_MouseMove(WM_LBUTTONDBLCLK);
        } else if (notifierHost && m_services.minimiseUnseen) {
            // A window the compositor minimised still counts as shown: bring it forward.
            Rightmenumian_Click();
        }
        break;
    case QSystemTrayIcon::Context:
        // A StatusNotifierItem host shows the exported menu by itself.
        if (!notifierHost)
            Form_MouseMove(WM_RBUTTONUP);
        break;
    default:
        break;
    }
}
