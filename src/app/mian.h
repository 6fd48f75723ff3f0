#pragma once

#include <QDateTime>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "power/poweraction.h"
#include "tray/moduletray.h"

class Clock;
class CommonDialog;
class FileChooser;
class MediaControl;
class Moduleini;
class PowerControl;
class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimeEdit;
class QTimer;
class SecondTimer;
class SoundOutput;
class TrayBackend;
class UrlOpener;
class XPCheckBox;

// Everything the window asks of the outside world.
struct MianServices
{
    const Clock &clock;
    PowerControl &power;
    SoundOutput &sound;
    TrayBackend &tray;
    FileChooser &fileChooser;
    UrlOpener &urlOpener;
    Moduleini &settings;
};

// The task-state strings; empty at start, kept for the whole run.
struct TaskState
{
    QString tasktime; // target, as the picker's value converted to text
    QString tipmins;  // chosen reminder minutes
    QString leftmins; // minutes to go, written by the task tick
};

// The main window. Its member functions are defined next to the subsystem they belong to:
// app/ (layout, load, unload), schedule/, settings/, sound/, tray/ and about/.
class Mian : public QWidget
{
    Q_OBJECT

public:
    static inline const QString programTitle = QStringLiteral("QuorvelV1.0.0");

    explicit Mian(const MianServices &services, QWidget *parent = nullptr);
    ~Mian() override;

    // Brings the freshly built window into its initial state; runs before the first show.
    void Form_Load();

    // Methods of the window.
    void combadd();
    void sysini();
    void Play();

    // Handlers.
    void Comborenwu_Click();
    void Combotishi_Click();
    void Commanda1_Click();
    void Commanda2_Click();
    void RightmenuStart_Click();
    void Rightmenustop_Click();
    void Commanda3_Click();
    void Rightmenuexit_Click();
    void Commanda4_Click();
    void Commanda5_Click();
    void Commandopen_Click();
    void XPCheckBox1_Click();
    void XPCheckBox2_Click();
    void Rightmenumian_Click();
    void sysTimer_Timer();
    void TaskTimer_Timer();
    void Form_Resize();
    // The tray icon's mouse actions, as mouse message numbers (515 double click, 517 right up).
    void Form_MouseMove(int message);
    void Form_Unload();

    const TaskState &taskState() const { return m_task; }
    bool intray() const { return m_intray; }
    const Moduletray &moduletray() const { return m_moduletray; }
    QMenu *rightmenu() const { return Rightmenu; }

    static constexpr int WM_LBUTTONDBLCLK = 515;
    static constexpr int WM_RBUTTONUP = 517;

Q_SIGNALS:
    // The window has been unloaded; with no window left the program ends.
    void unloaded();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    void buildMenu();
    void connectHandlers();
    void start();
    void stop();
    void mirrorTaskIntoMenu();
    void onTrayActivated(int reason);
    void popupRightmenu();
    void onTrayAvailabilityChanged(bool available);
    void onPowerFinished(PowerAction action, bool ok, const QString &reason);
    void onSoundFailed(const QString &path, const QString &reason);
    // Tells the user in a balloon; nothing waits for an answer.
    void reportProblem(const QString &title, const QString &text);

    MianServices m_services;
    Moduletray m_moduletray;
    TaskState m_task;
    bool m_intray = false;
    bool m_unloaded = false;
    // A tray menu asked for while the program is still being deactivated waits here.
    QTimer *m_rightmenuWait = nullptr;
    QPoint m_rightmenuAt;
    QDateTime m_lastTaskTick;
    // The minute of the reminder play in progress (invalid for a play from the button), and the
    // last one whose failure was shown, so a broken sound is reported once per minute.
    QDateTime m_reminderMinute;
    QDateTime m_reportedReminderMinute;

    // Controls, named as in the window's design.
    QPushButton *Commandb3 = nullptr;
    QPushButton *Commandc1 = nullptr;
    QPushButton *Commanda1 = nullptr;
    QPushButton *Commandb1 = nullptr;
    QTimeEdit *DTPicker1 = nullptr;
    QPushButton *Commanda2 = nullptr;
    QPushButton *Commandb2 = nullptr;
    QComboBox *Comborenwu = nullptr;
    QPushButton *Commanda3 = nullptr;
    QPushButton *Commandb4 = nullptr;
    QPushButton *Commandc2 = nullptr;
    QPushButton *Commanda4 = nullptr;
    QPushButton *Commandb5 = nullptr;
    QPushButton *Commandc3 = nullptr;
    QGroupBox *Frameshezhi = nullptr;
    XPCheckBox *XPCheckBox2 = nullptr;
    QPushButton *Commandb6 = nullptr;
    QComboBox *Combotishi = nullptr;
    QPushButton *Commandb7 = nullptr;
    XPCheckBox *XPCheckBox1 = nullptr;
    QPushButton *Commanda5 = nullptr;
    QLineEdit *Textsound = nullptr;
    QPushButton *Commandopen = nullptr;
    MediaControl *mci1 = nullptr;
    CommonDialog *Dialog1 = nullptr;
    SecondTimer *TaskTimer = nullptr;
    SecondTimer *sysTimer = nullptr;
    QMenu *Rightmenu = nullptr;
    QAction *Rightmenumian = nullptr;
    QAction *RightmenuTag2 = nullptr;
    QAction *RightmenuStart = nullptr;
    QAction *Rightmenustop = nullptr;
    QAction *RightmenuTag1 = nullptr;
    QAction *Rightmenuexit = nullptr;
};
