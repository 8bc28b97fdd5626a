#include "media/Volume.h"

#include <atomic>
#include <mutex>

namespace media {

namespace {
// Read by the audio callback on every buffer, so a lock-free atomic.
std::atomic<std::uint32_t> g_word{0xFFFFFFFFu};

std::mutex &ObserverMutex()
{
    static std::mutex m;
    return m;
}
std::function<void(std::uint32_t)> &Observer()
{
    static std::function<void(std::uint32_t)> f;
    return f;
}
} // namespace

void GainChanged(); // Device.cpp

void WaveOutSetVolume(std::uint32_t word)
{
    if (g_word.exchange(word, std::memory_order_relaxed) != word)
        GainChanged();
    std::function<void(std::uint32_t)> observer;
    {
        std::lock_guard lk(ObserverMutex());
        observer = Observer();
    }
    if (observer)
        observer(word);
}

std::uint32_t WaveOutVolume() { return g_word.load(std::memory_order_relaxed); }

void SetVolumeObserver(std::function<void(std::uint32_t)> observer)
{
    std::lock_guard lk(ObserverMutex());
    Observer() = std::move(observer);
}

} // namespace media
