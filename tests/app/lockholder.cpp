// Takes the single-instance lock like a starting copy would and reports the outcome.
// Usage: lockholder <lock path> <start at, ms since epoch> <hold ms>

#include "app/instanceguard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    InstanceGuard guard(QString::fromLocal8Bit(argv[1]));
    const qint64 startAt = QByteArray(argv[2]).toLongLong();
    while (QDateTime::currentMSecsSinceEpoch() < startAt)
        QThread::usleep(200);
    const InstanceGuard::Result result = guard.tryAcquire();
    const char *text = result == InstanceGuard::Result::Acquired      ? "acquired"
                       : result == InstanceGuard::Result::HeldByOther ? "held"
                                                                      : "unavailable";
    std::printf("%s\n", text);
    std::fflush(stdout);
    if (result == InstanceGuard::Result::Acquired)
        QThread::msleep(QByteArray(argv[3]).toULong());
    return 0;
}
