#include "pulsecontrol.h"
#include "sound/linux/canberrasoundoutput.h"
#include "testsounds.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

using namespace TestSounds;

namespace {

// How late a sound may start on a loaded machine (its file is inspected, perhaps converted,
// and a stream set up first) in checks that time it from the play call.
constexpr double startSlack = 0.2;

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QStringList words(const char *args)
{
    return QString::fromLatin1(args).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestCanberraSoundOutput : public QObject
{
    Q_OBJECT

private:
    // Makes `name` in the temporary folder with sox: `format` before the file, `effects` after.
    QString makeSound(const QString &name, const char *format, const char *effects)
    {
        const QString path = m_dir.filePath(name);
        QString error;
        if (!sox(QStringList{QStringLiteral("-n")} + words(format) + QStringList{path} +
                     words(effects),
                 &error))
            qWarning("%s", qPrintable(error));
        return path;
    }

    QString tone(double seconds, int hz = 1000)
    {
        const QString name = QStringLiteral("tone-%1s-%2Hz.wav").arg(seconds).arg(hz);
        if (QFile::exists(m_dir.filePath(name)))
            return m_dir.filePath(name);
        const QByteArray effects =
            QStringLiteral("synth %1 sine %2 vol 0.5").arg(seconds).arg(hz).toLatin1();
        return makeSound(name, "-r 48000 -c 2 -b 16", effects.constData());
    }

    void newOutput()
    {
        m_output = std::make_unique<CanberraSoundOutput>();
        m_started = std::make_unique<QSignalSpy>(m_output.get(), &SoundOutput::playStarted);
        m_failed = std::make_unique<QSignalSpy>(m_output.get(), &SoundOutput::playFailed);
    }

    // Records while `action` runs and `listenMs` more.
    template<typename Action> Heard listen(int listenMs, Action action)
    {
        if (!m_pulse.record())
            qFatal("cannot record: %s", qPrintable(m_pulse.lastError()));
        action();
        QTest::qWait(listenMs);
        const Heard heard = m_pulse.endRecord();
        // A recording that failed would pass every "nothing is heard" check.
        if (heard.path.isEmpty())
            qFatal("no recording: %s", qPrintable(m_pulse.lastError()));
        return heard;
    }

    static QString describe(const Heard &h)
    {
        return QStringLiteral("heard=%1 start=%2 duration=%3 freq=%4 (tail %10) rms=%5 "
                              "window rms %6..%7 gap=%8ms (%9)")
            .arg(h.heard)
            .arg(h.start)
            .arg(h.duration)
            .arg(h.frequency)
            .arg(h.rms)
            .arg(h.windowRmsMin)
            .arg(h.windowRmsMax)
            .arg(h.longestGapMs)
            .arg(h.path)
            .arg(h.tailFrequency);
    }

    PulseControl m_pulse;
    QTemporaryDir m_dir;
    std::unique_ptr<CanberraSoundOutput> m_output;
    std::unique_ptr<QSignalSpy> m_started;
    std::unique_ptr<QSignalSpy> m_failed;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_pulse.isAvailable(), "run by tests/harness/pulse.py");
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        QVERIFY2(m_pulse.thaw() && m_pulse.start(), qPrintable(m_pulse.lastError()));
        newOutput();
    }

    void cleanup()
    {
        QVERIFY(m_pulse.thaw());
        m_failed.reset();
        m_started.reset();
        m_output.reset();
    }

