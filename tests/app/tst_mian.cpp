// The main window as a view of the task model: built as designed, mirroring the model into its
// controls, status fields and tray menu, and passing the user's choices on.

#include "app/ui/mian.h"
#include "app/ui/xpcontrols.h"
#include "fakes.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"

#include <QtTest>
#include <QtWidgets>

using Reason = QSystemTrayIcon::ActivationReason;
using L = QStringList;

namespace {
struct Fixture
{
    QTemporaryDir dir;
    FakeClock clock;
    SecondTimer seconds{clock};
    FakePower power;
    FakeAlarm alarm;
    FakeProcesses processes;
    TaskModel task{clock, alarm, processes, power};
    FakeSound sound;
    FakeTray tray;
    FakeFileChooser fileChooser;
    FakeUrlOpener urlOpener;
    Moduleini settings{dir.path(), QString()};
    std::unique_ptr<Mian> window;

    Mian &create()
    {
        window.reset(
            new Mian({task, seconds, clock, sound, tray, fileChooser, urlOpener, settings}));
        return *window;
    }
    // With config.ini holding `config`, as the program starts.
    Mian &load(const QByteArray &config = {})
    {
        if (QFile ini(dir.filePath("config.ini")); !config.isEmpty() && ini.open(QFile::WriteOnly))
            ini.write(config);
        create().Form_Load();
        return *window;
    }
    template<typename T = QWidget> T *get(const char *name) const
    {
        if (T *child = window->findChild<T *>(QLatin1String(name)))
            return child;
        qFatal("no %s", name);
    }
    QString text(const char *name) const { return get<QAbstractButton>(name)->text(); }
    bool enabled(const char *name) const { return get(name)->isEnabled(); }
    void choose(const char *list, const QString &entry)
    {
        auto *combo = get<QComboBox>(list);
        combo->setCurrentText(entry);
        Q_EMIT combo->activated(combo->currentIndex());
    }
    void click(const char *name) { get<QAbstractButton>(name)->click(); }
    void trigger(const char *item) { get<QAction>(item)->trigger(); }
    void minimise()
    {
        window->show();
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
    }
    QByteArray file() const
    {
        QFile f(dir.filePath("config.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
} // namespace

class TestMian : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyControlOfTheDesignIsThere()
    {
        Fixture f;
        Mian &w = f.create();
        QCOMPARE(w.windowTitle(), "Quorvel");
        QCOMPARE(w.size(), QSize(323, 289));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
                 Qt::WindowMinimizeButtonHint);
        for (const ControlDesign &d : Mian::design) {
            QWidget *c = f.get(d.name);
            QCOMPARE(c->parentWidget(), d.inFrame ? f.get("Frameshezhi") : &w);
            QCOMPARE(c->geometry(), QRect((d.left + 7) / 15, (d.top + 7) / 15, (d.width + 7) / 15,
                                          (d.height + 7) / 15));
            QCOMPARE(c->isEnabled(), d.enabled);
            QCOMPARE(c->font().pointSizeF(), d.points);
            if (auto *b = qobject_cast<QAbstractButton *>(c))
                QCOMPARE(b->text(), QString::fromUtf8(d.caption));
        }
        QCOMPARE(f.get<QGroupBox>("Frameshezhi")->title(), "设置");
        // Drawn icons grey out with their buttons, as any other icon does.
        const QIcon play = f.get<QAbstractButton>("Commanda5")->icon();
        QVERIFY(play.pixmap(16, QIcon::Disabled).toImage() != play.pixmap(16).toImage());
        // The keyboard visits the enabled controls in the design's tab order.
        QList<int> tabs;
        for (QWidget *c = f.get("DTPicker1")->nextInFocusChain(); c != f.get("DTPicker1");
             c = c->nextInFocusChain())
            for (const ControlDesign &d : Mian::design)
                if (c->objectName() == d.name && c->focusPolicy() != Qt::NoFocus)
                    tabs << d.tabIndex;
        QVERIFY(tabs.size() > 10 && std::is_sorted(tabs.begin(), tabs.end()));
    }

    // As loaded, started, then stopped, from the buttons or the tray menu.
    void startAndStopMirrorTheModel_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<bool>("reminder");
        QTest::newRow("buttons") << false << false;
        QTest::newRow("tray menu, reminder on") << true << true;
    }
    void startAndStopMirrorTheModel()
    {
        QFETCH(bool, fromMenu);
        QFETCH(bool, reminder);
        Fixture f;
        f.load(reminder ? "[Tips]\nifTips=1\n" : "");
        for (auto [item, button, running] : {std::tuple{"", "", false},
                                             {"RightmenuStart", "Commanda1", true},
                                             {"Rightmenustop", "Commanda2", false}}) {
            if (*item)
                fromMenu ? f.trigger(item) : f.click(button);
            QCOMPARE(f.task.isRunning(), running);
            for (const char *idle : {"Commanda1", "DTPicker1", "Comborenwu"})
                QCOMPARE(f.enabled(idle), !running);
            QCOMPARE(f.enabled("Commanda2"), running);
            QCOMPARE(f.text("Commandc3"), running ? "启动" : "停止");
            QCOMPARE(f.enabled("Combotishi"), reminder && !running);
            QCOMPARE(f.get<QAction>("RightmenuStart")->isEnabled(), !running);
            QCOMPARE(f.get<QAction>("Rightmenustop")->isEnabled(), running);
        }
        f.click("Commanda3"); // exit
        QCOMPARE(f.tray.hides, 1);
    }

