// The settings routines against real files: where config.ini lives, what odd files read as, and
// that a write which cannot be done leaves the old file as it was.

#include "fssandbox.h"
#include "settings/moduleini.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <optional>

#include <sys/stat.h>

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

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// A program directory and a per-user directory, the latter not yet created.
struct Place
{
    Place()
    {
        QDir(root.path()).mkpath(QStringLiteral("program"));
        QDir(root.path()).mkpath(QStringLiteral("store"));
    }
    QString path(const QString &relative) const { return root.path() + u'/' + relative; }
    Moduleini settings() const { return Moduleini(program, user); }

    QTemporaryDir root;
    const QString program = path(QStringLiteral("program"));
    const QString user = path(QStringLiteral("user/Quorvel"));
    const QString portableFile = program + QStringLiteral("/config.ini");
    const QString userFile = user + QStringLiteral("/config.ini");
};

enum class BadFile { Regular, Sparse100MB, Unreadable, Fifo, Directory };

} // namespace

Q_DECLARE_METATYPE(BadFile)

class TestModuleini : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void choosesTheFile_data();
    void choosesTheFile();
    void readOnlyProgramDirSavesPerUser();
    void readingCreatesNothing_data();
    void readingCreatesNothing();

    void writeOnDiskChangesOnlyItsKey_data();
    void writeOnDiskChangesOnlyItsKey();
    void iniintReadsLeadingDecimal_data();
    void iniintReadsLeadingDecimal();
    void inireadReturnsTheWholeValue_data();
    void inireadReturnsTheWholeValue();

    void oddFilesReadSafelyAndLoseNothing_data();
    void oddFilesReadSafelyAndLoseNothing();
    void failedWriteLeavesTheOldFile_data();
    void failedWriteLeavesTheOldFile();
    void writeKeepsFileModeAndLeavesNoTempFiles();

    void symlinkIsUpdatedWhereItPoints_data();
    void symlinkIsUpdatedWhereItPoints();
    void symlinkIntoReadOnlyFolderIsLeftAlone();
};

void TestModuleini::initTestCase()
{
    FsSandbox::enterPrivateMounts();
    if (!FsSandbox::whyNoMounts().isEmpty())
        qInfo("no private mounts (%s): read-only places use file modes",
              qPrintable(FsSandbox::whyNoMounts()));
}

void TestModuleini::choosesTheFile_data()
{
    QTest::addColumn<bool>("programReadOnly");
    QTest::addColumn<bool>("portableExists");
    QTest::addColumn<bool>("portableReadOnly");
    QTest::addColumn<bool>("userExists");
    QTest::addColumn<bool>("noUserDir");
    QTest::addColumn<bool>("expectPortable");

    QTest::newRow("writable program dir, no file yet")
        << false << false << false << false << false << true;
    QTest::newRow("writable program dir, both files")
        << false << true << false << true << false << true;
    QTest::newRow("read-only config.ini in writable program dir")
        << false << true << true << true << false << true;
    QTest::newRow("read-only program dir") << true << false << false << true << false << false;
    QTest::newRow("read-only program dir holding a config.ini")
        << true << true << false << false << false << false;
    QTest::newRow("read-only program dir, no per-user dir known")
        << true << true << false << false << true << true;
}

void TestModuleini::choosesTheFile()
{
    QFETCH(bool, programReadOnly);
    QFETCH(bool, portableExists);
    QFETCH(bool, portableReadOnly);
    QFETCH(bool, userExists);
    QFETCH(bool, noUserDir);
    QFETCH(bool, expectPortable);

    Place place;
    FsSandbox sandbox;
    if (portableExists)
        QVERIFY(writeFile(place.portableFile, "[sound]\nifsound=1\n"));
    if (userExists) {
        QVERIFY(QDir().mkpath(place.user));
        QVERIFY(writeFile(place.userFile, "[sound]\nifsound=2\n"));
    }
    if (portableReadOnly && !sandbox.makeReadOnly(place.portableFile))
        QSKIP(qPrintable(sandbox.error()));
    if (programReadOnly && !sandbox.makeReadOnly(place.program))
        QSKIP(qPrintable(sandbox.error()));

    const Moduleini settings(place.program, noUserDir ? QString() : place.user);
    QCOMPARE(settings.settingsPath(), expectPortable ? place.portableFile : place.userFile);
    const int expected = expectPortable ? (portableExists ? 1 : 0) : (userExists ? 2 : 0);
    QCOMPARE(settings.iniint(sound, ifsound), expected);
}

