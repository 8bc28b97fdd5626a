// The media back end: one Engine per open file.
//
// Threads. Three kinds of thread touch an Engine:
//   - the GUI thread: every public Device call, opening, closing, seeking;
//   - the decoder thread (one per SDL-backed engine): sleeps on a semaphore until the ring
//     is half empty, then refills it to the top in one batch;
//   - SDL's audio thread: the callback, which copies from the ring, applies the gain
//     and publishes how far playback has got. It exists only while the engine plays.
// A fourth, the releaser, touches no Engine: it closes SDL outputs handed to it. Closing
// joins SDL's thread, which first sleeps out its period and then two more "for the audio
// to drain"; on the GUI thread that would make every pause and stop wait three periods.
// A held engine's output waits there a second first, so that a quick resume takes it back
// (no reconnect to the sound server, and on a driver that opens one device at a time no
// wait for the close either).
// With ManualClock installed there is neither a decoder thread nor SDL: the GUI thread
// decodes and renders synchronously inside ManualClock::Advance.
//
// Invariants.
//   1. The audio thread never waits on the GUI thread, and never takes decodeMutex. It
//      touches only atomics and the ring slots between readPos and writePos, and wakes the
//      decoder with sem_post (lock-free). Completion notices leave it through a queued
//      post to the GUI thread.
//   2. The ring is single-producer/single-consumer: only the decoder side advances
//      writePos, only the callback advances readPos. writePos - readPos <= kRingFrames.
//   3. eof is stored after the writePos of the last chunk; the callback loads eof before
//      writePos, so "eof and nothing left" really means everything was played out.
//   4. Everything else (ring reset, baseFrame, decoder seek) changes only while the
//      engine is halted: running == false, followed by a lock/unlock of the SDL device
//      when one is open (so no callback is mid-flight), with decodeMutex held (so the
//      decoder is idle).
//   5. notifyPending is exchanged, never read-then-written, so a play command yields
//      exactly one notice: Successful from the audio side, or Superseded/Aborted from the
//      GUI side, whichever comes first.
//   6. Each engine has a process-unique serial. Notices carry it; TMediaPlayer drops a
//      notice whose serial is not that of its current device (one closed meanwhile).
//   7. The SDL device is open from Open (which proves an output exists, and whose play
//      nearly always follows at once) or from a play command, until the engine holds
//      (stop, pause, a finished play settling) or is destroyed. Even a paused SDL device has
//      a thread waking every period, so a held engine releases it: after halting, it pauses
//      the device (SDL flips that flag under its device lock, so from then on the callback
//      neither runs nor will run, and the Engine may go) and hands it to the releaser, which
//      closes it after kReleaseGrace unless the same engine (by serial) takes it back
//      first; a destroyed engine's output is closed at once. Then nothing runs at all: the
//      decoder thread sleeps with no timeout.
//      Play and Resume take it back or reopen it, with the same format, before changing
//      anything else, so a refused reopen leaves the engine exactly as it stood. A reopen
//      that SDL refuses while a release is still under way is tried once more after it (a
//      driver that opens one device at a time).
//   8. The decoder sleeps only after clearing wakeAsked (an exchange, so it sees the
//      callback's readPos) and finding the ring above half; the callback posts only when it
//      sets wakeAsked itself. A semaphore keeps a post made before the sleep, so no
//      request is lost and no timed wake-up is needed to back one up.
//
// Lock order: decodeMutex, then the SDL device lock. The GUI thread takes them only in
// Halt(), the SDL lock only momentarily as a barrier (and inside SDL_PauseAudioDevice); the
// decoder thread takes only decodeMutex; the callback takes nothing (SDL holds its own device
// lock around it). Opening SDL devices happens on the GUI thread with neither lock held,
// closing them on the releaser thread. The releaser's queue mutex is a leaf: every thread
// takes it with no other lock held and lets go before any SDL call. SDL lets one device
// close while another opens: each has its own thread, lock and server connection.
//
// Periods. SDL's period sets how often its thread wakes, which is nearly all the CPU that
// playing costs beyond decoding. It is chosen as long as latency allows: a seek or pause is
// heard after at most the buffer being filled plus what the server holds (about a period
// each), so a period of at most 50 ms keeps that within 100 ms.
//
// Position. The callback publishes, under a sequence counter, the file frame at the
// start of the buffer it just handed to SDL, how many frames that buffer held, and when.
// The played position is that frame plus the time since, capped at the buffer's length.
// A stopped or paused engine stands at heldFrame; a finished one at its length.
#include "media/Device.h"

