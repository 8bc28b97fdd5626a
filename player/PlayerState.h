#pragma once
// The shared player state: one player per process, used by the main window's
// playlist, sequencer, transport, seek bar, volume and tray code.
#include <QByteArray>
#include <QIcon>
#include <QString>
#include <cstdint>

// The playlist's folder, as bytes: empty or ending in "/", at most 255 characters.
extern QByteArray RememberedFolder;
// 0 repeat off, 1 repeat the song, 2 repeat the playlist.
extern std::uint8_t RepeatMode;
// True only while the program itself moves the seek bar.
extern bool PositionUpdateGuard;
extern std::int32_t ElapsedMinutes;
extern std::int32_t ElapsedSeconds;
// Low 16 bits left, high 16 bits right.
extern std::uint32_t CurrentVolume;
// The volume word for the slider `stepsUp` steps above its silent end: each
// channel's gain 3250 a step.
constexpr std::uint32_t VolumeWordFor(int stepsUp)
{
    const std::uint32_t level = std::uint32_t(stepsUp) * 3250u;
    return level + level * 65536u;
}

// What the tray icon is made from, filled once at start-up.
struct TTrayIconRecord {
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip;
};
extern TTrayIconRecord TrayIconRecord;

// Back to the start values (tests build several main windows in one process).
void ResetPlayerState();