void TestModuleini::readOnlyProgramDirSavesPerUser()
{
    Place place;
    FsSandbox sandbox;
    if (!sandbox.makeReadOnly(place.program))
        QSKIP(qPrintable(sandbox.error()));

    Moduleini settings = place.settings();
    QVERIFY(settings.iniwrite(sound, ifsound, QStringLiteral("1")));
    QCOMPARE(readFile(place.userFile), QByteArray("[sound]\nifsound=1\n"));
    QCOMPARE(entries(place.program), QStringList());
    QCOMPARE(settings.iniint(sound, ifsound), 1);
}

void TestModuleini::readingCreatesNothing_data()
{
    QTest::addColumn<bool>("programReadOnly");
    QTest::newRow("writable program dir") << false;
    QTest::newRow("read-only program dir") << true;
}

void TestModuleini::readingCreatesNothing()
{
    QFETCH(bool, programReadOnly);

    Place place;
    FsSandbox sandbox;
    if (programReadOnly && !sandbox.makeReadOnly(place.program))
        QSKIP(qPrintable(sandbox.error()));

    const Moduleini settings = place.settings();
    QCOMPARE(settings.iniint(sound, ifsound), 0);
    QCOMPARE(settings.iniint(QStringLiteral("Tips"), QStringLiteral("ifTips")), 0);
    QCOMPARE(settings.iniread(QStringLiteral("soundpath"), QStringLiteral("spath"),
                              settings.settingsPath()),
             QString());
    QCOMPARE(entries(place.program), QStringList());
    QVERIFY(!QFileInfo::exists(place.path(QStringLiteral("user"))));
}

void TestModuleini::writeOnDiskChangesOnlyItsKey_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QByteArray windows("[sound]\r\nifsound=1\r\n[Tips]\r\nifTips=0\r\n"
                             "[soundpath]\r\nspath=C:\\Users\\a\\ding.wav\r\n");
    QByteArray windowsAfter = windows;
    windowsAfter.replace("ifTips=0", "ifTips=1");
    QTest::newRow("as the Windows program wrote it")
        << windows << QStringLiteral("Tips") << QStringLiteral("ifTips") << QStringLiteral("1")
        << windowsAfter;

    const QByteArray byHand("\xEF\xBB\xBF; by hand\n[Sound]\n IfSound = 0 ; off\n\n[extra]\n"
                            "??? =\n[soundpath]\nspath=/old.wav");
    QByteArray byHandAfter = byHand;
    byHandAfter.replace("/old.wav", "/home/a/提示音.wav");
    QTest::newRow("edited by hand, BOM, no final line ending")
        << byHand << QStringLiteral("soundpath") << QStringLiteral("spath")
        << QStringLiteral("/home/a/提示音.wav") << byHandAfter;
}

void TestModuleini::writeOnDiskChangesOnlyItsKey()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    Place place;
    QVERIFY(writeFile(place.portableFile, before));
    Moduleini settings = place.settings();
    QVERIFY(settings.iniwrite(section, key, value));
    QCOMPARE(readFile(place.portableFile), after);
    QCOMPARE(settings.iniread(section, key, settings.settingsPath()), value);
}