#include "media/Decoder.h"
#include "media/ManualClock.h"
#include "media/Volume.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <semaphore.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace media {

namespace {

constexpr std::size_t kRingFrames = 1u << 16; // ~1.4 s at 44.1 kHz
constexpr std::size_t kRingMask = kRingFrames - 1;
constexpr std::size_t kChunkFrames = 4096;
constexpr std::size_t kPrefillFrames = 16384;

std::atomic<std::uint64_t> g_nextSerial{1};
std::uint16_t g_nextId = 0;
std::string g_outputProblem;
std::atomic<int> g_openOutputs{0}; // raised by the GUI thread, lowered by the releaser
constexpr std::chrono::milliseconds kReleaseGrace{1000};

// Closes SDL outputs off the GUI thread (see the top: closing takes up to three periods).
// Sleeps on its condition with no timeout while there is nothing to close.
class Releaser {
    using Clock = std::chrono::steady_clock;
    struct Entry {
        SDL_AudioDeviceID id;
        std::uint64_t owner; // serial of the engine that may take it back; 0: none
        Clock::time_point due;
    };

public:
    ~Releaser()
    {
        {
            std::lock_guard lk(m_);
            quit_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable())
            thread_.join(); // closes whatever is still queued first
    }
    // The device must be paused already: SDL calls no callback of a paused device.
    void Release(SDL_AudioDeviceID id, std::uint64_t owner)
    {
        std::lock_guard lk(m_);
        queue_.push_back({id, owner, owner ? Clock::now() + kReleaseGrace : Clock::now()});
        ++pending_;
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
        cv_.notify_all();
    }
    // The paused output that `owner` released and that is not closed yet, or 0.
    SDL_AudioDeviceID Reclaim(std::uint64_t owner)
    {
        if (owner == 0) // an engine that failed before it had a serial; 0 marks "no owner"
            return 0;
        std::lock_guard lk(m_);
        const auto it = std::find_if(queue_.begin(), queue_.end(), [owner](const Entry &e) { return e.owner == owner; });
        if (it == queue_.end())
            return 0;
        const SDL_AudioDeviceID id = it->id;
        queue_.erase(it);
        --pending_;
        cv_.notify_all();
        return id;
    }
    // Closes everything handed over without waiting out the grace; returns once done.
    void Drain()
    {
        std::unique_lock lk(m_);
        hurry_ = true;
        cv_.notify_all();
        cv_.wait(lk, [this] { return pending_ == 0; });
        hurry_ = false;
    }
    bool Busy()
    {
        std::lock_guard lk(m_);
        return pending_ > 0;
    }

private:
    void Run()
    {
        std::unique_lock lk(m_);
        for (;;) {
            cv_.wait(lk, [this] { return quit_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            const auto next = std::min_element(queue_.begin(), queue_.end(),
                                               [](const Entry &a, const Entry &b) { return a.due < b.due; });
            if (!quit_ && !hurry_ && Clock::now() < next->due) {
                cv_.wait_until(lk, next->due); // or until anything changes; then look again
                continue;
            }
            const SDL_AudioDeviceID id = next->id;
            queue_.erase(next);
            lk.unlock();
            SDL_CloseAudioDevice(id);
            g_openOutputs.fetch_sub(1);
            lk.lock();
            --pending_;
            cv_.notify_all();
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Entry> queue_;
    int pending_ = 0;
    bool quit_ = false;
    bool hurry_ = false;
    std::thread thread_;
};
Releaser &Outputs()
{
    static Releaser r;
    return r;
}

struct ManualState {
    bool installed = false;
    std::vector<Engine *> engines;
    bool capturing = false;
    std::vector<std::int16_t> captured;
};
ManualState &Manual()
{
    static ManualState s;
    return s;
}

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// s * gain / 65535, rounded. In float so the loop vectorises on plain SSE2; a float's 24-bit
// mantissa keeps the result within half a step of the exact value.
inline std::int16_t Scale(std::int16_t s, float factor)
{
    const float v = static_cast<float>(s) * factor;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(v + (v >= 0.0f ? 0.5f : -0.5f)));
}

bool EnsureSdl()
{
    static bool ready = false;
    if (ready)
        return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "ZOLM Player");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        g_outputProblem = SDL_GetError();
        return false;
    }
    ready = true;
    return true;
}

} // namespace

const std::string &LastOutputProblem() { return g_outputProblem; }
int OpenOutputs()
{
    Outputs().Drain();
    return g_openOutputs.load();
}

class Engine {
public:
    enum class State { Stopped, Playing, Paused };