    void theWindowAndTheModelShowTheSameChoices()
    {
        Fixture f;
        f.load();
        QVERIFY(!f.enabled("Commanda5")); // nothing stored: the sound off
        QCOMPARE(f.get<QComboBox>("Comborenwu")->currentIndex(), -1);
        QCOMPARE(f.get<QComboBox>("Combotishi")->currentIndex(), -1);
        f.choose("Comborenwu", "注销");
        QCOMPARE(f.task.task(), PowerAction::Logoff);
        QCOMPARE(f.text("Commandc2"), "注销");
        f.choose("Comborenwu", "  ");
        QVERIFY(!f.task.task());
        QCOMPARE(f.text("Commandc2"), "未选择任何任务");
        f.get<QTimeEdit>("DTPicker1")->setTime(QTime(6, 30, 15));
        QCOMPARE(f.task.tasktime(), QTime(6, 30, 15));
        // Changed elsewhere (the tray menu, the command line): the window follows.
        f.task.setTask(PowerAction::Reboot);
        f.task.setTasktime(QTime(7, 0));
        f.task.setReminder(true);
        f.task.setTipmins(20);
        QCOMPARE(f.get<QComboBox>("Comborenwu")->currentText(), "重启");
        QCOMPARE(f.text("Commandc2"), "重启");
        QCOMPARE(f.get<QTimeEdit>("DTPicker1")->time(), QTime(7, 0));
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox2")->Value(), -1);
        QCOMPARE(f.get<QComboBox>("Combotishi")->currentText(), "20");
        QCOMPARE(f.file(), "[Tips]\nifTips=1\n");
        Q_EMIT f.power.requestFinished(PowerAction::Reboot, false, "no"); // the system's refusal
        QCOMPARE(f.tray.messages, L{"定时任务失败: 系统没有执行重启：no"});
    }

    // Stored at once and read at the next start; a stored value neither 1 nor 0 leaves a switch
    // as designed.
    void settingsAreStoredAtOnceAndReadAtTheStart()
    {
        Fixture f;
        f.load("[sound]\nifsound=2\n[Tips]\nifTips=2\n");
        auto *sound = f.get<XPCheckBox>("XPCheckBox1");
        auto *tips = f.get<XPCheckBox>("XPCheckBox2");
        auto *minutes = f.get<QComboBox>("Combotishi");
        QVERIFY(!sound->Value() && !tips->Value() && !f.task.reminder());
        QVERIFY(f.enabled("Commanda5") && minutes->isEnabled());
        sound->toggle();        // as a screen reader's toggle does, without a click
        f.click("Commandopen"); // cancelled: nothing changes
        f.fileChooser.answer = "/音乐/响铃.wav";
        f.click("Commandopen");
        QCOMPARE(f.fileChooser.filters, L(2, "音乐文件 (*.wav)"));
        QCOMPARE(f.get<QLineEdit>("Textsound")->text(), f.fileChooser.answer);
        sound->click();
        QVERIFY(!f.enabled("Commanda5") && !f.enabled("Textsound") && !f.enabled("Commandopen"));
        QCOMPARE(f.file(),
                 "[sound]\nifsound=0\n[Tips]\nifTips=2\n[soundpath]\nspath=/音乐/响铃.wav\n");
        sound->click();
        tips->click();
        f.choose("Combotishi", "10");
        QCOMPARE(f.task.tipmins(), 10);
        tips->click(); // off keeps the minutes, on again clears them
        QCOMPARE(minutes->isEnabled() ? "" : minutes->currentText(), "10");
        tips->click();
        QVERIFY(minutes->isEnabled() && minutes->currentIndex() == -1 && !f.task.tipmins());
        Fixture next;
        next.load(f.file());
        QVERIFY(next.get<XPCheckBox>("XPCheckBox1")->isChecked() && next.enabled("Commanda5"));
        QVERIFY(next.get<XPCheckBox>("XPCheckBox2")->isChecked() && next.enabled("Combotishi"));
        QVERIFY(next.task.reminder());
        QCOMPARE(next.get<QLineEdit>("Textsound")->text(), f.fileChooser.answer);
        QCOMPARE(next.file(), f.file()); // reading stores nothing
    }

