#include "taskrules.h"

#include "power/poweraction.h"

namespace TaskRules {

const QStringList &taskNames()
{
    static const QStringList names = [] {
        QStringList n{QStringLiteral("  ")};
        for (const PowerActions::Info &a : PowerActions::all)
            n << QString::fromUtf8(a.caption);
        return n;
    }();
    return names;
}

const QStringList &reminderMinutes()
{
    static const QStringList minutes{
        QStringLiteral("1"),  QStringLiteral("2"),  QStringLiteral("3"),
        QStringLiteral("4"),  QStringLiteral("5"),  QStringLiteral("10"),
        QStringLiteral("20"), QStringLiteral("30"), QStringLiteral("60")};
    return minutes;
}

namespace {
constexpr int secondsPerDay = 24 * 60 * 60;
constexpr int minutesPerDay = 24 * 60;

int minuteOfDay(QTime t)
{
    return t.hour() * 60 + t.minute();
}
int secondOfDay(QTime t)
{
    return t.hour() * 3600 + t.minute() * 60 + t.second();
}
int secondsSince(QTime target, QTime t)
{
    return ((secondOfDay(t) - secondOfDay(target)) % secondsPerDay + secondsPerDay) % secondsPerDay;
}
} // namespace

int minutesUntil(QTime now, QTime target)
{
    return ((minuteOfDay(target) - minuteOfDay(now)) % minutesPerDay + minutesPerDay) %
           minutesPerDay;
}

int secondsUntil(QTime now, QTime target)
{
    return secondsSince(now, target);
}

std::optional<int> secondsSincePassed(const QDateTime &previousTick, const QDateTime &now,
                                      QTime time)
{
    const qint64 elapsed = previousTick.secsTo(now);
    if (elapsed >= secondsPerDay)
        return secondsPerDay;
    // More than half the circle forward on the wall clock in less than half a day: the time of
    // day went back.
    const int forward = secondsSince(previousTick.time(), now.time());
    if (forward > secondsPerDay / 2 && elapsed < secondsPerDay / 2)
        return std::nullopt;
    const int sinceNow = secondsSince(time, now.time());
    if (secondsSince(time, previousTick.time()) > sinceNow)
        return sinceNow;
    return std::nullopt;
}

} // namespace TaskRules
