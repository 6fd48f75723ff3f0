#pragma once

// Test doubles for everything the program asks of the outside world.

#include "about/ui/urlopener.h"
#include "power/powercontrol.h"
#include "schedule/alarm.h"
#include "schedule/clock.h"
#include "schedule/processwatch.h"
#include "sound/soundoutput.h"
#include "sound/ui/filechooser.h"
#include "tray/ui/traybackend.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <QMenu>

// Time moves only when told; the steady clock follows the wall clock unless it is set (jump).
class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    qint64 steadyMs() const override { return m_steady; }
    void set(QTime time) { advance(QDateTime(m_now.date(), time)); }
    void nextDay() { advance(m_now.addDays(1)); }
    void jump(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    void advance(const QDateTime &to)
    {
        m_steady += m_now.msecsTo(to);
        m_now = to;
    }

    QDateTime m_now{QDate(2026, 12, 6), QTime(12, 0, 0)};
    qint64 m_steady = 0;
};

// Keeps the moment it was armed for; the test rings it.
class FakeAlarm final : public Alarm
{
    Q_OBJECT

public:
    void arm(const QDateTime &when) override { armedFor = when; }
    void disarm() override { armedFor = {}; }
    QDateTime armedFor;
};

// Knows the processes it is told of; the test ends them.
class FakeProcesses final : public ProcessWatch
{
    Q_OBJECT

public:
    std::optional<ProcessId> find(qint64 pid) const override
    {
        return running.contains(pid) ? std::optional(running[pid]) : std::nullopt;
    }
    void watch(const ProcessId &process) override
    {
        watched = process;
        if (find(process.pid) != process)
            QMetaObject::invokeMethod(this, &ProcessWatch::ended, Qt::QueuedConnection);
    }
    void cancel() override { watched.reset(); }
    void end(qint64 pid)
    {
        running.remove(pid);
        if (watched && watched->pid == pid)
            Q_EMIT ended();
    }
    QMap<qint64, ProcessId> running;
    std::optional<ProcessId> watched;
};

// Records requests and answers each at once: done.
class FakePower final : public PowerControl
{
    Q_OBJECT

public:
    void request(PowerAction action) override
    {
        requests.append(action);
        Q_EMIT requestFinished(action, true, {});
    }
    QList<PowerAction> requests;
};

class FakeSound final : public SoundOutput
{
    Q_OBJECT

public:
    void prepare() override { ++prepared; }
    void play(const QString &path) override
    {
        plays.append(path);
        if (fail)
            Q_EMIT playFailed(path, QStringLiteral("cannot play"));
    }
    void stop() override { ++stops; }

    int prepared = 0;
    int stops = 0;
    bool fail = false;
    QStringList plays;
};

class FakeTray final : public TrayBackend
{
    Q_OBJECT

public:
    struct Message
    {
        QString title, text;
        QSystemTrayIcon::MessageIcon icon;
    };

    bool isAvailable() const override { return available; }
    Mode mode() const override { return hostMode; }
    void show(const QIcon &i, const QString &tip) override { icon = i, toolTip = tip; }
    void setToolTip(const QString &tip) override { toolTip = tip; }
    void setIcon(const QIcon &i) override { icon = i; }
    void showMessage(const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon i) override
    {
        messages.append({title, text, i});
    }
    void hide() override { ++hides; }
    void setContextMenu(QMenu *menu) override { contextMenu = menu; }

    void setAvailable(bool a) { Q_EMIT availabilityChanged(available = a); }
    void activate(QSystemTrayIcon::ActivationReason reason) { Q_EMIT activated(reason); }

    bool available = true;
    Mode hostMode = Mode::XEmbed;
    QIcon icon;
    QString toolTip;
    int hides = 0;
    QList<Message> messages;
    QPointer<QMenu> contextMenu;
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
