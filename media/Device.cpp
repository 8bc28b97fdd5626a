// The media back end: one Engine per open file, feeding one Output (media/Output.h).
//
// Threads. Before there is an Engine, an opener thread (the player's, one per opening) runs
// OpenFile: the file and its decoder, every read that opening makes. These touch an Engine:
//   - the GUI thread: every public Device call (making the device of an opened file and
//     taking its output, closing, playing, pausing, seeking, asking the position), the
//     notices it is posted, the retries after a lost output, and a change of the gain (a
//     playing engine on the server's output starts again from its position, so that the
//     audio queued there is not heard at the old gain). It never reads the file;
//   - the decoder thread (one per engine with a real output): sleeps on a semaphore until
//     the ring is half empty, then refills it to the top in one batch, and moves the decoder
//     to where a play starts; once a start's first sound is in the ring it posts
//     kNoticeReady, on which the GUI thread starts the output. It is never joined: a read of storage that stopped answering
//     may not return for minutes, so it shares the file, its decoder and the ring
//     (OpenedFile) with the engine, and lets go of them when that read is back;
//   - the output's thread, which pulls frames (Engine::Pull) and says when all was played
//     (Drained) or when the output went away (Lost): SDL's audio thread, which runs while
//     its device is open, libpulse's main loop thread, one per process for as long as it
//     lives, or PipeWire's data thread, likewise. Pull copies from the ring, applies the gain and wakes the decoder. The GUI
//     thread makes the same calls inside Output::Start (the server's output fills its first
//     request there, and either output says there that it is lost).
// A further thread, the pool's (OutputPool.cpp), touches no Engine: it closes the outputs
// handed back to the pool once their grace is over, so that closing an SDL output, which
// joins SDL's thread, does not hold up the GUI thread. Two cases close on the GUI thread
// all the same: a new SDL output that cannot open while an idle one is held (a driver of
// one device at a time), where AcquireOutput empties the pool first, and OpenOutputs.
// With an OutputProvider installed there is neither a decoder thread nor an output thread:
// the GUI thread seeks in StartAt, and decodes and pulls synchronously inside
// Device::AdvanceCallerClock.
//
// Invariants.
//   1. The output's thread never takes decodeMutex, and waits on the GUI thread only for
//      the server output's lock (libpulse's main loop lock; the PipeWire output's source
//      mutex), which the GUI thread holds for
//      the length of one Output call and never while it waits on anything. It
//      touches only the engine's atomics, its fields fixed at opening and the ring slots
//      between readPos and writePos, and wakes the decoder with sem_post (lock-free).
//      Notices leave it through a queued post to the GUI thread, which takes Qt's
//      event-queue lock for a moment: at most one Successful notice per play, and one
//      notice of a lost output.
//   2. The ring is single-producer/single-consumer: only the decoder side advances
//      writePos, only Pull advances readPos. writePos - readPos <= kRingFrames.
//   3. eof is stored after the writePos of the last chunk; Pull loads eof before writePos,
//      so "eof and nothing left" really means everything was handed to the output.
//   4. Everything else (ring reset, baseFrame) changes only while the engine is halted:
//      running == false, then Output::Pause, which returns only once no Pull runs or will
//      run (SDL pauses under its device lock; the server output clears its source under the
//      main loop's lock, the PipeWire output under its source mutex), then under
//      decodeMutex with the generation advanced, so that a chunk the decoder is reading
//      meanwhile is dropped when it comes back. The decoder seeks by itself, at the new
//      generation's start: no GUI call waits on a read.
//   5. notifyPending is exchanged, never read-then-written, so a play command yields at most
//      one notice: Successful when its sound has played out, Superseded or Aborted from the
//      GUI side when another command ends it first. A device closed while it plays posts
//      nothing once its destructor has paused the output; a Successful notice on its way
//      from the output's thread at that moment is dropped by its serial (invariant 6).
//   6. Each engine has a process-unique serial. Notices carry it; TMediaPlayer drops a
//      notice whose serial is not that of its current device (one closed meanwhile).
//   7. The position never runs ahead of the audio the output has been given: it is the
//      output's own count of frames played, capped at the frames pulled since the play
//      began (readPos), plus the file frame the play began at (baseFrame).
//   8. An engine holds an output from Open (which proves one exists) or from a play command
//      until it holds (stop, pause, a finished play settling), loses it or is destroyed;
//      then the output goes back to the pool paused and flushed, and the next engine or play of the
//      same rate takes it again: no new connection to the sound server per track, and at
//      most one stream of ours on it. An idle SDL output is closed after a grace; an idle
//      server stream stays corked (the pool's rules: OutputPool.cpp).
//   9. The decoder sleeps only after clearing wakeAsked (an exchange, so it sees Pull's
//      readPos) and finding the ring above half; Pull posts only when it sets wakeAsked
//      itself. A semaphore keeps a post made before the sleep, so no request is lost.
//  10. A lost output (Lost from its thread) is only flagged there; the GUI thread then
//      holds the engine at the position the output reported, keeps the mode Playing and
//      tries every kRetryMs to get an output of the same kind again, never waiting for a
//      server's answer. One that answers within kReconnectGraceMs plays on from that
//      position; else the engine stands Paused there and posts kNoticeOutputGone once.
//      A play or resume never waits either: when its output is a connection still on its
//      way, it goes the same road, with an output of any kind. An output found by a retry
//      and lost again before it played half a second (a server with no sink, or a
//      suspended one, makes streams that fail at once) does not start the grace again.
//
// Locks. decodeMutex is taken by the decoder thread and, on the GUI thread, by Halt, StartAt
// and the destructor. The decoder thread lets it go for every read and seek of the file, so
// the GUI thread never waits on it for longer than a few loads and stores. An output's own lock (SDL's device lock, held by SDL around its
// callback; libpulse's main loop lock, held by its thread around every callback; the SDL
// and PipeWire outputs' source mutexes) is taken by the GUI thread inside the Output calls. No thread holds
// two of these at once: Halt lets the output's lock go before it takes decodeMutex, and Pull
// takes nothing. A notice posted from an output's thread takes Qt's event-queue lock, a
// leaf, under the output's lock; the decoder thread posts kNoticeReady the same way under
// decodeMutex, and never once the engine has set quit, so never to a player that is gone. The pool's mutex is a leaf too: taken with nothing else
// held and let go before any call into SDL or libpulse. The SDL output registry's mutex is
// taken inside SDL's event filter, under SDL's event lock, and held while the removed output
// is told (its source mutex, then Qt's event-queue lock); no SDL call is made under it.
//
// Position. Each output counts the frames it has played since its last flush: SDL's by
// the frame at the start of the buffer it last handed to SDL plus the time since, capped at
// that buffer's length; the server's by its latest timing answer (read index less the sink's
// latency, from where the flush left the read index) and the time since. Neither count goes
// back. A stopped or paused engine stands at heldFrame; a finished one at its length.
#include "media/Device.h"