    Engine() { sem_init(&wake, 0, 0); }
    ~Engine()
    {
        running.store(false);
        if (!sdl && !manual)
            sdl = Outputs().Reclaim(serial); // a held output goes at once, not after the grace
        ReleaseOutput(false);
        if (thread.joinable()) {
            {
                std::lock_guard lk(decodeMutex);
                quit = true;
            }
            sem_post(&wake);
            thread.join();
        }
        sem_destroy(&wake);
        dec.reset();
        if (fd >= 0)
            ::close(fd);
        auto &list = Manual().engines;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }

    // ---- fixed after open
    int fd = -1;
    std::unique_ptr<Decoder> dec;
    int rate = 0;
    int srcChannels = 0;
    std::uint64_t lengthFrames = 0;
    std::uint32_t lengthMs = 0;
    std::uint64_t serial = 0;
    std::uint16_t id = 0;
    QPointer<QObject> receiver;
    Device::NoticePoster post;
    bool manual = false;
    SDL_AudioSpec want{}; // what the output is (re)opened with

    // ---- GUI side: 0 while the output is released (invariant 7)
    SDL_AudioDeviceID sdl = 0;

    // ---- shared with the audio side
    std::unique_ptr<std::int16_t[]> ring{new std::int16_t[2 * kRingFrames]};
    std::atomic<std::uint64_t> writePos{0}, readPos{0};
    std::atomic<bool> eof{false}, running{false}, finished{false}, notifyPending{false}, wakeAsked{false};
    std::uint64_t baseFrame = 0; // file frame at ring position 0; see invariant 4
    std::atomic<std::uint32_t> seq{0};
    std::atomic<std::uint64_t> pubFrame{0}, pubCount{0};
    std::atomic<std::int64_t> pubTimeNs{0};

    // ---- decoder side
    std::thread thread;
    std::mutex decodeMutex;
    sem_t wake; // posted by the callback (ring half empty) and by the GUI thread
    bool quit = false;   // under decodeMutex
    bool active = false; // under decodeMutex
    std::vector<std::int16_t> scratch;

    // ---- GUI side
    State state = State::Stopped;
    std::uint64_t heldFrame = 0;
    std::uint64_t manualRemainder = 0;

    // Decodes one chunk into the ring. Caller holds decodeMutex (or is the only thread).
    bool FillOnce()
    {
        const std::uint64_t w = writePos.load(std::memory_order_relaxed);
        const std::uint64_t r = readPos.load(std::memory_order_acquire);
        if (kRingFrames - (w - r) < kChunkFrames || eof.load(std::memory_order_relaxed))
            return false;
        // Never across the ring's wrap point, so a stereo stream decodes straight into it.
        const std::size_t want = std::min(kChunkFrames, kRingFrames - static_cast<std::size_t>(w & kRingMask));
        std::int16_t *dst = ring.get() + 2 * (w & kRingMask);
        const int ch = srcChannels;
        const std::size_t got = dec->Read(ch == 2 ? dst : scratch.data(), want);
        if (got == 0) {
            eof.store(true, std::memory_order_release);
            return false;
        }
        const std::int16_t *src = scratch.data();
        if (ch == 1) {
            for (std::size_t i = 0; i < got; ++i)
                dst[2 * i] = dst[2 * i + 1] = src[i];
        } else if (ch > 2) { // even channels to the left, odd ones to the right
            for (std::size_t i = 0; i < got; ++i, src += ch) {
                std::int32_t l = 0, rr = 0;
                for (int c = 0; c < ch; ++c)
                    (c % 2 ? rr : l) += src[c];
                dst[2 * i] = static_cast<std::int16_t>(l / ((ch + 1) / 2));
                dst[2 * i + 1] = static_cast<std::int16_t>(rr / (ch / 2));
            }
        }
        writePos.store(w + got, std::memory_order_release);
        return true;
    }