void TestModuleini::iniintReadsLeadingDecimal_data()
{
    QTest::addColumn<QByteArray>("file"); // null: no file at all
    QTest::addColumn<int>("expected");

    const auto stored = [](const QByteArray &text) { return "[sound]\nifsound=" + text + '\n'; };
    QTest::newRow("1") << stored("1") << 1;
    QTest::newRow("0") << stored("0") << 0;
    QTest::newRow("blanks around") << stored(" \t2 ") << 2;
    QTest::newRow("plus sign") << stored("+5") << 5;
    QTest::newRow("minus sign") << stored("-3") << -3;
    QTest::newRow("leading zeros") << stored("007") << 7;
    QTest::newRow("digits then text") << stored("12abc") << 12;
    QTest::newRow("comment after the number") << stored("1 ; on") << 1;
    QTest::newRow("decimal fraction") << stored("1.9") << 1;
    QTest::newRow("text") << stored("abc") << 0;
    QTest::newRow("empty") << stored("") << 0;
    QTest::newRow("hex reads its leading 0") << stored("0x10") << 0;
    QTest::newRow("blank after the sign") << stored("- 5") << 0;
    QTest::newRow("two signs") << stored("--1") << 0;
    QTest::newRow("full-width digit") << stored("１") << 0;
    QTest::newRow("largest int") << stored("2147483647") << INT_MAX;
    QTest::newRow("just above the largest clamps") << stored("2147483648") << INT_MAX;
    QTest::newRow("2^32 + 1 clamps instead of wrapping to 1") << stored("4294967297") << INT_MAX;
    QTest::newRow("smallest int") << stored("-2147483648") << INT_MIN;
    QTest::newRow("far below the smallest clamps") << stored("-99999999999999999999") << INT_MIN;
    QTest::newRow("missing key") << QByteArray("[sound]\nother=1\n") << 0;
    QTest::newRow("missing section") << QByteArray("[Tips]\nifsound=1\n") << 0;
    QTest::newRow("missing file") << QByteArray() << 0;
}

void TestModuleini::iniintReadsLeadingDecimal()
{
    QFETCH(QByteArray, file);
    QFETCH(int, expected);

    Place place;
    if (!file.isNull())
        QVERIFY(writeFile(place.portableFile, file));
    QCOMPARE(place.settings().iniint(sound, ifsound), expected);
}

void TestModuleini::inireadReturnsTheWholeValue_data()
{
    QTest::addColumn<QString>("path");

    const auto ofLength = [](qsizetype bytes) {
        const QString head = QStringLiteral("/home/a/");
        const QString tail = QStringLiteral(".wav");
        return head + QString(bytes - head.size() - tail.size(), u'x') + tail;
    };
    QTest::newRow("300 bytes") << ofLength(300);
    QTest::newRow("5000 bytes") << ofLength(5000);
    QTest::newRow("CJK") << QStringLiteral("/home/用户/音乐/提示音 叮.wav");
    QTest::newRow("blanks inside") << QStringLiteral("/home/a/My  Sounds/ding.wav");
    QTest::newRow("backslashes, ';', '#' and '='") << QStringLiteral("C:\\Users\\a;b\\#c=d.wav");
}

void TestModuleini::inireadReturnsTheWholeValue()
{
    QFETCH(QString, path);

    Place place;
    QVERIFY(place.settings().iniwrite(QStringLiteral("soundpath"), QStringLiteral("spath"), path));
    QCOMPARE(readFile(place.portableFile), "[soundpath]\nspath=" + path.toUtf8() + '\n');

    const Moduleini fresh = place.settings();
    QCOMPARE(
        fresh.iniread(QStringLiteral("soundpath"), QStringLiteral("spath"), fresh.settingsPath()),
        path);
}

