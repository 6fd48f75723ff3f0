// The About window: what it shows, its links, and that it holds the main window but not its
// timers.

#include "about/aboutwindow.h"
#include "app/xpcontrols.h"
#include "schedule/secondtimer.h"
#include "windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

class TestAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowAsLaidOut()
    {
        FakeUrlOpener opener;
        QWidget owner;
        owner.setWindowIcon(QIcon(QPixmap(16, 16)));
        AboutWindow about(opener, &owner);
        QCOMPARE(about.objectName(), QStringLiteral("Formabout"));
        QCOMPARE(about.windowTitle(), QStringLiteral("关于"));
        QCOMPARE(about.width(), 5070 / 15);
        QVERIFY(about.height() >= 2130 / 15);
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(about.windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(about.windowIcon().cacheKey(), owner.windowIcon().cacheKey());
        auto *frame = about.findChild<QFrame *>(QStringLiteral("Frame1"));
        QCOMPARE(frame->geometry(), QRect(0, 0, 337, 153));
        QCOMPARE(frame->palette().color(QPalette::Window), QColor(192, 192, 255));
    }

    void labelsShowTheirTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("topLeftTwips");
        QTest::newRow("version") << QStringLiteral("sysLabelo")
                                 << QStringLiteral("版本：1.0.0         发布日期：2009.9")
                                 << QPoint(600, 1920);
        QTest::newRow("heading") << QStringLiteral("sysLabelbiaoti")
                                 << QStringLiteral("Quorvel 版权所有") << QPoint(1320, 240);
        QTest::newRow("web link") << QStringLiteral("Label10")
                                  << QStringLiteral("https://www.example.org/quorvel")
                                  << QPoint(1680, 840);
        QTest::newRow("mail link") << QStringLiteral("Label11")
                                   << QStringLiteral("quorvel@example.org") << QPoint(1680, 1200);
        QTest::newRow("web caption")
            << QStringLiteral("sysLabelblog") << QStringLiteral("Quorvel博客") << QPoint(120, 840);
        QTest::newRow("mail caption")
            << QStringLiteral("sysLabelmail") << QStringLiteral("Quorvel邮箱") << QPoint(120, 1200);
    }
    void labelsShowTheirTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QPoint, topLeftTwips);
        FakeUrlOpener opener;
        AboutWindow about(opener, nullptr);
        auto *label = about.findChild<QLabel *>(name);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->pos(), topLeftTwips / 15);
        // Whole, and inside the window.
        QVERIFY(label->width() >= label->sizeHint().width());
        QVERIFY(label->geometry().bottom() < about.height());
        QVERIFY(label->geometry().right() < about.width());
    }

    void linksLookAndActLikeLinks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("tooltip");
        QTest::newRow("web page") << QStringLiteral("Label10")
                                  << QStringLiteral("https://www.example.org/quorvel")
                                  << QStringLiteral("Quorvel博客");
        QTest::newRow("mail") << QStringLiteral("Label11")
                              << QStringLiteral("mailto:quorvel@example.org")
                              << QStringLiteral("Quorvel邮箱");
    }
    void linksLookAndActLikeLinks()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        QFETCH(QString, tooltip);
        FakeUrlOpener opener;
        AboutWindow about(opener, nullptr);
        auto *link = about.findChild<QLabel *>(name);
        QVERIFY(link->font().underline());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 192));
        QCOMPARE(link->toolTip(), tooltip);
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opener.opened, QList<QUrl>({QUrl(url), QUrl(url)}));
        // The address is the program's own, not whatever the label happens to show.
        link->setText(QStringLiteral("changed"));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opener.opened.last(), QUrl(url));
    }

    void otherLabelsDoNothing()
    {
        FakeUrlOpener opener;
        AboutWindow about(opener, nullptr);
        for (QLabel *label : about.findChildren<QLabel *>()) {
            if (label->objectName() != u"Label10" && label->objectName() != u"Label11")
                QTest::mouseClick(label, Qt::LeftButton);
        }
        QTest::mouseClick(about.findChild<QFrame *>(QStringLiteral("Frame1")), Qt::LeftButton);
        QVERIFY(opener.opened.isEmpty());
    }

    // While the About window is open the main window takes no input, yet its clock runs and a
    // task that comes due still fires.
    void modalButTimersKeepRunning()
    {
        WindowFixture f;
        f.load();
        f.window->show();
        auto *tasks = f.child<QComboBox>("Comborenwu");
        tasks->setCurrentIndex(1);
        Q_EMIT tasks->activated(1);
        f.child<QTimeEdit>("DTPicker1")->setTime(QTime(12, 0, 1));
        f.clock.setTime(QTime(12, 0, 0));
        QTest::mouseClick(f.child<QPushButton>("Commanda1"), Qt::LeftButton);
        f.clock.setTime(QTime(12, 0, 1));

        bool wasModal = false;
        QTimer::singleShot(2500, this, [&] {
            auto *about = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            wasModal = about && about->objectName() == u"Formabout" &&
                       about->windowModality() == Qt::ApplicationModal &&
                       about->parentWidget() == f.window.get();
            if (about)
                about->close();
        });
        f.window->Commanda4_Click(); // returns when the window is closed
        QVERIFY(wasModal);
        QCOMPARE(f.child<QPushButton>("Commandc1")->text(), QStringLiteral("12:00:01"));
        QCOMPARE(f.power.requests, QList<PowerAction>{PowerAction::PowerOff});
        QVERIFY(!f.child<SecondTimer>("TaskTimer")->isEnabled());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
