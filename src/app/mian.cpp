#include "mian.h"

#include "app/icons.h"
#include "app/xpcontrols.h"
#include "power/powercontrol.h"
#include "schedule/longtime.h"
#include "schedule/secondtimer.h"
#include "schedule/taskrules.h"
#include "sound/commondialog.h"
#include "sound/mediacontrol.h"
#include "sound/soundoutput.h"
#include "tray/traybackend.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimeEdit>
#include <QTimer>

namespace {

// Design sizes are in twips: 15 to a pixel at 96 dpi; Qt scales pixels for other densities.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(px(left), px(top), px(width), px(height));
}

QFont designFont(const QString &family, qreal points)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

QFont songti(qreal points)
{
    return designFont(QStringLiteral("宋体"), points);
}

// Disabled buttons that serve as captions and read-only fields keep their text colour.
void keepTextReadable(QPushButton *button, const QColor &text)
{
    QPalette pal = button->palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, text);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, text);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, text);
    button->setPalette(pal);
}

void fillBackground(QWidget *w, const QColor &colour, QPalette::ColorRole role = QPalette::Window)
{
    QPalette pal = w->palette();
    pal.setColor(role, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

const QColor windowColour(213, 222, 242); // &H00F2DED5&
const QColor frameColour(192, 192, 255);  // &H00FFC0C0&

} // namespace

Mian::Mian(const MianServices &services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_services(services), m_moduletray(services.tray)
{
    setObjectName(QStringLiteral("mian"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowIcon(Icons::window());
    setFixedSize(px(4845), px(4335));
    fillBackground(this, windowColour);

    buildLayout();
    buildMenu();
    connectHandlers();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

Mian::~Mian() = default;

void Mian::buildLayout()
{
    const QColor buttonText = palette().color(QPalette::ButtonText);
    const QColor highlight = palette().color(QPalette::Highlight); // &H8000000D&

    auto button = [&](QWidget *container, const char *name, const QString &caption, int left,
                      int top, int width, int height, bool enabled, qreal points = 9) {
        auto *b = new QPushButton(caption, container);
        b->setObjectName(QLatin1String(name));
        b->setFont(songti(points));
        place(b, left, top, width, height);
        b->setEnabled(enabled);
        b->setAutoDefault(false);
        if (!enabled)
            keepTextReadable(b, buttonText);
        return b;
    };

    Commandb3 = button(this, "Commandb3", QStringLiteral("系统时间："), 120, 120, 975, 375, false);
    Commandc1 = button(this, "Commandc1", QString(), 1560, 120, 1695, 375, false, 12);
    Commanda1 = button(this, "Commanda1", QStringLiteral("开   始"), 3720, 120, 1095, 495, true);
    Commandb1 = button(this, "Commandb1", QStringLiteral("时    间："), 120, 720, 975, 375, false);
    keepTextReadable(Commandb1, highlight);

    DTPicker1 = new QTimeEdit(QTime(0, 0, 0), this);
    DTPicker1->setObjectName(QStringLiteral("DTPicker1"));
    DTPicker1->setDisplayFormat(longTimeFormat());
    DTPicker1->setFont(designFont(QStringLiteral("楷体_GB2312"), 14.25));
    DTPicker1->setAccessibleName(QStringLiteral("时间"));
    place(DTPicker1, 1560, 720, 1695, 375);

    Commanda2 = button(this, "Commanda2", QStringLiteral("停   止"), 3720, 840, 1095, 495, true);
    Commandb2 = button(this, "Commandb2", QStringLiteral("任    务："), 120, 1320, 975, 375, false);
    keepTextReadable(Commandb2, highlight);

    Comborenwu = new QComboBox(this);
    Comborenwu->setObjectName(QStringLiteral("Comborenwu"));
    Comborenwu->setFont(songti(9));
    Comborenwu->setAccessibleName(QStringLiteral("任务"));
    fillBackground(Comborenwu, palette().color(QPalette::Button), QPalette::Base);
    place(Comborenwu, 1560, 1320, 1695, 300);

    Commanda3 = button(this, "Commanda3", QStringLiteral("退   出"), 3720, 1560, 1095, 495, true);
    Commandb4 = button(this, "Commandb4", QStringLiteral("任务状态："), 120, 1920, 975, 375, false);
    Commandc2 = button(this, "Commandc2", QString(), 1560, 1920, 1695, 375, false, 12);
    Commanda4 = button(this, "Commanda4", QStringLiteral("关   于"), 3720, 2280, 1095, 495, true);
    Commandb5 = button(this, "Commandb5", QStringLiteral("定时状态："), 120, 2520, 975, 375, false);
    Commandc3 = button(this, "Commandc3", QString(), 1560, 2520, 1695, 375, false, 12);
    Commandc1->setAccessibleDescription(QStringLiteral("系统时间"));
    Commandc2->setAccessibleDescription(QStringLiteral("任务状态"));
    Commandc3->setAccessibleDescription(QStringLiteral("定时状态"));

    Frameshezhi = new QGroupBox(QStringLiteral("设置"), this);
    Frameshezhi->setObjectName(QStringLiteral("Frameshezhi"));
    Frameshezhi->setFont(songti(9));
    fillBackground(Frameshezhi, frameColour);
    place(Frameshezhi, 120, 3000, 4695, 1335);

    auto checkBox = [&](const char *name, const QString &caption, int left, int top) {
        auto *c = new XPCheckBox(caption, Frameshezhi);
        c->setObjectName(QLatin1String(name));
        c->setFont(songti(9));
        // The caption fills the box's width; keep the indicator close to it.
        c->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));
        fillBackground(c, frameColour);
        place(c, left, top, 1335, 375);
        return c;
    };
    XPCheckBox2 = checkBox("XPCheckBox2", QStringLiteral("任务开启提示"), 120, 240);
    Commandb6 =
        button(Frameshezhi, "Commandb6", QStringLiteral("在前"), 1560, 240, 495, 375, false);

    Combotishi = new QComboBox(Frameshezhi);
    Combotishi->setObjectName(QStringLiteral("Combotishi"));
    Combotishi->setFont(songti(9));
    Combotishi->setAccessibleName(QStringLiteral("在前分钟提醒"));
    place(Combotishi, 2160, 240, 1455, 300);

    Commandb7 =
        button(Frameshezhi, "Commandb7", QStringLiteral("分钟提醒"), 3720, 240, 855, 375, false);
    XPCheckBox1 = checkBox("XPCheckBox1", QStringLiteral("声音开启提示"), 120, 840);

    Commanda5 = button(Frameshezhi, "Commanda5", QString(), 1560, 840, 495, 375, true);
    Commanda5->setIcon(Icons::play());
    Commanda5->setAccessibleName(QStringLiteral("播放声音"));
    Commanda5->setToolTip(QStringLiteral("播放声音"));

    Textsound = new QLineEdit(Frameshezhi);
    Textsound->setObjectName(QStringLiteral("Textsound"));
    Textsound->setReadOnly(true);
    Textsound->setFont(songti(12));
    Textsound->setAccessibleName(QStringLiteral("声音文件"));
    fillBackground(Textsound, QApplication::palette("QMenu").color(QPalette::Window),
                   QPalette::Base);
    place(Textsound, 2160, 840, 1815, 375);

    Commandopen = button(Frameshezhi, "Commandopen", QString(), 4080, 840, 495, 375, true);
    Commandopen->setIcon(Icons::globe());
    Commandopen->setAccessibleName(QStringLiteral("选择声音文件"));
    Commandopen->setToolTip(QStringLiteral("选择声音文件"));

    mci1 = new MediaControl(m_services.sound, this);
    mci1->setObjectName(QStringLiteral("mci1"));
    Dialog1 = new CommonDialog(m_services.fileChooser, this);
    Dialog1->setObjectName(QStringLiteral("Dialog1"));

    TaskTimer = new SecondTimer(m_services.clock, this);
    TaskTimer->setObjectName(QStringLiteral("TaskTimer"));
    sysTimer = new SecondTimer(m_services.clock, this);
    sysTimer->setObjectName(QStringLiteral("sysTimer"));
    sysTimer->setEnabled(true);

    // Keyboard focus order of the design; disabled controls are skipped by Qt.
    const QList<QWidget *> focusOrder{DTPicker1,  Commandb1,   Commandb2,   Comborenwu, Commanda1,
                                      Commanda2,  Commanda3,   Commandc1,   Commandb3,  Commandb4,
                                      Commandc2,  Commandb5,   Commandc3,   Commanda4,  Frameshezhi,
                                      Combotishi, XPCheckBox2, Commandopen, Commanda5,  XPCheckBox1,
                                      Textsound,  Commandb6,   Commandb7};
    for (qsizetype i = 0; i + 1 < focusOrder.size(); ++i)
        setTabOrder(focusOrder.at(i), focusOrder.at(i + 1));
}

void Mian::buildMenu()
{
    // Shown only as the tray's popup; the window has no menu bar.
    Rightmenu = new QMenu(QStringLiteral("Rightmenu"), this);
    Rightmenu->setObjectName(QStringLiteral("Rightmenu"));
    auto item = [this](const char *name, const QString &caption) {
        QAction *action =
            caption == u"-" ? Rightmenu->addSeparator() : Rightmenu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    Rightmenumian = item("Rightmenumian", QStringLiteral("打开主面板"));
    RightmenuTag2 = item("RightmenuTag2", QStringLiteral("-"));
    RightmenuStart = item("RightmenuStart", QStringLiteral("开始"));
    Rightmenustop = item("Rightmenustop", QStringLiteral("停止"));
    RightmenuTag1 = item("RightmenuTag1", QStringLiteral("-"));
    Rightmenuexit = item("Rightmenuexit", QStringLiteral("退出"));

    m_rightmenuWait = new QTimer(this);
    m_rightmenuWait->setSingleShot(true);
    m_rightmenuWait->setInterval(500);
}

void Mian::connectHandlers()
{
    connect(Comborenwu, &QComboBox::activated, this, &Mian::Comborenwu_Click);
    connect(Combotishi, &QComboBox::currentIndexChanged, this, &Mian::Combotishi_Click);
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
    connect(sysTimer, &SecondTimer::timeout, this, &Mian::sysTimer_Timer);
    connect(TaskTimer, &SecondTimer::timeout, this, &Mian::TaskTimer_Timer);
    connect(&m_services.power, &PowerControl::requestFinished, this, &Mian::onPowerFinished);
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
    m_moduletray.trayadd(this, programTitle);
    Play();
    combadd();
    sysini();
    Commanda2->setEnabled(false);
    Dialog1->setFilter(QStringLiteral("音乐文件 (*.wav)| *.wav|"));
    Commandc2->setText(TaskRules::noTaskCaption);
    Commandc3->setText(QStringLiteral("停止"));
    mirrorTaskIntoMenu();
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
    // A running task ends unfired: its timer goes with the window.
    TaskTimer->setEnabled(false);
    sysTimer->setEnabled(false);
    m_moduletray.traydel();
    Q_EMIT unloaded();
}

void Mian::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
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
}
