// The sound backend against a PulseAudio server of its own, heard through its sink's monitor.

#include "sound/soundoutput.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <numeric>
#include <vector>

#include <sys/prctl.h>

namespace {

constexpr int rate = 48000;

// Children are killed with the test, however it ends, so no server outlives it.
void launch(QProcess &process, const QString &command)
{
    QStringList args = QProcess::splitCommand(command);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(args.takeFirst(), args);
}

void end(QProcess &process)
{
    process.kill(); // a frozen server would not see a SIGTERM
    process.waitForFinished();
}

// What the sink played, from its first sample above -40 dBFS to its last.
struct Heard
{
    double recorded = 0; // seconds, all of the recording
    double seconds = 0;
    double rms = 0; // full scale is 1
    double hz = 0;
    double loudestRms = 0; // of its 20 ms windows
    QString text;
};

Heard analyse(const QByteArray &raw)
{
    std::vector<double> x(std::size_t(raw.size() / 2));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = qFromLittleEndian<qint16>(raw.constData() + 2 * i) / 32768.0;
    const auto loud = [](double v) { return std::abs(v) > 0.01; };
    const auto first = std::find_if(x.begin(), x.end(), loud);
    const auto last = std::find_if(x.rbegin(), x.rend(), loud).base();
    Heard h;
    h.recorded = double(x.size()) / rate;
    if (first != x.end()) {
        const auto rms = [](auto from, auto to) {
            return std::sqrt(std::inner_product(from, to, from, 0.0) / double(to - from));
        };
        constexpr int window = rate / 50;
        for (auto w = first; last - w >= window; w += window)
            h.loudestRms = std::max(h.loudestRms, rms(w, w + window));
        int rises = 0;
        for (auto i = first + 1; i != last; ++i)
            rises += i[-1] < 0 && i[0] >= 0;
        h.seconds = double(last - first) / rate;
        h.rms = rms(first, last);
        h.hz = rises / h.seconds;
    }
    h.text = QString::asprintf("heard %.3f s of %.3f s, RMS %.3f, %.0f Hz, loudest 20 ms RMS %.3f",
                               h.seconds, h.recorded, h.rms, h.hz, h.loudestRms);
    return h;
}

} // namespace