    // Copies frames with the gain applied; the loop is simple enough to vectorise.
    static void CopyWithGain(std::int16_t *out, const std::int16_t *in, std::size_t frames, std::int32_t gl,
                             std::int32_t gr)
    {
        if (gl == 0xFFFF && gr == 0xFFFF) {
            std::memcpy(out, in, frames * 4);
            return;
        }
        const float fl = static_cast<float>(gl) / 65535.0f, fr = static_cast<float>(gr) / 65535.0f;
        for (std::size_t i = 0; i < frames; ++i) {
            out[2 * i] = Scale(in[2 * i], fl);
            out[2 * i + 1] = Scale(in[2 * i + 1], fr);
        }
    }

    void Publish(std::uint64_t frame, std::uint64_t count, std::int64_t now)
    {
        const std::uint32_t s = seq.load(std::memory_order_relaxed);
        seq.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        pubFrame.store(frame, std::memory_order_relaxed);
        pubCount.store(count, std::memory_order_relaxed);
        pubTimeNs.store(now, std::memory_order_relaxed);
        seq.store(s + 2, std::memory_order_release);
    }

    void Finish()
    {
        running.store(false, std::memory_order_relaxed);
        finished.store(true, std::memory_order_release);
        if (notifyPending.exchange(false))
            post(serial, 1);
    }

    // The output side: SDL's callback, or ManualClock::Advance. Never blocks.
    void Render(std::int16_t *out, std::size_t frames)
    {
        if (!running.load(std::memory_order_acquire)) {
            std::memset(out, 0, frames * 4);
            return;
        }
        const bool atEnd = eof.load(std::memory_order_acquire);
        const std::uint64_t w = writePos.load(std::memory_order_acquire);
        const std::uint64_t r = readPos.load(std::memory_order_relaxed);
        const std::size_t avail = static_cast<std::size_t>(w - r);
        const std::size_t n = std::min(frames, avail);
        if (n == 0 && atEnd) { // the last buffer has been played out
            std::memset(out, 0, frames * 4);
            Finish();
            return;
        }
        const std::uint32_t word = WaveOutVolume();
        const std::int32_t gl = static_cast<std::int32_t>(word & 0xFFFF);
        const std::int32_t gr = static_cast<std::int32_t>(word >> 16);
        const std::size_t first = std::min(n, kRingFrames - static_cast<std::size_t>(r & kRingMask));
        CopyWithGain(out, ring.get() + 2 * (r & kRingMask), first, gl, gr);
        CopyWithGain(out + 2 * first, ring.get(), n - first, gl, gr);
        if (n < frames)
            std::memset(out + 2 * n, 0, (frames - n) * 4);
        Publish(baseFrame + r, n, manual ? 0 : NowNs());
        readPos.store(r + n, std::memory_order_release);
        if (manual) {
            if (atEnd && n == avail)
                Finish(); // no output latency to wait for
        } else if (w - r - n <= kRingFrames / 2 && !wakeAsked.exchange(true)) {
            sem_post(&wake);
        }
    }

    static void SDLCALL SdlCallback(void *userdata, Uint8 *stream, int len)
    {
        static_cast<Engine *>(userdata)->Render(reinterpret_cast<std::int16_t *>(stream),
                                                static_cast<std::size_t>(len) / 4);
    }

