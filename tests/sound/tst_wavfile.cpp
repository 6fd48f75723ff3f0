#include "sound/linux/wavfile.h"
#include "testsounds.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSounds;

namespace {

const QStringList toneArgs{QStringLiteral("synth"), QStringLiteral("0.5"), QStringLiteral("sine"),
                           QStringLiteral("1000"),  QStringLiteral("vol"), QStringLiteral("0.5")};

double soxRms(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("sox"), {path, QStringLiteral("-n"), QStringLiteral("remix"),
                                          QStringLiteral("1"), QStringLiteral("stat")});
    process.waitForFinished();
    const QString out = QString::fromLocal8Bit(process.readAllStandardError());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("RMS\\s+amplitude:\\s+([0-9.]+)")).match(out);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

} // namespace

class TestWavFile : public QObject
{
    Q_OBJECT

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void everyVariantConvertsToTheSameSound_data()
    {
        QTest::addColumn<QStringList>("soxFormat"); // empty: built by hand
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("playsAsIs");
        const auto fmt = [](const char *args) {
            return QString::fromLatin1(args).split(QLatin1Char(' '));
        };
        QTest::newRow("8-bit unsigned")
            << fmt("-b 8 -e unsigned-integer") << 0 << 22050 << 1 << true;
        QTest::newRow("16-bit stereo") << fmt("-b 16 -e signed-integer") << 0 << 44100 << 2 << true;
        QTest::newRow("16-bit, LIST before data")
            << QStringList() << int(Layout::ListChunkFirst) << 48000 << 2 << true;
        QTest::newRow("16-bit extensible")
            << QStringList() << int(Layout::Extensible) << 48000 << 2 << false;
        QTest::newRow("16-bit, 6 channels")
            << fmt("-b 16 -e signed-integer") << 0 << 48000 << 6 << false;
        QTest::newRow("24-bit") << fmt("-b 24 -e signed-integer") << 0 << 48000 << 2 << false;
        QTest::newRow("32-bit") << fmt("-b 32 -e signed-integer") << 0 << 48000 << 1 << false;
        QTest::newRow("32-bit float") << fmt("-b 32 -e floating-point") << 0 << 48000 << 2 << false;
        QTest::newRow("64-bit float") << fmt("-b 64 -e floating-point") << 0 << 44100 << 1 << false;
        QTest::newRow("A-law") << fmt("-e a-law") << 0 << 8000 << 1 << false;
        QTest::newRow("u-law") << fmt("-e u-law") << 0 << 8000 << 1 << false;
        QTest::newRow("MS ADPCM") << fmt("-e ms-adpcm") << 0 << 22050 << 1 << false;
        QTest::newRow("IMA ADPCM") << fmt("-e ima-adpcm") << 0 << 22050 << 2 << false;
    }

    void everyVariantConvertsToTheSameSound()
    {
        QFETCH(QStringList, soxFormat);
        QFETCH(int, layout);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(bool, playsAsIs);

        const QString source = file(QStringLiteral("%1.wav").arg(QTest::currentDataTag()));
        if (soxFormat.isEmpty()) {
            QVERIFY(writeFile(source, pcm16Wav(sine(1000, 0.5, rate, channels, 0.5), channels, rate,
                                               Layout(layout))));
        } else {
            QString error;
            QVERIFY2(
                sox(QStringList{QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate),
                                QStringLiteral("-c"), QString::number(channels)} +
                        soxFormat + QStringList{source} + toneArgs,
                    &error),
                qPrintable(error));
        }

        const WavFile::Info info = WavFile::inspect(source);
        QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
        QCOMPARE(info.playsAsIs, playsAsIs);
        QCOMPARE(info.sampleRate, rate);
        QCOMPARE(info.channels, channels);
        // ADPCM pads its last block.
        QVERIFY2(qAbs(info.frames - rate / 2) <= 1024, qPrintable(QString::number(info.frames)));

