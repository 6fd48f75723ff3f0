// The tray icon's record and routines, and how the window goes to the tray and comes back.

#include "schedule/secondtimer.h"
#include "windowfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

using Reason = QSystemTrayIcon::ActivationReason;
using Mode = TrayBackend::Mode;
Q_DECLARE_METATYPE(TrayBackend::Mode)

namespace {
const QString balloonTitle = QStringLiteral("气泡提示");
const QString programTitle = QStringLiteral("QuorvelV1.0.0");

void minimise(Mian &w)
{
    w.setWindowState(w.windowState() | Qt::WindowMinimized);
}
} // namespace

class TestTray : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void iconIsAddedOnceWithTheWindowsIconAndTip()
    {
        WindowFixture f;
        f.load();
        const NotifyIconData &record = f.window->moduletray().trayicon();
        QCOMPARE(record.uID, 0u);
        QCOMPARE(record.uFlags, 23u);
        QCOMPARE(record.uCallbackMessage, 512u);
        QCOMPARE(record.szTip, programTitle);
        QVERIFY(record.szInfo.isEmpty() && record.szInfoTitle.isEmpty());
        QCOMPARE(record.hIcon.cacheKey(), f.window->windowIcon().cacheKey());
        QCOMPARE(f.tray.icon.cacheKey(), f.window->windowIcon().cacheKey());
        QCOMPARE(f.tray.shows, 1);
        QVERIFY(f.tray.messages.isEmpty());
    }

    void routinesKeepTheRecord_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("expectedTip");
        QTest::newRow("a tip") << QStringLiteral("提示") << QStringLiteral("提示");
        QTest::newRow("no-tip text leaves the tip empty")
            << QStringLiteral("默认为无提示") << QString();
    }
    void routinesKeepTheRecord()
    {
        QFETCH(QString, tip);
        QFETCH(QString, expectedTip);
        FakeTray backend;
        QWidget window;
        window.setWindowIcon(QIcon(QPixmap(16, 16)));
        Moduletray tray(backend);
        tray.trayadd(&window, tip);
        QCOMPARE(tray.trayicon().szTip, expectedTip);
        QCOMPARE(backend.toolTip, expectedTip);

        // A balloon with icon 0 keeps the icon and the tip, and stays in the record.
        const qint64 iconKey = tray.trayicon().hIcon.cacheKey();
        tray.traytip(QStringLiteral("正文"), QStringLiteral("标题"), 1);
        QCOMPARE(tray.trayicon().szInfo, QStringLiteral("正文"));
        QCOMPARE(tray.trayicon().szInfoTitle, QStringLiteral("标题"));
        QCOMPARE(tray.trayicon().dwInfoFlags, 1u);
        QCOMPARE(tray.trayicon().hIcon.cacheKey(), iconKey);
        QCOMPARE(backend.toolTip, expectedTip);
        QCOMPARE(backend.messages.size(), 1);
        QCOMPARE(backend.messages.at(0).title, QStringLiteral("标题"));
        QCOMPARE(backend.messages.at(0).icon, QSystemTrayIcon::Information);

        // An explicit icon replaces it.
        QPixmap other(16, 16);
        other.fill(Qt::red);
        tray.traytip(QStringLiteral("二"), QStringLiteral("题"), 1, QIcon(other));
        QVERIFY(tray.trayicon().hIcon.cacheKey() != iconKey);
        QCOMPARE(backend.icon.cacheKey(), tray.trayicon().hIcon.cacheKey());

        tray.traydel();
        QVERIFY(!backend.shown);
        QCOMPARE(tray.trayicon().szInfo, QStringLiteral("二"));
    }

    // The menu's start and stop items follow the Stop button on every resize.
    void resizeMirrorsTheTaskButtons_data()
    {
        QTest::addColumn<bool>("startEnabled");
        QTest::addColumn<bool>("stopEnabled");
        QTest::newRow("idle") << true << false;
        QTest::newRow("running") << false << true;
        QTest::newRow("both enabled") << true << true;
        QTest::newRow("both disabled") << false << false;
    }
    void resizeMirrorsTheTaskButtons()
    {
        QFETCH(bool, startEnabled);
        QFETCH(bool, stopEnabled);
        WindowFixture f;
        f.load();
        f.child<QPushButton>("Commanda1")->setEnabled(startEnabled);
        f.child<QPushButton>("Commanda2")->setEnabled(stopEnabled);
        f.child<QAction>("RightmenuStart")->setEnabled(stopEnabled);
        f.child<QAction>("Rightmenustop")->setEnabled(!stopEnabled);
        f.window->Form_Resize();
        QCOMPARE(f.child<QAction>("RightmenuStart")->isEnabled(), !stopEnabled);
        QCOMPARE(f.child<QAction>("Rightmenustop")->isEnabled(), stopEnabled);
    }

    void minimisingHidesToTheTrayWithABalloon_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::newRow("XEmbed tray") << Mode::XEmbed;
        QTest::newRow("StatusNotifierItem host") << Mode::StatusNotifier;
    }
    void minimisingHidesToTheTrayWithABalloon()
    {
        QFETCH(Mode, mode);
        WindowFixture f(mode);
        f.load();
        f.window->show();
        QTest::mouseClick(f.child<QPushButton>("Commanda1"), Qt::LeftButton);
        minimise(*f.window);
        QVERIFY(f.window->intray());
        QVERIFY(f.window->isHidden());
        QCOMPARE(f.tray.messages.size(), 1);
        QCOMPARE(f.tray.messages.at(0).title, balloonTitle);
        QCOMPARE(f.tray.messages.at(0).text, programTitle);
        QCOMPARE(f.tray.messages.at(0).icon, QSystemTrayIcon::Information);
        QVERIFY(!f.child<QAction>("RightmenuStart")->isEnabled());
        QVERIFY(f.child<QAction>("Rightmenustop")->isEnabled());
        // A host that shows its own menu gets ours only while the window is in the tray.
        QCOMPARE(f.tray.contextMenu.data(),
                 mode == Mode::StatusNotifier ? f.window->rightmenu() : nullptr);
        f.child<QAction>("Rightmenumian")->trigger();
        QVERIFY(!f.window->intray());
        QVERIFY(f.window->isVisible());
        QVERIFY(!f.window->isMinimized());
        QCOMPARE(f.tray.contextMenu.data(), nullptr);
        QCOMPARE(f.tray.messages.size(), 1); // restoring from the menu shows no balloon
        minimise(*f.window);
        QVERIFY(f.window->intray());
        QCOMPARE(f.tray.messages.size(), 2);
    }

    // What each mouse action on the icon does, in both kinds of tray.
    void iconActionsAreMessageNumbers_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<bool>("inTray");
        QTest::addColumn<QList<int>>("reasons");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<bool>("menuShown");
        using L = QList<int>;
        QTest::newRow("xembed: single click does nothing")
            << Mode::XEmbed << true << L{Reason::Trigger} << false << false;
        QTest::newRow("xembed: double click restores")
            << Mode::XEmbed << true << L{Reason::Trigger, Reason::DoubleClick} << true << false;
        QTest::newRow("xembed: right click opens the menu")
            << Mode::XEmbed << true << L{Reason::Context} << false << true;
        QTest::newRow("xembed: middle click does nothing")
            << Mode::XEmbed << true << L{Reason::MiddleClick} << false << false;
        QTest::newRow("xembed: shown window ignores a double click")
            << Mode::XEmbed << false << L{Reason::DoubleClick} << false << false;
        QTest::newRow("xembed: shown window ignores a right click")
            << Mode::XEmbed << false << L{Reason::Context} << false << false;
        QTest::newRow("sni: activation restores")
            << Mode::StatusNotifier << true << L{Reason::Trigger} << true << false;
        QTest::newRow("sni: host shows the menu itself")
            << Mode::StatusNotifier << true << L{Reason::Context} << false << false;
        QTest::newRow("sni: shown window ignores activation")
            << Mode::StatusNotifier << false << L{Reason::Trigger} << false << false;
    }
    void iconActionsAreMessageNumbers()
    {
        QFETCH(Mode, mode);
        QFETCH(bool, inTray);
        QFETCH(QList<int>, reasons);
        QFETCH(bool, restored);
        QFETCH(bool, menuShown);
        WindowFixture f(mode);
        f.load();
        f.window->show();
        if (inTray)
            minimise(*f.window);
        const qsizetype balloons = f.tray.messages.size();
        for (int reason : std::as_const(reasons))
            f.tray.activate(Reason(reason));
        if (inTray) {
            QCOMPARE(f.window->intray(), !restored);
            QCOMPARE(f.window->isVisible(), restored);
            // A double click brings the balloon back; the menu and single clicks do not.
            QCOMPARE(f.tray.messages.size(), balloons + (restored ? 1 : 0));
        } else {
            QVERIFY(f.window->isVisible());
            QCOMPARE(f.tray.messages.size(), balloons);
        }
        QCOMPARE(f.window->rightmenu()->isVisible(), menuShown);
        f.window->rightmenu()->hide();
    }

    void messageNumbersThemselves_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<bool>("menuShown");
        QTest::newRow("515 left double click") << 515 << true << false;
        QTest::newRow("517 right button up") << 517 << false << true;
        QTest::newRow("513 left button down") << 513 << false << false;
        QTest::newRow("516 right button down") << 516 << false << false;
        QTest::newRow("512 movement") << 512 << false << false;
    }
    void messageNumbersThemselves()
    {
        QFETCH(int, message);
        QFETCH(bool, restored);
        QFETCH(bool, menuShown);
        WindowFixture f;
        f.load();
        f.window->show();
        minimise(*f.window);
        f.window->Form_MouseMove(message);
        QCOMPARE(f.window->intray(), !restored);
        QCOMPARE(f.window->rightmenu()->isVisible(), menuShown);
        f.window->rightmenu()->hide();
    }

    // While the program is still active (its deactivation not yet through), an open menu
    // would be closed by it: the menu waits, and is dropped if the window came back meanwhile.
    void menuWaitsWhileTheProgramIsStillActive_data()
    {
        QTest::addColumn<bool>("restoredMeanwhile");
        QTest::newRow("still in the tray: shown late") << false;
        QTest::newRow("restored meanwhile: not shown") << true;
    }
    void menuWaitsWhileTheProgramIsStillActive()
    {
        QFETCH(bool, restoredMeanwhile);
        WindowFixture f;
        f.load();
        f.window->show();
        minimise(*f.window);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(QGuiApplication::applicationState(), Qt::ApplicationActive);
        f.window->Form_MouseMove(Mian::WM_RBUTTONUP);
        QMenu *menu = f.window->rightmenu();
        QVERIFY(!menu->isVisible());
        if (restoredMeanwhile)
            f.window->Form_MouseMove(Mian::WM_LBUTTONDBLCLK);
        QTest::qWait(600);
        QCOMPARE(menu->isVisible(), !restoredMeanwhile);
        menu->hide();
    }

    void menuStartWorksWhileTheWindowStaysHidden()
    {
        WindowFixture f;
        f.load();
        f.window->show();
        minimise(*f.window);
        f.child<QAction>("RightmenuStart")->trigger();
        QVERIFY(f.child<SecondTimer>("TaskTimer")->isEnabled());
        QVERIFY(f.window->isHidden());
        QVERIFY(f.window->intray());
        f.child<QAction>("Rightmenustop")->trigger();
        QVERIFY(!f.child<SecondTimer>("TaskTimer")->isEnabled());
        QVERIFY(f.window->isHidden());
    }

    void withoutANotificationAreaMinimiseStaysAMinimise()
    {
        WindowFixture f(Mode::XEmbed, false);
        f.load();
        f.window->show();
        minimise(*f.window);
        QVERIFY(!f.window->intray());
        QVERIFY(f.window->isMinimized());
        QVERIFY(!f.window->isHidden());
        QVERIFY(f.tray.messages.isEmpty());
        // The area appears: the minimised window goes into it.
        f.tray.setAvailable(true);
        QVERIFY(f.window->intray());
        QVERIFY(f.window->isHidden());
    }

    void aVanishingNotificationAreaGivesTheWindowBack()
    {
        WindowFixture f(Mode::StatusNotifier);
        f.load();
        f.window->show();
        minimise(*f.window);
        QVERIFY(f.window->isHidden());
        f.tray.setAvailable(false);
        QVERIFY(!f.window->intray());
        QVERIFY(!f.window->isHidden());
        QVERIFY(f.window->isMinimized());
        QCOMPARE(f.tray.contextMenu.data(), nullptr);
    }

    void aSilentReminderIsReportedOncePerMinute()
    {
        WindowFixture f;
        f.sound.failPlays = true;
        f.load();
        auto *reminder = f.child<QCheckBox>("XPCheckBox2");
        QTest::mouseClick(reminder, Qt::LeftButton, {}, QPoint(6, reminder->height() / 2));
        auto *minutes = f.child<QComboBox>("Combotishi");
        minutes->setCurrentIndex(0); // "1"
        f.child<QTimeEdit>("DTPicker1")->setTime(QTime(10, 0, 0));
        f.clock.setTime(QTime(9, 58, 58));
        QTest::mouseClick(f.child<QPushButton>("Commanda1"), Qt::LeftButton);
        for (const QTime t : {QTime(9, 59, 0), QTime(9, 59, 1), QTime(9, 59, 59)}) {
            f.clock.setTime(t);
            Q_EMIT f.child<SecondTimer>("TaskTimer")->timeout();
        }
        QCOMPARE(f.sound.plays.size(), 3);
        QCOMPARE(f.tray.messages.size(), 1);
        QCOMPARE(f.tray.messages.at(0).title, QStringLiteral("提醒声音无法播放"));
        QCOMPARE(f.tray.messages.at(0).icon, QSystemTrayIcon::Warning);
        // The next day's reminder minute is reported again.
        f.clock.set(f.clock.now().addDays(1).addSecs(-30));
        Q_EMIT f.child<SecondTimer>("TaskTimer")->timeout();
        QCOMPARE(f.tray.messages.size(), 2);
        // A failing play from the button is the user's own test: no balloon.
        QTest::mouseClick(f.child<QPushButton>("Commanda5"), Qt::LeftButton);
        QCOMPARE(f.tray.messages.size(), 2);
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