void TestModuleini::oddFilesReadSafelyAndLoseNothing_data()
{
    QTest::addColumn<BadFile>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedSound");
    QTest::addColumn<int>("expectedTips");
    QTest::addColumn<bool>("writeOk");
    QTest::addColumn<QByteArray>("expectedAfter"); // after writing ifsound=7

    const QByteArray soundOn("[sound]\nifsound=1\n");
    const auto withSeven = [](QByteArray bytes) { return bytes.replace("ifsound=1", "ifsound=7"); };

    QByteArray garbage(64 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20240601);
    for (char &c : garbage)
        c = char(random.bounded(256));
    garbage.replace('\r', '\x01'); // keeps the line ending of added lines a plain LF
    QTest::newRow("binary garbage")
        << BadFile::Regular << garbage << 0 << 0 << true
        << garbage + (garbage.endsWith('\n') ? "" : "\n") + "[sound]\nifsound=7\n";

    const QByteArray nuls(4096, '\0');
    const QByteArray aroundNuls = nuls + '\n' + soundOn + nuls + '\n';
    QTest::newRow("NUL bytes around a section")
        << BadFile::Regular << aroundNuls << 1 << 0 << true << withSeven(aroundNuls);

    const QByteArray longLine = QByteArray(600 * 1024, 'x') + '\n' + soundOn;
    QTest::newRow("overlong line before the section")
        << BadFile::Regular << longLine << 1 << 0 << true << withSeven(longLine);

    const QByteArray filler = QByteArray("; filler\n").repeated(2 * 1024 * 1024 / 9);
    QTest::newRow("over 1 MiB: the first MiB is read, nothing written")
        << BadFile::Regular << soundOn + filler + "[Tips]\nifTips=1\n"
        << 1 << 0 << false << QByteArray();

    // The cap falls inside "ifsound=12345": the cut line must not read as 12.
    const QByteArray head("[sound]\n");
    QByteArray straddling = head + QByteArray(Moduleini::maxFileSize - head.size() - 11, ';');
    straddling += "\nifsound=12345\n";
    QTest::newRow("line cut by the size cap is not read")
        << BadFile::Regular << straddling << 0 << 0 << false << QByteArray();

    QTest::newRow("100 MB, sparse")
        << BadFile::Sparse100MB << soundOn << 1 << 0 << false << QByteArray();

    const QByteArray duplicates("[sound]\nifsound=1\nifsound=0\n[Sound]\nifsound=0\n");
    QTest::newRow("duplicate sections and keys")
        << BadFile::Regular << duplicates << 1 << 0 << true << withSeven(duplicates);

    QTest::newRow("no sections") << BadFile::Regular << QByteArray("ifsound=1\nifTips=1\n") << 0
                                 << 0 << true
                                 << QByteArray("ifsound=1\nifTips=1\n[sound]\nifsound=7\n");
    QTest::newRow("unreadable") << BadFile::Unreadable << soundOn << 0 << 0 << false
                                << QByteArray();
    QTest::newRow("FIFO") << BadFile::Fifo << QByteArray() << 0 << 0 << false << QByteArray();
    QTest::newRow("directory") << BadFile::Directory << QByteArray() << 0 << 0 << false
                               << QByteArray();
}

void TestModuleini::oddFilesReadSafelyAndLoseNothing()
{
    QFETCH(BadFile, kind);
    QFETCH(QByteArray, content);
    QFETCH(int, expectedSound);
    QFETCH(int, expectedTips);
    QFETCH(bool, writeOk);
    QFETCH(QByteArray, expectedAfter);

    Place place;
    FsSandbox sandbox;
    const QString file = place.portableFile;
    const QByteArray nativeFile = QFile::encodeName(file);
    switch (kind) {
    case BadFile::Regular:
        QVERIFY(writeFile(file, content));
        break;
    case BadFile::Sparse100MB: {
        QVERIFY(writeFile(file, content));
        QVERIFY(QFile::resize(file, 100 * 1024 * 1024));
        break;
    }
    case BadFile::Unreadable:
        QVERIFY(writeFile(file, content));
        // "nobody" must be able to reach the file to be refused by its mode.
        QVERIFY(QFile::setPermissions(place.root.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                             QFile::ExeOwner | QFile::ExeGroup |
                                                             QFile::ExeOther));
        if (!sandbox.makeUnreadable(file))
            QSKIP(qPrintable(sandbox.error()));
        break;
    case BadFile::Fifo:
        QCOMPARE(mkfifo(nativeFile.constData(), 0644), 0);
        break;
    case BadFile::Directory:
        QVERIFY(QDir().mkdir(file));
        break;
    }
    const QFileInfo before(file);
    const QDateTime modifiedBefore = before.lastModified();
    const qint64 sizeBefore = before.size();

    Moduleini settings = place.settings();
    {
        std::optional<Unprivileged> unprivileged;
        if (kind == BadFile::Unreadable && !unprivileged.emplace().ok())
            QSKIP("cannot drop root to make a file unreadable");
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(settings.iniint(sound, ifsound), expectedSound);
        QCOMPARE(settings.iniint(QStringLiteral("Tips"), QStringLiteral("ifTips")), expectedTips);
        settings.iniread(QStringLiteral("soundpath"), QStringLiteral("spath"), file);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed()) + " ms"));

        const QFileInfo afterReading(file);
        QCOMPARE(afterReading.lastModified(), modifiedBefore);
        QCOMPARE(afterReading.size(), sizeBefore);

        QCOMPARE(settings.iniwrite(sound, ifsound, QStringLiteral("7")), writeOk);
    }

    QCOMPARE(entries(place.program), QStringList(QStringLiteral("config.ini")));
    const QFileInfo after(file);
    switch (kind) {
    case BadFile::Regular:
        QCOMPARE(readFile(file), writeOk ? expectedAfter : content);
        break;
    case BadFile::Sparse100MB:
    case BadFile::Unreadable: {
        QCOMPARE(after.size(), sizeBefore);
        QCOMPARE(after.lastModified(), modifiedBefore);
        QFile opened(file);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.read(content.size()), content);
        break;
    }
    case BadFile::Fifo:
        QVERIFY(!after.isFile() && !after.isDir() && after.exists());
        break;
    case BadFile::Directory:
        QVERIFY(after.isDir());
        break;
    }
    if (writeOk)
        QCOMPARE(settings.iniint(sound, ifsound), 7);
}

