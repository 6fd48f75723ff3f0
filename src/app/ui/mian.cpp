#include "mian.h"

#include "about/ui/aboutwindow.h"
#include "app/ui/xpcontrols.h"
#include "app/version.h"
#include "schedule/clock.h"
#include "schedule/longtime.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "schedule/taskrules.h"
#include "settings/moduleini.h"
#include "settings/settingskeys.h"
#include "shared/ui/design.h"
#include "shared/ui/icons.h"
#include "shared/ui/titlebar.h"
#include "sound/mediacontrol.h"
#include "sound/soundoutput.h"
#include "sound/ui/commondialog.h"
#include "tray/notifier.h"
#include "tray/ui/traybackend.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QTimer>

#include <map>
#include <ranges>

Q_LOGGING_CATEGORY(lcSound, "quorvel.sound")

// Each control named once: its member, and the objectName tests and tools find it by.
// clang-format off
#define CONTROL(member) #member, &Mian::build<&Mian::member>
// clang-format on

const std::array<ControlDesign, 23> Mian::design{{
    {CONTROL(Commandb3), false, "系统时间：", 120, 120, 975, 375, 8, false, 9},
    {CONTROL(Commandc1), false, "", 1560, 120, 1695, 375, 7, false, 12},
    {CONTROL(Commanda1), false, "开   始", 3720, 120, 1095, 495, 4, true, 9},
    {CONTROL(Commandb1), false, "时    间：", 120, 720, 975, 375, 1, false, 9},
    {CONTROL(DTPicker1), false, "", 1560, 720, 1695, 375, 0, true, 14.25},
    {CONTROL(Commanda2), false, "停   止", 3720, 840, 1095, 495, 5, true, 9},
    {CONTROL(Commandb2), false, "任    务：", 120, 1320, 975, 375, 2, false, 9},
    {CONTROL(Comborenwu), false, "", 1560, 1320, 1695, 300, 3, true, 9},
    {CONTROL(Commanda3), false, "退   出", 3720, 1560, 1095, 495, 6, true, 9},
    {CONTROL(Commandb4), false, "任务状态：", 120, 1920, 975, 375, 9, false, 9},
    {CONTROL(Commandc2), false, "", 1560, 1920, 1695, 375, 10, false, 12},
    {CONTROL(Commanda4), false, "关   于", 3720, 2280, 1095, 495, 13, true, 9},
    {CONTROL(Commandb5), false, "定时状态：", 120, 2520, 975, 375, 11, false, 9},
    {CONTROL(Commandc3), false, "", 1560, 2520, 1695, 375, 12, false, 12},
    {CONTROL(Frameshezhi), false, "设置", 120, 3000, 4695, 1335, 14, true, 9},
    {CONTROL(XPCheckBox2), true, "任务开启提示", 120, 240, 1335, 375, 16, true, 9},
    {CONTROL(Commandb6), true, "在前", 1560, 240, 495, 375, 21, false, 9},
    {CONTROL(Combotishi), true, "", 2160, 240, 1455, 300, 15, true, 9},
    {CONTROL(Commandb7), true, "分钟提醒", 3720, 240, 855, 375, 23, false, 9},
    {CONTROL(XPCheckBox1), true, "声音开启提示", 120, 840, 1335, 375, 19, true, 9},
    {CONTROL(Commanda5), true, "", 1560, 840, 495, 375, 18, true, 9},
    {CONTROL(Textsound), true, "", 2160, 840, 1815, 375, 20, true, 12},
    {CONTROL(Commandopen), true, "", 4080, 840, 495, 375, 17, true, 9},
}};

#undef CONTROL

namespace {

// Disabled buttons that serve as captions and read-only fields keep their text colour.
void keepTextReadable(QWidget *button, const QColor &text)
{
    QPalette pal = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::ButtonText, text);
    button->setPalette(pal);
}