    // Fills the ring to the top, then sleeps until the callback finds it half empty
    // (invariant 8): about one wake-up per half ring, however short SDL's period.
    void DecoderLoop()
    {
        for (;;) {
            {
                std::lock_guard lk(decodeMutex);
                if (quit)
                    return;
                // Halt clears running before it waits for decodeMutex: one chunk more at most.
                while (active && running.load(std::memory_order_acquire) && FillOnce()) {
                }
                wakeAsked.exchange(false);
                const std::uint64_t level = writePos.load(std::memory_order_relaxed) - readPos.load();
                if (active && running.load() && !eof.load() && level <= kRingFrames / 2)
                    continue; // a request came before the flag was cleared
            }
            while (sem_wait(&wake) != 0 && errno == EINTR) {
            }
        }
    }

    // The file frame played so far (GUI thread).
    std::uint64_t CurrentFrame()
    {
        if (state != State::Playing)
            return heldFrame;
        if (finished.load(std::memory_order_acquire))
            return lengthFrames;
        std::uint64_t f = 0, c = 0;
        std::int64_t t = 0;
        for (int tries = 0; tries < 10000; ++tries) {
            const std::uint32_t s1 = seq.load(std::memory_order_acquire);
            f = pubFrame.load(std::memory_order_relaxed);
            c = pubCount.load(std::memory_order_relaxed);
            t = pubTimeNs.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (!(s1 & 1) && seq.load(std::memory_order_relaxed) == s1)
                break;
        }
        if (manual)
            return f + c;
        const std::int64_t elapsed = std::max<std::int64_t>(0, NowNs() - t);
        const auto played = static_cast<std::uint64_t>(static_cast<double>(elapsed) * rate / 1e9);
        return f + std::min(c, played);
    }

    std::uint32_t FrameToMs(std::uint64_t frame) const
    {
        if (frame >= lengthFrames)
            return lengthMs;
        return std::min<std::uint32_t>(lengthMs, static_cast<std::uint32_t>(frame * 1000 / rate));
    }
    // Rounds up, so that the frame chosen for p ms reads back as p ms.
    std::uint64_t MsToFrame(std::uint32_t ms) const
    {
        return std::min<std::uint64_t>(lengthFrames, (std::uint64_t(ms) * rate + 999) / 1000);
    }

    // Stops the audio side from touching the ring and the decoder (invariant 4).
    void Halt()
    {
        running.store(false);
        if (sdl) {
            SDL_LockAudioDevice(sdl);
            SDL_UnlockAudioDevice(sdl);
        }
        std::lock_guard lk(decodeMutex);
        active = false;
    }

    // Opens the SDL output, paused, unless it is open already or there is none to open.
    bool OpenOutput()
    {
        if (manual || sdl)
            return true;
        if ((sdl = Outputs().Reclaim(serial)) != 0)
            return true; // still paused, as it was released
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts if it must, so the ring's format always holds.
        sdl = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (sdl == 0 && Outputs().Busy()) { // perhaps a device that opens only once
            Outputs().Drain();
            sdl = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        }
        if (sdl == 0) {
            g_outputProblem = SDL_GetError();
            return false;
        }
        g_outputProblem.clear();
        g_openOutputs.fetch_add(1);
        return true;
    }

    // Releases the output (invariant 7): no callback runs once this returns. A held engine
    // may take it back for a while; a dying one may not.
    void ReleaseOutput(bool mayReclaim)
    {
        if (!sdl)
            return;
        SDL_PauseAudioDevice(sdl, 1);
        Outputs().Release(sdl, mayReclaim ? serial : 0);
        sdl = 0;
    }

    // A finished play becomes a stopped device standing at the end.
    void Settle()
    {
        if (state == State::Playing && finished.load(std::memory_order_acquire)) {
            Halt();
            ReleaseOutput(true);
            state = State::Stopped;
            heldFrame = lengthFrames;
        }
    }

    void AbortPending()
    {
        if (notifyPending.exchange(false))
            post(serial, 4);
    }

