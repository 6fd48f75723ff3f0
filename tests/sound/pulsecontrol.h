#pragma once

#include <QJsonObject>
#include <QString>

// What the harness heard in a recording of the test sink (see tests/harness/pulse.py).
struct Heard
{
    bool heard = false;
    double start = 0; // seconds from the start of the recording
    double duration = 0;
    double frequency = 0;
    double tailFrequency = 0; // of the last 100 ms heard
    double rms = 0;
    double windowRmsMin = 0; // over 20 ms windows inside the heard part
    double windowRmsMax = 0;
    int longestGapMs = 0;
    // CLOCK_MONOTONIC, as std::chrono::steady_clock: when the sink rendered the first heard
    // sample (may be a few ms early), and when it reached the recorder (never early).
    qint64 onsetNs = 0;
    qint64 onsetArrivalNs = 0;
    QString path; // the recording, kept until the harness ends
};

// Steers the private sound server of tests/harness/pulse.py, which runs this test.
class PulseControl
{
public:
    PulseControl();

    bool isAvailable() const { return m_write >= 0 && m_read >= 0; }
    bool start() { return call("start"); }
    bool stop() { return call("stop"); }
    bool restart() { return call("restart"); }
    bool freeze() { return call("freeze"); }
    bool thaw() { return call("thaw"); }
    bool record() { return call("record"); }
    Heard endRecord();
    QString lastError() const { return m_error; }

    // Runs the calling test again under the harness, unless it already runs there.
    static void reexecUnderHarness(int argc, char **argv);

private:
    bool call(const char *command, QJsonObject *reply = nullptr);

    int m_write = -1;
    int m_read = -1;
    QString m_error;
};

#define QUORVEL_PULSE_TEST_MAIN(TestObject)                                                        \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        PulseControl::reexecUnderHarness(argc, argv);                                              \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
