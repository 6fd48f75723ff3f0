// The main window as a view of the task model: built as designed, mirroring the model into its
// controls, status fields and tray menu, and passing the user's choices on.

#include "about/ui/aboutwindow.h"
#include "app/ui/mian.h"
#include "app/ui/xpcontrols.h"
#include "fakes.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

namespace {
const QString programTitle = QStringLiteral("QuorvelV1.0.0");
const QString balloonTitle = QStringLiteral("气泡提示");

struct Fixture
{
    QTemporaryDir dir;
    FakeClock clock;
    SecondTimer seconds{clock};
    FakePower power;
    TaskModel task{clock, seconds, power};
    FakeSound sound;
    FakeTray tray;
    FakeFileChooser fileChooser;
    FakeUrlOpener urlOpener;
    Moduleini settings{dir.path(), QString()};
    std::unique_ptr<Mian> window;

    QString ini() const { return dir.filePath(QStringLiteral("config.ini")); }
    Mian &create()
    {
        window.reset(
            new Mian({task, seconds, clock, sound, tray, fileChooser, urlOpener, settings}));
        return *window;
    }
    Mian &load(const QByteArray &config = {})
    {
        if (!config.isEmpty()) {
            QFile file(ini());
            file.open(QIODevice::WriteOnly);
            file.write(config);
        }
        create().Form_Load();
        return *window;
    }
    template<typename T = QWidget> T *get(const char *name) const
    {
        T *child = window->findChild<T *>(QLatin1String(name));
        if (!child)
            qFatal("no %s", name);
        return child;
    }
    QString caption(const char *name) const { return get<QPushButton>(name)->text(); }
    bool enabled(const char *name) const { return get(name)->isEnabled(); }
    void choose(const char *list, const QString &entry)
    {
        auto *combo = get<QComboBox>(list);
        combo->setCurrentIndex(combo->findText(entry));
        Q_EMIT combo->activated(combo->currentIndex());
    }
    void click(const char *name) { get<QPushButton>(name)->click(); }
    void minimise()
    {
        window->show();
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
    }
    QByteArray file() const
    {
        QFile f(ini());
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
        QCOMPARE(w.windowTitle(), QStringLiteral("Quorvel"));
        QCOMPARE(w.size(), QSize(323, 289));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        auto *frame = f.get<QGroupBox>("Frameshezhi");
        QList<int> chain;
        for (const ControlDesign &d : Mian::design) {
            QWidget *c = f.get(d.name);
            QCOMPARE(c->parentWidget(), d.inFrame ? frame : static_cast<QWidget *>(&w));
            QCOMPARE(c->geometry(), QRect((d.left + 7) / 15, (d.top + 7) / 15, (d.width + 7) / 15,
                                          (d.height + 7) / 15));
            QCOMPARE(c->isEnabled(), d.enabled);
            QCOMPARE(c->font().pointSizeF(), d.points);
            const QString caption = QString::fromUtf8(d.caption);
            if (auto *b = qobject_cast<QAbstractButton *>(c))
                QCOMPARE(b->text(), caption);
            else if (auto *g = qobject_cast<QGroupBox *>(c))
                QCOMPARE(g->title(), caption);
        }
        // The keyboard visits the enabled controls in the design's tab order.
        QWidget *first = f.get("DTPicker1");
        for (QWidget *c = first->nextInFocusChain(); c != first; c = c->nextInFocusChain()) {
            const auto d = std::find_if(Mian::design.begin(), Mian::design.end(),
                                        [c](auto &e) { return c->objectName() == e.name; });
            if (d != Mian::design.end() && c->focusPolicy() != Qt::NoFocus)
                chain << d->tabIndex;
        }
        QVERIFY(std::is_sorted(chain.begin(), chain.end()));
        QVERIFY(chain.size() > 10);
    }

