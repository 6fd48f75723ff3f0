// The sound backend against a PulseAudio server of its own, heard through its sink's monitor.

#include "sound/soundoutput.h"

#include <QtTest>

#include <csignal>

#include <sys/prctl.h>

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

    // Children are killed with the test, however it ends, so no server outlives it.
    static void launch(QProcess &process, const QString &command)
    {
        QStringList args = QProcess::splitCommand(command);
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process.start(args.takeFirst(), args);
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
                                               ": >empty && echo a reminder >'not a WAV'"}) == 0);
    }

    void init()
    {
        if (m_server.state() != QProcess::Running)
            setServer(true);
        m_output = createSoundOutput();
        m_started = std::make_unique<QSignalSpy>(m_output.get(), &SoundOutput::playStarted);
        m_failed = std::make_unique<QSignalSpy>(m_output.get(), &SoundOutput::playFailed);
    }

    void cleanup()
    {
        m_output.reset();
        if (QTest::currentTestFailed())
            setServer(false); // the next test gets a fresh one
    }

    void cleanupTestCase() { setServer(false); }

    void fileIsHeardWholeOrFailsSilently_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("event"); // before the play, or during it
        QTest::addColumn<bool>("plays");
        QTest::newRow("16-bit PCM, played as is") << file("16.wav") << "" << true;
        QTest::newRow("24-bit PCM, converted") << file("24.wav") << "" << true;
        QTest::newRow("server came up later") << file("16.wav") << "server came up" << true;
        QTest::newRow("server restarted") << file("16.wav") << "server restarted" << true;
        QTest::newRow("second play starts over") << file("16.wav") << "play again" << true;
        QTest::newRow("stop ends the sound") << file("16.wav") << "stop" << true;
        QTest::newRow("missing") << file("missing") << "" << false;
        QTest::newRow("empty") << file("empty") << "" << false;
        QTest::newRow("not a WAV") << file("not a WAV") << "" << false;
    }

    void fileIsHeardWholeOrFailsSilently()
    {
        QFETCH(QString, path);
        QFETCH(QString, event);
        QFETCH(bool, plays);
        if (event == "server came up")
            setServer(false);
        m_output->prepare();
        if (event.startsWith("server")) {
            m_output->play(path);
            QVERIFY((event == "server came up" ? m_failed : m_started)->wait(5000));
            QTest::qWait(1700); // until a sound that started has ended
            setServer(true);
            m_started->clear();
            m_failed->clear();
        }
        QSignalSpy &answer = plays ? *m_started : *m_failed;
        double expected = plays ? 1.5 : 0;
        const auto [heard, loudest] = listen(1800, [&] {
            m_output->play(path);
            QVERIFY(answer.wait(plays ? 5000 : 1000));
            if (event == "play again" || event == "stop") {
                QElapsedTimer timer;
                timer.start();
                QTest::qWait(500);
                expected = timer.elapsed() / 1000.0 + (event == "stop" ? 0 : 1.5);
                event == "stop" ? m_output->stop() : m_output->play(path);
                QVERIFY(event == "stop" || answer.wait(5000));
            }
        });
        QCOMPARE(answer.size(), event == "play again" ? 2 : 1);
        QCOMPARE(answer.at(0).at(0).toString(), path);
        QVERIFY(plays || !answer.at(0).at(1).toString().isEmpty()); // a reason
        QCOMPARE((plays ? m_failed : m_started)->size(), 0);
        // Uniform noise at half of full scale has an RMS of 0.289; two copies at any offset, 0.408.
        QVERIFY2(plays ? heard > expected - 0.1 && heard < expected + 0.3 &&
                             qAbs(loudest - 0.3) < 0.04
                       : heard == 0,
                 qPrintable(QStringLiteral("expected %1 s").arg(expected)));
    }

    void noCallWaitsForTheServer_data()
    {
        QTest::addColumn<bool>("hung");
        QTest::newRow("no server") << false;
        QTest::newRow("server hangs") << true;
    }

    void noCallWaitsForTheServer()
    {
        QFETCH(bool, hung);
        // SIGSTOP leaves a server that accepts connections and answers nothing.
        ::kill(pid_t(m_server.processId()), hung ? SIGSTOP : SIGKILL);
        QElapsedTimer timer;
        timer.start();
        m_output->prepare();
        m_output->play(file("16.wav"));
        QCOMPARE_LT(timer.elapsed(), 500);
        QTest::qWait(300); // the worker now waits on the server, if it can
        timer.start();
        m_output->stop();
        m_output->play(file("16.wav"));
        QCOMPARE_LT(timer.elapsed(), 500);
        QVERIFY(hung ? !m_started->wait(500) : m_failed->wait(5000));
        timer.start();
        m_output.reset();
        QCOMPARE_LT(timer.elapsed(), 3000);
        setServer(false); // and with it what still waits on it, so that nothing of it plays later
    }
};

QTEST_GUILESS_MAIN(TestSoundOutput)
#include "tst_soundoutput.moc"
