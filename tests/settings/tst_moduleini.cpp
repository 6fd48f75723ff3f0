// The settings routines on real files: which config.ini is used, and what a write keeps.

#include "settings/moduleini.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>

// The program in `program`, its folder on a disk of its own if `disk` ("read-only" or "full");
// its config.ini links to `link`, or holds `old`. ifTips reads as `tips`, and writing ifTips=0
// leaves `after` in `savedTo` (old: the write fails).
struct Place
{
    QString program, disk, link;
    QByteArray old;
    int tips;
    QString savedTo;
    QByteArray after;
};
Q_DECLARE_METATYPE(Place)

class TestModuleini : public QObject
{
    Q_OBJECT

    static void row(const char *name, const Place &place) { QTest::newRow(name) << place; }

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<Place>("place");
        const QByteArray fresh("[Tips]\nifTips=0\n");
        row("installed in a writable bin folder: per user, the file beside unread",
            {"bin", "", "", "[Tips]\nifTips=2\n", 0, "user/config.ini", fresh});
        row("linked from an unwritable folder through a chain to a file not there yet",
            {"app", "read-only", "mid.ini", {}, 0, "store/real.ini", fresh});
        const QByteArray head("\xEF\xBB\xBF; by hand\r\n[sound]\r\nifsound=1\r\n[Tips]\r\n");
        const QByteArray small = head + "ifTips=12345";
        row("only the key changes",
            {"app", "", "", small, 12345, "app/config.ini", head + "ifTips=0"});
        row("full disk", {"app", "full", "", small, 12345, "app/config.ini", small});
        // The first MiB ends inside "ifTips=12345": the cut line must not read as 12.
        const QByteArray big = head + QByteArray(Moduleini::maxFileSize - head.size() - 11, ';') +
                               "\r\nifTips=12345\r\n";
        row("over 1 MiB", {"app", "", "", big, 0, "app/config.ini", big});
    }
    void write()
    {
        QFETCH(Place, place);
        const auto &[program, disk, link, old, tips, savedTo, after] = place;
        QTemporaryDir root; // the current folder: paths below are relative to it
        QVERIFY(QDir::setCurrent(root.path()) && QDir().mkpath(program) && QDir().mkpath("store"));
        const QByteArray at = QFile::encodeName(program);
        const auto unmount = qScopeGuard([&] { umount2(at.constData(), MNT_DETACH); });
        if (!disk.isEmpty()) {
            // File modes do not stop root; a mount does, in a mount namespace of this process.
            static const bool own =
                unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
            if (!own || ::mount("tmpfs", at.constData(), "tmpfs", 0, "size=4k") != 0)
                QSKIP("no disk of its own: needs root");
        }
        QVERIFY(link.isEmpty() || (QFile::link(link, program + "/config.ini") &&
                                   QFile::link("../store/real.ini", "app/mid.ini")));
        if (QFile file(program + "/config.ini"); !old.isNull())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        QVERIFY(disk != "read-only" ||
                ::mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);

        Moduleini settings(root.filePath(program), root.filePath("user"));
        QCOMPARE(settings.iniint("Tips", "ifTips"), tips);
        QVERIFY(!QFileInfo::exists("user") && !QFileInfo::exists("store/real.ini")); // unwritten
        QCOMPARE(settings.iniwrite("Tips", "ifTips", "0"), after != old);
        QCOMPARE(QFileInfo::exists("user"), savedTo.startsWith("user/"));
        QFile saved(savedTo);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), after);
    }
};

QTEST_GUILESS_MAIN(TestModuleini)
#include "tst_moduleini.moc"