    void loadBringsTheIdleState()
    {
        Fixture f;
        Mian &w = f.load();
        QVERIFY(!f.enabled("Commanda2") && f.enabled("Commanda1"));
        QCOMPARE(f.caption("Commandc2"), QStringLiteral("未选择任何任务"));
        QCOMPARE(f.caption("Commandc3"), QStringLiteral("停止"));
        for (auto [list, entries] : {std::pair{"Comborenwu", 4}, std::pair{"Combotishi", 9}}) {
            QCOMPARE(f.get<QComboBox>(list)->count(), entries);
            QCOMPARE(f.get<QComboBox>(list)->currentIndex(), -1);
        }
        QCOMPARE(f.tray.shows, 1);
        QCOMPARE(f.tray.toolTip, programTitle);
        QCOMPARE(f.tray.icon.cacheKey(), w.windowIcon().cacheKey());
        QVERIFY(f.tray.messages.isEmpty());
        QCOMPARE(f.sound.prepared, 1);
        QVERIFY(!QFile::exists(f.ini()));
    }

    void storedSettingsAreApplied_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("sound");    // XPCheckBox1's Value
        QTest::addColumn<bool>("soundOn"); // the play, path and browse controls
        QTest::addColumn<int>("tips");
        QTest::addColumn<bool>("minutesOn");
        QTest::newRow("none") << QByteArray() << 0 << false << 0 << false;
        QTest::newRow("both on") << QByteArray("[sound]\nifsound=1\n[Tips]\nifTips=1\n") << -1
                                 << true << -1 << true;
        QTest::newRow("both off") << QByteArray("[sound]\nifsound=0\n[Tips]\nifTips=0\n") << 0
                                  << false << 0 << false;
        QTest::newRow("2 keeps the design")
            << QByteArray("[sound]\nifsound=2\n[Tips]\nifTips=2\n") << 0 << true << 0 << true;
    }
    void storedSettingsAreApplied()
    {
        QFETCH(QByteArray, config);
        QFETCH(int, sound);
        QFETCH(bool, soundOn);
        QFETCH(int, tips);
        QFETCH(bool, minutesOn);
        Fixture f;
        f.load(config + "[soundpath]\nspath=/x/提醒.wav\n");
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox1")->Value(), sound);
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox2")->Value(), tips);
        for (const char *name : {"Commanda5", "Textsound", "Commandopen"})
            QCOMPARE(f.enabled(name), soundOn);
        QCOMPARE(f.enabled("Combotishi"), minutesOn);
        QCOMPARE(f.task.reminder(), tips == -1);
        QCOMPARE(f.get<QLineEdit>("Textsound")->text(), QStringLiteral("/x/提醒.wav"));
        QCOMPARE(f.file(), config + "[soundpath]\nspath=/x/提醒.wav\n");
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
        const auto state = [&](bool running) {
            QCOMPARE(f.enabled("Commanda1"), !running);
            QCOMPARE(f.enabled("Commanda2"), running);
            QCOMPARE(f.enabled("DTPicker1"), !running);
            QCOMPARE(f.enabled("Comborenwu"), !running);
            QCOMPARE(f.caption("Commandc3"),
                     running ? QStringLiteral("启动") : QStringLiteral("停止"));
            QCOMPARE(f.enabled("Combotishi"), reminder && !running);
            QCOMPARE(f.get<QAction>("RightmenuStart")->isEnabled(), !running);
            QCOMPARE(f.get<QAction>("Rightmenustop")->isEnabled(), running);
            QCOMPARE(f.task.isRunning(), running);
        };
        fromMenu ? f.get<QAction>("RightmenuStart")->trigger() : f.click("Commanda1");
        state(true);
        fromMenu ? f.get<QAction>("Rightmenustop")->trigger() : f.click("Commanda2");
        state(false);
    }