#include "media/Decoder.h"
#include "media/Output.h"
#include "media/Volume.h"
#include "runtime/FileHandle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace media {

namespace {

constexpr std::size_t kRingFrames = 1u << 17; // ~3 s at 44.1 kHz: the decoder wakes every 1.5 s
constexpr std::size_t kRingMask = kRingFrames - 1;
constexpr std::size_t kChunkFrames = 4096;
constexpr int kRetryMs = 250;
constexpr int kReconnectGraceMs = 4000;

std::atomic<std::uint64_t> g_nextSerial{1};
std::uint16_t g_nextId = 0;

// Every open engine, for a change of the gain (GUI thread only).
std::vector<Engine *> g_engines;

// The provider of outputs its caller drives, while one is installed, and the engines
// opened on its outputs (GUI thread only).
OutputProvider *g_provider = nullptr;
std::vector<Engine *> g_callerDriven;

// s * gain / 65535, rounded. In float so the loop vectorises on plain SSE2; a float's 24-bit
// mantissa keeps the result within half a step of the exact value.
inline std::int16_t Scale(std::int16_t s, float factor)
{
    const float v = static_cast<float>(s) * factor;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(v + (v >= 0.0f ? 0.5f : -0.5f)));
}

} // namespace

// What a decoder thread works on: the file, its decoder and the ring. Opened on any thread
// (OpenFile); then shared by its engine and the engine's decoder thread, which may outlive
// the engine: a read of a file on storage that stopped answering may never come back, so
// the engine does not wait for it, and the thread lets go of the file when the read returns.
struct OpenedFile {
    OpenedFile() { sem_init(&wake, 0, 0); }
    ~OpenedFile()
    {
        dec.reset();
        if (fd >= 0)
            ::close(fd);
        sem_destroy(&wake);
    }

