// The settings routines on real files: which config.ini is used, and that a write keeps what it
// does not change, or when it cannot be done, everything.

#include "settings/moduleini.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>

namespace {

const QString sound = QStringLiteral("sound");
const QString ifsound = QStringLiteral("ifsound");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every entry under root, a link with its target, so that a file added or a link replaced shows.
QStringList tree(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString link =
            info.isSymLink() ? QStringLiteral(" -> ") + info.symLinkTarget() : QString();
        entries.append(QDir(root).relativeFilePath(info.filePath()) + link);
    }
    entries.sort();
    return entries;
}

// File modes do not stop root, so unwritable places and full disks are mounts, made in a mount
// namespace of this process alone and undone when the test ends.
class Mounts
{
public:
    ~Mounts()
    {
        for (auto it = m_points.crbegin(); it != m_points.crend(); ++it)
            umount2(it->constData(), MNT_DETACH);
    }
    // Why no mounts can be made here, or nothing.
    static const QString &unavailable()
    {
        static const QString why = []() -> QString {
            if (unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                return QStringLiteral("no private mount namespace (needs root): ") +
                       qt_error_string();
            return {};
        }();
        return why;
    }
    // Read-only, or a small empty disk.
    bool mount(const QString &dir, bool readOnly)
    {
        m_points.append(QFile::encodeName(dir));
        const char *at = m_points.last().constData();
        const bool ok = readOnly ? ::mount(at, at, nullptr, MS_BIND, nullptr) == 0 &&
                                       ::mount(nullptr, at, nullptr,
                                               MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0
                                 : ::mount("tmpfs", at, "tmpfs", 0, "size=64k") == 0;
        if (!ok)
            qWarning("mount on %s: %s", at, qPrintable(qt_error_string()));
        return ok;
    }

private:
    QByteArrayList m_points;
};

// A program directory of the given name beside "store", and a per-user directory not made yet.
struct Place
{
    explicit Place(const QString &programName) : program(path(programName))
    {
        QDir().mkpath(program);
        QDir().mkpath(path(QStringLiteral("store")));
    }
    QString path(const QString &relative) const { return root.path() + u'/' + relative; }
    Moduleini settings() const { return Moduleini(program, path(QStringLiteral("user"))); }

    QTemporaryDir root;
    const QString program;
};

} // namespace

class TestModuleini : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesGoToTheChosenFile_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("readOnly");  // a folder made unwritable, or none
        QTest::addColumn<QString>("link");      // where program/config.ini points, or nowhere
        QTest::addColumn<QByteArray>("beside"); // a config.ini in the program folder, or none
        QTest::addColumn<QString>("savedTo");

