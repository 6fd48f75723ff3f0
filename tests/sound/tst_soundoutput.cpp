// The sound backend against a PulseAudio server of its own, heard through its sink's monitor.

#include "sound/soundoutput.h"

#include <QtTest>

#include <csignal>

#include <sys/prctl.h>

class TestSoundOutput : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server, m_silence;
    std::unique_ptr<SoundOutput> m_output;

    QString file(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    // Children are killed with the test, however it ends, so no server outlives it.
    static void launch(QProcess &process, const QString &command)
    {
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process.startCommand(command);
    }

    // Ends the server, then starts a fresh one if `up`.
    void setServer(bool up)
    {
        for (QProcess *process : {&m_silence, &m_server}) {
            process->kill(); // a frozen server would not see a SIGTERM
            process->waitForFinished();
        }
        QFile::remove(file("native"));
        if (!up)
            return;
        launch(m_server, QStringLiteral("pulseaudio -n --daemonize=no --exit-idle-time=-1 "
                                        "--use-pid-file=no --realtime=no --log-target=file:%1.log "
                                        "\"--load=module-native-protocol-unix auth-anonymous=1 "
                                        "socket=%1\" \"--load=module-null-sink "
                                        "sink_name=testsink rate=48000 channels=2\"")
                             .arg(file("native")));
        // Clients may connect once the socket is there: the server takes them after its modules.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file("native")), 10000);
        // The monitor of an idle null sink lags by seconds; a stream of silence keeps it in time.
        m_silence.setStandardInputFile(QStringLiteral("/dev/zero"));
        launch(m_silence, QStringLiteral("pacat --playback --device=testsink --latency-msec=20"));
    }

    // Records the sink's monitor, mixed down to mono, while `action` runs and `ms` after it.
    // Gives how long it heard anything above -26 dBFS, and the RMS of its loudest 20 ms.
    template<typename Action> std::pair<double, double> listen(int ms, Action action)
    {
        QProcess parec;
        launch(parec, QStringLiteral("parec --device=testsink.monitor --raw --format=s16le "
                                     "--channels=1 --rate=48000 --latency-msec=5"));
        if (!parec.waitForReadyRead(10000))
            qFatal("the recording does not start");
        action();
        QTest::qWait(ms);
        parec.kill();
        parec.waitForFinished();
        const QByteArray raw = parec.readAll();
        // "Nothing heard" must not pass on a recording that broke off.
        if (raw.size() < (ms - 100) * 96)
            qFatal("the recording broke off");
        double seconds = 0, loudest = 0;
        for (qsizetype w = 0; w + 1920 <= raw.size(); w += 1920) {
            double sum = 0;
            for (qsizetype i = w; i < w + 1920; i += 2)
                sum += std::pow(qFromLittleEndian<qint16>(raw.constData() + i) / 32768.0, 2);
            seconds += sum > 960 * 0.05 * 0.05 ? 0.02 : 0;
            loudest = std::max(loudest, std::sqrt(sum / 960));
        }
        qInfo("heard %.2f s, loudest 20 ms RMS %.3f", seconds, loudest);
        return {seconds, loudest};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
        // Read by libpulse at each connection, in this process and in the tools it starts.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(file("native")));
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        // Keeps the server off any session bus of the machine.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(file("nobus")));
        QVERIFY(QProcess::execute("sh", {"-c", "sox -n -r 48000 -c 1 -b 16 16.wav synth 1.5 "
                                               "whitenoise vol 0.5 && sox 16.wav -b 24 24.wav && "
                                               "echo a reminder >'not a WAV'"}) == 0);
    }
    void init()
    {
        if (m_server.state() != QProcess::Running)
            setServer(true);
        m_output = createSoundOutput();
    }
    void cleanup()
    {
        m_output.reset();
        if (QTest::currentTestFailed())
            setServer(false); // the next test gets a fresh one
    }
    void cleanupTestCase() { setServer(false); }

    // Before the play that is heard, the server was down (a play failed) or restarted after a
    // play; `again`: played again half a second in, when the first must stop.
    void fileIsHeardWholeOrFailsSilently_data()
    {
        for (const char *column : {"path", "before"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<bool>("again");
        QTest::addColumn<double>("seconds"); // of sound from the first play; 0: it fails
        const auto row = [this](const char *name, const char *path, const char *before, bool again,
                                double seconds) {
            QTest::newRow(name) << file(path) << QString(before) << again << seconds;
        };
        row("16-bit PCM, played as is", "16.wav", "", false, 1.5);
        row("24-bit PCM, converted", "24.wav", "", false, 1.5);
        row("server came up later", "16.wav", "down", false, 1.5);
        row("server restarted", "16.wav", "restarted", false, 1.5);
        row("second play starts over", "16.wav", "", true, 2.0);
        row("not a WAV", "not a WAV", "", false, 0);
    }
    void fileIsHeardWholeOrFailsSilently()
    {
        QFETCH(QString, path);
        QFETCH(QString, before);
        QFETCH(bool, again);
        QFETCH(double, seconds);
        QSignalSpy started(m_output.get(), &SoundOutput::playStarted);
        QSignalSpy failed(m_output.get(), &SoundOutput::playFailed);
        if (before == "down")
            setServer(false);
        m_output->prepare();
        if (!before.isEmpty()) {
            m_output->play(path);
            QVERIFY((before == "down" ? failed : started).wait(5000));
            QTest::qWait(1700); // until a sound that started has ended
            setServer(true);
            started.clear();
            failed.clear();
        }
        QSignalSpy &answer = seconds ? started : failed;
        const auto [heard, loudest] = listen(1800, [&] {
            m_output->play(path);
            QVERIFY(answer.wait(seconds ? 5000 : 1000));
            if (again) {
                QElapsedTimer waited;
                waited.start();
                QTest::qWait(500);
                seconds += waited.elapsed() / 1000.0 - 0.5;
                m_output->play(path);
                QVERIFY(answer.wait(5000));
            }
        });
        QCOMPARE(answer.size(), again ? 2 : 1);
        QCOMPARE(answer.at(0).at(0).toString(), path);
        QVERIFY(seconds || !answer.at(0).at(1).toString().isEmpty()); // a reason
        QCOMPARE((seconds ? failed : started).size(), 0);
        // Uniform noise at half of full scale has an RMS of 0.289; two copies at any offset, 0.408.
        const bool whole = heard > seconds - 0.1 && heard < seconds + 0.3;
        QVERIFY2(seconds ? whole && qAbs(loudest - 0.3) < 0.04 : heard == 0,
                 qPrintable(QStringLiteral("expected %1 s").arg(seconds)));
    }
};

QTEST_GUILESS_MAIN(TestSoundOutput)
#include "tst_soundoutput.moc"
