#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

class TrayBackend;

// What the notification icon carries: its icon and tip, and the last balloon shown on it.
struct NotifyIconData
{
    static constexpr unsigned NIIF_NONE = 0, NIIF_INFO = 1, NIIF_WARNING = 2, NIIF_ERROR = 3;

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
    // A tip of its own while a task runs, the program's title again when it stops.
    void settip(const QString &tip);

private:
    TrayBackend &m_backend;
    NotifyIconData m_trayicon;
};
