#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Sound files made at test time: by sox, an encoder independent of the code under test, or
// byte by byte for the header layouts sox does not write.
namespace TestSounds {

// Runs sox with these arguments; on failure returns false and says why in *error.
bool sox(const QStringList &args, QString *error = nullptr);

// Interleaved 16-bit samples of a sine on every channel.
QVector<qint16> sine(double hz, double seconds, int rate, int channels, double amplitude);

enum class Layout {
    Plain,          // WAVE_FORMAT_PCM, fmt then data
    Extensible,     // WAVE_FORMAT_EXTENSIBLE with the PCM sub-format
    ListChunkFirst, // a LIST/INFO chunk between fmt and data, as many editors write
};
QByteArray pcm16Wav(const QVector<qint16> &samples, int channels, int rate,
                    Layout layout = Layout::Plain);

bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace TestSounds
