#pragma once
// What the media tests share: generated audio (WAVs from TestFiles.h, MP3s made by lame),
// the independent judges (sox, libmpg123 alone), and opening a file and catching what it plays.
#include "OpenNow.h"
#include "TestFiles.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <mpg123.h>

#include <cstdint>
#include <vector>

namespace fx {

// An ID3v2.3 tag of 256 bytes: one title frame and padding.
inline QByteArray Id3v2Tag()
{
    QByteArray tag("ID3\x03\0\0\0\0\x02\0", 10);
    tag += "TIT2";
    tag += QByteArray("\0\0\0\x06" "\0\0" "\0Title", 12);
    return tag + QByteArray(256 - 4 - 12, '\0');
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

inline bool Lame(const QString &wav, const QString &mp3, QStringList options)
{
    return Run("lame", options << "--quiet" << wav << mp3);
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

inline TMediaPlayer &OpenFile(TMediaPlayer &mp, const QByteArray &path)
{
    mp.FileName = path;
    OpenNow(mp);
    return mp;
}

// A player that counts its own completion notices and the outputs it lost.
struct CountingPlayer : TMediaPlayer {
    CountingPlayer()
    {
        OnNotify = [this](TMediaPlayer *sender) { notices += sender == this; };
        OnOutputGone = [this](TMediaPlayer *) { ++gone; };
    }
    int notices = 0, gone = 0;
};

// Stopped at its length, as at the end of a file; else where it stands, for the failure.
inline QString NotAtEnd(TMediaPlayer &mp)
{
    if (mp.Mode() == TMPModes::mpStopped && mp.Position() == mp.Length())
        return {};
    return QStringLiteral("mode %1 at %2 of %3 ms").arg(int(mp.Mode())).arg(mp.Position()).arg(mp.Length());
}
#define VERIFY_AT_END(mp) QVERIFY2(NotAtEnd(mp).isEmpty(), qPrintable(NotAtEnd(mp)))
#define TRY_AT_END(mp, timeout) QTRY_VERIFY2_WITH_TIMEOUT(NotAtEnd(mp).isEmpty(), qPrintable(NotAtEnd(mp)), timeout)

// dir/name, the name as bytes (it need not be UTF-8).
inline QByteArray PathIn(const QTemporaryDir &dir, const QByteArray &name)
{
    return QFile::encodeName(dir.path()) + '/' + name;
}
// Writes bytes to dir/name; the path written.
inline QByteArray Write(const QTemporaryDir &dir, const QByteArray &name, const QByteArray &bytes)
{
    const QByteArray path = PathIn(dir, name);
    if (!WriteBytes(path, bytes))
        qFatal("cannot write %s", path.constData());
    return path;
}

// The stereo frames the device gives while the manual clock runs `ms` (after a Play if `play`).
inline std::vector<std::int16_t> Capture(TMediaPlayer &mp, int ms, bool play = true)
{
    media::ManualClock::SetCapture(true);
    if (play)
        mp.Play();
    media::ManualClock::Advance(ms);
    auto out = media::ManualClock::TakeCaptured();
    media::ManualClock::SetCapture(false);
    return out;
}

inline QByteArray LittleEndian(std::uint32_t v, int bytes)
{
    QByteArray b;
    for (int k = 0; k < bytes; ++k)
        b += char((v >> (8 * k)) & 0xFF);
    return b;
}

inline QByteArray BigEndian(std::uint32_t v, int bytes)
{
    QByteArray b;
    while (bytes-- > 0)
        b += char(v >> (8 * bytes));
    return b;
}

// Opens path, returning the refusal's message, empty when it opened.
inline QString TryOpen(TMediaPlayer &mp, const QByteArray &path)
{
    try {
        OpenFile(mp, path);
    } catch (const EMCIDeviceError &e) {
        return e.Message().isEmpty() ? QStringLiteral("refused without a message") : e.Message();
    }
    return {};
}

// sox turns `in` into dir/name with `opts` (and `effects` after); the path it wrote.
inline QByteArray Sox(const QTemporaryDir &dir, const QStringList &in, const QString &name, const QStringList &opts,
                      const QStringList &effects = {})
{
    const QString to = dir.filePath(name);
    if (!fx::Run("sox", QStringList(in) << opts << to << effects))
        qFatal("sox failed for %s", qPrintable(name));
    return QFile::encodeName(to);
}
