#pragma once

// Test doubles for everything the program asks of the outside world.

#include "about/urlopener.h"
#include "power/powercontrol.h"
#include "schedule/clock.h"
#include "sound/filechooser.h"
#include "sound/soundoutput.h"
#include "tray/traybackend.h"

#include <QDateTime>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <QUrl>

class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0)))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &now) { m_now = now; }
    void setTime(QTime time) { m_now.setTime(time); }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

// Records requests; answers them when told to (or at once, with the configured outcome).
class FakePowerControl final : public PowerControl
{
    Q_OBJECT

public:
    using PowerControl::PowerControl;
    void request(PowerAction action) override
    {
        requests.append(action);
        if (answerImmediately)
            Q_EMIT requestFinished(action, succeed, succeed ? QString() : failureReason);
    }

    QList<PowerAction> requests;
    bool answerImmediately = true;
    bool succeed = true;
    QString failureReason = QStringLiteral("refused");
};

class FakeSoundOutput final : public SoundOutput
{
    Q_OBJECT

public:
    using SoundOutput::SoundOutput;
    void prepare() override { ++prepared; }
    void play(const QString &path) override
    {
        plays.append(path);
        if (failPlays)
            Q_EMIT playFailed(path, QStringLiteral("cannot play"));
        else
            Q_EMIT playStarted(path);
    }
    void stop() override { ++stops; }

    int prepared = 0;
    int stops = 0;
    bool failPlays = false;
    QStringList plays;
};

class FakeTray final : public TrayBackend
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString text;
        QSystemTrayIcon::MessageIcon icon;
    };

    explicit FakeTray(Mode mode = Mode::XEmbed, bool available = true)
        : m_mode(mode), m_available(available)
    {
    }
    bool isAvailable() const override { return m_available; }
    Mode mode() const override { return m_mode; }
    void show(const QIcon &icon, const QString &toolTip) override
    {
        ++shows;
        this->icon = icon;
        this->toolTip = toolTip;
        shown = true;
    }
    void setToolTip(const QString &toolTip) override { this->toolTip = toolTip; }
    void setIcon(const QIcon &icon) override { this->icon = icon; }
    void showMessage(const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon icon) override
    {
        messages.append({title, text, icon});
    }
    void hide() override
    {
        ++hides;
        shown = false;
    }
    bool isShown() const override { return shown; }
    void setContextMenu(QMenu *menu) override { contextMenu = menu; }

    void setAvailable(bool available)
    {
        m_available = available;
        Q_EMIT availabilityChanged(available);
    }
    void activate(QSystemTrayIcon::ActivationReason reason) { Q_EMIT activated(reason); }

    QIcon icon;
    QString toolTip;
    bool shown = false;
    int shows = 0;
    int hides = 0;
    QList<Message> messages;
    QPointer<QMenu> contextMenu;

private:
    Mode m_mode;
    bool m_available;
};

class FakeFileChooser final : public FileChooser
{
public:
    QString getOpenFileName(QWidget *, const QString &qtFilter) override
    {
        filters.append(qtFilter);
        return answer;
    }
    QString answer;
    QStringList filters;
};

class FakeUrlOpener final : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};
