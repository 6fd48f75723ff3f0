// The main window as designed, and as its load handler leaves it.

#include "app/xpcontrols.h"
#include "schedule/secondtimer.h"
#include "sound/commondialog.h"
#include "sound/mediacontrol.h"
#include "windowfixture.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowIsFixedWithMinimiseButNoMaximise()
    {
        WindowFixture f;
        Mian &w = f.create();
        QCOMPARE(w.objectName(), QStringLiteral("mian"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Quorvel"));
        QCOMPARE(w.size(), QSize(323, 289));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!w.windowIcon().isNull());
        QCOMPARE(w.palette().color(QPalette::Window), QColor(213, 222, 242));
        // Centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(w.geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w.geometry().center().y() - screen.center().y()) <= 1);
    }

    void everyControlSitsWhereDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips"); // left, top, width, height
        QTest::addColumn<bool>("enabled");
        auto row = [](const char *name, const QString &caption, int l, int t, int w, int h,
                      bool enabled) {
            QTest::newRow(name) << QString::fromLatin1(name) << caption << QRect(l, t, w, h)
                                << enabled;
        };
        row("Commandb3", QStringLiteral("系统时间："), 120, 120, 975, 375, false);
        row("Commandc1", QString(), 1560, 120, 1695, 375, false);
        row("Commanda1", QStringLiteral("开   始"), 3720, 120, 1095, 495, true);
        row("Commandb1", QStringLiteral("时    间："), 120, 720, 975, 375, false);
        row("DTPicker1", QString(), 1560, 720, 1695, 375, true);
        row("Commanda2", QStringLiteral("停   止"), 3720, 840, 1095, 495, true);
        row("Commandb2", QStringLiteral("任    务："), 120, 1320, 975, 375, false);
        row("Comborenwu", QString(), 1560, 1320, 1695, 300, true);
        row("Commanda3", QStringLiteral("退   出"), 3720, 1560, 1095, 495, true);
        row("Commandb4", QStringLiteral("任务状态："), 120, 1920, 975, 375, false);
        row("Commandc2", QString(), 1560, 1920, 1695, 375, false);
        row("Commanda4", QStringLiteral("关   于"), 3720, 2280, 1095, 495, true);
        row("Commandb5", QStringLiteral("定时状态："), 120, 2520, 975, 375, false);
        row("Commandc3", QString(), 1560, 2520, 1695, 375, false);
        row("Frameshezhi", QStringLiteral("设置"), 120, 3000, 4695, 1335, true);
        row("XPCheckBox2", QStringLiteral("任务开启提示"), 120, 240, 1335, 375, true);
        row("Commandb6", QStringLiteral("在前"), 1560, 240, 495, 375, false);
        row("Combotishi", QString(), 2160, 240, 1455, 300, true);
        row("Commandb7", QStringLiteral("分钟提醒"), 3720, 240, 855, 375, false);
        row("XPCheckBox1", QStringLiteral("声音开启提示"), 120, 840, 1335, 375, true);
        row("Commanda5", QString(), 1560, 840, 495, 375, true);
        row("Textsound", QString(), 2160, 840, 1815, 375, true);
        row("Commandopen", QString(), 4080, 840, 495, 375, true);
    }
    void everyControlSitsWhereDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(bool, enabled);
        WindowFixture f;
        f.create();
        auto *w = f.window->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
        QCOMPARE(w->isEnabled(), enabled);
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            QCOMPARE(b->text(), caption);
        if (auto *g = qobject_cast<QGroupBox *>(w))
            QCOMPARE(g->title(), caption);
        // Everything the user reads or uses has a name a screen reader can announce, except the
        // status fields, whose name is their (still empty) caption.
        if (!name.startsWith(u"Commandc") && name != u"Frameshezhi")
            QVERIFY2(!w->accessibleName().isEmpty() || !caption.isEmpty(), qPrintable(name));
    }

    void designStateBeforeLoad()
    {
        WindowFixture f;
        f.create();
        QVERIFY(!f.child<SecondTimer>("TaskTimer")->isEnabled());
        QVERIFY(f.child<SecondTimer>("sysTimer")->isEnabled());
        QCOMPARE(f.child<SecondTimer>("TaskTimer")->interval(), 1000);
        QCOMPARE(f.child<QComboBox>("Comborenwu")->count(), 0);
        QCOMPARE(f.child<QComboBox>("Combotishi")->count(), 0);
        QCOMPARE(f.child<QTimeEdit>("DTPicker1")->time(), QTime(0, 0, 0));
        QCOMPARE(f.child<XPCheckBox>("XPCheckBox1")->Value(), 0);
        QCOMPARE(f.child<XPCheckBox>("XPCheckBox2")->Value(), 0);
        QVERIFY(f.child<QLineEdit>("Textsound")->isReadOnly());
        QCOMPARE(f.child<QLineEdit>("Textsound")->text(), QString());
        // The player and the dialog are objects, never controls on the window.
        QVERIFY(f.child<MediaControl>("mci1"));
        QVERIFY(!f.window->findChild<QWidget *>(QStringLiteral("mci1")));
        QVERIFY(f.child<CommonDialog>("Dialog1"));
        QVERIFY(!f.tray.shown);
        QCOMPARE(f.sound.prepared, 0);
    }

    void statusFieldsStayReadableThoughDisabled_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"Commandc1", "Commandc2", "Commandc3", "Commandb3", "Commandb7"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void statusFieldsStayReadableThoughDisabled()
    {
        QFETCH(QString, name);
        WindowFixture f;
        f.create();
        auto *field = f.window->findChild<QPushButton *>(name);
        QVERIFY(!field->isEnabled());
        const QPalette &pal = field->palette();
        QCOMPARE(pal.color(QPalette::Disabled, QPalette::ButtonText),
                 pal.color(QPalette::Active, QPalette::ButtonText));
    }

    void loadBringsTheIdleState()
    {
        WindowFixture f;
        f.load();
        QVERIFY(!f.child<QPushButton>("Commanda2")->isEnabled());
        QVERIFY(f.child<QPushButton>("Commanda1")->isEnabled());
        QCOMPARE(f.child<QPushButton>("Commandc2")->text(), QStringLiteral("未选择任何任务"));
        QCOMPARE(f.child<QPushButton>("Commandc3")->text(), QStringLiteral("停止"));
        QCOMPARE(f.child<QPushButton>("Commandc1")->text(), QString());
        QCOMPARE(f.child<CommonDialog>("Dialog1")->filter(),
                 QStringLiteral("音乐文件 (*.wav)| *.wav|"));
        QCOMPARE(f.sound.prepared, 1);
        QVERIFY(!f.child<SecondTimer>("TaskTimer")->isEnabled());
        // The tray icon is added once, with the window's icon and the program's name as tip.
        QCOMPARE(f.tray.shows, 1);
        QCOMPARE(f.tray.toolTip, QStringLiteral("QuorvelV1.0.0"));
        QVERIFY(f.tray.messages.isEmpty());
        QCOMPARE(f.window->moduletray().trayicon().hWnd.data(), f.window.get());
        QVERIFY(!f.window->intray());
        const TaskState &task = f.window->taskState();
        QVERIFY(task.tasktime.isEmpty() && task.tipmins.isEmpty() && task.leftmins.isEmpty());
    }

    void tabOrderFollowsTheDesign()
    {
        WindowFixture f;
        f.load();
        for (const char *name :
             {"Commanda2", "Combotishi", "Commandopen", "Commanda5", "Textsound"})
            f.child<QWidget>(name)->setEnabled(true);
        // The focusable controls, in the designed order.
        const QStringList expected{QStringLiteral("DTPicker1"),   QStringLiteral("Comborenwu"),
                                   QStringLiteral("Commanda1"),   QStringLiteral("Commanda2"),
                                   QStringLiteral("Commanda3"),   QStringLiteral("Commanda4"),
                                   QStringLiteral("Combotishi"),  QStringLiteral("XPCheckBox2"),
                                   QStringLiteral("Commandopen"), QStringLiteral("Commanda5"),
                                   QStringLiteral("XPCheckBox1"), QStringLiteral("Textsound")};
        QStringList order;
        QWidget *first = f.child<QWidget>("DTPicker1");
        QWidget *w = first;
        do {
            if (expected.contains(w->objectName()) && !order.contains(w->objectName()))
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != first);
        QCOMPARE(order, expected);
    }

    void trayMenuHasSixEntriesAndNoMenuBar()
    {
        WindowFixture f;
        f.load();
        QMenu *menu = f.window->rightmenu();
        QCOMPARE(menu->objectName(), QStringLiteral("Rightmenu"));
        QCOMPARE(menu->title(), QStringLiteral("Rightmenu"));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 6);
        const QStringList names{QStringLiteral("Rightmenumian"),  QStringLiteral("RightmenuTag2"),
                                QStringLiteral("RightmenuStart"), QStringLiteral("Rightmenustop"),
                                QStringLiteral("RightmenuTag1"),  QStringLiteral("Rightmenuexit")};
        const QStringList captions{QStringLiteral("打开主面板"), QString(), QStringLiteral("开始"),
                                   QStringLiteral("停止"),       QString(), QStringLiteral("退出")};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(actions.at(i)->objectName(), names.at(i));
            QCOMPARE(actions.at(i)->isSeparator(), captions.at(i).isEmpty());
            if (!actions.at(i)->isSeparator())
                QCOMPARE(actions.at(i)->text(), captions.at(i));
            QVERIFY(actions.at(i)->shortcut().isEmpty());
            QVERIFY(!actions.at(i)->isCheckable());
        }
        QVERIFY(!menu->isVisible());
        QVERIFY(!f.window->findChild<QMenuBar *>());
        // Idle: start offered, stop not.
        QVERIFY(actions.at(2)->isEnabled());
        QVERIFY(!actions.at(3)->isEnabled());
    }

    void exitPathsUnloadOnceAndRemoveTheIcon_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("exit button") << QStringLiteral("button");
        QTest::newRow("tray menu") << QStringLiteral("menu");
        QTest::newRow("close box") << QStringLiteral("close");
    }
    void exitPathsUnloadOnceAndRemoveTheIcon()
    {
        QFETCH(QString, path);
        WindowFixture f;
        f.load();
        f.window->show();
        QSignalSpy unloaded(f.window.get(), &Mian::unloaded);
        if (path == u"button")
            QTest::mouseClick(f.child<QPushButton>("Commanda3"), Qt::LeftButton);
        else if (path == u"menu")
            f.child<QAction>("Rightmenuexit")->trigger();
        else
            f.window->close();
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(f.tray.hides, 1);
        QVERIFY(!f.tray.shown);
        QVERIFY(!f.window->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