void TestModuleini::failedWriteLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("file on a read-only mount") << QStringLiteral("read-only file");
    QTest::newRow("immutable file") << QStringLiteral("immutable file");
    QTest::newRow("full disk") << QStringLiteral("full disk");
    QTest::newRow("read-only per-user dir") << QStringLiteral("read-only per-user dir");
}

void TestModuleini::failedWriteLeavesTheOldFile()
{
    QFETCH(QString, how);

    Place place;
    FsSandbox sandbox;
    const QByteArray old("[sound]\r\nifsound=1\r\n[soundpath]\r\nspath=/home/a/ding.wav\r\n");
    QString file = place.portableFile;

    if (how == QLatin1String("read-only file")) {
        QVERIFY(writeFile(file, old));
        if (!sandbox.makeReadOnly(file))
            QSKIP(qPrintable(sandbox.error()));
    } else if (how == QLatin1String("immutable file")) {
        QVERIFY(writeFile(file, old));
        if (!sandbox.makeImmutable(file))
            QSKIP(qPrintable(sandbox.error()));
    } else if (how == QLatin1String("full disk")) {
        if (!sandbox.mountSmallDisk(place.program, 64))
            QSKIP(qPrintable(sandbox.error()));
        QVERIFY(writeFile(file, old));
        QFile fill(place.program + QStringLiteral("/fill"));
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (fill.write(block) == block.size()) {
        }
    } else {
        file = place.userFile;
        QVERIFY(QDir().mkpath(place.user));
        QVERIFY(writeFile(file, old));
        if (!sandbox.makeReadOnly(place.program) || !sandbox.makeReadOnly(place.user))
            QSKIP(qPrintable(sandbox.error()));
    }
    const QStringList entriesBefore = entries(QFileInfo(file).path());

    Moduleini settings = place.settings();
    QCOMPARE(settings.settingsPath(), file);
    QVERIFY(!settings.iniwrite(sound, ifsound, QStringLiteral("0")));
    QVERIFY(
        !settings.iniwrite(QStringLiteral("Tips"), QStringLiteral("ifTips"), QStringLiteral("1")));
    QCOMPARE(readFile(file), old);
    QCOMPARE(entries(QFileInfo(file).path()), entriesBefore);
    QCOMPARE(settings.iniint(sound, ifsound), 1);
}

void TestModuleini::writeKeepsFileModeAndLeavesNoTempFiles()
{
    Place place;
    QVERIFY(writeFile(place.portableFile, "[sound]\nifsound=0\n"));
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(place.portableFile, mode));

    QVERIFY(place.settings().iniwrite(sound, ifsound, QStringLiteral("1")));
    QCOMPARE(readFile(place.portableFile), QByteArray("[sound]\nifsound=1\n"));
    QCOMPARE(QFile::permissions(place.portableFile) & 0x7077, mode);
    QCOMPARE(entries(place.program), QStringList(QStringLiteral("config.ini")));
}