        const QString app = QStringLiteral("app");
        const QString perUser = QStringLiteral("user/config.ini");
        const QString real = QStringLiteral("store/real.ini");
        const QByteArray other("[sound]\nifsound=2\n");
        QTest::newRow("own writable folder")
            << app << QString() << QString() << QByteArray() << QStringLiteral("app/config.ini");
        QTest::newRow("folder named bin, writable even so")
            << QStringLiteral("bin") << QString() << QString() << other << perUser;
        QTest::newRow("unwritable folder") << app << app << QString() << other << perUser;
        QTest::newRow("linked through a chain to a file not there yet")
            << app << QString() << QStringLiteral("mid.ini") << QByteArray() << real;
        QTest::newRow("linked from an unwritable folder into a writable one")
            << app << app << QStringLiteral("../store/real.ini") << QByteArray() << real;
        QTest::newRow("linked through a chain into an unwritable folder")
            << app << QStringLiteral("store") << QStringLiteral("mid.ini") << QByteArray()
            << perUser;
    }
    void writesGoToTheChosenFile()
    {
        QFETCH(QString, program);
        QFETCH(QString, readOnly);
        QFETCH(QString, link);
        QFETCH(QByteArray, beside);
        QFETCH(QString, savedTo);

        if (!readOnly.isEmpty() && !Mounts::unavailable().isEmpty())
            QSKIP(qPrintable(Mounts::unavailable()));
        Place place(program);
        const QString besideProgram = place.program + QStringLiteral("/config.ini");
        QVERIFY(QFile::link(QStringLiteral("../store/real.ini"),
                            place.program + QStringLiteral("/mid.ini")));
        QVERIFY(beside.isNull() || writeFile(besideProgram, beside));
        QVERIFY(link.isEmpty() || QFile::link(link, besideProgram));
        Mounts mounts;
        QVERIFY(readOnly.isEmpty() || mounts.mount(place.path(readOnly), true));
        const QStringList before = tree(place.root.path());

        Moduleini settings = place.settings();
        QCOMPARE(settings.iniint(sound, ifsound), 0);
        QCOMPARE(tree(place.root.path()), before);

        QVERIFY(settings.iniwrite(sound, ifsound, QStringLiteral("1")));
        QStringList expected = before + QStringList(savedTo);
        if (savedTo.startsWith(QLatin1String("user/")))
            expected << QStringLiteral("user");
        expected.sort();
        QCOMPARE(tree(place.root.path()), expected);
        QCOMPARE(readFile(place.path(savedTo)), QByteArray("[sound]\nifsound=1\n"));
    }

    void writeKeepsWhatItDoesNotChange_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<int>("tips"); // ifTips as read

        const QByteArray head("\xEF\xBB\xBF; by hand\r\n[sound]\r\n ifsound = 1 \r\n[Tips]\r\n");
        const QByteArray small = head + "ifTips=12345";
        QTest::newRow("nothing in the way") << QString() << small << 12345;
        QTest::newRow("unwritable place") << QStringLiteral("read-only") << small << 12345;
        QTest::newRow("full disk") << QStringLiteral("full") << small << 12345;
        // The first MiB ends inside "ifTips=12345": the cut line must not read as 12.
        const QByteArray firstMiB =
            head + QByteArray(Moduleini::maxFileSize - head.size() - 11, ';') + "\r\nifTips=12";
        QTest::newRow("over 1 MiB") << QStringLiteral("big") << firstMiB + "345\r\n" << 0;
    }
    void writeKeepsWhatItDoesNotChange()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, old);
        QFETCH(int, tips);

        if ((fault == QLatin1String("read-only") || fault == QLatin1String("full")) &&
            !Mounts::unavailable().isEmpty())
            QSKIP(qPrintable(Mounts::unavailable()));
        // Run from "bin", so the per-user file is used and nothing may go beside the program.
        Place place(QStringLiteral("bin"));
        const QString user = place.path(QStringLiteral("user"));
        const QString file = user + QStringLiteral("/config.ini");
        QVERIFY(QDir().mkpath(user));
        Mounts mounts;
        QVERIFY(fault != QLatin1String("full") || mounts.mount(user, false));
        QVERIFY(writeFile(file, old));
        const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(file, mode));
        if (fault == QLatin1String("full")) // fills the disk, so this write stops short
            writeFile(user + QStringLiteral("/fill"), QByteArray(64 * 1024, 'f'));
        QVERIFY(fault != QLatin1String("read-only") || mounts.mount(user, true));
        const QStringList before = tree(place.root.path());

        Moduleini settings = place.settings();
        QCOMPARE(settings.iniwrite(sound, ifsound, QStringLiteral("0")), fault.isEmpty());
        QCOMPARE(readFile(file), fault.isEmpty() ? QByteArray(old).replace(" 1 ", " 0 ") : old);
        QCOMPARE(QFile::permissions(file) & 0x7077, mode);
        QCOMPARE(tree(place.root.path()), before);
        QCOMPARE(settings.iniint(sound, ifsound), fault.isEmpty() ? 0 : 1);
        QCOMPARE(settings.iniint(QStringLiteral("Tips"), QStringLiteral("ifTips")), tips);
    }
};

QTEST_GUILESS_MAIN(TestModuleini)
#include "tst_moduleini.moc"