    int fd = -1;
    std::unique_ptr<Decoder> dec;
    QByteArray path;

    // ---- shared with the output's thread
    std::unique_ptr<std::int16_t[]> ring{new std::int16_t[2 * kRingFrames]};
    std::atomic<std::uint64_t> writePos{0}, readPos{0};
    std::atomic<bool> eof{false}, running{false}, wakeAsked{false};
    sem_t wake; // posted by Pull (ring half empty) and by the GUI thread

    // ---- under decodeMutex, which no one holds across a read of the file
    std::mutex decodeMutex;
    bool quit = false;
    bool active = false;
    std::uint64_t generation = 0; // one per start: what a read of an earlier one brings is dropped
    bool seekDue = false;         // the decoder moves to seekFrame before it decodes on
    std::uint64_t seekFrame = 0;
    std::uint64_t readyGeneration = 0; // the last start whose first sound is in the ring (or its end)
    std::function<void()> ready; // posts kNoticeReady; never called once quit is set

    // Decodes one chunk into the ring, the lock let go while the decoder reads. False when
    // the ring is full or the stream is over.
    bool FillOnce(std::unique_lock<std::mutex> &lk)
    {
        const std::uint64_t w = writePos.load(std::memory_order_relaxed);
        const std::uint64_t r = readPos.load(std::memory_order_acquire);
        if (kRingFrames - (w - r) < kChunkFrames || eof.load(std::memory_order_relaxed))
            return false;
        // Never across the ring's wrap point, so the decoder writes straight into it.
        const std::size_t want = std::min(kChunkFrames, kRingFrames - static_cast<std::size_t>(w & kRingMask));
        std::int16_t *dst = ring.get() + 2 * (w & kRingMask);
        const std::uint64_t gen = generation;
        lk.unlock();
        // The decoder delivers stereo whatever the file holds (it folds the channels down itself).
        const std::size_t got = dec->Read(dst, want);
        lk.lock();
        if (gen != generation)
            return true; // a new start came meanwhile: its own seek comes first
        if (got == 0) {
            eof.store(true, std::memory_order_release);
            return false;
        }
        writePos.store(w + got, std::memory_order_release);
        return true;
    }

    // Fills the ring to the top, then sleeps until Pull finds it half empty (invariant 9):
    // about one wake-up per half ring, however short the output's period.
    void DecoderLoop()
    {
        std::unique_lock lk(decodeMutex);
        for (;;) {
            if (quit)
                return;
            if (active && running.load(std::memory_order_acquire)) {
                if (seekDue) {
                    const std::uint64_t gen = generation, frame = seekFrame;
                    seekDue = false;
                    lk.unlock();
                    const bool ok = dec->Seek(frame);
                    lk.lock();
                    if (gen == generation && !ok)
                        eof.store(true, std::memory_order_release);
                    continue;
                }
                const bool more = FillOnce(lk);
                if (!quit && readyGeneration != generation && (writePos.load() > 0 || eof.load())) {
                    readyGeneration = generation;
                    ready();
                }
                if (more)
                    continue;
            }
            wakeAsked.exchange(false);
            const std::uint64_t level = writePos.load(std::memory_order_relaxed) - readPos.load();
            if (active && running.load() && !eof.load() && (seekDue || level <= kRingFrames / 2))
                continue; // a request came before the flag was cleared
            lk.unlock();
            while (sem_wait(&wake) != 0 && errno == EINTR) {
            }
            lk.lock();
        }
    }
};