    // Starts playing at `frame`. The engine must be halted and its output open.
    void StartAt(std::uint64_t frame)
    {
        {
            std::lock_guard lk(decodeMutex);
            writePos.store(0);
            readPos.store(0);
            baseFrame = frame;
            finished.store(false);
            wakeAsked.store(false);
            eof.store(frame >= lengthFrames || !dec->Seek(frame));
            manualRemainder = 0;
            if (!manual)
                while (writePos.load() < kPrefillFrames && FillOnce()) {
                }
            Publish(frame, 0, NowNs());
            active = true;
        }
        state = State::Playing;
        running.store(true, std::memory_order_release);
        if (sdl) {
            SDL_PauseAudioDevice(sdl, 0);
            sem_post(&wake);
        }
    }

    void HoldAt(std::uint64_t frame, State s)
    {
        Halt();
        ReleaseOutput(true);
        heldFrame = std::min(frame, lengthFrames);
        state = s;
        AbortPending();
    }

    void AdvanceManual(int ms)
    {
        if (state != State::Playing || !running.load())
            return;
        const std::uint64_t acc = std::uint64_t(ms) * rate + manualRemainder;
        std::uint64_t frames = acc / 1000;
        manualRemainder = acc % 1000;
        std::vector<std::int16_t> out(2 * kChunkFrames);
        auto &m = Manual();
        while (frames > 0 && running.load()) {
            while (FillOnce()) {
            }
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kChunkFrames));
            const std::uint64_t before = readPos.load();
            Render(out.data(), n);
            if (m.capturing)
                m.captured.insert(m.captured.end(), out.begin(), out.begin() + 2 * (readPos.load() - before));
            frames -= n;
        }
    }
};

// ---------------------------------------------------------------------------------------

std::unique_ptr<Device> Device::Open(const QByteArray &path, QObject *receiver, NoticePoster post, int *error)
{
    *error = kOk;
    if (path.isEmpty()) {
        *error = kErrFileNotFound;
        return nullptr;
    }
    // O_NONBLOCK: a FIFO must not hang the GUI thread; it is refused right after.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        switch (errno) {
        case ENOENT: case ENOTDIR: case ENAMETOOLONG: case ELOOP: *error = kErrFileNotFound; break;
        case EACCES: case EPERM: *error = kErrAccessDenied; break;
        case EISDIR: *error = kErrIsDirectory; break;
        default: *error = kErrReadFailed; break;
        }
        return nullptr;
    }
    auto engine = std::make_unique<Engine>();
    engine->fd = fd;

    const int slash = path.lastIndexOf('/');
    const int dot = path.lastIndexOf('.');
    const QByteArray ext = dot > slash ? path.mid(dot + 1) : QByteArray();
    engine->dec = OpenDecoder(fd, ext.constData(), error);
    if (!engine->dec)
        return nullptr;

    Engine &e = *engine;
    e.rate = e.dec->rate;
    e.srcChannels = e.dec->channels;
    e.lengthFrames = e.dec->lengthFrames;
    e.lengthMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        0xFFFFFFFFu, (e.lengthFrames * 1000 + std::uint64_t(e.rate) / 2) / std::uint64_t(e.rate)));
    e.scratch.resize(kChunkFrames * static_cast<std::size_t>(e.srcChannels));
    e.receiver = receiver;
    e.post = std::move(post);
    e.serial = g_nextSerial.fetch_add(1);

    if (Manual().installed) {
        e.manual = true;
        Manual().engines.push_back(&e);
    } else {
        if (!EnsureSdl()) {
            *error = kErrNoOutput;
            return nullptr;
        }
        e.want.freq = e.rate;
        e.want.format = AUDIO_S16SYS;
        e.want.channels = 2;
        // The longest power-of-two period within 50 ms (see Periods at the top): 2048 frames at
        // 44.1 and 48 kHz. The position stays exact: it is interpolated within each period.
        Uint16 samples = 256;
        while (samples < 16384 && 2 * samples * 20 <= e.rate)
            samples = static_cast<Uint16>(samples * 2);
        e.want.samples = samples;
        e.want.callback = &Engine::SdlCallback;
        e.want.userdata = &e;
        // Opened here so that a file without any output fails here, clearly; it is kept
        // for the play that follows (closing and reopening would cost a period each).
        if (!e.OpenOutput()) {
            *error = kErrNoOutput;
            return nullptr;
        }
        e.thread = std::thread([&e] { e.DecoderLoop(); });
    }
    if (++g_nextId == 0)
        g_nextId = 1;
    e.id = g_nextId;

    std::unique_ptr<Device> d(new Device);
    d->engine_ = std::move(engine);
    return d;
}

