#include "schedule/alarm.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/timerfd.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcAlarm, "quorvel.alarm")

namespace {

// A timerfd on CLOCK_REALTIME with an absolute time: the kernel wakes us when the wall clock
// reaches it, and with TFD_TIMER_CANCEL_ON_SET the read fails with ECANCELED as soon as the
// clock is set (by hand, NTP stepping it, resuming from suspend).
class TimerFdAlarm final : public Alarm
{
public:
    TimerFdAlarm() : m_fd(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC))
    {
        if (m_fd < 0) {
            qCWarning(lcAlarm) << "no timerfd:" << std::strerror(errno) << "- falling back";
            m_fallback.setSingleShot(true);
            m_fallback.setTimerType(Qt::PreciseTimer);
            connect(&m_fallback, &QTimer::timeout, this, &Alarm::rang);
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &TimerFdAlarm::onReadable);
    }
    ~TimerFdAlarm() override
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TimerFdAlarm(const TimerFdAlarm &) = delete;
    TimerFdAlarm &operator=(const TimerFdAlarm &) = delete;

    void arm(const QDateTime &when) override
    {
        if (m_fd < 0) {
            const qint64 ms = QDateTime::currentDateTime().msecsTo(when);
            m_fallback.start(int(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())));
            return;
        }
        const qint64 ms = when.toMSecsSinceEpoch();
        itimerspec moment{};
        // Zero would disarm: the start of the epoch stands for "already past".
        moment.it_value.tv_sec = ms > 0 ? ms / 1000 : 0;
        moment.it_value.tv_nsec = ms > 0 ? (ms % 1000) * 1'000'000 : 1;
        set(moment);
    }

    void disarm() override
    {
        if (m_fd < 0) {
            m_fallback.stop();
            return;
        }
        set({});
    }

private:
    void set(const itimerspec &moment)
    {
        if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &moment,
                              nullptr) != 0) {
            // ECANCELED: the clock was set since the last arming; the owner works the moment out
            // afresh and arms again.
            if (errno == ECANCELED)
                QMetaObject::invokeMethod(this, &Alarm::clockChanged, Qt::QueuedConnection);
            else
                qCWarning(lcAlarm) << "cannot arm:" << std::strerror(errno);
        }
    }

    void onReadable()
    {
        std::uint64_t expirations = 0;
        if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations) {
            Q_EMIT rang();
        } else if (errno == ECANCELED) {
            Q_EMIT clockChanged();
        }
    }

    int m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_fallback;
};

} // namespace

std::unique_ptr<Alarm> createAlarm()
{
    return std::make_unique<TimerFdAlarm>();
}
