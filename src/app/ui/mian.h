#pragma once

#include <QDateTime>
#include <QPoint>
#include <QWidget>

#include <array>

#include "tray/ui/moduletray.h"

class Clock;
class CommonDialog;
class FileChooser;
class MediaControl;
class Moduleini;
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
class TaskModel;
class TrayBackend;
class UrlOpener;
class XPCheckBox;

// Everything the window works with besides its own controls.
struct MianServices
{
    TaskModel &task;
    SecondTimer &seconds;
    const Clock &clock;
    SoundOutput &sound;
    TrayBackend &tray;
    FileChooser &fileChooser;
    UrlOpener &urlOpener;
    Moduleini &settings;
    // Where the window system leaves title bars to the program (see TitleBar).
    bool ownTitleBar = false;
    // Where it does not tell the program that the window was minimised (Wayland).
    bool minimiseUnseen = false;
};

class Mian;

// One control of the window's design. Places are in twips, inside the window or the frame.
struct ControlDesign
{
    const char *name; // the objectName, and the member that holds the control
    // Makes the control, of its member's type, into its member.
    QWidget *(*build)(Mian &window, const QString &caption);
    bool inFrame;        // in Frameshezhi, else in the window
    const char *caption; // UTF-8
    int left, top, width, height;
    int tabIndex;
    bool enabled;
    qreal points;
};

// The main window: a view of the task model. Its handlers carry the names of the design; they
// pass the user's choices to the model, and the window mirrors the model into its controls,
// status fields and the tray menu.
class Mian : public QWidget
{
    Q_OBJECT

public:
    static const std::array<ControlDesign, 23> design;

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
    void Form_Resize();
    // The tray icon's mouse actions, as mouse message numbers (515 double click, 517 right up).
    void Form_MouseMove(int message);
    void Form_Unload();

    // Hides the window into the tray with its balloon, where there is a notification area
    // (intray() tells whether it went).
    void hideToTray();
    // A message for the user in a tray balloon, where there is a notification area.
    void balloon(const QString &text);
    // While a warning is up, the tray menu offers to put the power action off.
    void offerPostpone(bool on);

    bool intray() const { return m_intray; }
    QMenu *rightmenu() const { return Rightmenu; }

    static constexpr int WM_LBUTTONDBLCLK = 515;
    static constexpr int WM_RBUTTONUP = 517;

Q_SIGNALS:
    // The window has been unloaded; with no window left the program ends.
    void unloaded();
    void postponeRequested();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    template<auto member> static QWidget *build(Mian &window, const QString &caption);
    void buildLayout(int top);
    void buildMenu();
    void connectHandlers();
    void mirrorRunning(bool running);
    void mirrorTask();
    void mirrorReminder(bool on);
    void mirrorTaskIntoMenu();
    void mirrorTaskIntoTip();
    // The play button, the path field and the browse button, which follow the sound switch.
    void enableSoundControls(bool on);
    void onReminderDue();
    void followVisibility();
    void onTrayActivated(int reason);
    void popupRightmenu();
    void onTrayAvailabilityChanged(bool available);
    void onSoundFailed(const QString &path, const QString &reason);
    // Tells the user in a balloon; nothing waits for an answer.
    void reportProblem(const QString &title, const QString &text);

    MianServices m_services;
    TaskModel &m_task;
    Moduletray m_moduletray;
    bool m_loaded = false;
    bool m_intray = false;
    bool m_unloaded = false;
    bool m_clockShown = false;
    // A tray menu asked for while the program is still being deactivated waits here.
    QTimer *m_rightmenuWait = nullptr;
    QPoint m_rightmenuAt;
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
    QMenu *Rightmenu = nullptr;
    QAction *Rightmenumian = nullptr;
    QAction *RightmenuTag2 = nullptr;
    QAction *RightmenuStart = nullptr;
    QAction *Rightmenustop = nullptr;
    QAction *RightmenuTag1 = nullptr;
    QAction *Rightmenuexit = nullptr;
    QAction *RightmenuPostpone = nullptr; // shown only while a warning is up
};
