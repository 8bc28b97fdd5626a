#pragma once
// Generated audio files for the media tests: WAVs written here, MP3s made by lame.
#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace fx {

inline std::vector<std::int16_t> Tone(int rate, int channels, int frames, double freq, double amp)
{
    std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[std::size_t(i) * channels + c] =
                static_cast<std::int16_t>(amp * std::sin(2 * M_PI * freq * (c + 1) * i / rate));
    return s;
}

inline void Put32(QByteArray &b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}
inline void Put16(QByteArray &b, std::uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

// A 16-bit WAV; with a channel mask, in the WAVE_FORMAT_EXTENSIBLE form that names the layout.
inline QByteArray WavBytes(int rate, int channels, const std::vector<std::int16_t> &samples, std::uint32_t mask = 0)
{
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    const std::uint32_t fmt = mask ? 40 : 16;
    QByteArray b("RIFF");
    Put32(b, 20 + fmt + data);
    b += "WAVEfmt ";
    Put32(b, fmt);
    Put16(b, mask ? 0xFFFE : 1);
    Put16(b, std::uint16_t(channels));
    Put32(b, std::uint32_t(rate));
    Put32(b, std::uint32_t(rate * channels * 2));
    Put16(b, std::uint16_t(channels * 2));
    Put16(b, 16);
    if (mask) {
        Put16(b, 22);
        Put16(b, 16);
        Put32(b, mask);
        b += QByteArray("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16); // PCM
    }
    b += "data";
    Put32(b, data);
    b.append(reinterpret_cast<const char *>(samples.data()), qsizetype(data));
    return b;
}

// An ID3v2.3 tag of 256 bytes: one title frame and padding.
inline QByteArray Id3v2Tag()
{
    QByteArray tag("ID3\x03\0\0\0\0\x02\0", 10);
    tag += "TIT2";
    tag += QByteArray("\0\0\0\x06" "\0\0" "\0Title", 12);
    return tag + QByteArray(256 - 4 - 12, '\0');
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The same for a path given as bytes: names need not be UTF-8.
inline bool WriteFile(const QByteArray &path, const QByteArray &bytes)
{
    const std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.constData(), "wb"), std::fclose);
    return f && std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), f.get()) == std::size_t(bytes.size());
}

inline bool WriteWav(const QString &path, int rate, int channels, const std::vector<std::int16_t> &samples)
{
    return WriteFile(path, WavBytes(rate, channels, samples));
}

inline bool Run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// sox's figures for one channel (from 1) of the input, by label ("RMS amplitude", ...), full scale 1.
inline QMap<QString, double> SoxStat(const QStringList &input, int channel)
{
    QProcess sox;
    sox.start("sox", QStringList(input) << "-n" << "remix" << QString::number(channel) << "stat");
    sox.waitForFinished(60000);
    QMap<QString, double> stat;
    for (const QByteArray &line : sox.readAllStandardError().split('\n'))
        if (const int colon = int(line.indexOf(':')); colon > 0)
            stat[QString::fromLatin1(line.left(colon)).simplified()] = line.mid(colon + 1).trimmed().toDouble();
    return stat;
}

// Encodes wav into mp3 with lame's options.
inline bool Lame(const QString &wav, const QString &mp3, QStringList options)
{
    options << "--quiet" << wav << mp3;
    return Run("lame", options);
}

// Decodes a whole MP3 with plain libmpg123 (no scan, no seeking), following any change of
// mode, into stereo frames (mono ones on both sides): the reference for lengths and samples.
inline std::vector<std::int16_t> BareDecode(const QByteArray &path, long *rate = nullptr, int *channels = nullptr)
{
    std::vector<std::int16_t> out, buf(16384);
    mpg123_handle *mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    const long *rates = nullptr;
    std::size_t n = 0;
    mpg123_rates(&rates, &n);
    for (std::size_t i = 0; i < n; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long r = 0;
    int ch = 0, enc = 0;
    if (mpg123_open(mh, path.constData()) == MPG123_OK && mpg123_getformat(mh, &r, &ch, &enc) == MPG123_OK) {
        for (int ret = MPG123_OK; ret == MPG123_OK || ret == MPG123_NEW_FORMAT;) {
            std::size_t done = 0;
            ret = mpg123_read(mh, buf.data(), buf.size() * 2, &done);
            for (std::size_t i = 0; i < done / 2; ++i)
                out.insert(out.end(), ch == 1 ? 2 : 1, buf[i]);
            if (ret == MPG123_NEW_FORMAT)
                mpg123_getformat(mh, &r, &ch, &enc);
        }
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    if (rate)
        *rate = r;
    if (channels)
        *channels = 2;
    return out;
}

} // namespace fx
