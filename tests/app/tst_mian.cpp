// The main window as a view of the task model: built as designed, mirroring the model into its
// controls, status fields and tray menu, and passing the user's choices on.

#include "about/ui/aboutwindow.h"
#include "app/ui/mian.h"
#include "app/ui/xpcontrols.h"
#include "fakes.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"

#include <QtTest>
#include <QtWidgets>

using Reason = QSystemTrayIcon::ActivationReason;

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
    Mian &load(const QByteArray &config = {})
    {
        QFile ini(dir.filePath("config.ini"));
        if (!config.isEmpty() && ini.open(QIODevice::WriteOnly))
            ini.write(config);
        ini.close();
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
        combo->setCurrentIndex(combo->findText(entry));
        Q_EMIT combo->activated(combo->currentIndex());
    }
    void click(const char *name) { get<QAbstractButton>(name)->click(); }
    void trigger(const char *item) { get<QAction>(item)->trigger(); }
    void tickAt(QTime time)
    {
        clock.set(time);
        task.TaskTimer_Timer();
    }
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
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
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
             c = c->nextInFocusChain()) {
            for (const ControlDesign &d : Mian::design)
                if (c->objectName() == d.name && c->focusPolicy() != Qt::NoFocus)
                    tabs << d.tabIndex;
        }
        QVERIFY(tabs.size() > 10 && std::is_sorted(tabs.begin(), tabs.end()));
    }

    void loadAppliesTheStoredSettings_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("sound");    // XPCheckBox1's Value
        QTest::addColumn<bool>("soundOn"); // the play, path and browse controls
        QTest::addColumn<int>("tips");
        QTest::addColumn<bool>("minutesOn");
        QTest::newRow("none") << QByteArray() << 0 << false << 0 << false;
        QTest::newRow("both on") << QByteArray("[sound]\nifsound=1\n[Tips]\nifTips=1\n") << -1
                                 << true << -1 << true;
        QTest::newRow("2 keeps the design")
            << QByteArray("[sound]\nifsound=2\n[Tips]\nifTips=2\n") << 0 << true << 0 << true;
    }
    void loadAppliesTheStoredSettings()
    {
        QFETCH(QByteArray, config);
        QFETCH(int, sound);
        QFETCH(bool, soundOn);
        QFETCH(int, tips);
        QFETCH(bool, minutesOn);
        Fixture f;
        Mian &w = f.load(config.isEmpty() ? config : config + "[soundpath]\nspath=/x/提醒.wav\n");
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox1")->Value(), sound);
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox2")->Value(), tips);
        for (const char *name : {"Commanda5", "Textsound", "Commandopen"})
            QCOMPARE(f.enabled(name), soundOn);
        QCOMPARE(f.enabled("Combotishi"), minutesOn);
        QCOMPARE(f.task.reminder(), tips == -1);
        QCOMPARE(f.get<QLineEdit>("Textsound")->text(), config.isEmpty() ? "" : "/x/提醒.wav");
        QCOMPARE(f.file(), config.isEmpty() ? config : config + "[soundpath]\nspath=/x/提醒.wav\n");
        // And the idle state, whatever was stored.
        QVERIFY(!f.enabled("Commanda2") && f.enabled("Commanda1"));
        QCOMPARE(f.text("Commandc2"), "未选择任何任务");
        QCOMPARE(f.text("Commandc3"), "停止");
        for (const char *list : {"Comborenwu", "Combotishi"})
            QCOMPARE(f.get<QComboBox>(list)->currentIndex(), -1);
        QCOMPARE(f.tray.toolTip, "QuorvelV1.0.0");
        QCOMPARE(f.tray.icon.cacheKey(), w.windowIcon().cacheKey());
        QVERIFY(f.tray.messages.isEmpty());
        QCOMPARE(f.sound.prepared, 1);
    }

    void startAndStopMirrorTheModel_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<bool>("reminder");
        QTest::newRow("buttons") << false << false;
        QTest::newRow("tray menu") << true << false;
        QTest::newRow("buttons, reminder on") << false << true;
    }
    void startAndStopMirrorTheModel()
    {
        QFETCH(bool, fromMenu);
        QFETCH(bool, reminder);
        Fixture f;
        f.load(reminder ? "[Tips]\nifTips=1\n" : "");
        for (const bool running : {true, false}) {
            if (fromMenu)
                f.trigger(running ? "RightmenuStart" : "Rightmenustop");
            else
                f.click(running ? "Commanda1" : "Commanda2");
            QCOMPARE(f.task.isRunning(), running);
            QCOMPARE(f.enabled("Commanda1"), !running);
            QCOMPARE(f.enabled("Commanda2"), running);
            QCOMPARE(f.enabled("DTPicker1"), !running);
            QCOMPARE(f.enabled("Comborenwu"), !running);
            QCOMPARE(f.text("Commandc3"), running ? "启动" : "停止");
            QCOMPARE(f.enabled("Combotishi"), reminder && !running);
            QCOMPARE(f.get<QAction>("RightmenuStart")->isEnabled(), !running);
            QCOMPARE(f.get<QAction>("Rightmenustop")->isEnabled(), running);
        }
    }

    void theChoicesGoToTheModel_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<std::optional<PowerAction>>("task");
        QTest::newRow("注销") << "注销"
                              << "注销" << std::optional(PowerAction::Logoff);
        QTest::newRow("blank") << "  "
                               << "未选择任何任务" << std::optional<PowerAction>();
    }
    void theChoicesGoToTheModel()
    {
        QFETCH(QString, entry);
        QFETCH(QString, caption);
        QFETCH(std::optional<PowerAction>, task);
        Fixture f;
        f.load();
        f.choose("Comborenwu", "重启");
        f.choose("Comborenwu", entry);
        QCOMPARE(f.text("Commandc2"), caption);
        QCOMPARE(f.task.task(), task);
        f.get<QTimeEdit>("DTPicker1")->setTime(QTime(6, 30, 15));
        QCOMPARE(f.task.tasktime(), QTime(6, 30, 15));
    }

    void settingChangesAreStoredAtOnce()
    {
        Fixture f;
        f.load();
        auto *sound = f.get<XPCheckBox>("XPCheckBox1");
        sound->toggle(); // as a screen reader's toggle does, without a click
        QVERIFY(f.enabled("Commanda5") && f.enabled("Textsound") && f.enabled("Commandopen"));
        QCOMPARE(f.file(), "[sound]\nifsound=1\n");
        f.click("Commandopen"); // cancelled: nothing changes
        f.fileChooser.answer = "/音乐/响铃.wav";
        f.click("Commandopen");
        QCOMPARE(f.fileChooser.filters, QStringList(2, "音乐文件 (*.wav)"));
        QCOMPARE(f.get<QLineEdit>("Textsound")->text(), f.fileChooser.answer);
        sound->click();
        QVERIFY(!f.enabled("Commanda5"));

        auto *tips = f.get<XPCheckBox>("XPCheckBox2");
        auto *minutes = f.get<QComboBox>("Combotishi");
        tips->click();
        f.choose("Combotishi", "10");
        QCOMPARE(f.task.tipmins(), 10);
        tips->click(); // off keeps the minutes, on again clears them
        QCOMPARE(minutes->isEnabled() ? "" : minutes->currentText(), "10");
        tips->click();
        QVERIFY(minutes->isEnabled() && minutes->currentIndex() == -1 && !f.task.tipmins());
        QCOMPARE(f.file(),
                 "[sound]\nifsound=0\n[soundpath]\nspath=/音乐/响铃.wav\n[Tips]\nifTips=1\n");
    }

    void modelChangesFromElsewhereShowInTheWindow()
    {
        Fixture f;
        f.load();
        f.task.setTask(PowerAction::Logoff);
        f.task.setTasktime(QTime(6, 30));
        f.task.setReminder(true);
        f.task.setTipmins(20);
        QCOMPARE(f.get<QComboBox>("Comborenwu")->currentText(), "注销");
        QCOMPARE(f.text("Commandc2"), "注销");
        QCOMPARE(f.get<QTimeEdit>("DTPicker1")->time(), QTime(6, 30));
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox2")->Value(), -1);
        QCOMPARE(f.get<QComboBox>("Combotishi")->currentText(), "20");
        QCOMPARE(f.file(), "[Tips]\nifTips=1\n");
        Q_EMIT f.power.requestFinished(PowerAction::Reboot, false, "no"); // the system's refusal
        QCOMPARE(f.tray.messages.size(), 1);
        QCOMPARE(f.tray.messages[0].text, "系统没有执行重启：no");
    }

    void reminderPlaysTheFileOfThePathField()
    {
        Fixture f;
        f.load("[Tips]\nifTips=1\n[soundpath]\nspath=/no/such.wav\n"); // sound switch off
        f.choose("Combotishi", "1");
        f.task.setTasktime(QTime(12, 10));
        f.click("Commanda1");
        f.sound.fail = true;
        for (const QTime t : {QTime(12, 9, 0), QTime(12, 9, 1), QTime(12, 10, 0)})
            f.tickAt(t);
        QCOMPARE(f.sound.plays, QStringList(2, "/no/such.wav"));
        QCOMPARE(f.sound.stops, 2);
        // A silent reminder is told once a minute; a failing play from the button is not.
        QCOMPARE(f.tray.messages.size(), 1);
        QCOMPARE(f.tray.messages[0].title, "提醒声音无法播放");
        f.get<XPCheckBox>("XPCheckBox1")->click();
        f.click("Commanda5");
        QCOMPARE(f.tray.messages.size(), 1);
    }

    void clockTicksOnlyWhileItCanBeSeen()
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
            f.tray.activate(restore); // while shown: nothing
            QCOMPARE(f.tray.messages.size(), 0);
            f.minimise();
            QVERIFY(w.isHidden() && w.intray());
            QCOMPARE(f.tray.messages.size(), 1);
            QCOMPARE(f.tray.messages[0].title + f.tray.messages[0].text, "气泡提示QuorvelV1.0.0");
            // A StatusNotifierItem host shows the menu by itself.
            QCOMPARE(f.tray.contextMenu.data(),
                     mode == TrayBackend::Mode::StatusNotifier ? w.rightmenu() : nullptr);
            f.tray.activate(other);
            QVERIFY(w.isHidden());
            f.tray.activate(restore);
            QVERIFY(w.isVisible() && !w.isMinimized() && !w.intray());
            QCOMPARE(f.tray.messages.size(), 2);
            f.minimise();
            f.trigger("Rightmenumian");
            QVERIFY(w.isVisible() && !w.intray());
            QCOMPARE(f.tray.messages.size(), 3); // opening from the menu shows no balloon
        }
    }

    // Hiding into the tray deactivates the program a moment later, which closes every popup:
    // a menu asked for meanwhile waits for it.
    void trayMenuWaitsForTheProgramToLoseTheFocus()
    {
        for (const bool restoredMeanwhile : {false, true}) {
            Fixture f;
            Mian &w = f.load();
            f.minimise();
            QWidget other;
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            w.Form_MouseMove(Mian::WM_RBUTTONUP);
            QVERIFY(!w.rightmenu()->isVisible());
            if (restoredMeanwhile)
                w.Form_MouseMove(Mian::WM_LBUTTONDBLCLK);
            QTest::qWait(600);
            QCOMPARE(w.rightmenu()->isVisible(), !restoredMeanwhile);
            w.rightmenu()->hide();
        }
    }

    void withoutANotificationAreaTheWindowStaysReachable()
    {
        Fixture f;
        f.tray.available = false;
        Mian &w = f.load();
        f.minimise();
        QVERIFY(w.isMinimized() && !w.isHidden() && !w.intray());
        f.tray.setAvailable(true); // an area appears: the minimised window goes in
        QVERIFY(w.isHidden() && w.intray());
        f.tray.setAvailable(false); // and goes: the window comes back, minimised
        QVERIFY(!w.isHidden() && w.isMinimized() && !w.intray());
    }

    void exitEndsTheProgramAndARunningTaskUnfired()
    {
        for (const bool fromMenu : {false, true}) {
            Fixture f;
            Mian &w = f.load();
            w.show();
            QSignalSpy unloaded(&w, &Mian::unloaded);
            f.click("Commanda1");
            fromMenu ? f.trigger("Rightmenuexit") : f.click("Commanda3");
            QCOMPARE(unloaded.size(), 1);
            QCOMPARE(f.tray.hides, 1);
            QVERIFY(!f.task.isRunning() && !f.seconds.isActive() && f.power.requests.isEmpty());
        }
    }

    void aboutWindowIsModalAndHandsItsLinksToTheDesktop()
    {
        Fixture f;
        f.load().show();
        QTimer::singleShot(0, [&] {
            auto *about = qobject_cast<AboutWindow *>(QApplication::activeModalWidget());
            QVERIFY(about);
            QCOMPARE(about->findChild<QLabel *>("sysLabelo")->text(),
                     "版本：1.0.0         发布日期：2009.9");
            for (const char *label : {"Label10", "Label11", "Label10", "sysLabelblog"})
                QTest::mouseClick(about->findChild<QLabel *>(label), Qt::LeftButton);
            about->close();
        });
        f.click("Commanda4");
        QCOMPARE(f.urlOpener.opened,
                 (QList{QUrl(AboutWindow::webPage), QUrl("mailto:" + AboutWindow::mailAddress),
                        QUrl(AboutWindow::webPage)}));
    }
};

QTEST_MAIN(TestMian)
#include "tst_mian.moc"
