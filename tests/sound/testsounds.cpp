#include "testsounds.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <cmath>
#include <numbers>

namespace TestSounds {
namespace {

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

} // namespace

bool sox(const QStringList &args, QString *error)
{
    QProcess process;
    process.start(QStringLiteral("sox"), args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("sox %1: %2 %3")
                         .arg(args.join(QLatin1Char(' ')), process.errorString(),
                              QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    return true;
}

QVector<qint16> sine(double hz, double seconds, int rate, int channels, double amplitude)
{
    const int frames = int(std::lround(seconds * rate));
    QVector<qint16> samples;
    samples.reserve(frames * channels);
    for (int i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2 * std::numbers::pi * hz * i / rate);
        for (int c = 0; c < channels; ++c)
            samples.append(qint16(std::lround(value * 32767)));
    }
    return samples;
}

QByteArray pcm16Wav(const QVector<qint16> &samples, int channels, int rate, Layout layout)
{
    QByteArray fmt;
    const bool extensible = layout == Layout::Extensible;
    put16(fmt, extensible ? 0xfffe : 1);
    put16(fmt, quint16(channels));
    put32(fmt, quint32(rate));
    put32(fmt, quint32(rate * channels * 2));
    put16(fmt, quint16(channels * 2));
    put16(fmt, 16);
    if (extensible) {
        put16(fmt, 22);
        put16(fmt, 16);                        // valid bits
        put32(fmt, channels == 2 ? 0x3 : 0x4); // front left+right, or centre
        put32(fmt, 1);                         // KSDATAFORMAT_SUBTYPE_PCM ...
        fmt.append("\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 12);
    }

    QByteArray body("WAVE");
    body.append("fmt ");
    put32(body, quint32(fmt.size()));
    body.append(fmt);
    if (layout == Layout::ListChunkFirst) {
        const QByteArray comment("made by a test");
        QByteArray info("INFOICMT");
        put32(info, quint32(comment.size() + 1));
        info.append(comment).append('\0');
        if (info.size() % 2)
            info.append('\0');
        body.append("LIST");
        put32(body, quint32(info.size()));
        body.append(info);
    }
    body.append("data");
    put32(body, quint32(samples.size() * 2));
    for (const qint16 s : samples)
        put16(body, quint16(s));

    QByteArray wav("RIFF");
    put32(wav, quint32(body.size()));
    return wav + body;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace TestSounds