        const QString copy = source + QStringLiteral(".pcm16.wav");
        const WavFile::Conversion result = WavFile::convertToPcm16(source, copy, {});
        QVERIFY2(result.outcome == WavFile::Outcome::Done, qPrintable(result.error));
        const WavFile::Info converted = WavFile::inspect(copy);
        QVERIFY2(converted.error.isEmpty(), qPrintable(converted.error));
        QCOMPARE(converted.playsAsIs, channels <= 2);
        QCOMPARE(converted.sampleRate, rate);
        QCOMPARE(converted.channels, channels);
        QCOMPARE(converted.frames, info.frames);
        // A 0.5 sine has an RMS of 0.354; a wrong scale or sign shows here.
        const double rms = soxRms(copy);
        QVERIFY2(qAbs(rms - 0.3536) < 0.02, qPrintable(QString::number(rms)));
        QVERIFY(!QFile::exists(copy + QStringLiteral(".part")));
    }

    void unplayableFilesAreRefusedWithAReason_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");

        const QByteArray wav = pcm16Wav(sine(1000, 0.5, 48000, 1, 0.5), 1, 48000);
        QByteArray noData = wav.left(44);
        noData.replace(40, 4, QByteArray(4, '\0'));
        noData.replace(4, 4, QByteArray("\x24\0\0\0", 4));

        QTest::newRow("empty path") << QString() << QByteArray() << "no sound file chosen";
        QTest::newRow("missing file") << "missing.wav" << QByteArray() << "file not found";
        QTest::newRow("folder") << "folder.wav" << QByteArray() << "not a file";
        QTest::newRow("zero bytes") << "zero.wav" << QByteArray("") << "file is empty";
        QTest::newRow("text") << "text.wav" << QByteArray("just some words\n")
                              << "not a readable WAV file";
        QTest::newRow("cut inside the header")
            << "header.wav" << wav.left(30) << "not a readable WAV file";
        QTest::newRow("cut inside the sound")
            << "half.wav" << wav.left(wav.size() / 2) << "file is truncated (23978 of 48000 bytes";
        QTest::newRow("no sound in it") << "nodata.wav" << noData << "file holds no sound";
        QTest::newRow("another format") << "flac.wav" << QByteArray() << "not a WAV file but";
    }

    void unplayableFilesAreRefusedWithAReason()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);

        const QString path = name.isEmpty() ? QString() : file(name);
        if (name == QLatin1String("folder.wav"))
            QVERIFY(QDir(m_dir.path()).mkpath(name));
        else if (name == QLatin1String("flac.wav"))
            QVERIFY(sox(QStringList{QStringLiteral("-n"), QStringLiteral("-t"),
                                    QStringLiteral("flac"), path} +
                        toneArgs));
        else if (!content.isNull())
            QVERIFY(writeFile(path, content));

        const WavFile::Info info = WavFile::inspect(path);
        QVERIFY2(info.error.startsWith(reason), qPrintable(info.error));
    }

    void placeholderSizeOfStreamingWritersIsNotTruncation()
    {
        const quint32 declared = 0xffffffff;
        QByteArray wav = pcm16Wav(sine(1000, 0.5, 48000, 1, 0.5), 1, 48000);
        wav.replace(40, 4, QByteArray(reinterpret_cast<const char *>(&declared), 4));
        const QString path = file(QStringLiteral("streamed.wav"));
        QVERIFY(writeFile(path, wav));
        const WavFile::Info info = WavFile::inspect(path);
        QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
        QCOMPARE(info.frames, 24000);
    }

    void cancelledOrFailedConversionLeavesNothing_data()
    {
        QTest::addColumn<int>("cancelAfterBlocks");
        QTest::addColumn<bool>("targetDirExists");
        QTest::addColumn<int>("outcome");
        QTest::newRow("cancelled at once") << 0 << true << int(WavFile::Outcome::Cancelled);
        QTest::newRow("cancelled midway") << 3 << true << int(WavFile::Outcome::Cancelled);
        QTest::newRow("nowhere to write") << -1 << false << int(WavFile::Outcome::Failed);
    }

    void cancelledOrFailedConversionLeavesNothing()
    {
        QFETCH(int, cancelAfterBlocks);
        QFETCH(bool, targetDirExists);
        QFETCH(int, outcome);

        const QString source = file(QStringLiteral("long24.wav"));
        if (!QFile::exists(source))
            QVERIFY(
                sox({QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
                     QStringLiteral("-b"), QStringLiteral("24"), source, QStringLiteral("synth"),
                     QStringLiteral("5"), QStringLiteral("sine"), QStringLiteral("440")}));
        const QString target = targetDirExists ? file(QStringLiteral("copy.wav"))
                                               : file(QStringLiteral("nowhere/copy.wav"));
        int asked = 0;
        const WavFile::Conversion result = WavFile::convertToPcm16(
            source, target, [&] { return cancelAfterBlocks >= 0 && asked++ >= cancelAfterBlocks; });
        QCOMPARE(int(result.outcome), outcome);
        if (cancelAfterBlocks > 0)
            QCOMPARE(asked, cancelAfterBlocks + 1);
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(target + QStringLiteral(".part")));
        QCOMPARE(result.error.isEmpty(), result.outcome == WavFile::Outcome::Cancelled);
    }

    void tenSeconds24BitConvertQuickly()
    {
        const QString source = file(QStringLiteral("ten24.wav"));
        QVERIFY(sox({QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
                     QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                     QStringLiteral("24"), source, QStringLiteral("synth"), QStringLiteral("10"),
                     QStringLiteral("sine"), QStringLiteral("440")}));
        QElapsedTimer timer;
        timer.start();
        const WavFile::Info info = WavFile::inspect(source);
        const WavFile::Conversion result =
            WavFile::convertToPcm16(source, file(QStringLiteral("ten16.wav")), {});
        const qint64 ms = timer.elapsed();
        QVERIFY(info.error.isEmpty());
        QVERIFY(result.outcome == WavFile::Outcome::Done);
        qInfo("inspecting and converting 10 s of 24-bit stereo took %lld ms", ms);
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
    }
};

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