class TestSoundOutput : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QProcess m_silence;
    std::unique_ptr<SoundOutput> m_output;
    std::unique_ptr<QSignalSpy> m_started;
    std::unique_ptr<QSignalSpy> m_failed;

    QString file(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    bool startServer()
    {
        if (m_server.state() != QProcess::NotRunning)
            return true;
        launch(m_server, QStringLiteral("pulseaudio -n --daemonize=no --exit-idle-time=-1 "
                                        "--use-pid-file=no --realtime=no --log-target=file:%1.log "
                                        "\"--load=module-native-protocol-unix auth-anonymous=1 "
                                        "socket=%1\" \"--load=module-null-sink "
                                        "sink_name=testsink rate=48000 channels=2\"")
                             .arg(file("native")));
        // Clients may connect once the socket is there: the server takes them after its modules.
        for (int tries = 0; !QFile::exists(file("native")); ++tries) {
            if (m_server.state() == QProcess::NotRunning || tries > 500)
                return false;
            QTest::qWait(20);
        }
        // The monitor of an idle null sink lags by seconds; a stream of silence keeps it in time
        // once a first recording has begun.
        m_silence.setStandardInputFile(QStringLiteral("/dev/zero"));
        launch(m_silence, QStringLiteral("pacat --playback --device=testsink --latency-msec=20"));
        return true;
    }

    void stopServer()
    {
        end(m_silence);
        end(m_server);
        QFile::remove(file("native"));
    }

    // SIGSTOP leaves a server that accepts connections and answers nothing.
    void signalServer(int sig)
    {
        if (m_server.state() == QProcess::Running)
            ::kill(pid_t(m_server.processId()), sig);
    }

    void newOutput()
    {
        m_output = createSoundOutput();
        m_started = std::make_unique<QSignalSpy>(m_output.get(), &SoundOutput::playStarted);
        m_failed = std::make_unique<QSignalSpy>(m_output.get(), &SoundOutput::playFailed);
    }

    // Records the sink's monitor, mixed down to mono, while `action` runs and `ms` after it.
    template<typename Action> Heard listen(int ms, Action action)
    {
        QProcess parec;
        launch(parec, QStringLiteral("parec --device=testsink.monitor --raw --format=s16le "
                                     "--channels=1 --rate=48000 --latency-msec=5"));
        if (!parec.waitForReadyRead(10000))
            qFatal("the recording does not start");
        action();
        QTest::qWait(ms);
        end(parec);
        const Heard heard = analyse(parec.readAll());
        qInfo("%s", qPrintable(heard.text));
        // "Nothing heard" must not pass on a recording that broke off.
        if (heard.recorded < ms / 1000.0 - 0.1)
            qFatal("the recording broke off");
        return heard;
    }

    void playAndWaitUntilStarted(const QString &path)
    {
        m_output->play(path);
        QVERIFY(m_started->wait(5000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Read by libpulse at each connection, in this process and in the tools it starts.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(file("native")));
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        // Keeps the server off any session bus of the machine.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(file("nobus")));
        for (const char *sound :
             {"-n -r 48000 -c 1 -b 16 %1/tone.wav synth 1 sine 1000 vol 0.5",
              "-n -r 48000 -c 1 -b 24 %1/tone24.wav synth 1 sine 440 vol 0.5",
              "-n -r 48000 -c 1 -b 16 %1/noise.wav synth 1.5 whitenoise vol 0.5"}) {
            const QString args = QString::fromLatin1(sound).arg(m_dir.path());
            QVERIFY2(QProcess::execute(QStringLiteral("sox"), QProcess::splitCommand(args)) == 0,
                     sound);
        }
    }

    void init()
    {
        signalServer(SIGCONT);
        QVERIFY(startServer());
        newOutput();
    }

    void cleanup() { m_output.reset(); }

    void cleanupTestCase() { stopServer(); }

    void fileIsHeardWholeAtItsFrequency_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("hz");
        QTest::addColumn<QString>("server"); // since the output was made
        QTest::newRow("16-bit PCM, played as is") << file("tone.wav") << 1000 << "up";
        QTest::newRow("24-bit PCM, converted") << file("tone24.wav") << 440 << "up";
        QTest::newRow("server came up later") << file("tone.wav") << 1000 << "came up";
        QTest::newRow("server restarted") << file("tone.wav") << 1000 << "restarted";
    }

    void fileIsHeardWholeAtItsFrequency()
    {
        QFETCH(QString, path);
        QFETCH(int, hz);
        QFETCH(QString, server);
        if (server == "came up") {
            stopServer();
            newOutput();
        }
        m_output->prepare();
        if (server != "up") {
            m_output->play(path);
            QVERIFY((server == "came up" ? m_failed : m_started)->wait(5000));
            QTest::qWait(1200); // until a sound that started has ended
            stopServer();
            QVERIFY(startServer());
            m_started->clear();
            m_failed->clear();
        }
        const Heard h = listen(1200, [&] { playAndWaitUntilStarted(path); });
        // A sine at half of full scale has an RMS of 0.354.
        QVERIFY2(qAbs(h.seconds - 1) < 0.03 && qAbs(h.hz - hz) < hz * 0.03 &&
                     qAbs(h.rms - 0.354) < 0.03,
                 qPrintable(h.text));
        QCOMPARE(m_started->size(), 1);
        QCOMPARE(m_started->at(0).at(0).toString(), path);
        QCOMPARE(m_failed->size(), 0);
    }

    void unplayableFileFailsPromptlyAndSilently_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("not a WAV") << QByteArray("a reminder, in words\n");
    }

    void unplayableFileFailsPromptlyAndSilently()
    {
        QFETCH(QByteArray, content);
        const QString path = file(QTest::currentDataTag());
        QFile out(path);
        QVERIFY(content.isNull() ||
                (out.open(QIODevice::WriteOnly) && out.write(content) >= 0 && out.flush()));
        m_output->prepare();
        qint64 ms = 0;
        const Heard h = listen(500, [&] {
            QElapsedTimer timer;
            timer.start();
            m_output->play(path);
            QVERIFY(m_failed->wait(5000));
            ms = timer.elapsed();
        });
        QVERIFY2(m_failed->size() == 1 && ms < 1000, qPrintable(QString::number(ms)));
        QCOMPARE(m_failed->at(0).at(0).toString(), path);
        QVERIFY(!m_failed->at(0).at(1).toString().isEmpty());
        QCOMPARE(m_started->size(), 0);
        QVERIFY2(h.seconds == 0, qPrintable(h.text));
    }

    void secondCallWhilePlaying_data()
    {
        QTest::addColumn<bool>("again");
        QTest::newRow("second play restarts from the beginning") << true;
        QTest::newRow("stop ends the sound") << false;
    }

    void secondCallWhilePlaying()
    {
        QFETCH(bool, again);
        const QString path = file("noise.wav");
        m_output->prepare();
        double after = 0;
        const Heard h = listen(1800, [&] {
            playAndWaitUntilStarted(path);
            QElapsedTimer timer;
            timer.start();
            QTest::qWait(500);
            after = timer.elapsed() / 1000.0;
            again ? playAndWaitUntilStarted(path) : m_output->stop();
        });
        const double expected = after + (again ? 1.5 : 0);
        // Uniform noise at 0.5 has an RMS of 0.289; two copies at any offset, 0.408.
        QVERIFY2(h.seconds > expected - 0.1 && h.seconds < expected + 0.5 && h.loudestRms < 0.35,
                 qPrintable(h.text + QStringLiteral(", expected %1 s").arg(expected)));
        QCOMPARE(m_started->size(), again ? 2 : 1);
        QCOMPARE(m_failed->size(), 0);
    }

    void noCallWaitsForTheServer_data()
    {
        QTest::addColumn<bool>("hung");
        QTest::newRow("server hangs") << true;
        QTest::newRow("no server") << false;
    }

    void noCallWaitsForTheServer()
    {
        QFETCH(bool, hung);
        hung ? signalServer(SIGSTOP) : stopServer();
        QElapsedTimer timer;
        timer.start();
        newOutput();
        m_output->prepare();
        m_output->play(file("tone.wav"));
        qint64 slowest = timer.elapsed();
        QTest::qWait(300); // the worker now waits on the server, if it can
        timer.start();
        m_output->stop();
        m_output->play(file("tone.wav"));
        slowest = std::max(slowest, timer.elapsed());
        QVERIFY2(slowest < 500, qPrintable(QString::number(slowest)));
        QVERIFY(hung ? !m_started->wait(500) : m_failed->wait(5000));
        timer.start();
        cleanup();
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        // Ends what still waits on the hung server, so that nothing of it plays later.
        stopServer();
    }
};

QTEST_GUILESS_MAIN(TestSoundOutput)
#include "tst_soundoutput.moc"