class Engine final : public OutputSource {
public:
    enum class State { Stopped, Playing, Paused };

    explicit Engine(std::shared_ptr<OpenedFile> file) : f(*file), file_(std::move(file)) {}
    ~Engine() override
    {
        f.running.store(false);
        retryTimer.reset();
        if (out) {
            out->Pause();
            out->Flush();
            ReturnOutput(std::move(out));
        }
        if (thread.joinable()) {
            {
                std::lock_guard lk(f.decodeMutex);
                f.quit = true;
            }
            sem_post(&f.wake);
            // Not joined: it may be inside a read that does not return for a long time. It
            // holds the file until then, and touches nothing of the engine.
            thread.detach();
        }
        auto &list = g_callerDriven;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        g_engines.erase(std::remove(g_engines.begin(), g_engines.end(), this), g_engines.end());
    }

    OpenedFile &f;
    std::shared_ptr<OpenedFile> file_;

    // ---- fixed after open
    int rate = 0;
    std::uint64_t lengthFrames = 0;
    std::uint32_t lengthMs = 0;
    std::uint64_t serial = 0;
    std::uint16_t id = 0;
    QPointer<QObject> receiver;
    Device::NoticePoster post;
    bool manual = false;
    std::string title;

    // ---- GUI side: null while the output is back in the pool (invariant 8)
    std::unique_ptr<Output> out;

    // ---- shared with the output's thread (the ring and its positions are the file's)
    std::atomic<bool> finished{false}, notifyPending{false};
    std::atomic<bool> lostPosted{false};
    std::uint64_t baseFrame = 0; // file frame at ring position 0; see invariant 4

    // ---- the decoder thread (DecoderLoop), holding file_ too
    std::thread thread;
    // A play's output starts once the decoder has its first sound ready (kNoticeReady).
    bool startPending = false;
    std::uint64_t startGeneration = 0;

    // ---- GUI side
    State state = State::Stopped;
    std::uint64_t heldFrame = 0;
    std::uint64_t manualRemainder = 0;
    bool reconnecting = false; // lost while playing, or its output on its way; heldFrame is where it plays from
    bool anyKind = false;      // looking for an output of any kind (not one lost)
    Output::Kind lostKind = Output::Kind::Manual;
    int waitedMs = 0;
    // The play began on an output a retry found (at retryFrame): lost again before it
    // played half a second, that output never really came back, and the grace goes on.
    bool retried = false;
    std::uint64_t retryFrame = 0;
    std::unique_ptr<QTimer> retryTimer;

    void StartDecoder()
    {
        thread = std::thread([file = file_] {
            pthread_setname_np(pthread_self(), "zolm-decoder"); // for top and the bench
            file->DecoderLoop();
        });
    }
    // The caller-driven output's synchronous decoding, on the GUI thread: no other thread takes the lock.
    bool FillOnce()
    {
        std::unique_lock lk(f.decodeMutex);
        return f.FillOnce(lk);
    }