template<typename W> W *makeControl(const QString &caption, QWidget *parent)
{
    if constexpr (std::is_same_v<W, QPushButton>) {
        auto *b = new QPushButton(caption, parent);
        b->setAutoDefault(false);
        return b;
    } else if constexpr (std::is_same_v<W, XPCheckBox>) {
        auto *c = new XPCheckBox(caption, parent);
        // The caption fills the box's width; keep the indicator close to it.
        c->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));
        Design::fillBackground(c, Design::frameColour);
        return c;
    } else if constexpr (std::is_same_v<W, QTimeEdit>) {
        return new QTimeEdit(QTime(0, 0, 0), parent);
    } else if constexpr (std::is_same_v<W, QGroupBox>) {
        auto *f = new QGroupBox(caption, parent);
        Design::fillBackground(f, Design::frameColour);
        return f;
    } else {
        return new W(parent);
    }
}

} // namespace

template<auto member> QWidget *Mian::build(Mian &window, const QString &caption)
{
    using W = std::remove_pointer_t<std::remove_reference_t<decltype(window.*member)>>;
    return window.*member = makeControl<W>(caption, &window);
}

Mian::Mian(const MianServices &services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_services(services), m_task(services.task), m_moduletray(services.tray)
{
    setObjectName(QStringLiteral("mian"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowIcon(Icons::window());
    const int top = TitleBar::fit(this, QSize(Design::px(4845), Design::px(4335)),
                                  TitleBar::Button::Minimise, services.ownTitleBar);
    Design::fillBackground(this, Design::windowColour);

    buildLayout(top);
    buildMenu();
    connectHandlers();

    // Where the window system lets a program place its windows.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

Mian::~Mian()
{
    m_services.seconds.want(this, false);
}

void Mian::buildLayout(int top)
{
    std::array<QWidget *, design.size()> controls;
    for (std::size_t i = 0; i < design.size(); ++i)
        controls[i] = design[i].build(*this, QString::fromUtf8(design[i].caption));
    const QColor buttonText = palette().color(QPalette::ButtonText);
    std::map<int, QWidget *> byTab; // the design's tab indexes are unique
    for (std::size_t i = 0; i < design.size(); ++i) {
        const ControlDesign &d = design[i];
        QWidget *w = controls[i];
        if (d.inFrame)
            w->setParent(Frameshezhi);
        w->setObjectName(QLatin1String(d.name));
        w->setFont(qobject_cast<QTimeEdit *>(w) ? Design::kaiti(d.points)
                                                : Design::songti(d.points));
        w->setGeometry(
            Design::twips(d.left, d.top, d.width, d.height).translated(0, d.inFrame ? 0 : top));
        w->setEnabled(d.enabled);
        if (qobject_cast<QPushButton *>(w) && !d.enabled)
            keepTextReadable(w, buttonText);
        byTab[d.tabIndex] = w;
    }
    // Keyboard focus order of the design; disabled controls are skipped by Qt.
    QWidget *previous = nullptr;
    for (QWidget *w : byTab | std::views::values) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    const QColor highlight = palette().color(QPalette::Highlight); // &H8000000D&
    keepTextReadable(Commandb1, highlight);
    keepTextReadable(Commandb2, highlight);
    DTPicker1->setDisplayFormat(longTimeFormat());
    DTPicker1->setAccessibleName(QStringLiteral("时间"));
    Comborenwu->setAccessibleName(QStringLiteral("任务"));
    Design::fillBackground(Comborenwu, palette().color(QPalette::Button), QPalette::Base);
    Combotishi->setAccessibleName(QStringLiteral("在前分钟提醒"));
    Commandc1->setAccessibleDescription(QStringLiteral("系统时间"));
    Commandc2->setAccessibleDescription(QStringLiteral("任务状态"));
    Commandc3->setAccessibleDescription(QStringLiteral("定时状态"));
    for (auto [button, icon, name] :
         {std::tuple{Commanda5, Icons::play(), QStringLiteral("播放声音")},
          std::tuple{Commandopen, Icons::globe(), QStringLiteral("选择声音文件")}}) {
        button->setIcon(icon);
        button->setAccessibleName(name);
        button->setToolTip(name);
    }
    Textsound->setReadOnly(true);
    Textsound->setAccessibleName(QStringLiteral("声音文件"));
    Design::fillBackground(Textsound, QApplication::palette("QMenu").color(QPalette::Window),
                           QPalette::Base);

    mci1 = new MediaControl(m_services.sound, this);
    mci1->setObjectName(QStringLiteral("mci1"));
    Dialog1 = new CommonDialog(m_services.fileChooser, this);
    Dialog1->setObjectName(QStringLiteral("Dialog1"));
}

void Mian::buildMenu()
{
    // Shown only as the tray's popup; the window has no menu bar.
    Rightmenu = new QMenu(QStringLiteral("Rightmenu"), this);
    Rightmenu->setObjectName(QStringLiteral("Rightmenu"));
#define ITEM(member) &Mian::member, #member
    for (auto [member, name, caption] : {
             std::tuple{ITEM(Rightmenumian), "打开主面板"},
             std::tuple{ITEM(RightmenuTag2), "-"},
             std::tuple{ITEM(RightmenuStart), "开始"},
             std::tuple{ITEM(Rightmenustop), "停止"},
             std::tuple{ITEM(RightmenuTag1), "-"},
             std::tuple{ITEM(Rightmenuexit), "退出"},
         }) {
        const QString text = QString::fromUtf8(caption);
        QAction *action = text == u"-" ? Rightmenu->addSeparator() : Rightmenu->addAction(text);
        action->setObjectName(QLatin1String(name));
        this->*member = action;
    }
#undef ITEM
    RightmenuPostpone = new QAction(Notifier::postponeCaption, Rightmenu);
    RightmenuPostpone->setObjectName(QStringLiteral("RightmenuPostpone"));
    RightmenuPostpone->setVisible(false);
    Rightmenu->insertAction(RightmenuTag1, RightmenuPostpone);

    m_rightmenuWait = new QTimer(this);
    m_rightmenuWait->setSingleShot(true);
    m_rightmenuWait->setInterval(500);
}

void Mian::connectHandlers()
{
    connect(Comborenwu, &QComboBox::activated, this, &Mian::Comborenwu_Click);
    connect(Combotishi, &QComboBox::currentIndexChanged, this, &Mian::Combotishi_Click);
    connect(DTPicker1, &QTimeEdit::timeChanged, &m_task, &TaskModel::setTasktime);
    connect(Commanda1, &QPushButton::clicked, this, &Mian::Commanda1_Click);
    connect(Commanda2, &QPushButton::clicked, this, &Mian::Commanda2_Click);
    connect(Commanda3, &QPushButton::clicked, this, &Mian::Commanda3_Click);
    connect(Commanda4, &QPushButton::clicked, this, &Mian::Commanda4_Click);
    connect(Commanda5, &QPushButton::clicked, this, [this] {
        m_reminderMinute = {};
        Commanda5_Click();
    });
    connect(Commandopen, &QPushButton::clicked, this, &Mian::Commandopen_Click);
    // Toggled, not clicked: a screen reader's toggle action changes the box without a click.
    // Applying the stored settings blocks these signals.
    connect(XPCheckBox1, &QCheckBox::toggled, this, &Mian::XPCheckBox1_Click);
    connect(XPCheckBox2, &QCheckBox::toggled, this, &Mian::XPCheckBox2_Click);
    connect(Rightmenumian, &QAction::triggered, this, &Mian::Rightmenumian_Click);
    connect(RightmenuStart, &QAction::triggered, this, &Mian::RightmenuStart_Click);
    connect(Rightmenustop, &QAction::triggered, this, &Mian::Rightmenustop_Click);
    connect(Rightmenuexit, &QAction::triggered, this, &Mian::Rightmenuexit_Click);
    connect(RightmenuPostpone, &QAction::triggered, this, &Mian::postponeRequested);
    connect(&m_services.seconds, &SecondTimer::timeout, this, &Mian::sysTimer_Timer);

    connect(&m_task, &TaskModel::runningChanged, this, &Mian::mirrorRunning);
    connect(&m_task, &TaskModel::taskChanged, this, &Mian::mirrorTask);
    connect(&m_task, &TaskModel::tasktimeChanged, this, [this](QTime time) {
        const QSignalBlocker blocker(DTPicker1);
        DTPicker1->setTime(time);
    });
    connect(&m_task, &TaskModel::reminderChanged, this, &Mian::mirrorReminder);
    connect(&m_task, &TaskModel::tipminsChanged, this, [this](int minutes) {
        const QSignalBlocker blocker(Combotishi);
        Combotishi->setCurrentIndex(minutes ? Combotishi->findText(QString::number(minutes)) : -1);
    });
    connect(&m_task, &TaskModel::reminderDue, this, &Mian::onReminderDue);
    for (const auto signal :
         {&TaskModel::taskChanged, &TaskModel::afterProcessChanged, &TaskModel::postponed})
        connect(&m_task, signal, this, &Mian::mirrorTaskIntoTip);
    connect(&m_task, &TaskModel::runningChanged, this, &Mian::mirrorTaskIntoTip);
    connect(&m_task, &TaskModel::reminderChanged, this, &Mian::mirrorTaskIntoTip);
    connect(&m_task, &TaskModel::tipminsChanged, this, &Mian::mirrorTaskIntoTip);
    connect(
        &m_task, &TaskModel::requestFailed, this,
        [this](PowerAction action, const QString &reason) {
            reportProblem(
                QStringLiteral("定时任务失败"),
                QStringLiteral("系统没有执行%1：%2").arg(PowerActions::caption(action), reason));
        });

    connect(&m_services.sound, &SoundOutput::playFailed, this, &Mian::onSoundFailed);
    connect(&m_services.tray, &TrayBackend::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onTrayActivated(reason); });
    connect(&m_services.tray, &TrayBackend::availabilityChanged, this,
            &Mian::onTrayAvailabilityChanged);
    connect(m_rightmenuWait, &QTimer::timeout, this, &Mian::popupRightmenu);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (m_rightmenuWait->isActive() && state != Qt::ApplicationActive)
                    popupRightmenu();
            });
}

void Mian::Form_Load()
{
    m_moduletray.trayadd(this, Version::programTitle);
    Play();
    combadd();
    sysini();
    Commanda2->setEnabled(false);
    Dialog1->setFilter(QStringLiteral("音乐文件 (*.wav)| *.wav|"));
    Commandc2->setText(TaskRules::noTaskCaption);
    Commandc3->setText(QStringLiteral("停止"));
    mirrorTaskIntoMenu();
    m_loaded = true;
}

void Mian::combadd()
{
    // Appending to an empty combo box selects the first entry; nothing is selected afterwards.
    const QSignalBlocker renwuBlocker(Comborenwu);
    const QSignalBlocker tishiBlocker(Combotishi);
    Comborenwu->addItems(TaskRules::taskNames());
    Combotishi->addItems(TaskRules::reminderMinutes());
    Comborenwu->setCurrentIndex(-1);
    Combotishi->setCurrentIndex(-1);
}

void Mian::sysini()
{
    Moduleini &ini = m_services.settings;
    // Setting the boxes from the file is not a change to store again.
    const QSignalBlocker soundBlocker(XPCheckBox1);
    const QSignalBlocker tipsBlocker(XPCheckBox2);
    // Two separate tests: a stored value other than 1 and 0 leaves the design state.
    const int ifsound = ini.iniint(SettingsKeys::sound);
    if (ifsound == 1 || ifsound == 0) {
        XPCheckBox1->setValue(ifsound == 1 ? -1 : 0);
        enableSoundControls(ifsound == 1);
    }
    const int ifTips = ini.iniint(SettingsKeys::tips);
    if (ifTips == 1 || ifTips == 0) {
        XPCheckBox2->setValue(ifTips == 1 ? -1 : 0);
        m_task.setReminder(ifTips == 1);
        Combotishi->setEnabled(ifTips == 1);
    }
    Textsound->setText(ini.iniread(SettingsKeys::soundPath));
}

void Mian::Play()
{
    mci1->prepare();
}

void Mian::Comborenwu_Click()
{
    m_task.setTask(PowerActions::fromCaption(Comborenwu->currentText()));
}

void Mian::Combotishi_Click()
{
    m_task.setTipmins(Combotishi->currentText().toInt());
}

void Mian::Commanda1_Click()
{
    m_task.start();
}

void Mian::Commanda2_Click()
{
    m_task.stop();
}

void Mian::RightmenuStart_Click()
{
    m_task.start();
}

void Mian::Rightmenustop_Click()
{
    m_task.stop();
}

void Mian::mirrorRunning(bool running)
{
    Commanda1->setEnabled(!running);
    Commanda2->setEnabled(running);
    DTPicker1->setEnabled(!running);
    Comborenwu->setEnabled(!running);
    Commandc3->setText(running ? QStringLiteral("启动") : QStringLiteral("停止"));
    // Starting leaves the minutes list alone with the reminder off; stopping follows the box.
    if (!running || m_task.reminder())
        Combotishi->setEnabled(!running && m_task.reminder());
    // The tray menu follows the task whichever way it was started or stopped.
    mirrorTaskIntoMenu();
}

void Mian::mirrorTask()
{
    const std::optional<PowerAction> task = m_task.task();
    Commandc2->setText(task ? PowerActions::caption(*task) : TaskRules::noTaskCaption);
    const QSignalBlocker blocker(Comborenwu);
    Comborenwu->setCurrentIndex(Comborenwu->findText(task ? PowerActions::caption(*task)
                                                          : TaskRules::taskNames().constFirst()));
}

void Mian::mirrorReminder(bool on)
{
    const QSignalBlocker blocker(XPCheckBox2);
    XPCheckBox2->setValue(on ? -1 : 0);
    Combotishi->setEnabled(on);
    if (m_loaded)
        m_services.settings.iniwrite(SettingsKeys::tips,
                                     on ? QStringLiteral("1") : QStringLiteral("0"));
}

void Mian::mirrorTaskIntoMenu()
{
    RightmenuStart->setEnabled(!m_task.isRunning());
    Rightmenustop->setEnabled(m_task.isRunning());
}

void Mian::mirrorTaskIntoTip()
{
    if (!m_loaded)
        return;
    QString tip = Version::programTitle;
    const std::optional<PowerAction> task = m_task.task();
    const QString what = task ? PowerActions::caption(*task) : QStringLiteral("定时任务");
    if (const std::optional<ProcessId> &after = m_task.afterProcess();
        after && m_task.isRunning()) {
        const QString process =
            after->name.isEmpty()
                ? QStringLiteral("进程 %1").arg(after->pid)
                : QStringLiteral("进程 %1（%2）").arg(after->pid).arg(after->name);
        tip += m_task.processEnded() ? QStringLiteral("\n%1已结束，即将%2").arg(process, what)
                                     : QStringLiteral("\n%1结束后%2").arg(process, what);
    } else if (m_task.isRunning() && m_task.reminder()) {
        tip += QStringLiteral("\n%1 前 %2 分钟提醒")
                   .arg(longTimeString(m_task.tasktime()))
                   .arg(m_task.tipmins());
    } else if (m_task.isRunning()) {
        tip += QStringLiteral("\n%1 %2").arg(longTimeString(m_task.tasktime()), what);
    }
    m_moduletray.settip(tip);
}

void Mian::XPCheckBox1_Click()
{
    const int value = XPCheckBox1->Value();
    if (value != -1 && value != 0)
        return;
    enableSoundControls(value == -1);
    m_services.settings.iniwrite(SettingsKeys::sound,
                                 value == -1 ? QStringLiteral("1") : QStringLiteral("0"));
}

void Mian::enableSoundControls(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *>{Commanda5, Textsound, Commandopen})
        w->setEnabled(on);
}

