#include "pulsecontrol.h"
#include "sound/linux/canberrasoundoutput.h"
#include "testsounds.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

// What the player adds to the program's resident memory: its thread, the sound libraries it
// loads, the server connection, a conversion.
class TestSoundFootprint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void playerAddsLittleMemory()
    {
        QTemporaryDir dir;
        const QString plain = dir.filePath(QStringLiteral("plain.wav"));
        const QString deep = dir.filePath(QStringLiteral("deep.wav"));
        QVERIFY(TestSounds::sox({QStringLiteral("-n"), QStringLiteral("-r"),
                                 QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("2"),
                                 QStringLiteral("-b"), QStringLiteral("16"), plain,
                                 QStringLiteral("synth"), QStringLiteral("0.3"),
                                 QStringLiteral("sine"), QStringLiteral("1000")}));
        QVERIFY(TestSounds::sox({QStringLiteral("-n"), QStringLiteral("-r"),
                                 QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("2"),
                                 QStringLiteral("-b"), QStringLiteral("24"), deep,
                                 QStringLiteral("synth"), QStringLiteral("10"),
                                 QStringLiteral("sine"), QStringLiteral("1000")}));

        const qint64 before = residentKiB();
        CanberraSoundOutput output;
        QSignalSpy started(&output, &SoundOutput::playStarted);
        output.prepare();
        output.play(plain);
        QVERIFY(started.wait(2000));
        QTest::qWait(500);
        const qint64 afterPlain = residentKiB();
        output.play(deep);
        QVERIFY(started.wait(2000));
        output.stop();
        QTest::qWait(300);
        const qint64 afterDeep = residentKiB();

        qInfo("resident: %lld KiB before; +%lld KiB after prepare and a first play; +%lld KiB "
              "after converting and playing 10 s of 24-bit",
              before, afterPlain - before, afterDeep - before);
#if defined(__SANITIZE_ADDRESS__)
        const qint64 limitKiB = 64 * 1024; // shadow memory and quarantine
#else
        const qint64 limitKiB = 8 * 1024;
#endif
        QVERIFY2(afterDeep - before < limitKiB, qPrintable(QString::number(afterDeep - before)));
    }
};

QUORVEL_PULSE_TEST_MAIN(TestSoundFootprint)
#include "tst_soundfootprint.moc"