    // Copies frames with the gain applied.
    static void CopyWithGain(std::int16_t *out, const std::int16_t *in, std::size_t frames, std::int32_t gl,
                             std::int32_t gr)
    {
        if (gl == 0xFFFF && gr == 0xFFFF) {
            std::memcpy(out, in, frames * 4);
            return;
        }
        const float fl = static_cast<float>(gl) / 65535.0f, fr = static_cast<float>(gr) / 65535.0f;
        std::size_t i = 0;
#if defined(__SSE2__)
        // Four frames a step, each sample as Scale makes it (the same float product, rounded
        // half away from zero), in about half the instructions the compiler's own version
        // of the loop takes: this is most of what playing a WAV costs.
        const __m128 factor = _mm_setr_ps(fl, fr, fl, fr);
        const __m128 half = _mm_set1_ps(0.5f), sign = _mm_set1_ps(-0.0f);
        const auto scale4 = [&](__m128i widened) {
            const __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(widened, 16)), factor);
            return _mm_cvttps_epi32(_mm_add_ps(v, _mm_or_ps(half, _mm_and_ps(v, sign))));
        };
        for (; i + 4 <= frames; i += 4) {
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 2 * i));
            const __m128i lo = scale4(_mm_unpacklo_epi16(s, s)), hi = scale4(_mm_unpackhi_epi16(s, s));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * i), _mm_packs_epi32(lo, hi));
        }