void Mian::XPCheckBox2_Click()
{
    const int value = XPCheckBox2->Value();
    if (value == -1 || value == 0)
        m_task.setReminder(value == -1);
}

void Mian::sysTimer_Timer()
{
    if (isVisible() && !isMinimized())
        Commandc1->setText(longTimeString(m_services.clock.now().time()));
}

void Mian::onReminderDue()
{
    qCDebug(lcSound) << "reminder plays";
    const QDateTime now = m_services.clock.now();
    m_reminderMinute = now.addMSecs(-(now.time().second() * 1000 + now.time().msec()));
    Commanda5_Click();
}

void Mian::Commanda5_Click()
{
    mci1->close();
    mci1->open(Textsound->text());
    mci1->play();
}

void Mian::Commandopen_Click()
{
    Dialog1->ShowOpen();
    if (Dialog1->fileName().isEmpty())
        return;
    Textsound->setText(Dialog1->fileName());
    // A path that config.ini's encoding cannot hold is never stored mangled: the file plays
    // for this run, and the next run keeps the sound it had.
    if (const std::optional<QString> stored = m_services.settings.storablePath(Textsound->text()))
        m_services.settings.iniwrite(SettingsKeys::soundPath, *stored);
    else
        reportProblem(
            QStringLiteral("声音文件路径未保存"),
            QStringLiteral("config.ini 的字符集无法保存路径 %1，下次启动仍使用原来的声音文件。")
                .arg(Textsound->text()));
}