Device::~Device() = default;

std::uint16_t Device::Id() const { return engine_->id; }
std::uint64_t Device::Serial() const { return engine_->serial; }
std::uint32_t Device::LengthMs() const { return engine_->lengthMs; }
int Device::SampleRate() const { return engine_->rate; }

int Device::Play(bool hasFrom, std::uint32_t fromMs)
{
    Engine &e = *engine_;
    e.Settle();
    if (hasFrom && fromMs > e.lengthMs)
        return kErrOutOfRange;
    if (!hasFrom && e.state == Engine::State::Playing) {
        // Already playing from where it stands: the old command is superseded by this one.
        if (e.notifyPending.exchange(true))
            e.post(e.serial, 2);
        return kOk;
    }
    if (!e.OpenOutput())
        return kErrNoOutput;
    const std::uint64_t frame = hasFrom ? e.MsToFrame(fromMs) : e.CurrentFrame();
    e.Halt();
    if (e.notifyPending.exchange(true))
        e.post(e.serial, 2);
    e.StartAt(frame);
    return kOk;
}

int Device::Stop()
{
    Engine &e = *engine_;
    e.Settle();
    e.HoldAt(e.CurrentFrame(), Engine::State::Stopped);
    return kOk;
}

int Device::Pause()
{
    Engine &e = *engine_;
    e.Settle();
    if (e.state == Engine::State::Playing)
        e.HoldAt(e.CurrentFrame(), Engine::State::Paused);
    return kOk;
}

int Device::Resume()
{
    Engine &e = *engine_;
    e.Settle();
    if (e.state != Engine::State::Paused)
        return kErrNotPaused;
    if (!e.OpenOutput())
        return kErrNoOutput;
    e.Halt();
    if (e.notifyPending.exchange(true))
        e.post(e.serial, 2);
    e.StartAt(e.heldFrame);
    return kOk;
}

int Device::SeekToStart()
{
    Engine &e = *engine_;
    e.Settle();
    e.HoldAt(0, Engine::State::Stopped);
    return kOk;
}

TMPModes Device::Mode()
{
    Engine &e = *engine_;
    e.Settle();
    switch (e.state) {
    case Engine::State::Playing: return TMPModes::mpPlaying;
    case Engine::State::Paused: return TMPModes::mpPaused;
    case Engine::State::Stopped: break;
    }
    return TMPModes::mpStopped;
}

std::uint32_t Device::PositionMs()
{
    Engine &e = *engine_;
    return e.FrameToMs(e.CurrentFrame());
}

// ---- ManualClock ------------------------------------------------------------------------

void ManualClock::Install() { Manual().installed = true; }
void ManualClock::Uninstall() { Manual().installed = false; }
bool ManualClock::Installed() { return Manual().installed; }

void ManualClock::Advance(int ms)
{
    if (ms <= 0)
        return;
    // A notice handler may close devices, so collect first and deliver afterwards.
    std::vector<QPointer<QObject>> receivers;
    const std::vector<Engine *> engines = Manual().engines;
    for (Engine *e : engines) {
        if (e->state != Engine::State::Playing)
            continue;
        e->AdvanceManual(ms);
        receivers.push_back(e->receiver);
    }
    for (const QPointer<QObject> &r : receivers)
        if (r)
            QCoreApplication::sendPostedEvents(r, QEvent::MetaCall);
}

void ManualClock::SetCapture(bool on)
{
    Manual().capturing = on;
    Manual().captured.clear();
}

std::vector<std::int16_t> ManualClock::TakeCaptured()
{
    std::vector<std::int16_t> out;
    out.swap(Manual().captured);
    return out;
}

} // namespace media