#endif
        for (; i < frames; ++i) {
            out[2 * i] = Scale(in[2 * i], fl);
            out[2 * i + 1] = Scale(in[2 * i + 1], fr);
        }
    }

    void Finish()
    {
        f.running.store(false, std::memory_order_relaxed);
        finished.store(true, std::memory_order_release);
        if (notifyPending.exchange(false))
            post(serial, 1);
    }

    // ---- OutputSource: the output's thread (or the GUI thread, inside Output::Start). Never blocks.
    std::size_t Pull(std::int16_t *dst, std::size_t frames, bool *last) override
    {
        *last = false;
        if (!f.running.load(std::memory_order_acquire))
            return 0;
        const bool atEnd = f.eof.load(std::memory_order_acquire);
        const std::uint64_t w = f.writePos.load(std::memory_order_acquire);
        const std::uint64_t r = f.readPos.load(std::memory_order_relaxed);
        const std::size_t avail = static_cast<std::size_t>(w - r);
        const std::size_t n = std::min(frames, avail);
        const std::uint32_t word = WaveOutVolume();
        const std::int32_t gl = static_cast<std::int32_t>(word & 0xFFFF);
        const std::int32_t gr = static_cast<std::int32_t>(word >> 16);
        const std::size_t first = std::min(n, kRingFrames - static_cast<std::size_t>(r & kRingMask));
        CopyWithGain(dst, f.ring.get() + 2 * (r & kRingMask), first, gl, gr);
        CopyWithGain(dst + 2 * first, f.ring.get(), n - first, gl, gr);
        f.readPos.store(r + n, std::memory_order_release);
        *last = atEnd && n == avail;
        if (!manual && w - r - n <= kRingFrames / 2 && !f.wakeAsked.exchange(true))
            sem_post(&f.wake);
        return n;
    }
    void Drained() override
    {
        if (f.running.load(std::memory_order_acquire))
            Finish();
    }
    void Lost() override
    {
        if (!lostPosted.exchange(true))
            post(serial, kNoticeOutputLost);
    }

    // The file frame played so far (GUI thread).
    std::uint64_t CurrentFrame()
    {
        if (state != State::Playing)
            return heldFrame;
        if (finished.load(std::memory_order_acquire))
            return lengthFrames;
        if (reconnecting || !out)
            return heldFrame;
        return baseFrame + std::min(out->Played(), f.readPos.load(std::memory_order_acquire));
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

    // Stops the output from pulling and drops what it holds (invariant 4). The decoder is
    // not waited for: what it is reading now is dropped when it comes (its generation is over).
    void Halt()
    {
        f.running.store(false);
        startPending = false;
        if (out) {
            out->Pause();
            out->Flush();
        }
        std::lock_guard lk(f.decodeMutex);
        f.active = false;
    }

    // The decoder has the first sound of a start ready: the output starts pulling now.
    void OnReady()
    {
        {
            std::lock_guard lk(f.decodeMutex);
            if (!startPending || f.readyGeneration != startGeneration)
                return; // stale: halted or started again since
        }
        startPending = false;
        if (state == State::Playing && !reconnecting && out)
            out->Start(this);
    }

    // Takes an output unless the engine has one. `only`: of that kind alone.
    bool OpenOutput(bool wait, const Output::Kind *only = nullptr)
    {
        if (out)
            return true;
        if (manual) {
            out = g_provider ? g_provider->Acquire(rate) : nullptr;
            return out != nullptr;
        }
        out = AcquireOutput(rate, title, wait, only);
        return out != nullptr;
    }

    // A finished play becomes a stopped device standing at the end.
    void Settle()
    {
        if (state == State::Playing && finished.load(std::memory_order_acquire)) {
            Halt();
            ReturnOutput(std::move(out));
            state = State::Stopped;
            heldFrame = lengthFrames;
        }
    }

    void AbortPending()
    {
        if (notifyPending.exchange(false))
            post(serial, 4);
    }

    // Starts playing at `frame`. The engine must be halted and hold an output.
    void StartAt(std::uint64_t frame)
    {
        reconnecting = false;
        retried = false;
        {
            std::lock_guard lk(f.decodeMutex);
            ++f.generation;
            f.writePos.store(0);
            f.readPos.store(0);
            baseFrame = frame;
            finished.store(false);
            f.wakeAsked.store(false);
            lostPosted.store(false);
            // The decoder thread seeks, so that a file that does not answer holds up only it;
            // the output starts once it has the first sound ready (OnReady).
            f.eof.store(frame >= lengthFrames || (manual && !f.dec->Seek(frame)));
            f.seekDue = !manual && frame < lengthFrames;
            f.seekFrame = frame;
            manualRemainder = 0;
            f.active = true;
            startGeneration = f.generation;
        }
        state = State::Playing;
        f.running.store(true, std::memory_order_release);
        if (manual) {
            out->Start(this);
            return;
        }
        startPending = true;
        sem_post(&f.wake);
    }

    void HoldAt(std::uint64_t frame, State s)
    {
        Halt();
        ReturnOutput(std::move(out));
        reconnecting = false;
        heldFrame = std::min(frame, lengthFrames);
        state = s;
        AbortPending();
    }

    // The output said it was lost (its notice, on the GUI thread): hold where the sound
    // stopped and look for it again (invariant 10).
    void OnLost()
    {
        if (state != State::Playing || !out || out->Alive() || finished.load())
            return; // stale: this play is over, or it has another output by now
        heldFrame = std::min(CurrentFrame(), lengthFrames);
        lostKind = out->OutputKind();
        Halt();
        ReturnOutput(std::move(out));
        Reconnect(false);
    }

    // Plays from heldFrame once an output answers, looking every kRetryMs without waiting
    // (invariant 10). `any`: of any kind, for a play whose output is still on its way.
    void Reconnect(bool any)
    {
        state = State::Playing;
        reconnecting = true;
        anyKind = any;
        if (any || !retried || heldFrame >= retryFrame + std::uint64_t(rate) / 2)
            waitedMs = 0;
        if (!manual) {
            if (!retryTimer) {
                retryTimer = std::make_unique<QTimer>();
                QObject::connect(retryTimer.get(), &QTimer::timeout, [this] { Retry(kRetryMs); });
            }
            retryTimer->start(kRetryMs);
        }
    }

    void Retry(int ms)
    {
        if (!reconnecting) {
            if (retryTimer)
                retryTimer->stop();
            return;
        }
        waitedMs += ms;
        const Output::Kind kind = lostKind;
        if (waitedMs <= kReconnectGraceMs && OpenOutput(false, manual || anyKind ? nullptr : &kind)) {
            if (retryTimer)
                retryTimer->stop();
            StartAt(heldFrame);
            retried = true;
            retryFrame = heldFrame;
            return;
        }
        if (waitedMs < kReconnectGraceMs)
            return;
        if (retryTimer)
            retryTimer->stop();
        reconnecting = false;
        state = State::Paused;
        AbortPending();
        post(serial, kNoticeOutputGone);
    }

    void AdvanceManual(int ms)
    {
        if (state != State::Playing)
            return;
        if (reconnecting) {
            Retry(ms);
            return;
        }
        if (!f.running.load() || !out)
            return;
        const std::uint64_t acc = std::uint64_t(ms) * rate + manualRemainder;
        std::uint64_t frames = acc / 1000;
        manualRemainder = acc % 1000;
        while (frames > 0 && f.running.load()) {
            while (FillOnce()) {
            }
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kChunkFrames));
            if (!out->Pump(n))
                break;
            frames -= n;
        }
    }
    void Refresh()
    {
        Settle();
        if (state != State::Playing || reconnecting || !out || out->OutputKind() == Output::Kind::Sdl ||
            out->OutputKind() == Output::Kind::Manual)
            return;
        const std::uint64_t frame = CurrentFrame();
        Halt();
        StartAt(frame);
    }
};