void Mian::onSoundFailed(const QString &path, const QString &reason)
{
    qCWarning(lcSound).noquote() << "could not play" << path << "-" << reason;
    // A silent reminder is worth telling, once per reminder minute rather than every tick.
    if (!m_reminderMinute.isValid() || m_reminderMinute == m_reportedReminderMinute)
        return;
    m_reportedReminderMinute = m_reminderMinute;
    reportProblem(QStringLiteral("提醒声音无法播放"),
                  path.isEmpty() ? QStringLiteral("没有选择声音文件。")
                                 : QStringLiteral("无法播放声音文件 %1（%2）").arg(path, reason));
}

void Mian::Commanda4_Click()
{
    AboutWindow about(m_services.urlOpener, this, m_services.ownTitleBar);
    about.exec();
}

void Mian::Commanda3_Click()
{
    close();
}

void Mian::Rightmenuexit_Click()
{
    close();
}

void Mian::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void Mian::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A running task ends unfired: its ticks go with the window.
    m_task.stop();
    followVisibility();
    m_moduletray.traydel();
    Q_EMIT unloaded();
}

void Mian::followVisibility()
{
    // Nothing to draw while hidden or minimised: the clock needs no ticks then.
    const bool shown = isVisible() && !isMinimized() && !m_unloaded;
    if (shown == m_clockShown)
        return;
    m_clockShown = shown;
    m_services.seconds.want(this, shown);
    // Back on screen: the time at once rather than at the next tick. The very first showing
    // keeps the empty caption until the first tick.
    if (shown && !Commandc1->text().isEmpty())
        sysTimer_Timer();
}

void Mian::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        Form_Resize();
        followVisibility();
    }
}

void Mian::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Mian::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Form_Resize();
    followVisibility();
}

void Mian::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    followVisibility();
}
