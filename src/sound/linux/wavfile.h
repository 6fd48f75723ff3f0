#pragma once

#include <QString>

#include <functional>

// Reading WAV files for the sound backend: what a file holds, and a 16-bit PCM copy of it
// for a sound server that takes little more than that.
namespace WavFile {

struct Info
{
    QString error;          // empty when the file can be played; otherwise a reason a user can read
    bool playsAsIs = false; // plain 8/16-bit PCM, mono or stereo: no copy needed
    int channels = 0;
    int sampleRate = 0;
    qint64 frames = 0;
};

Info inspect(const QString &path);

enum class Outcome { Done, Cancelled, Failed };

struct Conversion
{
    Outcome outcome = Outcome::Failed;
    QString error;
};

// Writes `target` whole or not at all; `cancelled` is asked between blocks.
Conversion convertToPcm16(const QString &source, const QString &target,
                          const std::function<bool()> &cancelled);

} // namespace WavFile