// ---------------------------------------------------------------------------------------

std::shared_ptr<OpenedFile> OpenFile(const QByteArray &path, int *error)
{
    *error = kOk;
    if (path.isEmpty()) {
        *error = kErrFileNotFound;
        return nullptr;
    }
    // Without waiting: a FIFO must not hang the thread; it is refused right after.
    struct stat st {};
    const int fd = OpenAndLook(path.constData(), O_RDONLY, &st);
    if (fd < 0) {
        switch (errno) {
        case ENOENT: case ENOTDIR: case ENAMETOOLONG: case ELOOP: *error = kErrFileNotFound; break;
        case EACCES: case EPERM: *error = kErrAccessDenied; break;
        case EISDIR: *error = kErrIsDirectory; break;
        default: *error = kErrReadFailed; break;
        }
        return nullptr;
    }
    auto file = std::make_shared<OpenedFile>();
    file->fd = fd;
    file->path = path;
    const int slash = path.lastIndexOf('/');
    const int dot = path.lastIndexOf('.');
    const QByteArray ext = dot > slash ? path.mid(dot + 1) : QByteArray();
    file->dec = OpenDecoder(fd, st, ext.constData(), error);
    if (!file->dec)
        return nullptr;
    return file;
}

std::unique_ptr<Device> Device::Open(const QByteArray &path, QObject *receiver, NoticePoster post, int *error)
{
    auto file = OpenFile(path, error);
    return file ? Open(std::move(file), receiver, std::move(post), error) : nullptr;
}

