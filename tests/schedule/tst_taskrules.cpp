// The decisions a running task makes each tick, without a window.

#include "schedule/longtime.h"
#include "schedule/taskrules.h"

#include <QTest>

using namespace TaskRules;

class TestTaskRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsHoldTheirEntriesInOrder()
    {
        QCOMPARE(taskNames(), QStringList({QStringLiteral("  "), QStringLiteral("关机"),
                                           QStringLiteral("重启"), QStringLiteral("注销")}));
        QCOMPARE(reminderMinutes(),
                 QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                              QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("10"),
                              QStringLiteral("20"), QStringLiteral("30"), QStringLiteral("60")}));
    }

    void taskCaptionFollowsTheChosenTask_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<QString>("caption");
        QTest::newRow("blank entry") << QStringLiteral("  ") << true << noTaskCaption;
        QTest::newRow("power off") << QStringLiteral("关机") << true << QStringLiteral("关机");
        QTest::newRow("restart") << QStringLiteral("重启") << true << QStringLiteral("重启");
        QTest::newRow("log off") << QStringLiteral("注销") << true << QStringLiteral("注销");
        QTest::newRow("nothing chosen") << QString() << false << QString();
        QTest::newRow("one blank") << QStringLiteral(" ") << false << QString();
    }
    void taskCaptionFollowsTheChosenTask()
    {
        QFETCH(QString, text);
        QFETCH(bool, changes);
        QFETCH(QString, caption);
        const auto result = taskCaption(text);
        QCOMPARE(result.has_value(), changes);
        if (changes)
            QCOMPARE(*result, caption);
    }

    void taskMapsToFlagWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("flag"); // -1: no request
        QTest::newRow("power off") << QStringLiteral("关机") << 8;
        QTest::newRow("restart") << QStringLiteral("重启") << 2;
        QTest::newRow("log off") << QStringLiteral("注销") << 0;
        QTest::newRow("blank entry asks for nothing") << QStringLiteral("  ") << -1;
        QTest::newRow("nothing chosen asks for nothing") << QString() << -1;
    }
    void taskMapsToFlagWord()
    {
        QFETCH(QString, text);
        QFETCH(int, flag);
        const auto action = actionForTask(text);
        QCOMPARE(action.has_value(), flag >= 0);
        if (action) {
            QCOMPARE(int(flagWord(*action)), flag);
            QCOMPARE(taskName(*action), text);
            QVERIFY((flagWord(*action) & 4u) == 0); // never forced
        }
    }

    void minutesUntilTarget_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<int>("minutes");
        QTest::newRow("five ahead") << QTime(14, 25, 0) << QTime(14, 30, 0) << 5;
        QTest::newRow("seconds dropped") << QTime(14, 25, 59) << QTime(14, 30, 0) << 5;
        QTest::newRow("last second before") << QTime(14, 29, 59) << QTime(14, 30, 0) << 1;
        QTest::newRow("within the minute") << QTime(14, 30, 0) << QTime(14, 30, 45) << 0;
        QTest::newRow("passed wraps to tomorrow") << QTime(14, 31, 10) << QTime(14, 30, 0) << 1439;
        QTest::newRow("across midnight") << QTime(23, 58, 0) << QTime(0, 3, 0) << 5;
        QTest::newRow("an hour across midnight") << QTime(23, 30, 30) << QTime(0, 30, 0) << 60;
        QTest::newRow("midnight itself") << QTime(0, 0, 0) << QTime(0, 0, 0) << 0;
    }
    void minutesUntilTarget()
    {
        QFETCH(QTime, now);
        QFETCH(QTime, target);
        QFETCH(int, minutes);
        QCOMPARE(minutesUntil(now, target), minutes);
    }

    void actionFiresOnceWhenTheTargetSecondIsReached_data()
    {
        QTest::addColumn<QTime>("previous");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<bool>("due");
        const QTime t(14, 30, 0);
        QTest::newRow("second before") << QTime(14, 29, 58) << QTime(14, 29, 59) << t << false;
        QTest::newRow("target second") << QTime(14, 29, 59) << QTime(14, 30, 0) << t << true;
        QTest::newRow("late tick in target second")
            << QTime(14, 29, 59, 10) << QTime(14, 30, 0, 900) << t << true;
        QTest::newRow("missed second, next tick")
            << QTime(14, 29, 59) << QTime(14, 30, 1) << t << true;
        QTest::newRow("busy machine, 59 s late")
            << QTime(14, 29, 50) << QTime(14, 30, 59) << t << true;
        QTest::newRow("a minute late is too late")
            << QTime(14, 29, 50) << QTime(14, 31, 0) << t << false;
        QTest::newRow("slept through it") << QTime(13, 0, 0) << QTime(16, 0, 0) << t << false;
        QTest::newRow("already past at the previous tick")
            << QTime(14, 30, 0) << QTime(14, 30, 1) << t << false;
        QTest::newRow("started inside the target second")
            << QTime(14, 30, 0, 500) << QTime(14, 30, 0, 990) << t << false;
        QTest::newRow("clock stepped forward over it")
            << QTime(14, 29, 40) << QTime(14, 30, 20) << t << true;
        QTest::newRow("clock stepped back onto it")
            << QTime(15, 10, 0) << QTime(14, 30, 3) << t << true;
        QTest::newRow("midnight target")
            << QTime(23, 59, 59) << QTime(0, 0, 0) << QTime(0, 0, 0) << true;
        QTest::newRow("just before midnight target")
            << QTime(23, 59, 58) << QTime(23, 59, 59) << QTime(0, 0, 0) << false;
        QTest::newRow("target at the day's last second")
            << QTime(23, 59, 58) << QTime(23, 59, 59) << QTime(23, 59, 59) << true;
        QTest::newRow("earlier target waits for tomorrow")
            << QTime(9, 0, 0) << QTime(9, 0, 1) << QTime(8, 0, 0) << false;
    }
    void actionFiresOnceWhenTheTargetSecondIsReached()
    {
        QFETCH(QTime, previous);
        QFETCH(QTime, now);
        QFETCH(QTime, target);
        QFETCH(bool, due);
        QCOMPARE(actionDue(previous, now, target), due);
    }

    void longTimeCarriesSecondsInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C") << QStringLiteral("C") << QStringLiteral("14:05:09");
        QTest::newRow("zh_CN") << QStringLiteral("zh_CN") << QStringLiteral("14:05:09");
        QTest::newRow("de_DE") << QStringLiteral("de_DE") << QStringLiteral("14:05:09");
        QTest::newRow("en_US") << QStringLiteral("en_US") << QStringLiteral("2:05:09\u202fPM");
    }
    void longTimeCarriesSecondsInEveryLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const QLocale l(locale);
        const QString text = longTimeString(QTime(14, 5, 9), l);
        // No time zone: the clock shows the time of day only.
        QVERIFY2(!text.contains(QStringLiteral("UTC")), qPrintable(text));
        QCOMPARE(QString(text).replace(u'\u202f', u' '),
                 QString(expected).replace(u'\u202f', u' '));
        QCOMPARE(l.toTime(text, longTimeFormat(l)), QTime(14, 5, 9));
    }
};

QTEST_GUILESS_MAIN(TestTaskRules)
#include "tst_taskrules.moc"
