#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

class TrayBackend;

// What the notification icon carries: the window it belongs to, its icon and tip, and the last
// balloon shown on it.
struct NotifyIconData
{
    static constexpr unsigned NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4, NIF_INFO = 16;
    static constexpr unsigned WM_MOUSEMOVE = 512;
    static constexpr unsigned NIIF_NONE = 0, NIIF_INFO = 1, NIIF_WARNING = 2, NIIF_ERROR = 3;

    QPointer<QWidget> hWnd;
    unsigned uID = 0;
    unsigned uFlags = 0;
    unsigned uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip;
    QString szInfo;
    QString szInfoTitle;
    unsigned dwInfoFlags = 0;
};

// The tray icon's routines over one record.
class Moduletray
{
public:
    // A tip with this text stands for "no tip" and leaves the tip as it is.
    static inline const QString noTipText = QStringLiteral("默认为无提示");

    explicit Moduletray(TrayBackend &backend) : m_backend(backend) {}

    // A null icon means the window's own icon.
    void trayadd(QWidget *window, const QString &tip, const QIcon &icon = {});
    // A null icon keeps the icon.
    void traytip(const QString &text, const QString &title, qint16 flags, const QIcon &icon = {});
    void traydel();

    const NotifyIconData &trayicon() const { return m_trayicon; }
    TrayBackend &backend() { return m_backend; }

private:
    TrayBackend &m_backend;
    NotifyIconData m_trayicon;
};
