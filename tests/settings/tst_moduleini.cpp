// The settings routines on real files: which config.ini is used, and what a write keeps.

#include "settings/moduleini.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>

class TestModuleini : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("disk");     // the program folder's own: read-only or full
        QTest::addColumn<QString>("link");     // where config.ini there links to
        QTest::addColumn<QByteArray>("old");   // or what it holds
        QTest::addColumn<int>("tips");         // ifTips as read
        QTest::addColumn<QString>("savedTo");  // where ifTips=0 is written
        QTest::addColumn<QByteArray>("after"); // old: the write fails

        const QString app = QStringLiteral("app"), none;
        const QByteArray fresh("[Tips]\nifTips=0\n");
        QTest::newRow("installed in a writable bin folder: per user, the file beside unread")
            << QStringLiteral("bin") << none << none << QByteArray("[Tips]\nifTips=2\n") << 0
            << QStringLiteral("user/config.ini") << fresh;
        QTest::newRow("linked from an unwritable folder through a chain to a file not there yet")
            << app << QStringLiteral("read-only") << QStringLiteral("mid.ini") << QByteArray() << 0
            << QStringLiteral("store/real.ini") << fresh;

        const QString beside = QStringLiteral("app/config.ini");
        const QByteArray head("\xEF\xBB\xBF; by hand\r\n[sound]\r\nifsound=1\r\n[Tips]\r\n");
        const QByteArray small = head + "ifTips=12345";
        QTest::newRow("only the key changes")
            << app << none << none << small << 12345 << beside << head + "ifTips=0";
        QTest::newRow("full disk")
            << app << QStringLiteral("full") << none << small << 12345 << beside << small;
        // The first MiB ends inside "ifTips=12345": the cut line must not read as 12.
        const QByteArray big = head + QByteArray(Moduleini::maxFileSize - head.size() - 11, ';') +
                               "\r\nifTips=12345\r\n";
        QTest::newRow("over 1 MiB") << app << none << none << big << 0 << beside << big;
    }
    void write()
    {
        QFETCH(QString, program);
        QFETCH(QString, disk);
        QFETCH(QString, link);
        QFETCH(QByteArray, old);
        QFETCH(int, tips);
        QFETCH(QString, savedTo);
        QFETCH(QByteArray, after);

        QTemporaryDir root;
        const auto path = [&](const QString &relative) { return root.filePath(relative); };
        const QByteArray at = QFile::encodeName(path(program));
        QVERIFY(QDir().mkpath(path(program)) && QDir().mkpath(path(QStringLiteral("store"))));
        const auto unmount = qScopeGuard([&] { umount2(at.constData(), MNT_DETACH); });
        if (!disk.isEmpty()) {
            // File modes do not stop root; a mount does, in a mount namespace of this process.
            static const bool own =
                unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
            if (!own || ::mount("tmpfs", at.constData(), "tmpfs", 0, "size=4k") != 0)
                QSKIP("no disk of its own: needs root");
        }
        const QString config = path(program + QStringLiteral("/config.ini"));
        QVERIFY(link.isEmpty() ||
                (QFile::link(link, config) && QFile::link(QStringLiteral("../store/real.ini"),
                                                          path(QStringLiteral("app/mid.ini")))));
        QFile file(config);
        QVERIFY(old.isNull() || (file.open(QIODevice::WriteOnly) && file.write(old) == old.size()));
        file.close();
        QVERIFY(disk != QLatin1String("read-only") ||
                ::mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);

        Moduleini settings(path(program), path(QStringLiteral("user")));
        const QString section = QStringLiteral("Tips"), key = QStringLiteral("ifTips");
        const bool existed = QFileInfo::exists(path(savedTo));
        QCOMPARE(settings.iniint(section, key), tips);
        QCOMPARE(QFileInfo::exists(path(savedTo)), existed); // reading makes nothing
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("user"))));

        QCOMPARE(settings.iniwrite(section, key, QStringLiteral("0")), after != old);
        QCOMPARE(QFileInfo::exists(path(QStringLiteral("user"))), savedTo.startsWith(u"user/"));
        QFile saved(path(savedTo));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), after);
    }
};

QTEST_GUILESS_MAIN(TestModuleini)
#include "tst_moduleini.moc"
