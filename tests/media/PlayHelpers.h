#pragma once
// Opening a file and catching what it plays, shared by the media tests.
#include "OpenNow.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"

#include <QByteArray>

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
