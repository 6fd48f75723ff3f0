// One running copy per installed program, held by the operating system.

#include "app/instanceguard.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Result = InstanceGuard::Result;

class TestInstanceGuard : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString lock() const { return dir.filePath(QStringLiteral("quorvel.lock")); }

private Q_SLOTS:
    void lockIsPerInstalledCopy()
    {
        const QString a = dir.filePath(QStringLiteral("a/quorvel"));
        const QString b = dir.filePath(QStringLiteral("b/quorvel"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("a"))));
        QFile(a).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(a, dir.filePath(QStringLiteral("link"))));
        const QString runtime = dir.path();
        QCOMPARE(InstanceGuard::lockPathFor(dir.filePath(QStringLiteral("link")), runtime),
                 InstanceGuard::lockPathFor(a, runtime));
        QVERIFY(InstanceGuard::lockPathFor(a, runtime) != InstanceGuard::lockPathFor(b, runtime));
        QVERIFY(InstanceGuard::lockPathFor(a, runtime).startsWith(runtime + u'/'));
    }

    void killedCopyLeavesNothingBehind()
    {
        QProcess holder; // flock(1) takes the same kind of lock as a running copy
        holder.start(QStringLiteral("flock"),
                     {QStringLiteral("-o"), lock(), QStringLiteral("sleep"), QStringLiteral("60")});
        QVERIFY(holder.waitForStarted());
        QTRY_COMPARE(createInstanceGuard(lock())->tryAcquire(), Result::HeldByOther);
        holder.kill();
        holder.waitForFinished();
        auto next = createInstanceGuard(lock());
        QCOMPARE(next->tryAcquire(), Result::Acquired);
        QCOMPARE(createInstanceGuard(lock())->tryAcquire(), Result::HeldByOther);
    }
};

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
