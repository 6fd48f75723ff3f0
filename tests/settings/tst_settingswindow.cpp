// The stored settings applied to the real window, the two switches that store them, and the
// choice of the sound file.

#include "app/xpcontrols.h"
#include "schedule/secondtimer.h"
#include "sound/commondialog.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
void click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Opens the dialog for a moment, as a user would, and reports the answer.
class SlowChooser final : public FileChooser
{
public:
    QString getOpenFileName(QWidget *, const QString &) override
    {
        QEventLoop loop;
        QTimer::singleShot(1300, &loop, &QEventLoop::quit);
        loop.exec();
        return answer;
    }
    QString answer;
};
} // namespace

class TestSettingsWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noFileMeansBothSwitchesOffAndCreatesNothing()
    {
        WindowFixture f;
        f.load();
        QCOMPARE(f.child<XPCheckBox>("XPCheckBox1")->Value(), 0);
        QCOMPARE(f.child<XPCheckBox>("XPCheckBox2")->Value(), 0);
        for (const char *name : {"Commanda5", "Textsound", "Commandopen", "Combotishi"})
            QVERIFY2(!f.child<QWidget>(name)->isEnabled(), name);
        QCOMPARE(f.child<QLineEdit>("Textsound")->text(), QString());
        QVERIFY(!QFile::exists(f.settings.settingsPath()));
    }

    // Each switch as stored: 1 on, 0 off, anything else leaves the design state.
    void storedSwitchesAreApplied_data()
    {
        QTest::addColumn<QByteArray>("ifsound");
        QTest::addColumn<QByteArray>("ifTips");
        QTest::addColumn<int>("soundValue");
        QTest::addColumn<bool>("soundControls");
        QTest::addColumn<int>("tipsValue");
        QTest::addColumn<bool>("minutesList");
        QTest::newRow("both on") << QByteArray("1") << QByteArray("1") << -1 << true << -1 << true;
        QTest::newRow("both off") << QByteArray("0") << QByteArray("0") << 0 << false << 0 << false;
        QTest::newRow("2 leaves the design state")
            << QByteArray("2") << QByteArray("2") << 0 << true << 0 << true;
        QTest::newRow("text reads as 0")
            << QByteArray("on") << QByteArray("yes") << 0 << false << 0 << false;
        QTest::newRow("sound on, reminder off")
            << QByteArray("1") << QByteArray("0") << -1 << true << 0 << false;
    }
    void storedSwitchesAreApplied()
    {
        QFETCH(QByteArray, ifsound);
        QFETCH(QByteArray, ifTips);
        QFETCH(int, soundValue);
        QFETCH(bool, soundControls);
        QFETCH(int, tipsValue);
        QFETCH(bool, minutesList);
        WindowFixture f;
        const QByteArray file = "[sound]\r\nifsound=" + ifsound + "\r\n[Tips]\r\nifTips=" + ifTips +
                                "\r\n[soundpath]\r\nspath=C:\\Users\\a\\ding.wav\r\n";
        writeAll(f.settings.settingsPath(), file);
        f.load();
        QCOMPARE(f.child<XPCheckBox>("XPCheckBox1")->Value(), soundValue);
        for (const char *name : {"Commanda5", "Textsound", "Commandopen"})
            QCOMPARE(f.child<QWidget>(name)->isEnabled(), soundControls);
        QCOMPARE(f.child<XPCheckBox>("XPCheckBox2")->Value(), tipsValue);
        QCOMPARE(f.child<QComboBox>("Combotishi")->isEnabled(), minutesList);
        QCOMPARE(f.child<QLineEdit>("Textsound")->text(), QStringLiteral("C:\\Users\\a\\ding.wav"));
        QCOMPARE(readAll(f.settings.settingsPath()), file); // loading writes nothing
    }

    void longPathsComeBackWhole_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("254 bytes") << 254;
        QTest::newRow("300 bytes") << 300;
        QTest::newRow("4000 bytes") << 4000;
    }
    void longPathsComeBackWhole()
    {
        QFETCH(int, length);
        WindowFixture f;
        QString path = QStringLiteral("/home/用户/");
        while (path.toUtf8().size() < length - 4)
            path += u'a';
        path =
            path.left(path.size() - (path.toUtf8().size() - (length - 4))) + QStringLiteral(".wav");
        QCOMPARE(path.toUtf8().size(), length);
        writeAll(f.settings.settingsPath(), "[soundpath]\nspath=" + path.toUtf8() + "\n");
        f.load();
        QCOMPARE(f.child<QLineEdit>("Textsound")->text(), path);
    }

    void switchesStoreEveryChangeAtOnce()
    {
        WindowFixture f;
        writeAll(f.settings.settingsPath(), "; mine\r\n[other]\r\nx=1\r\n");
        f.load();
        auto *sound = f.child<XPCheckBox>("XPCheckBox1");
        auto *tips = f.child<XPCheckBox>("XPCheckBox2");
        click(sound);
        QCOMPARE(sound->Value(), -1);
        for (const char *name : {"Commanda5", "Textsound", "Commandopen"})
            QVERIFY(f.child<QWidget>(name)->isEnabled());
        QCOMPARE(f.settings.iniint(QStringLiteral("sound"), QStringLiteral("ifsound")), 1);
        click(sound);
        for (const char *name : {"Commanda5", "Textsound", "Commandopen"})
            QVERIFY(!f.child<QWidget>(name)->isEnabled());
        click(tips);
        click(tips);
        click(tips);
        QCOMPARE(readAll(f.settings.settingsPath()),
                 QByteArray("; mine\r\n[other]\r\nx=1\r\n[sound]\r\nifsound=0\r\n"
                            "[Tips]\r\nifTips=1\r\n"));
    }

    // Assistive technology toggles the box without a mouse click.
    void aToggleWithoutAClickIsAChangeToo()
    {
        WindowFixture f;
        f.load();
        f.child<XPCheckBox>("XPCheckBox1")->toggle();
        QVERIFY(f.child<QWidget>("Commanda5")->isEnabled());
        QCOMPARE(f.settings.iniint(QStringLiteral("sound"), QStringLiteral("ifsound")), 1);
    }

    void reminderOnClearsTheMinutesAndOffKeepsThem()
    {
        WindowFixture f;
        f.load();
        auto *tips = f.child<XPCheckBox>("XPCheckBox2");
        auto *minutes = f.child<QComboBox>("Combotishi");
        click(tips);
        QVERIFY(minutes->isEnabled());
        minutes->setCurrentIndex(4);
        QCOMPARE(f.window->taskState().tipmins, QStringLiteral("5"));
        click(tips);
        QVERIFY(!minutes->isEnabled());
        QCOMPARE(minutes->currentText(), QStringLiteral("5"));
        QCOMPARE(f.window->taskState().tipmins, QStringLiteral("5"));
        click(tips);
        QVERIFY(minutes->isEnabled());
        QCOMPARE(minutes->currentIndex(), -1);
        QCOMPARE(f.window->taskState().tipmins, QString());
    }

    void unwritableSettingsKeepTheNewStateForThisRun()
    {
        WindowFixture f;
        // A directory where the file should be: nothing can be saved there.
        QVERIFY(QDir().mkpath(f.settings.settingsPath()));
        f.load();
        auto *sound = f.child<XPCheckBox>("XPCheckBox1");
        click(sound);
        QCOMPARE(sound->Value(), -1);
        QVERIFY(f.child<QWidget>("Commandopen")->isEnabled());
        QVERIFY(QFileInfo(f.settings.settingsPath()).isDir());
    }

    void choosingTheSoundFile_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("a file") << QStringLiteral("/music/提醒 铃声.wav");
        QTest::newRow("cancelled") << QString();
    }
    void choosingTheSoundFile()
    {
        QFETCH(QString, answer);
        WindowFixture f;
        writeAll(f.settings.settingsPath(), "[sound]\nifsound=1\n[soundpath]\nspath=/old.wav\n");
        f.load();
        f.fileChooser.answer = answer;
        QTest::mouseClick(f.child<QPushButton>("Commanda5"), Qt::LeftButton);
        const int stopsBefore = f.sound.stops;
        QTest::mouseClick(f.child<QPushButton>("Commandopen"), Qt::LeftButton);
        QCOMPARE(f.fileChooser.filters, QStringList{QStringLiteral("音乐文件 (*.wav)")});
        const QString expected = answer.isEmpty() ? QStringLiteral("/old.wav") : answer;
        QCOMPARE(f.child<QLineEdit>("Textsound")->text(), expected);
        QCOMPARE(f.settings.iniread(QStringLiteral("soundpath"), QStringLiteral("spath"),
                                    f.settings.settingsPath()),
                 expected);
        QCOMPARE(f.sound.stops, stopsBefore); // a playing sound is left alone
        QCOMPARE(f.sound.plays.size(), 1);
    }

    void timersTickWhileTheDialogIsOpen()
    {
        WindowFixture f;
        SlowChooser chooser;
        chooser.answer = QStringLiteral("/a.wav");
        f.window = std::make_unique<Mian>(
            MianServices{f.clock, f.power, f.sound, f.tray, chooser, f.urlOpener, f.settings});
        f.window->Form_Load();
        f.clock.setTime(QTime(7, 7, 7));
        f.window->Commandopen_Click();
        QCOMPARE(f.child<QPushButton>("Commandc1")->text(), QStringLiteral("07:07:07"));
        QCOMPARE(f.child<QLineEdit>("Textsound")->text(), QStringLiteral("/a.wav"));
    }

    void dialogFilterTakesTheStoredForm_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("qt");
        QTest::newRow("the program's own")
            << QStringLiteral("音乐文件 (*.wav)| *.wav|") << QStringLiteral("音乐文件 (*.wav)");
        QTest::newRow("two entries") << QStringLiteral("Sound|*.wav;*.wave|All|*.*")
                                     << QStringLiteral("Sound (*.wav *.wave);;All (*.*)");
        QTest::newRow("nothing") << QString() << QString();
    }
    void dialogFilterTakesTheStoredForm()
    {
        QFETCH(QString, stored);
        QFETCH(QString, qt);
        QCOMPARE(CommonDialog::toQtFilter(stored), qt);
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
