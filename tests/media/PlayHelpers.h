#pragma once
// Opening a file and catching what it plays, shared by the media tests.
#include "OpenNow.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "tests/media/MediaFixtures.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

inline void OpenFile(TMediaPlayer &mp, const QByteArray &path)
{
    mp.FileName = path;
    OpenNow(mp);
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
