#pragma once
// The tests' output provider: while installed, every device opened afterwards plays
// into a manual output instead of the sound card. Nothing moves until a test advances
// the clock.
#include <cstdint>
#include <vector>

namespace media {

class ManualClock {
public:
    static void Install();
    static void Uninstall();
    static bool Installed();
    // Plays ms milliseconds of whatever manual device is playing now (decoding
    // synchronously) and delivers any completion notice before returning.
    static void Advance(int ms);

    // The playing devices' outputs count `ms` as played without taking any audio, as a
    // stalled device's clock may.
    static void Stall(int ms);
    // The playing devices' outputs are lost (as a removed device or a server gone), and
    // while switched off no new output opens. Retries run inside Advance.
    static void LoseOutput();
    static void SetOutputAvailable(bool on);

    // While on, Advance keeps every stereo frame it plays (after the gain), interleaved
    // left/right; TakeCaptured hands them over and starts afresh. Turning it on clears.
    static void SetCapture(bool on);
    static std::vector<std::int16_t> TakeCaptured();
};

} // namespace media
