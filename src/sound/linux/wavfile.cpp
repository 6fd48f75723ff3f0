#include "wavfile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace WavFile {
namespace {

struct SndfileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

Sndfile openSndfile(const QString &path, int mode, SF_INFO &info)
{
    return Sndfile(sf_open(QFile::encodeName(path).constData(), mode, &info));
}

QString formatName(int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return QString::fromUtf8(info.name);
    return QStringLiteral("0x%1").arg(format, 0, 16);
}

// sndfile quietly plays what is there of a file cut short; we would rather say so. Returns
// the bytes of sound the header declares and the bytes present, or {0, 0} if it cannot tell.
std::pair<qint64, qint64> riffDataSizes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0};
    const qint64 size = file.size();
    std::array<char, 12> riff{};
    if (file.read(riff.data(), riff.size()) != qint64(riff.size()) ||
        QByteArrayView(riff.data(), 4) != "RIFF" || QByteArrayView(riff.data() + 8, 4) != "WAVE")
        return {0, 0};
    qint64 pos = 12;
    std::array<char, 8> header{};
    while (pos + 8 <= size && file.seek(pos) &&
           file.read(header.data(), header.size()) == qint64(header.size())) {
        const quint32 chunkSize = qFromLittleEndian<quint32>(header.data() + 4);
        if (QByteArrayView(header.data(), 4) == "data") {
            // Writers that stream leave a placeholder here; the file length is the truth then.
            if (chunkSize == 0 || chunkSize >= 0x7fff0000u)
                return {0, 0};
            return {chunkSize, size - pos - 8};
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    return {0, 0};
}

} // namespace

Info inspect(const QString &path)
{
    Info result;
    if (path.isEmpty()) {
        result.error = QStringLiteral("no sound file chosen");
        return result;
    }
    const QFileInfo fileInfo(path);
    if (!fileInfo.exists()) {
        result.error = QStringLiteral("file not found");
        return result;
    }
    if (!fileInfo.isFile()) {
        result.error = QStringLiteral("not a file");
        return result;
    }
    if (!fileInfo.isReadable()) {
        result.error = QStringLiteral("file cannot be read");
        return result;
    }
    if (fileInfo.size() == 0) {
        result.error = QStringLiteral("file is empty");
        return result;
    }

    SF_INFO info{};
    const Sndfile file = openSndfile(path, SFM_READ, info);
    if (!file) {
        result.error = QStringLiteral("not a readable WAV file (%1)")
                           .arg(QString::fromUtf8(sf_strerror(nullptr)));
        return result;
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_RF64) {
        result.error = QStringLiteral("not a WAV file but %1").arg(formatName(major));
        return result;
    }
    if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0) {
        result.error = QStringLiteral("file holds no sound");
        return result;
    }
    if (major != SF_FORMAT_RF64) {
        const auto [declared, present] = riffDataSizes(path);
        if (present < declared) {
            result.error = QStringLiteral("file is truncated (%1 of %2 bytes of sound present)")
                               .arg(present)
                               .arg(declared);
            return result;
        }
    }

    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const int endian = info.format & SF_FORMAT_ENDMASK;
    result.playsAsIs =
        major == SF_FORMAT_WAV && (subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_U8) &&
        (endian == SF_ENDIAN_FILE || endian == SF_ENDIAN_LITTLE) && info.channels <= 2;
    result.channels = info.channels;
    result.sampleRate = info.samplerate;
    result.frames = info.frames;
    return result;
}

Conversion convertToPcm16(const QString &source, const QString &target,
                          const std::function<bool()> &cancelled)
{
    SF_INFO inInfo{};
    const Sndfile inFile = openSndfile(source, SFM_READ, inInfo);
    if (!inFile)
        return {Outcome::Failed, QString::fromUtf8(sf_strerror(nullptr))};
    const QString partial = target + QStringLiteral(".part");
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = inInfo.channels;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    Conversion result{Outcome::Done, {}};
    {
        const Sndfile out = openSndfile(partial, SFM_WRITE, outInfo);
        if (!out)
            return {Outcome::Failed, QString::fromUtf8(sf_strerror(nullptr))};
        constexpr sf_count_t blockFrames = 8192;
        const std::size_t samples = std::size_t(blockFrames) * std::size_t(inInfo.channels);
        // Read as floats in [-1, 1]: sndfile scales every encoding so, where its short reads
        // leave float files near silence. Loud float files are clipped, not wrapped.
        std::vector<float> in(samples);
        std::vector<short> block(samples);
        for (;;) {
            if (cancelled && cancelled()) {
                result = {Outcome::Cancelled, {}};
                break;
            }
            const sf_count_t got = sf_readf_float(inFile.get(), in.data(), blockFrames);
            if (got <= 0)
                break;
            const std::size_t count = std::size_t(got) * std::size_t(inInfo.channels);
            for (std::size_t i = 0; i < count; ++i)
                block[i] = short(std::clamp(std::lrint(in[i] * 32768.0f), -32768L, 32767L));
            if (sf_writef_short(out.get(), block.data(), got) != got) {
                result = {Outcome::Failed, QString::fromUtf8(sf_strerror(out.get()))};
                break;
            }
        }
    }
    if (result.outcome == Outcome::Done && std::rename(QFile::encodeName(partial).constData(),
                                                       QFile::encodeName(target).constData()) != 0)
        result = {Outcome::Failed, QStringLiteral("cannot store the converted copy")};
    if (result.outcome != Outcome::Done)
        QFile::remove(partial);
    return result;
}

} // namespace WavFile