    void theChosenTaskIsWhatIsAskedFor_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QList<PowerAction>>("requests");
        QTest::addColumn<QString>("refusal"); // the system's answer, told in a balloon
        using enum PowerAction;
        QTest::newRow("关机") << "关机"
                              << "关机" << QList{PowerOff} << "";
        QTest::newRow("重启") << "重启"
                              << "重启" << QList{Reboot} << "";
        QTest::newRow("注销") << "注销"
                              << "注销" << QList{Logoff} << "";
        QTest::newRow("blank") << "  "
                               << "未选择任何任务" << QList<PowerAction>{} << "";
        QTest::newRow("refused") << "重启"
                                 << "重启" << QList{Reboot} << "no";
    }
    void theChosenTaskIsWhatIsAskedFor()
    {
        QFETCH(QString, entry);
        QFETCH(QString, caption);
        QFETCH(QList<PowerAction>, requests);
        QFETCH(QString, refusal);
        Fixture f;
        f.load();
        f.power.failure = refusal;
        f.choose("Comborenwu", QStringLiteral("重启"));
        f.choose("Comborenwu", entry);
        QCOMPARE(f.caption("Commandc2"), caption);
        f.get<QTimeEdit>("DTPicker1")->setTime(QTime(12, 0, 1));
        f.click("Commanda1");
        f.clock.set(QTime(12, 0, 1));
        f.task.TaskTimer_Timer();
        QCOMPARE(f.power.requests, requests);
        QCOMPARE(f.caption("Commandc3"), QStringLiteral("停止"));
        QCOMPARE(f.tray.messages.size(), refusal.isEmpty() ? 0 : 1);
        if (!refusal.isEmpty())
            QCOMPARE(f.tray.messages[0].text, QStringLiteral("系统没有执行重启：no"));
    }

    void switchesStoreEachChangeAtOnce()
    {
        Fixture f;
        f.load();
        auto *sound = f.get<XPCheckBox>("XPCheckBox1");
        sound->toggle(); // as a screen reader's toggle does, without a click
        QVERIFY(f.enabled("Commanda5") && f.enabled("Textsound") && f.enabled("Commandopen"));
        QCOMPARE(f.file(), QByteArray("[sound]\nifsound=1\n"));
        sound->click();
        QVERIFY(!f.enabled("Commanda5"));
        QCOMPARE(f.file(), QByteArray("[sound]\nifsound=0\n"));

        auto *tips = f.get<XPCheckBox>("XPCheckBox2");
        auto *minutes = f.get<QComboBox>("Combotishi");
        tips->click();
        f.choose("Combotishi", QStringLiteral("10"));
        QCOMPARE(f.task.tipmins(), 10);
        tips->click();
        QVERIFY(!minutes->isEnabled());
        QCOMPARE(minutes->currentText(), QStringLiteral("10"));
        tips->click();
        QVERIFY(minutes->isEnabled());
        QCOMPARE(minutes->currentIndex(), -1);
        QCOMPARE(f.task.tipmins(), 0);
        QCOMPARE(f.file(), QByteArray("[sound]\nifsound=0\n[Tips]\nifTips=1\n"));
    }

    void modelChangesFromElsewhereShowInTheWindow()
    {
        Fixture f;
        f.load();
        f.task.setTask(PowerAction::Logoff);
        f.task.setTasktime(QTime(6, 30));
        f.task.setReminder(true);
        f.task.setTipmins(20);
        QCOMPARE(f.get<QComboBox>("Comborenwu")->currentText(), QStringLiteral("注销"));
        QCOMPARE(f.caption("Commandc2"), QStringLiteral("注销"));
        QCOMPARE(f.get<QTimeEdit>("DTPicker1")->time(), QTime(6, 30));
        QCOMPARE(f.get<XPCheckBox>("XPCheckBox2")->Value(), -1);
        QCOMPARE(f.get<QComboBox>("Combotishi")->currentText(), QStringLiteral("20"));
        QCOMPARE(f.file(), QByteArray("[Tips]\nifTips=1\n"));
    }

    void reminderPlaysTheFileOfThePathField()
    {
        Fixture f;
        f.load("[Tips]\nifTips=1\n[soundpath]\nspath=/no/such.wav\n"); // sound switch off
        f.choose("Combotishi", QStringLiteral("1"));
        f.task.setTasktime(QTime(12, 10));
        f.click("Commanda1");
        f.sound.fail = true;
        for (const QTime t : {QTime(12, 9, 0), QTime(12, 9, 1), QTime(12, 10, 0)}) {
            f.clock.set(t);
            f.task.TaskTimer_Timer();
        }
        QCOMPARE(f.sound.plays, QStringList(2, QStringLiteral("/no/such.wav")));
        QCOMPARE(f.sound.stops, 2);
        // A silent reminder is told once a minute; a failing play from the button is not.
        QCOMPARE(f.tray.messages.size(), 1);
        QCOMPARE(f.tray.messages[0].title, QStringLiteral("提醒声音无法播放"));
        f.get<XPCheckBox>("XPCheckBox1")->click();
        f.click("Commanda5");
        QCOMPARE(f.tray.messages.size(), 1);
    }

    void choosingTheSoundFileStoresIt()
    {
        Fixture f;
        f.load("[sound]\nifsound=1\n[soundpath]\nspath=/old.wav\n");
        f.click("Commandopen"); // cancelled
        QCOMPARE(f.get<QLineEdit>("Textsound")->text(), QStringLiteral("/old.wav"));
        f.fileChooser.answer = QStringLiteral("/音乐/响铃.wav");
        f.click("Commandopen");
        QCOMPARE(f.fileChooser.filters, QStringList(2, QStringLiteral("音乐文件 (*.wav)")));
        QCOMPARE(f.get<QLineEdit>("Textsound")->text(), f.fileChooser.answer);
        QCOMPARE(f.file(), "[sound]\nifsound=1\n[soundpath]\nspath=/音乐/响铃.wav\n");
    }

    void clockTicksOnlyWhileItCanBeSeen()
    {
        Fixture f;
        Mian &w = f.load();
        QVERIFY(!f.seconds.isActive());
        w.show();
        QVERIFY(f.seconds.isActive());
        f.clock.set(QTime(8, 1, 2));
        Q_EMIT f.seconds.timeout();
        QCOMPARE(f.caption("Commandc1"), QStringLiteral("08:01:02"));
        f.minimise();
        QVERIFY(w.isHidden());
        QVERIFY(!f.seconds.isActive());
        f.click("Commanda1"); // from the tray menu, as it would be
        QVERIFY(f.seconds.isActive());
        f.clock.set(QTime(8, 1, 9));
        Q_EMIT f.seconds.timeout();
        QCOMPARE(f.caption("Commandc1"), QStringLiteral("08:01:02"));
        f.tray.activate(QSystemTrayIcon::DoubleClick);
        QCOMPARE(f.caption("Commandc1"), QStringLiteral("08:01:09"));
    }

    void minimiseHidesToTheTrayAndTheIconBringsItBack()
    {
        using Reason = QSystemTrayIcon::ActivationReason;
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
            QCOMPARE(f.tray.messages[0].title, balloonTitle);
            QCOMPARE(f.tray.messages[0].text, programTitle);
            // A StatusNotifierItem host shows the menu by itself.
            QCOMPARE(f.tray.contextMenu.data(),
                     mode == TrayBackend::Mode::StatusNotifier ? w.rightmenu() : nullptr);
            f.tray.activate(other);
            QVERIFY(w.isHidden());
            f.tray.activate(restore);
            QVERIFY(w.isVisible() && !w.isMinimized() && !w.intray());
            QCOMPARE(f.tray.messages.size(), 2);
            f.minimise();
            f.get<QAction>("Rightmenumian")->trigger();
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
            fromMenu ? f.get<QAction>("Rightmenuexit")->trigger() : f.click("Commanda3");
            QCOMPARE(unloaded.size(), 1);
            QCOMPARE(f.tray.hides, 1);
            QVERIFY(!f.task.isRunning() && !f.seconds.isActive());
            QVERIFY(f.power.requests.isEmpty());
        }
    }

    void aboutWindowIsModalAndHandsItsLinksToTheDesktop()
    {
        Fixture f;
        Mian &w = f.load();
        w.show();
        QTimer::singleShot(0, [&] {
            auto *about = qobject_cast<AboutWindow *>(QApplication::activeModalWidget());
            QVERIFY(about);
            QCOMPARE(about->windowTitle(), QStringLiteral("关于"));
            QCOMPARE(about->findChild<QLabel *>(QStringLiteral("sysLabelo"))->text(),
                     QStringLiteral("版本：1.0.0         发布日期：2009.9"));
            for (const char *link : {"Label10", "Label11", "Label10"})
                QTest::mouseClick(about->findChild<QLabel *>(QLatin1String(link)), Qt::LeftButton);
            QTest::mouseClick(about->findChild<QLabel *>(QStringLiteral("sysLabelblog")),
                              Qt::LeftButton);
            about->close();
        });
        f.click("Commanda4");
        QCOMPARE(f.urlOpener.opened,
                 (QList{QUrl(AboutWindow::webPage),
                        QUrl(QStringLiteral("mailto:") + AboutWindow::mailAddress),
                        QUrl(AboutWindow::webPage)}));
    }
};

QTEST_MAIN(TestMian)
#include "tst_mian.moc"
