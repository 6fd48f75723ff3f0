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

#include <QMap>
#include <QMenu>
#include <QPointer>

// Time moves only when told; the steady clock follows the wall clock unless it is set (jump).
class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    qint64 steadyMs() const override { return m_steady; }
    void set(QTime time) { set(QDateTime(m_now.date(), time)); }
    void set(const QDateTime &to)
    {
        m_steady += m_now.msecsTo(to);
        m_now = to;
    }
    void jump(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now{QDate(2026, 12, 6), QTime(12, 0, 0)};
    qint64 m_steady = 0;
};

// Keeps the moment it was armed for; the test rings it.
struct FakeAlarm final : Alarm
{
    void arm(const QDateTime &when) override { armedFor = when; }
    void disarm() override { armedFor = {}; }
    QDateTime armedFor;
};

// Knows the processes it is told of; the test ends them.
struct FakeProcesses final : ProcessWatch
{
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
struct FakePower final : PowerControl
{
    void request(PowerAction action) override
    {
        requests.append(action);
        Q_EMIT requestFinished(action, true, {});
    }
    QList<PowerAction> requests;
};

// Records each call: "prepare", "play <path>", "stop".
struct FakeSound final : SoundOutput
{
    void prepare() override { calls << "prepare"; }
    void play(const QString &path) override
    {
        calls << "play " + path;
        if (fail)
            Q_EMIT playFailed(path, QStringLiteral("cannot play"));
    }
    void stop() override { calls << "stop"; }
    bool fail = false;
    QStringList calls;
};

// Balloons are kept as "title: text".
struct FakeTray final : TrayBackend
{
    bool isAvailable() const override { return available; }
    Mode mode() const override { return hostMode; }
    void show(const QIcon &i, const QString &tip) override { icon = i, toolTip = tip; }
    void setToolTip(const QString &tip) override { toolTip = tip; }
    void setIcon(const QIcon &i) override { icon = i; }
    void showMessage(const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon) override
    {
        messages.append(title + ": " + text);
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
    QStringList messages;
    QPointer<QMenu> contextMenu;
};

struct FakeFileChooser final : FileChooser
{
    QString getOpenFileName(QWidget *, const QString &filter) override
    {
        filters.append(filter);
        return answer;
    }
    QString answer;
    QStringList filters;
};

struct FakeUrlOpener final : UrlOpener
{
    bool openUrl(const QUrl &) override { return true; }
};