std::unique_ptr<Device> Device::Open(std::shared_ptr<OpenedFile> file, QObject *receiver, NoticePoster post,
                                     int *error)
{
    *error = kOk;
    auto engine = std::make_unique<Engine>(std::move(file));
    Engine &e = *engine;
    e.rate = e.f.dec->rate;
    e.lengthFrames = e.f.dec->lengthFrames;
    e.lengthMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        0xFFFFFFFFu, (e.lengthFrames * 1000 + std::uint64_t(e.rate) / 2) / std::uint64_t(e.rate)));
    e.receiver = receiver;
    e.post = std::move(post);
    e.serial = g_nextSerial.fetch_add(1);
    // The stream's name in the desktop's sound settings: the file's, shown as the list does.
    e.title = QString::fromLocal8Bit(e.f.path.mid(e.f.path.lastIndexOf('/') + 1)).toStdString();
    e.manual = g_provider != nullptr;
    if (e.manual)
        g_callerDriven.push_back(&e);
    g_engines.push_back(&e);
    // Taken here so that a file without any output fails here, clearly; it is kept for the
    // play that follows. A server that went away is no fault of the file: the play looks
    // for it again as for an output lost while playing.
    if (!e.OpenOutput(true) && (e.manual || !ServerLost())) {
        *error = kErrNoOutput;
        return nullptr;
    }
    if (!e.manual) {
        e.f.ready = [post = e.post, serial = e.serial] { post(serial, kNoticeReady); };
        e.StartDecoder();
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

int Device::Play(bool hasFrom, std::uint32_t fromMs)
{
    Engine &e = *engine_;
    e.Settle();
    if (hasFrom && fromMs > e.lengthMs)
        return kErrOutOfRange;
    if (e.state == Engine::State::Playing && (!hasFrom || e.reconnecting)) {
        // Already playing (or looking for its output again): this command supersedes the old.
        if (hasFrom)
            e.heldFrame = e.MsToFrame(fromMs);
        if (e.notifyPending.exchange(true))
            e.post(e.serial, 2);
        return kOk;
    }
    const std::uint64_t frame = hasFrom ? e.MsToFrame(fromMs) : e.CurrentFrame();
    // Never waits: an output still on its way is played into once it answers.
    const bool ready = e.OpenOutput(false);
    if (!ready && !OutputPending() && (e.manual || !ServerLost()))
        return kErrNoOutput;
    e.Halt();
    if (e.notifyPending.exchange(true))
        e.post(e.serial, 2);
    if (!ready) {
        e.heldFrame = std::min(frame, e.lengthFrames);
        e.Reconnect(true);
        return kOk;
    }
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
    const bool ready = e.OpenOutput(false);
    if (!ready && !OutputPending() && (e.manual || !ServerLost()))
        return kErrNoOutput;
    e.Halt();
    if (e.notifyPending.exchange(true))
        e.post(e.serial, 2);
    if (!ready)
        e.Reconnect(true);
    else
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

int Device::Seek(std::uint32_t ms)
{
    Engine &e = *engine_;
    e.Settle();
    if (ms > e.lengthMs)
        return kErrOutOfRange;
    if (e.state == Engine::State::Playing)
        return Play(true, ms);
    e.heldFrame = e.MsToFrame(ms);
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

void Device::HandleOutputLost() { engine_->OnLost(); }
void Device::HandleReady() { engine_->OnReady(); }

// The gain is applied as frames are handed to the output, and the sound server queues up to
// two seconds of them: without this, a change would be heard that much later. A playing engine
// on the server's output starts again from where it is, so what is queued is played anew at
// the new gain (SDL holds a period or two, which is soon enough).
void GainChanged()
{
    for (Engine *e : g_engines)
        e->Refresh();
}

// ---- outputs driven by their caller ------------------------------------------------------

void SetOutputProvider(OutputProvider *provider) { g_provider = provider; }
bool OutputsDrivenByCaller() { return g_provider != nullptr; }

namespace {
// A notice handler may close devices, so collect first and deliver afterwards.
template <typename F>
void ForPlayingEngines(F f)
{
    std::vector<QPointer<QObject>> receivers;
    // By index: no copy of the list (GCC 14 at -O3 misreads the copy's storage), and a
    // list changed meanwhile is never read past its end.
    for (std::size_t i = 0; i < g_callerDriven.size(); ++i) {
        Engine *e = g_callerDriven[i];
        if (e->state != Engine::State::Playing)
            continue;
        f(*e);
        receivers.push_back(e->receiver);
    }
    for (const QPointer<QObject> &r : receivers)
        if (r)
            QCoreApplication::sendPostedEvents(r, QEvent::MetaCall);
}
} // namespace

void Device::AdvanceCallerClock(int ms)
{
    if (ms > 0)
        ForPlayingEngines([ms](Engine &e) { e.AdvanceManual(ms); });
}

void Device::ForEachPlayingOutput(const std::function<void(Output &)> &f)
{
    ForPlayingEngines([&f](Engine &e) {
        if (e.out)
            f(*e.out);
    });
}

} // namespace media