    void toneIsHeardWholeAtItsFrequency_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("hz");
        QTest::newRow("0.12 s at 2500 Hz") << 0.12 << 2500;
        QTest::newRow("1 s at 1000 Hz") << 1.0 << 1000;
        QTest::newRow("2.5 s at 440 Hz") << 2.5 << 440;
    }

    void toneIsHeardWholeAtItsFrequency()
    {
        QFETCH(double, seconds);
        QFETCH(int, hz);
        const QString path = tone(seconds, hz);
        m_output->prepare();
        const Heard h = listen(int(seconds * 1000) + 400, [&] { m_output->play(path); });
        QVERIFY2(h.heard, qPrintable(describe(h)));
        // The tail matters: a sound cut short loses the end of a spoken reminder.
        QVERIFY2(qAbs(h.duration - seconds) < 0.01, qPrintable(describe(h)));
        QVERIFY2(qAbs(h.frequency - hz) < hz * 0.02, qPrintable(describe(h)));
        QVERIFY2(qAbs(h.rms - 0.3536) < 0.02, qPrintable(describe(h)));
        QCOMPARE(m_started->size(), 1);
        QCOMPARE(m_started->at(0).at(0).toString(), path);
        QCOMPARE(m_failed->size(), 0);
        // The null sink's monitor misses the first ms or so of a new stream (paplay too).
        qInfo("%s: heard %+.1f ms against the file", QTest::currentDataTag(),
              (h.duration - seconds) * 1000);
    }

    void lastTenthOfASecondIsHeard_data()
    {
        QTest::addColumn<int>("bits");
        QTest::newRow("16-bit, played as it is") << 16;
        QTest::newRow("24-bit, converted") << 24;
    }

    // Ends on 100 ms of a higher tone: a tail cut short would blur its frequency.
    void lastTenthOfASecondIsHeard()
    {
        QFETCH(int, bits);
        const QString body = m_dir.filePath(QStringLiteral("body.wav"));
        const QString tail = m_dir.filePath(QStringLiteral("tail.wav"));
        const QString path = m_dir.filePath(QStringLiteral("marked-%1.wav").arg(bits));
        QVERIFY(writeFile(body, pcm16Wav(sine(1000, 0.9, 48000, 2, 0.5), 2, 48000)));
        QVERIFY(writeFile(tail, pcm16Wav(sine(3000, 0.1, 48000, 2, 0.5), 2, 48000)));
        QVERIFY(sox({body, tail, QStringLiteral("-b"), QString::number(bits), path}));

        m_output->prepare();
        const Heard h = listen(1400, [&] { m_output->play(path); });
        QVERIFY2(h.heard && qAbs(h.duration - 1.0) < 0.01, qPrintable(describe(h)));
        QVERIFY2(qAbs(h.tailFrequency - 3000) < 60, qPrintable(describe(h)));
    }

    void everyKindOfWavPlaysInFull_data()
    {
        QTest::addColumn<QString>("format"); // sox output options; empty: built by hand
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("checkLevel"); // a downmix of many channels changes the level

        QTest::newRow("8-bit") << "-b 8 -e unsigned-integer" << 0 << 1 << 22050 << true;
        QTest::newRow("16-bit mono") << "-b 16 -e signed-integer" << 0 << 1 << 48000 << true;
        QTest::newRow("16-bit 44.1 kHz") << "-b 16 -e signed-integer" << 0 << 2 << 44100 << true;
        QTest::newRow("16-bit, LIST before data")
            << "" << int(Layout::ListChunkFirst) << 2 << 48000 << true;
        QTest::newRow("16-bit extensible") << "" << int(Layout::Extensible) << 2 << 48000 << true;
        QTest::newRow("16-bit 5.1 extensible")
            << "-b 16 -e signed-integer" << 0 << 6 << 48000 << false;
        QTest::newRow("24-bit extensible") << "-b 24 -e signed-integer" << 0 << 2 << 48000 << true;
        QTest::newRow("32-bit") << "-b 32 -e signed-integer" << 0 << 1 << 96000 << true;
        QTest::newRow("32-bit float") << "-b 32 -e floating-point" << 0 << 2 << 48000 << true;
        QTest::newRow("A-law") << "-e a-law" << 0 << 1 << 8000 << true;
        QTest::newRow("MS ADPCM") << "-e ms-adpcm" << 0 << 1 << 22050 << true;
        QTest::newRow("IMA ADPCM") << "-e ima-adpcm" << 0 << 2 << 22050 << true;
    }

    void everyKindOfWavPlaysInFull()
    {
        QFETCH(QString, format);
        QFETCH(int, layout);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(bool, checkLevel);

        const QString name = QStringLiteral("kind-%1.wav").arg(QTest::currentDataTag());
        QString path = m_dir.filePath(name);
        if (format.isEmpty()) {
            QVERIFY(writeFile(path, pcm16Wav(sine(1000, 0.8, rate, channels, 0.5), channels, rate,
                                             Layout(layout))));
        } else {
            const QByteArray fmt =
                QStringLiteral("-r %1 -c %2 %3").arg(rate).arg(channels).arg(format).toLatin1();
            path = makeSound(name, fmt.constData(), "synth 0.8 sine 1000 vol 0.5");
        }
        QVERIFY(QFile::exists(path));

        m_output->prepare();
        const Heard h = listen(1300, [&] { m_output->play(path); });
        QVERIFY2(h.heard, qPrintable(describe(h)));
        QVERIFY2(qAbs(h.duration - 0.8) < 0.015, qPrintable(describe(h)));
        QVERIFY2(qAbs(h.frequency - 1000) < 30, qPrintable(describe(h)));
        if (checkLevel)
            QVERIFY2(qAbs(h.rms - 0.3536) < 0.03, qPrintable(describe(h)));
        QCOMPARE(m_failed->size(), 0);
        QCOMPARE(m_started->size(), 1);
    }

    void playWhilePlayingRestartsFromTheBeginning_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("replayAfterMs");
        QTest::newRow("16-bit, after 0.5 s") << "-b 16" << 500;
        QTest::newRow("16-bit, after 1.2 s") << "-b 16" << 1200;
        QTest::newRow("24-bit, after 0.5 s") << "-b 24" << 500;
    }

    void playWhilePlayingRestartsFromTheBeginning()
    {
        QFETCH(QString, format);
        QFETCH(int, replayAfterMs);
        // Noise: two copies overlapping would raise the level by 3 dB whatever their phase.
        const QByteArray fmt = QStringLiteral("-r 48000 -c 2 %1").arg(format).toLatin1();
        const QString path = makeSound(QStringLiteral("noise%1.wav").arg(format), fmt.constData(),
                                       "synth 2 whitenoise vol 0.5");
        m_output->prepare();
        qint64 replayedAfterMs = 0;
        const Heard h = listen(2600, [&] {
            QElapsedTimer between;
            m_output->play(path);
            between.start();
            QTest::qWait(replayAfterMs);
            replayedAfterMs = between.elapsed();
            m_output->play(path);
        });
        const double total = replayedAfterMs / 1000.0 + 2.0;
        QVERIFY2(h.heard, qPrintable(describe(h)));
        // What is heard begins when the first sound starts, which a loaded machine may delay by
        // a fraction of a second; it must still be clearly longer than one sound alone.
        QVERIFY2(h.duration > total - startSlack && h.duration < total + 0.05,
                 qPrintable(describe(h) + QStringLiteral(" expected %1").arg(total)));
        // Uniform noise at 0.5 has an RMS of 0.289; two copies at once, 0.408.
        QVERIFY2(h.windowRmsMax < 0.5 / std::sqrt(3.0) * 1.2, qPrintable(describe(h)));
        QVERIFY2(h.longestGapMs <= 20, qPrintable(describe(h)));
        QCOMPARE(m_started->size(), 2);
        QCOMPARE(m_failed->size(), 0);
        qInfo("%s: restart gap %d ms, sound %.3f s for %.3f s expected", QTest::currentDataTag(),
              h.longestGapMs, h.duration, total);
    }

    void stopEndsTheSound_data()
    {
        QTest::addColumn<int>("bits");
        QTest::newRow("16-bit") << 16;
        QTest::newRow("24-bit") << 24;
    }

    void stopEndsTheSound()
    {
        QFETCH(int, bits);
        const QByteArray fmt = QStringLiteral("-r 48000 -c 2 -b %1").arg(bits).toLatin1();
        const QString path = makeSound(QStringLiteral("stopped-%1.wav").arg(bits), fmt.constData(),
                                       "synth 2 sine 1000 vol 0.5");
        m_output->prepare();
        qint64 stoppedAfterMs = 0;
        const Heard h = listen(800, [&] {
            QElapsedTimer timer;
            timer.start();
            m_output->play(path);
            QTest::qWait(500);
            stoppedAfterMs = timer.elapsed();
            m_output->stop();
        });
        const double stoppedAfter = stoppedAfterMs / 1000.0;
        QVERIFY2(h.heard && h.duration > stoppedAfter - startSlack &&
                     h.duration < stoppedAfter + 0.03,
                 qPrintable(describe(h)));
    }

    void unplayableFileFailsPromptlyAndSilently_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        const QByteArray wav = pcm16Wav(sine(1000, 1, 48000, 2, 0.5), 2, 48000);
        QTest::newRow("empty path") << QString() << QByteArray() << "no sound file chosen";
        QTest::newRow("missing file") << "missing.wav" << QByteArray() << "file not found";
        QTest::newRow("zero bytes") << "zero.wav" << QByteArray("") << "file is empty";
        QTest::newRow("not a WAV")
            << "text.wav" << QByteArray("hello\n") << "not a readable WAV file";
        QTest::newRow("cut in the header")
            << "header.wav" << wav.left(30) << "not a readable WAV file";
        QTest::newRow("cut in the sound")
            << "half.wav" << wav.left(wav.size() / 2) << "file is truncated";
    }

    void unplayableFileFailsPromptlyAndSilently()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = name.isEmpty() ? QString() : m_dir.filePath(name);
        if (!content.isNull())
            QVERIFY(writeFile(path, content));

        m_output->prepare();
        qint64 reportedAfterMs = -1;
        const Heard h = listen(600, [&] {
            QElapsedTimer timer;
            timer.start();
            m_output->play(path);
            QVERIFY(m_failed->wait(2000));
            reportedAfterMs = timer.elapsed();
        });
        QVERIFY2(!h.heard, qPrintable(describe(h)));
        QCOMPARE(m_failed->size(), 1);
        QCOMPARE(m_failed->at(0).at(0).toString(), path);
        const QString given = m_failed->at(0).at(1).toString();
        QVERIFY2(given.startsWith(reason), qPrintable(given));
        QCOMPARE(m_started->size(), 0);

        // The player goes on.
        const QString good = tone(0.3);
        const Heard after = listen(700, [&] { m_output->play(good); });
        QVERIFY2(after.heard && qAbs(after.duration - 0.3) < 0.01, qPrintable(describe(after)));
        QCOMPARE(m_started->size(), 1);
        qInfo("%s: reported after %lld ms: %s", QTest::currentDataTag(), reportedAfterMs,
              qPrintable(given));
        QVERIFY2(reportedAfterMs < 500, qPrintable(QString::number(reportedAfterMs)));
    }

    void playWorksOnceTheServerComesUp()
    {
        QVERIFY(m_pulse.stop());
        newOutput();
        m_output->prepare();
        const QString path = tone(0.5);
        m_output->play(path);
        QVERIFY(m_failed->wait(2000));
        QVERIFY2(m_failed->at(0).at(1).toString().startsWith(QLatin1String("sound server")),
                 qPrintable(m_failed->at(0).at(1).toString()));

        QVERIFY(m_pulse.start());
        const Heard h = listen(900, [&] { m_output->play(path); });
        QVERIFY2(h.heard && qAbs(h.duration - 0.5) < 0.01, qPrintable(describe(h)));
        QCOMPARE(m_started->size(), 1);
        QCOMPARE(m_failed->size(), 1);
    }

    void playWorksAfterTheServerRestarts()
    {
        const QString path = tone(0.5);
        m_output->prepare();
        const Heard before = listen(900, [&] { m_output->play(path); });
        QVERIFY2(before.heard, qPrintable(describe(before)));

        QVERIFY(m_pulse.restart());
        const Heard after = listen(900, [&] { m_output->play(path); });
        QVERIFY2(after.heard && qAbs(after.duration - 0.5) < 0.01, qPrintable(describe(after)));
        QCOMPARE(m_started->size(), 2);
        QCOMPARE(m_failed->size(), 0);
    }

    // A new player, then the calls a user can make, each timed; returns the slowest in ns.
    qint64 slowestCallNs(const QString &path)
    {
        qint64 slowest = 0;
        const auto timed = [&](auto call) {
            QElapsedTimer timer;
            timer.start();
            call();
            slowest = qMax(slowest, timer.nsecsElapsed());
        };
        timed([&] { newOutput(); });
        timed([&] { m_output->prepare(); });
        for (int i = 0; i < 10; ++i) {
            timed([&] { m_output->play(path); });
            QTest::qWait(30);
            timed([&] { m_output->stop(); });
        }
        timed([&] { m_output->play(path); });
        return slowest;
    }

    void serverLostWhilePlayingIsReported()
    {
        const QString path = tone(2.0);
        m_output->prepare();
        m_output->play(path);
        QVERIFY(m_started->wait(2000));
        QTest::qWait(300);
        QVERIFY(m_pulse.stop());
        QVERIFY(m_failed->wait(2000));
        QCOMPARE(m_failed->at(0).at(0).toString(), path);
        const QString reason = m_failed->at(0).at(1).toString();
        QVERIFY2(reason.startsWith(QLatin1String("playback broke off")), qPrintable(reason));

        QVERIFY(m_pulse.start());
        const Heard h = listen(900, [&] { m_output->play(tone(0.5)); });
        QVERIFY2(h.heard && qAbs(h.duration - 0.5) < 0.01, qPrintable(describe(h)));
    }

    void callsNeverWaitWhenTheServerIsDown()
    {
        QVERIFY(m_pulse.stop());
        const qint64 slowest = slowestCallNs(tone(0.5));
        qInfo("slowest call %.3f ms", slowest / 1e6);
        QVERIFY2(slowest < 5'000'000, qPrintable(QString::number(slowest)));

        // Plays made while it was away failed; its return plays nothing by itself.
        QVERIFY(m_pulse.start());
        const Heard h = listen(500, [] {});
        QVERIFY2(!h.heard, qPrintable(describe(h)));
        QCOMPARE(m_started->size(), 0);
        QCOMPARE(m_failed->size(), 11);
    }

    void callsNeverWaitWhenTheServerHangs()
    {
        const QString path = tone(0.5);
        qint64 slowest = 0;
        // Recording starts before the server stops answering: a client cannot connect then.
        const Heard h = listen(1500, [&] {
            QVERIFY(m_pulse.freeze());
            slowest = slowestCallNs(path);
            QTest::qWait(200);
            QCOMPARE(m_started->size(), 0);
            QVERIFY(m_pulse.thaw());
        });
        qInfo("slowest call %.3f ms", slowest / 1e6);
        QVERIFY2(slowest < 5'000'000, qPrintable(QString::number(slowest)));
        // Once the server answers, the last play is the one heard.
        QVERIFY2(h.heard && qAbs(h.duration - 0.5) < 0.01, qPrintable(describe(h)));
        QCOMPARE(m_started->size(), 1);
        QCOMPARE(m_failed->size(), 0);
    }

    void destroyingWhileTheServerHangsDoesNotWait()
    {
        qint64 ms = 0;
        const Heard h = listen(1000, [&] {
            QVERIFY(m_pulse.freeze());
            m_output->prepare();
            m_output->play(tone(0.5));
            QTest::qWait(100);
            QElapsedTimer timer;
            timer.start();
            m_failed.reset();
            m_started.reset();
            m_output.reset();
            ms = timer.elapsed();
            // The abandoned thread ends once the server answers, and plays nothing.
            QVERIFY(m_pulse.thaw());
        });
        qInfo("destroyed in %lld ms", ms);
        QVERIFY2(ms < 1500, qPrintable(QString::number(ms)));
        QVERIFY2(!h.heard, qPrintable(describe(h)));
    }

    void stopOrNewerPlayWinsOverAnOlderPlay_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("thenPlayTone");
        QTest::newRow("stop at once") << 0 << false;
        QTest::newRow("stop during conversion") << 15 << false;
        QTest::newRow("other file at once") << 0 << true;
        QTest::newRow("other file during conversion") << 15 << true;
    }

    void stopOrNewerPlayWinsOverAnOlderPlay()
    {
        QFETCH(int, delayMs);
        QFETCH(bool, thenPlayTone);
        // Long enough that its conversion is still going when the next request comes.
        const QString slow =
            m_dir.filePath(QStringLiteral("slow-%1.wav").arg(QTest::currentDataTag()));
        QVERIFY(sox({QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("96000"),
                     QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                     QStringLiteral("32"), QStringLiteral("-e"), QStringLiteral("floating-point"),
                     slow, QStringLiteral("synth"), QStringLiteral("60"), QStringLiteral("sine"),
                     QStringLiteral("440")}));
        const QString quick = tone(0.4, 2000);
        m_output->prepare();
        QTest::qWait(100);
        const Heard h = listen(900, [&] {
            m_output->play(slow);
            if (delayMs)
                QTest::qWait(delayMs);
            if (thenPlayTone)
                m_output->play(quick);
            else
                m_output->stop();
        });
        for (const QList<QVariant> &started : std::as_const(*m_started))
            QCOMPARE(started.at(0).toString(), quick);
        QCOMPARE(m_failed->size(), 0);
        if (thenPlayTone) {
            QVERIFY2(h.heard && qAbs(h.duration - 0.4) < 0.01 && qAbs(h.frequency - 2000) < 40,
                     qPrintable(describe(h)));
        } else {
            QVERIFY2(!h.heard, qPrintable(describe(h)));
        }
    }

    void editedFileIsPlayedAsItIsNow_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("16-bit") << "-r 48000 -c 2 -b 16";
        QTest::newRow("24-bit") << "-r 48000 -c 2 -b 24";
    }

    void editedFileIsPlayedAsItIsNow()
    {
        QFETCH(QString, format);
        const QString name = QStringLiteral("edited-%1.wav").arg(QTest::currentDataTag());
        const QByteArray fmt = format.toLatin1();
        const QString path = makeSound(name, fmt.constData(), "synth 0.4 sine 500 vol 0.5");
        m_output->prepare();
        const Heard first = listen(800, [&] { m_output->play(path); });
        QVERIFY2(qAbs(first.frequency - 500) < 10, qPrintable(describe(first)));

        QTest::qWait(20); // a new modification time, same size
        makeSound(name, fmt.constData(), "synth 0.4 sine 1500 vol 0.5");
        const Heard second = listen(800, [&] { m_output->play(path); });
        QVERIFY2(qAbs(second.frequency - 1500) < 30 && qAbs(second.duration - 0.4) < 0.01,
                 qPrintable(describe(second)));
    }

    void latencyIsLow_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("prepared");
        QTest::newRow("16-bit") << "-r 48000 -c 2 -b 16" << true;
        QTest::newRow("16-bit, not prepared") << "-r 48000 -c 2 -b 16" << false;
        QTest::newRow("24-bit, converted once") << "-r 48000 -c 2 -b 24" << true;
    }

    // From the call to the sound, as the sink's monitor hears it. Two figures: when the sink
    // rendered the sound (a few ms early at worst) and when the recorder got it (never early).
    void latencyIsLow()
    {
        QFETCH(QString, format);
        QFETCH(bool, prepared);
        const QByteArray fmt = format.toLatin1();
        constexpr int rounds = 5;
        QList<double> first, firstBound, again, againBound;
        for (int i = 0; i < rounds; ++i) {
            // A new player and a new file each round: nothing cached, as at the first reminder.
            newOutput();
            if (prepared)
                m_output->prepare();
            QTest::qWait(50);
            const QString path =
                makeSound(QStringLiteral("latency-%1-%2.wav").arg(QTest::currentDataTag()).arg(i),
                          fmt.constData(), "synth 0.2 sine 1000 vol 0.5");
            for (auto [series, bound] : {std::pair{&first, &firstBound}, {&again, &againBound}}) {
                qint64 calledNs = 0;
                const Heard h = listen(400, [&] {
                    calledNs = monotonicNs();
                    m_output->play(path);
                });
                QVERIFY2(h.heard && h.onsetNs > 0 && h.onsetArrivalNs > 0, qPrintable(describe(h)));
                series->append((h.onsetNs - calledNs) / 1e6);
                bound->append((h.onsetArrivalNs - calledNs) / 1e6);
            }
        }
        const auto summary = [](QList<double> ms) {
            std::sort(ms.begin(), ms.end());
            return QStringLiteral("median %1 ms, max %2 ms")
                .arg(ms.at(ms.size() / 2), 0, 'f', 1)
                .arg(ms.constLast(), 0, 'f', 1);
        };
        qInfo("%s, %d rounds. First play: rendered %s; received %s. Played again: rendered %s; "
              "received %s",
              QTest::currentDataTag(), rounds, qPrintable(summary(first)),
              qPrintable(summary(firstBound)), qPrintable(summary(again)),
              qPrintable(summary(againBound)));
        std::sort(firstBound.begin(), firstBound.end());
        QVERIFY2(firstBound.at(rounds / 2) < 100, qPrintable(summary(firstBound)));
        QVERIFY2(*std::max_element(againBound.begin(), againBound.end()) < 100,
                 qPrintable(summary(againBound)));
    }
};

QUORVEL_PULSE_TEST_MAIN(TestCanberraSoundOutput)
#include "tst_canberrasoundoutput.moc"