    // Whatever the sound switch says; a silent reminder is told once a minute, a failing play from
    // the button is not.
    void reminderPlaysTheFileOfThePathField()
    {
        Fixture f;
        f.load("[soundpath]\nspath=/no/such.wav\n");
        Q_EMIT f.task.reminderDue(); // heard
        f.sound.fail = true;
        f.get<XPCheckBox>("XPCheckBox1")->click();
        f.click("Commanda5");
        for (const QTime t : {QTime(12, 9, 0), QTime(12, 9, 59)}) {
            f.clock.set(t);
            Q_EMIT f.task.reminderDue();
        }
        const QString play = "play /no/such.wav";
        QCOMPARE(f.sound.calls,
                 (L{"prepare", "stop", play, "stop", play, "stop", play, "stop", play}));
        QCOMPARE(f.tray.messages,
                 L{"提醒声音无法播放: 无法播放声音文件 /no/such.wav（cannot play）"});
    }

    // The exit from the menu ends a task started meanwhile unfired.
    void clockTicksOnlyWhileItCanBeSeenUntilTheExit()
    {
        Fixture f;
        Mian &w = f.load();
        QVERIFY(!f.seconds.isActive());
        w.show();
        f.clock.set(QTime(8, 1, 2));
        Q_EMIT f.seconds.timeout();
        QCOMPARE(f.text("Commandc1"), "08:01:02");
        f.minimise();
        QVERIFY(w.isHidden() && !f.seconds.isActive());
        f.click("Commanda1"); // from the tray menu, as it would be
        QVERIFY(!f.seconds.isActive() && f.alarm.armedFor.isValid()); // the task wakes alone
        f.clock.set(QTime(8, 1, 9));
        Q_EMIT f.seconds.timeout();
        QCOMPARE(f.text("Commandc1"), "08:01:02");
        f.tray.activate(Reason::DoubleClick);
        QCOMPARE(f.text("Commandc1"), "08:01:09");
        QSignalSpy unloaded(&w, &Mian::unloaded);
        f.trigger("Rightmenuexit");
        QVERIFY(unloaded.size() == 1 && f.tray.hides == 1 && !f.seconds.isActive());
        QVERIFY(!f.task.isRunning() && f.power.requests.isEmpty());
    }

    void minimiseHidesToTheTrayAndTheIconBringsItBack()
    {
        for (auto [mode, restore, other] :
             {std::tuple{TrayBackend::Mode::XEmbed, Reason::DoubleClick, Reason::Trigger},
              std::tuple{TrayBackend::Mode::StatusNotifier, Reason::Trigger,
                         Reason::DoubleClick}}) {
            Fixture f;
            f.tray.hostMode = mode;
            Mian &w = f.load();
            QCOMPARE(f.tray.toolTip, "QuorvelV1.0.0");
            QCOMPARE(f.tray.icon.cacheKey(), w.windowIcon().cacheKey());
            f.tray.activate(restore); // while shown: nothing
            f.minimise();
            QVERIFY(w.isHidden() && w.intray());
            const QString balloon = "气泡提示: QuorvelV1.0.0";
            QCOMPARE(f.tray.messages, L{balloon});
            // A StatusNotifierItem host shows the menu by itself.
            QCOMPARE(f.tray.contextMenu.data(),
                     mode == TrayBackend::Mode::StatusNotifier ? w.rightmenu() : nullptr);
            f.tray.activate(other);
            QVERIFY(w.isHidden());
            f.tray.activate(restore);
            QVERIFY(w.isVisible() && !w.isMinimized() && !w.intray());
            QCOMPARE(f.tray.messages, L(2, balloon));
            f.minimise();
            f.trigger("Rightmenumian");
            QVERIFY(w.isVisible() && !w.intray());
            QCOMPARE(f.tray.messages, L(3, balloon)); // opening from the menu shows no balloon
            f.tray.setAvailable(false); // no notification area: the window stays reachable
            f.minimise();
            QVERIFY(w.isMinimized() && !w.isHidden() && !w.intray());
            f.tray.setAvailable(true); // an area appears: the minimised window goes in
            QVERIFY(w.isHidden() && w.intray());
            f.tray.setAvailable(false); // and goes: the window comes back, minimised
            QVERIFY(!w.isHidden() && w.isMinimized() && !w.intray() && !f.tray.contextMenu);
        }
    }
};

QTEST_MAIN(TestMian)
#include "tst_mian.moc"
