// The SDL2 output: for systems without a sound server (ALSA) and for SDL's `dummy` driver,
// which consumes audio at real-time pace without sound (the unit tests').
//
// Its count of frames played is an estimate: SDL says only when it takes a buffer, so the
// count is the frame at the start of the last buffer taken plus the wall-clock time since,
// capped at that buffer's length.
#include "media/Output.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace media {

namespace {

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class SdlOutput;

// The open outputs by device, for the removal notice. SDL's hot-plug thread (or the
// device's own) posts the notice under SDL's event lock, and the filter holds this lock
// while it tells the output, so an output cannot be destroyed meanwhile: its destructor
// leaves the registry under this lock first. Under it only the output's source mutex and
// Qt's event-queue lock (posting the notice) are taken; nobody calls into SDL holding it.
std::mutex g_registryMutex;
std::vector<SdlOutput *> g_registry;

int SDLCALL EventFilter(void *, SDL_Event *event);

bool EnsureSdl()
{
    static bool ready = false;
    if (ready)
        return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "ZOLM Player");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        SetOutputProblem(SDL_GetError());
        return false;
    }
    // The removal of a device comes as an event; nobody here polls SDL's queue, so the
    // filter sees it as it is posted (on the thread that noticed) and keeps it out.
    SDL_SetEventFilter(&EventFilter, nullptr);
    ready = true;
    return true;
}

class SdlOutput final : public Output {
public:
    SdlOutput(int rate) : rate_(rate) {}
    ~SdlOutput() override
    {
        {
            std::lock_guard lk(g_registryMutex);
            g_registry.erase(std::remove(g_registry.begin(), g_registry.end(), this), g_registry.end());
        }
        if (id_)
            SDL_CloseAudioDevice(id_); // joins SDL's thread: up to three periods
    }

    bool Open()
    {
        SDL_AudioSpec want{}, have{};
        want.freq = rate_;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        // The longest power-of-two period within 50 ms: 2048 frames at 44.1 and 48 kHz. A
        // pause or seek is heard after at most about two periods; the position stays exact,
        // interpolated within each period.
        Uint16 samples = 256;
        while (samples < 16384 && 2 * samples * 20 <= rate_)
            samples = static_cast<Uint16>(samples * 2);
        want.samples = samples;
        want.callback = &SdlOutput::Callback;
        want.userdata = this;
        // No changes allowed: SDL converts if it must, so the source's format always holds.
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id_ == 0) {
            SetOutputProblem(SDL_GetError());
            return false;
        }
        std::lock_guard lk(g_registryMutex);
        g_registry.push_back(this);
        return true;
    }

    Kind OutputKind() const override { return Kind::Sdl; }
    int Rate() const override { return rate_; }
    bool Alive() const override { return !lost_.load(); }

    void Start(OutputSource *source) override
    {
        if (lost_.load()) { // removed while it stood paused
            source->Lost();
            return;
        }
        {
            std::lock_guard lk(sourceMutex_);
            source_ = source;
        }
        SDL_PauseAudioDevice(id_, 0);
    }
    // SDL flips the flag under the device lock, which its thread holds around the callback.
    void Pause() override
    {
        SDL_PauseAudioDevice(id_, 1);
        std::lock_guard lk(sourceMutex_);
        source_ = nullptr;
    }
    void Flush() override
    {
        pulled_ = 0;
        Publish(0, 0, NowNs());
    }

    std::uint64_t Played() override
    {
        if (lost_.load(std::memory_order_acquire))
            return frozen_;
        std::uint64_t f = 0, c = 0;
        std::int64_t t = 0;
        for (int tries = 0; tries < 10000; ++tries) {
            const std::uint32_t s1 = seq_.load(std::memory_order_acquire);
            f = pubFrame_.load(std::memory_order_relaxed);
            c = pubCount_.load(std::memory_order_relaxed);
            t = pubTimeNs_.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (!(s1 & 1) && seq_.load(std::memory_order_relaxed) == s1)
                break;
        }
        const std::int64_t elapsed = std::max<std::int64_t>(0, NowNs() - t);
        const auto played = static_cast<std::uint64_t>(static_cast<double>(elapsed) * rate_ / 1e9);
        return f + std::min(c, played);
    }

    void Removed()
    {
        frozen_ = Played();
        lost_.store(true, std::memory_order_release);
        std::lock_guard lk(sourceMutex_);
        if (source_)
            source_->Lost();
    }

    SDL_AudioDeviceID Id() const { return id_; }

private:
    // Published under a sequence counter: the frame (counted from the last flush) at the
    // start of the buffer just handed to SDL, how many frames it held, and when.
    void Publish(std::uint64_t frame, std::uint64_t count, std::int64_t now)
    {
        const std::uint32_t s = seq_.load(std::memory_order_relaxed);
        seq_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        pubFrame_.store(frame, std::memory_order_relaxed);
        pubCount_.store(count, std::memory_order_relaxed);
        pubTimeNs_.store(now, std::memory_order_relaxed);
        seq_.store(s + 2, std::memory_order_release);
    }

    static void SDLCALL Callback(void *userdata, Uint8 *stream, int len)
    {
        auto *self = static_cast<SdlOutput *>(userdata);
        auto *out = reinterpret_cast<std::int16_t *>(stream);
        const std::size_t frames = static_cast<std::size_t>(len) / 4;
        // A removed device's thread goes on calling at real-time pace into nothing.
        OutputSource *source = self->lost_.load(std::memory_order_acquire) ? nullptr : self->source_;
        bool last = false;
        const std::size_t n = source ? source->Pull(out, frames, &last) : 0;
        if (n < frames)
            std::memset(out + 2 * n, 0, (frames - n) * 4);
        if (!source)
            return;
        self->Publish(self->pulled_, n, NowNs());
        self->pulled_ += n;
        if (n == 0 && last) // a whole period after the last frames went out
            source->Drained();
    }

    const int rate_;
    SDL_AudioDeviceID id_ = 0;
    std::mutex sourceMutex_; // a leaf; guards source_ against the removal notice
    OutputSource *source_ = nullptr; // written only while SDL's thread is paused
    std::uint64_t pulled_ = 0;       // SDL's thread, or while it is paused
    std::atomic<std::uint32_t> seq_{0};
    std::atomic<std::uint64_t> pubFrame_{0}, pubCount_{0};
    std::atomic<std::int64_t> pubTimeNs_{0};
    std::atomic<bool> lost_{false};
    std::uint64_t frozen_ = 0;
};

int SDLCALL EventFilter(void *, SDL_Event *event)
{
    if (event->type != SDL_AUDIODEVICEREMOVED)
        return 0;
    if (event->adevice.iscapture)
        return 0;
    std::lock_guard lk(g_registryMutex);
    for (SdlOutput *o : g_registry)
        if (o->Id() == event->adevice.which)
            o->Removed();
    return 0;
}

} // namespace

std::unique_ptr<Output> OpenSdlOutput(int rate)
{
    if (!EnsureSdl())
        return nullptr;
    auto out = std::make_unique<SdlOutput>(rate);
    if (!out->Open())
        return nullptr;
    return out;
}

} // namespace media
