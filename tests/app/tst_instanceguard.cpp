// One running copy per user and installed program, decided without races.

#include "app/instanceguard.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
QString holderPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lockholder");
}

QProcess *startHolder(const QString &lock, qint64 startAt, int holdMs, QObject *parent)
{
    auto *p = new QProcess(parent);
    p->start(holderPath(), {lock, QString::number(startAt), QString::number(holdMs)});
    return p;
}
} // namespace

class TestInstanceGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lockIsPerInstalledCopy()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a/quorvel"));
        const QString b = dir.filePath(QStringLiteral("b/quorvel"));
        QDir(dir.path()).mkpath(QStringLiteral("a"));
        QDir(dir.path()).mkpath(QStringLiteral("b"));
        for (const QString &path : {a, b}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(a, dir.filePath(QStringLiteral("link"))));
        const QString runtime = QStringLiteral("/run/user/1000");
        QCOMPARE(InstanceGuard::lockPathFor(a, runtime), InstanceGuard::lockPathFor(a, runtime));
        QVERIFY(InstanceGuard::lockPathFor(a, runtime) != InstanceGuard::lockPathFor(b, runtime));
        // Started through a link it is still the same program.
        QCOMPARE(InstanceGuard::lockPathFor(dir.filePath(QStringLiteral("link")), runtime),
                 InstanceGuard::lockPathFor(a, runtime));
        QVERIFY(InstanceGuard::lockPathFor(a, runtime).startsWith(runtime + u'/'));
    }

    void secondGuardIsRefusedUntilTheFirstGoes()
    {
        QTemporaryDir dir;
        const QString lock = dir.filePath(QStringLiteral("q.lock"));
        auto first = std::make_unique<InstanceGuard>(lock);
        QCOMPARE(first->tryAcquire(), InstanceGuard::Result::Acquired);
        InstanceGuard second(lock);
        QCOMPARE(second.tryAcquire(), InstanceGuard::Result::HeldByOther);
        first.reset();
        QCOMPARE(second.tryAcquire(), InstanceGuard::Result::Acquired);
    }

    void killedCopyDoesNotBlockTheNextStart()
    {
        QTemporaryDir dir;
        const QString lock = dir.filePath(QStringLiteral("q.lock"));
        QProcess *holder = startHolder(lock, 0, 60000, this);
        QVERIFY(holder->waitForReadyRead(10000));
        QCOMPARE(holder->readAll().trimmed(), QByteArray("acquired"));
        InstanceGuard other(lock);
        QCOMPARE(other.tryAcquire(), InstanceGuard::Result::HeldByOther);
        ::kill(pid_t(holder->processId()), SIGKILL);
        QVERIFY(holder->waitForFinished(10000));
        QCOMPARE(other.tryAcquire(), InstanceGuard::Result::Acquired);
    }

    // Each round starts ten copies together, after the lock of a killed copy was left behind.
    void tenSimultaneousStartsLeaveExactlyOne()
    {
        QTemporaryDir dir;
        const QString lock = dir.filePath(QStringLiteral("q.lock"));
        for (int round = 0; round < 3; ++round) {
            QProcess *killed = startHolder(lock, 0, 60000, this);
            QVERIFY(killed->waitForReadyRead(10000));
            ::kill(pid_t(killed->processId()), SIGKILL);
            QVERIFY(killed->waitForFinished(10000));
            const qint64 startAt = QDateTime::currentMSecsSinceEpoch() + 400;
            QList<QProcess *> copies;
            for (int i = 0; i < 10; ++i)
                copies << startHolder(lock, startAt, 1000, this);
            QMap<QByteArray, int> outcomes;
            for (QProcess *p : std::as_const(copies)) {
                QVERIFY(p->waitForReadyRead(15000));
                outcomes[p->readLine().trimmed()]++;
            }
            QCOMPARE(outcomes.value("acquired"), 1);
            QCOMPARE(outcomes.value("held"), 9);
            for (QProcess *p : std::as_const(copies))
                QVERIFY(p->waitForFinished(15000));
            qDeleteAll(copies);
        }
    }

    void noPlaceForTheLockIsNotARefusal()
    {
        InstanceGuard guard(QStringLiteral("/nonexistent-dir/quorvel.lock"));
        QCOMPARE(guard.tryAcquire(), InstanceGuard::Result::Unavailable);
    }
};

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