void TestModuleini::symlinkIsUpdatedWhereItPoints_data()
{
    // Links as "link -> target", relative to the test's root; "{root}" makes a target absolute.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QByteArray>("existing"); // content of store/real.ini, null for none
    QTest::addColumn<QString>("savedTo");
    QTest::addColumn<QByteArray>("expectedSaved");

    const QByteArray existing("[a]\r\nx=1\r\n");
    const QByteArray updated("[a]\r\nx=1\r\n[sound]\r\nifsound=1\r\n");
    const QString real = QStringLiteral("store/real.ini");
    QTest::newRow("relative link")
        << QStringList{QStringLiteral("program/config.ini -> ../store/real.ini")} << existing
        << real << updated;
    QTest::newRow("absolute link")
        << QStringList{QStringLiteral("program/config.ini -> {root}/store/real.ini")} << existing
        << real << updated;
    QTest::newRow("chain of two links")
        << QStringList{QStringLiteral("program/config.ini -> ../store/mid.ini"),
                       QStringLiteral("store/mid.ini -> real.ini")}
        << existing << real << updated;
    QTest::newRow("dangling link into a writable folder")
        << QStringList{QStringLiteral("program/config.ini -> ../store/real.ini")} << QByteArray()
        << real << QByteArray("[sound]\nifsound=1\n");
    QTest::newRow("loop: the per-user file is used")
        << QStringList{QStringLiteral("program/config.ini -> loop.ini"),
                       QStringLiteral("program/loop.ini -> config.ini")}
        << QByteArray() << QStringLiteral("user/Quorvel/config.ini")
        << QByteArray("[sound]\nifsound=1\n");
}

void TestModuleini::symlinkIsUpdatedWhereItPoints()
{
    QFETCH(QStringList, links);
    QFETCH(QByteArray, existing);
    QFETCH(QString, savedTo);
    QFETCH(QByteArray, expectedSaved);

    Place place;
    if (!existing.isNull())
        QVERIFY(writeFile(place.path(QStringLiteral("store/real.ini")), existing));
    QList<std::pair<QString, QString>> made;
    for (const QString &link : links) {
        const QStringList parts = link.split(QStringLiteral(" -> "));
        QString target = parts[1];
        target.replace(QStringLiteral("{root}"), place.root.path());
        const QString at = place.path(parts[0]);
        QVERIFY(QFile::link(target, at));
        made.append({at, QFile::symLinkTarget(at)});
    }

    Moduleini settings = place.settings();
    QVERIFY(settings.iniwrite(sound, ifsound, QStringLiteral("1")));
    QCOMPARE(readFile(place.path(savedTo)), expectedSaved);
    for (const auto &[at, target] : made) {
        QVERIFY2(QFileInfo(at).isSymbolicLink(), qPrintable(at));
        QCOMPARE(QFile::symLinkTarget(at), target);
    }
    QCOMPARE(settings.iniint(sound, ifsound), 1);
}

void TestModuleini::symlinkIntoReadOnlyFolderIsLeftAlone()
{
    Place place;
    FsSandbox sandbox;
    const QString real = place.path(QStringLiteral("store/real.ini"));
    QVERIFY(writeFile(real, "[sound]\nifsound=0\n"));
    QVERIFY(QFile::link(QStringLiteral("../store/real.ini"), place.portableFile));
    if (!sandbox.makeReadOnly(place.path(QStringLiteral("store"))))
        QSKIP(qPrintable(sandbox.error()));

    Moduleini settings = place.settings();
    QCOMPARE(settings.settingsPath(), place.userFile);
    QVERIFY(settings.iniwrite(sound, ifsound, QStringLiteral("1")));
    QCOMPARE(readFile(place.userFile), QByteArray("[sound]\nifsound=1\n"));
    QCOMPARE(readFile(real), QByteArray("[sound]\nifsound=0\n"));
    QVERIFY(QFileInfo(place.portableFile).isSymbolicLink());
}

QTEST_GUILESS_MAIN(TestModuleini)
#include "tst_moduleini.moc"
