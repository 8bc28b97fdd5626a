#pragma once
// The program's own output gain, process-wide: the stand-in for the wave mapper volume.
#include <cstdint>
#include <functional>

namespace media {

// Low 16 bits: left channel gain x/65535; high 16 bits: right channel. Applies to what
// plays now and to every device opened later; remembered when none is open.
void WaveOutSetVolume(std::uint32_t word);
std::uint32_t WaveOutVolume();

// Tests watch every word sent; nullptr removes the observer.
void SetVolumeObserver(std::function<void(std::uint32_t)> observer);

} // namespace media
