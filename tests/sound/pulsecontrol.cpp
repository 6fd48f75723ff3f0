#include "pulsecontrol.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QList>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr const char *controlVariable = "QUORVEL_PULSE_CONTROL";
// Starting and warming up a server takes about 2 s; a restart twice that.
constexpr int replyTimeoutMs = 60000;
} // namespace

PulseControl::PulseControl()
{
    const QList<QByteArray> fds = qgetenv(controlVariable).split(',');
    if (fds.size() == 2) {
        m_write = fds[0].toInt();
        m_read = fds[1].toInt();
    }
}

void PulseControl::reexecUnderHarness(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(controlVariable))
        return;
    std::vector<char *> args{const_cast<char *>(QUORVEL_PYTHON),
                             const_cast<char *>(QUORVEL_PULSE_HARNESS), const_cast<char *>("run"),
                             const_cast<char *>("--")};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    execv(QUORVEL_PYTHON, args.data());
    std::perror("cannot run the sound server harness");
    std::exit(127);
}

bool PulseControl::call(const char *command, QJsonObject *reply)
{
    if (!isAvailable()) {
        m_error = QStringLiteral("not run by the harness");
        return false;
    }
    const QByteArray line = QByteArray(command) + '\n';
    if (::write(m_write, line.constData(), size_t(line.size())) != line.size()) {
        m_error = QStringLiteral("cannot write to the harness");
        return false;
    }
    QByteArray answer;
    while (!answer.endsWith('\n')) {
        pollfd pfd{m_read, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, replyTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            m_error = QStringLiteral("no answer from the harness to %1").arg(command);
            return false;
        }
        char buffer[4096];
        const ssize_t got = ::read(m_read, buffer, sizeof buffer);
        if (got <= 0) {
            m_error = QStringLiteral("the harness went away");
            return false;
        }
        answer.append(buffer, got);
    }
    const QJsonObject object = QJsonDocument::fromJson(answer).object();
    if (!object.value(QStringLiteral("ok")).toBool()) {
        m_error = object.value(QStringLiteral("error")).toString();
        return false;
    }
    if (reply)
        *reply = object;
    return true;
}

Heard PulseControl::endRecord()
{
    QJsonObject r;
    if (!call("endrecord", &r))
        return {};
    Heard h;
    h.heard = r.value(QStringLiteral("heard")).toBool();
    h.start = r.value(QStringLiteral("start")).toDouble();
    h.duration = r.value(QStringLiteral("duration")).toDouble();
    h.frequency = r.value(QStringLiteral("frequency")).toDouble();
    h.tailFrequency = r.value(QStringLiteral("tail_frequency")).toDouble();
    h.rms = r.value(QStringLiteral("rms")).toDouble();
    h.windowRmsMin = r.value(QStringLiteral("window_rms_min")).toDouble();
    h.windowRmsMax = r.value(QStringLiteral("window_rms_max")).toDouble();
    h.longestGapMs = r.value(QStringLiteral("longest_gap_ms")).toInt();
    h.onsetNs = qint64(r.value(QStringLiteral("onset_ns")).toDouble());
    h.onsetArrivalNs = qint64(r.value(QStringLiteral("onset_arrival_ns")).toDouble());
    h.path = r.value(QStringLiteral("path")).toString();
    return h;
}
