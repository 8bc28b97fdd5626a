// The sound server's own output: a libpulse stream on a threaded main loop. PulseAudio
// speaks it, and so does PipeWire's PulseAudio service.
//
// One connection per process, one stream per output; the pool in OutputPool.cpp keeps an idle
// stream corked for the next track, so the server sees at most one stream of ours at a
// time. Everything here runs under the main loop's lock: its own thread holds it while it
// dispatches the callbacks below, the other threads take it for a moment per call. Nobody
// waits on the server, but for one case: opening a file while a connection is being made
// waits for it (at most kConnectWaitMs, the lock let go meanwhile). Playing, resuming and
// reconnecting never wait (they ask with wait = false).
//
// Clock. What has been heard is the server's own count: the read index of its last timing
// answer less what the sink had mixed but not yet played, plus the time since that answer
// while the stream plays. While it plays, an answer is asked for along with the server's
// request for audio once kTimingMs has passed since the last (the process is awake for the
// request anyway), and at once when the stream runs dry or moves to another sink; until the
// server says it plays, every kEarlyMs; and by the GUI thread with a start and a flush. The count is capped at what was written and never goes
// back until the next flush. The end is waited out on an answer asked for once the server
// has taken the last frame, so that the end reported is the end heard.
//
// Buffers are sized for music: the server asks for audio only every kRequestMs, and at most
// kTargetMs is queued there, so the process wakes a few times a second and the sink may
// sleep long. Pause, stop and seek do not wait for that queue to play out: they cork the
// stream and flush it, which the server applies at once (it rewinds what it had mixed).
#include "media/Output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <sys/time.h>
#include <vector>

namespace media {

namespace {

// With the latency adjusted, the target is the whole way from the program to the ear: the
// server gives about (target - 2 x request) / 2 of it to the sink and the rest to the stream.
// Two requests a second: each one is a wake-up of the process, and of the sink's thread.
constexpr std::uint32_t kRequestMs = 500;
constexpr std::uint32_t kTargetMs = 4 * kRequestMs;
// A request is met from the engine's ring in one go while it asks for at most half the
// ring (65536 frames); at very high rates the request is shortened to that.
constexpr std::uint32_t kMaxRequestFrames = 32768;
constexpr std::uint32_t kPrebufMs = 40;
constexpr int kConnectWaitMs = 2000;
// A sink suspended this long while the stream plays is not one resuming for it (an idle
// sink wakes within milliseconds of an uncork) but one suspended by someone: nothing is heard.
constexpr std::uint64_t kSuspendedUsec = 500000;
// How often the clock is set from the server's answer: while it plays, and until it does.
// In between it runs on the wall clock, which a sound card's strays from by well under a
// millisecond in that time.
constexpr std::uint64_t kTimingMs = 5000;
constexpr std::uint64_t kEarlyMs = 50;
// The name the desktop's icon theme knows the program by.
constexpr char kIconName[] = "zolm-player";

class PulseOutput;

class PulseLink {
public:
    // True when connected. Starts a connection when there is none on its way (unless not
    // `start`); with `wait`, waits (at most kConnectWaitMs) for its outcome. GUI thread.
    bool Connect(bool wait, bool start = true)
    {
        if (!loop_) {
            loop_ = pa_threaded_mainloop_new();
            if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) {
                SetOutputProblem("the sound server's client library cannot be used");
                if (loop_)
                    pa_threaded_mainloop_free(loop_);
                loop_ = nullptr;
                return false;
            }
        }
        pa_threaded_mainloop_lock(loop_);
        pa_context_state_t st = context_ ? pa_context_get_state(context_) : PA_CONTEXT_FAILED;
        if (start && (st == PA_CONTEXT_FAILED || st == PA_CONTEXT_TERMINATED)) {
            if (context_) {
                pa_context_set_state_callback(context_, nullptr, nullptr);
                pa_context_unref(context_);
            }
            pa_proplist *props = pa_proplist_new();
            pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "ZOLM Player");
            pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kIconName);
            context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "ZOLM Player", props);
            pa_proplist_free(props);
            if (context_) {
                pa_context_set_state_callback(context_, &PulseLink::ContextState, this);
                // No autospawn: a server that is not running is no server (SDL then).
                if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
                    SetOutputProblem(pa_strerror(pa_context_errno(context_)));
                    pa_context_set_state_callback(context_, nullptr, nullptr);
                    pa_context_unref(context_);
                    context_ = nullptr;
                }
            }
            st = context_ ? pa_context_get_state(context_) : PA_CONTEXT_FAILED;
        }
        if (wait && context_ && PA_CONTEXT_IS_GOOD(st) && st != PA_CONTEXT_READY) {
            timedOut_ = false;
            timeval tv{};
            gettimeofday(&tv, nullptr);
            tv.tv_sec += kConnectWaitMs / 1000;
            pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop_);
            pa_time_event *timer = api->time_new(api, &tv, &PulseLink::WaitOver, this);
            while (!timedOut_ && PA_CONTEXT_IS_GOOD(st = pa_context_get_state(context_)) && st != PA_CONTEXT_READY)
                pa_threaded_mainloop_wait(loop_);
            api->time_free(timer);
        }
        const bool ready = context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
        if (!ready && wait && context_)
            SetOutputProblem(pa_strerror(pa_context_errno(context_)));
        pa_threaded_mainloop_unlock(loop_);
        return ready;
    }

    // A connection is on its way, not yet ready nor failed.
    bool Connecting()
    {
        if (!loop_)
            return false;
        pa_threaded_mainloop_lock(loop_);
        const pa_context_state_t st = context_ ? pa_context_get_state(context_) : PA_CONTEXT_FAILED;
        pa_threaded_mainloop_unlock(loop_);
        return PA_CONTEXT_IS_GOOD(st) && st != PA_CONTEXT_READY;
    }

    pa_threaded_mainloop *Loop() const { return loop_; }
    pa_context *Context() const { return context_; }
    std::vector<PulseOutput *> outputs; // under the lock

private:
    static void ContextState(pa_context *c, void *userdata);
    static void WaitOver(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *userdata)
    {
        auto *self = static_cast<PulseLink *>(userdata);
        self->timedOut_ = true;
        pa_threaded_mainloop_signal(self->loop_, 0);
    }

public:
    std::atomic<bool> everReady{false}; // a server has answered this process
    std::atomic<bool> ready{false};
private:
    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    bool timedOut_ = false;
};

// Never destroyed: streams in the output pool may outlive every other static object.
PulseLink &Link()
{
    static PulseLink *link = new PulseLink;
    return *link;
}

class Locker {
public:
    Locker() { pa_threaded_mainloop_lock(Link().Loop()); }
    ~Locker() { pa_threaded_mainloop_unlock(Link().Loop()); }
    Locker(const Locker &) = delete;
    Locker &operator=(const Locker &) = delete;
};

void Done(pa_operation *op)
{
    if (op)
        pa_operation_unref(op);
}

class PulseOutput final : public Output {
public:
    explicit PulseOutput(int rate) : rate_(rate) {}
    ~PulseOutput() override
    {
        Locker lk;
        auto &list = Link().outputs;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        StopTimer();
        if (stream_) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_suspended_callback(stream_, nullptr, nullptr);
            pa_stream_set_moved_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            if (pa_stream_get_state(stream_) == PA_STREAM_READY || pa_stream_get_state(stream_) == PA_STREAM_CREATING)
                pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
    }

    // Creates the stream, corked; it gets ready on its own, without anyone waiting.
    bool Open(const std::string &title)
    {
        Locker lk;
        const pa_sample_spec format{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(rate_), 2};
        pa_proplist *props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
        pa_proplist_sets(props, PA_PROP_MEDIA_NAME, title.c_str());
        pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kIconName);
        stream_ = pa_stream_new_with_proplist(Link().Context(), title.c_str(), &format, nullptr, props);
        pa_proplist_free(props);
        if (!stream_) {
            SetOutputProblem(pa_strerror(pa_context_errno(Link().Context())));
            return false;
        }
        pa_stream_set_state_callback(stream_, &PulseOutput::StreamState, this);
        pa_stream_set_write_callback(stream_, &PulseOutput::WriteRequest, this);
        pa_stream_set_suspended_callback(stream_, &PulseOutput::SinkChanged, this);
        pa_stream_set_moved_callback(stream_, &PulseOutput::SinkChanged, this);
        pa_stream_set_underflow_callback(stream_, &PulseOutput::RanDry, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        const std::uint32_t request = std::min(Bytes(kRequestMs), kMaxRequestFrames * 4);
        attr.tlength = std::min(Bytes(kTargetMs), 4 * request);
        attr.prebuf = Bytes(kPrebufMs);
        attr.minreq = request;
        attr.fragsize = static_cast<std::uint32_t>(-1);
        // No device named: the stream follows the server's default sink wherever it moves.
        // The volume is never set: the program's gain is its own.
        // The clock is our own, from the server's answers: libpulse's interpolation runs on
        // from a stale answer as long as nobody asks for a fresh one.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
            SetOutputProblem(pa_strerror(pa_context_errno(Link().Context())));
            return false;
        }
        Link().outputs.push_back(this);
        return true;
    }

    Kind OutputKind() const override { return Kind::Pulse; }
    int Rate() const override { return rate_; }
    bool Alive() const override { return !lost_.load(); }

    void SetTitle(const std::string &title) override
    {
        Locker lk;
        if (!Ready())
            return;
        pa_proplist *props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_NAME, title.c_str());
        Done(pa_stream_proplist_update(stream_, PA_UPDATE_REPLACE, props, nullptr, nullptr));
        pa_proplist_free(props);
    }

    void Start(OutputSource *source) override
    {
        Locker lk;
        if (lost_.load()) { // failed while it was being set up: say so as if it were playing
            source->Lost();
            return;
        }
        source_ = source;
        startHeard_ = last_;
        startAt_ = NowUsec();
        running_ = true;
        ended_ = false;
        endPending_ = false;
        if (Ready()) {
            Done(pa_stream_cork(stream_, 0, nullptr, nullptr));
            Write();
            AskTiming(); // answered once the server has the uncork and the first frames
            WatchHeard();
        }
    }

    void Pause() override
    {
        Locker lk;
        running_ = false;
        source_ = nullptr;
        StopTimer();
        snapPlaying_ = false;
        if (Ready())
            Done(pa_stream_cork(stream_, 1, nullptr, nullptr));
    }

    // The flush lands where the server's read index stands, which becomes frame 0 of what
    // follows; the timing update queued behind it tells where that is.
    void Flush() override
    {
        Locker lk;
        ++generation_;
        written_ = 0;
        last_ = 0;
        snapHeard_ = 0;
        snapPlaying_ = false;
        endPending_ = false;
        if (!Ready()) {
            mark_ = 0;
            return;
        }
        Done(pa_stream_flush(stream_, nullptr, nullptr));
        markPending_ = true;
        timingAsked_ = true;
        Done(pa_stream_update_timing_info(stream_, &PulseOutput::MarkTaken, Tag()));
    }

    std::uint64_t Played() override
    {
        Locker lk;
        return PlayedLocked();
    }

private:
    std::uint32_t Bytes(std::uint32_t ms) const
    {
        return static_cast<std::uint32_t>(std::uint64_t(rate_) * ms / 1000) * 4;
    }
    bool Ready() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }
    void *Tag() const { return reinterpret_cast<void *>(static_cast<std::uintptr_t>(generation_)); }
    static PulseOutput *Find(pa_stream *s, void *tag)
    {
        for (PulseOutput *o : Link().outputs)
            if (o->stream_ == s && o->Tag() == tag)
                return o;
        return nullptr;
    }

    std::uint64_t PlayedLocked()
    {
        if (lost_.load())
            return frozen_;
        if (markPending_ || !Ready())
            return last_;
        std::uint64_t heard = snapHeard_;
        const pa_usec_t now = NowUsec();
        if (snapPlaying_ && running_ && now > snapAt_)
            heard += (now - snapAt_) * std::uint64_t(rate_) / 1000000;
        // Never faster than time itself: a sink suspended or removed drops what it holds,
        // and the server then answers as if all of it had been played.
        if (running_ && now > startAt_)
            heard = std::min(heard, startHeard_ + (now - startAt_) * std::uint64_t(rate_) / 1000000);
        last_ = std::max(last_, std::min(heard, written_));
        return last_;
    }
    static pa_usec_t NowUsec()
    {
        timeval tv{};
        gettimeofday(&tv, nullptr);
        return Usec(tv);
    }
    static pa_usec_t Usec(const timeval &tv)
    {
        return pa_usec_t(tv.tv_sec) * 1000000 + pa_usec_t(tv.tv_usec);
    }
    // Sets the clock from the server's latest answer.
    void TakeSnapshot()
    {
        const pa_timing_info *ti = pa_stream_get_timing_info(stream_);
        if (!ti || ti->read_index_corrupt || ti->read_index < 0)
            return;
        const std::uint64_t read = static_cast<std::uint64_t>(ti->read_index) / 4;
        const std::uint64_t mixed = ti->sink_usec * std::uint64_t(rate_) / 1000000;
        snapHeard_ = read > mark_ + mixed ? read - mark_ - mixed : 0;
        snapAt_ = Usec(ti->timestamp);
        snapPlaying_ = ti->playing != 0 && running_;
    }

    // Fills what the server asked for from the source. Main loop thread, or a caller
    // holding the lock.
    void Write()
    {
        if (!running_ || !source_ || ended_ || !Ready())
            return;
        if (snapPlaying_ && !clock_ && NowUsec() >= timingDue_)
            AskTiming();
        std::size_t want = pa_stream_writable_size(stream_);
        if (want == static_cast<std::size_t>(-1))
            return;
        bool last = false;
        while (want >= 4 && !last) {
            void *buf = nullptr;
            std::size_t bytes = want;
            if (pa_stream_begin_write(stream_, &buf, &bytes) < 0 || !buf)
                break;
            const std::size_t frames = std::min(bytes, want) / 4;
            const std::size_t n = source_->Pull(static_cast<std::int16_t *>(buf), frames, &last);
            if (n == 0) {
                pa_stream_cancel_write(stream_);
                break;
            }
            pa_stream_write(stream_, buf, n * 4, nullptr, 0, PA_SEEK_RELATIVE);
            written_ += n;
            want -= n * 4;
            if (n < frames)
                break;
        }
        // The ring ran dry before the request was met (a slow disk, a busy machine). The
        // server asks again only once it has played a request's worth, which it may never
        // do if it runs dry meanwhile, so look again shortly.
        if (!last && want >= 4 && !refill_)
            refill_ = After(20000, &PulseOutput::RefillDue);
        if (last) {
            ended_ = true;
            Done(pa_stream_trigger(stream_, nullptr, nullptr)); // less than the pre-buffer left
            Done(pa_stream_drain(stream_, &PulseOutput::DrainDone, Tag()));
        }
    }

    // Asks for a fresh answer unless one is on its way; each answer while the stream plays
    // arms the next (ArmClock).
    void AskTiming()
    {
        if (timingAsked_ || !Ready())
            return;
        timingAsked_ = true;
        Done(pa_stream_update_timing_info(stream_, &PulseOutput::TimingCame, Tag()));
    }
    // Playing, the next ask rides on a request for audio (Write); until then, a timer.
    void ArmClock()
    {
        if (clock_ || !running_)
            return;
        if (snapPlaying_)
            timingDue_ = NowUsec() + kTimingMs * 1000;
        else
            clock_ = After(kEarlyMs * 1000, &PulseOutput::ClockDue);
    }

    // The server has taken everything; what the sink had mixed ahead still plays. Waits that
    // out on the clock of a fresh answer, so that the end reported is the end heard.
    void CheckPlayedOut(bool waited)
    {
        StopEndTimer();
        if (!running_ || !source_)
            return;
        const std::uint64_t played = PlayedLocked();
        // What is left is the sink's latency, waited out once.
        if (waited || played >= written_) {
            OutputSource *source = source_;
            running_ = false;
            source->Drained();
            return;
        }
        timer_ = After((written_ - played) * 1000000 / std::uint64_t(rate_) + 5000, &PulseOutput::TimerFired);
    }
    pa_time_event *After(std::uint64_t usec, pa_time_event_cb_t fired)
    {
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(Link().Loop());
        timeval tv{};
        gettimeofday(&tv, nullptr);
        tv.tv_sec += static_cast<time_t>(usec / 1000000);
        tv.tv_usec += static_cast<suseconds_t>(usec % 1000000);
        if (tv.tv_usec >= 1000000) {
            tv.tv_usec -= 1000000;
            ++tv.tv_sec;
        }
        return api->time_new(api, &tv, fired, this);
    }
    void StopTimer()
    {
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(Link().Loop());
        for (pa_time_event **t : {&timer_, &refill_, &clock_, &suspended_})
            if (*t) {
                api->time_free(*t);
                *t = nullptr;
            }
    }
    void StopEndTimer()
    {
        if (timer_) {
            pa_mainloop_api *api = pa_threaded_mainloop_get_api(Link().Loop());
            api->time_free(timer_);
            timer_ = nullptr;
        }
    }

  public:
    // The connection broke: keep the position it had reached (the stream still answers
    // from its last timing, as it is not failed yet).
    void Freeze()
    {
        if (!lost_.load()) {
            frozen_ = PlayedLocked();
            lost_.store(true);
        }
    }

  private:
    // A playing stream on a suspended sink, or on the stand-in for none, is heard by
    // nobody: lost, unless that is over within kSuspendedUsec.
    bool OnNoSink()
    {
        const char *sink = Ready() ? pa_stream_get_device_name(stream_) : nullptr;
        return sink && std::strcmp(sink, kNoSinkName) == 0;
    }
    bool Unheard() { return OnNoSink() || (Ready() && pa_stream_is_suspended(stream_) == 1); }
    void WatchHeard()
    {
        if (!running_)
            return;
        if (OnNoSink()) // it plays on there at once, so at once
            Lose();
        else if (!suspended_ && Unheard()) {
            heardAtSuspend_ = PlayedLocked(); // the sound stopped here, if it does not resume
            suspended_ = After(kSuspendedUsec, &PulseOutput::SuspendedDue);
        }
    }
    static void SinkChanged(pa_stream *, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        self->WatchHeard();
        if (self->running_)
            self->AskTiming(); // another sink, another latency
    }
    static void RanDry(pa_stream *, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        if (self->running_)
            self->AskTiming(); // the server's count stood still meanwhile
    }
    static void SuspendedDue(pa_mainloop_api *api, pa_time_event *, const struct timeval *, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        api->time_free(self->suspended_);
        self->suspended_ = nullptr;
        if (self->running_ && self->Unheard()) {
            self->frozen_ = std::min(self->heardAtSuspend_, self->PlayedLocked());
            self->lost_.store(true);
            self->Lose();
        }
    }

    void Lose()
    {
        Freeze();
        if (running_ && source_) {
            OutputSource *source = source_;
            running_ = false;
            source_ = nullptr;
            source->Lost();
        }
    }

    static void StreamState(pa_stream *s, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        switch (pa_stream_get_state(s)) {
        case PA_STREAM_READY:
            if (self->running_) {
                Done(pa_stream_cork(s, 0, nullptr, nullptr));
                self->Write();
                self->AskTiming();
                self->WatchHeard();
            }
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            self->Lose();
            break;
        default:
            break;
        }
    }
    static void WriteRequest(pa_stream *, std::size_t, void *userdata)
    {
        static_cast<PulseOutput *>(userdata)->Write();
    }
    static void MarkTaken(pa_stream *s, int success, void *tag)
    {
        PulseOutput *self = Find(s, tag);
        if (!self)
            return;
        const pa_timing_info *ti = success ? pa_stream_get_timing_info(s) : nullptr;
        self->mark_ = ti && ti->read_index > 0 ? static_cast<std::uint64_t>(ti->read_index) / 4 : 0;
        self->markPending_ = false;
        self->timingAsked_ = false;
        self->last_ = 0;
        self->snapHeard_ = 0;
        self->snapPlaying_ = false;
        if (self->running_)
            self->AskTiming(); // the start that came meanwhile was not answered for this mark
    }
    static void TimingCame(pa_stream *s, int success, void *tag)
    {
        for (PulseOutput *o : Link().outputs)
            if (o->stream_ == s)
                o->timingAsked_ = false;
        PulseOutput *self = Find(s, tag);
        if (!self || self->markPending_)
            return;
        if (success)
            self->TakeSnapshot();
        if (self->endPending_) {
            self->endPending_ = false;
            self->CheckPlayedOut(false);
        }
        self->ArmClock();
    }
    static void DrainDone(pa_stream *s, int success, void *tag)
    {
        PulseOutput *self = Find(s, tag);
        if (!self || !success)
            return;
        // The end, on a fresh answer: asked for now, or the one already on its way.
        self->endPending_ = true;
        self->AskTiming();
    }
    static void ClockDue(pa_mainloop_api *api, pa_time_event *, const struct timeval *, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        api->time_free(self->clock_);
        self->clock_ = nullptr;
        if (self->running_)
            self->AskTiming();
    }
    static void RefillDue(pa_mainloop_api *api, pa_time_event *, const struct timeval *, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        api->time_free(self->refill_);
        self->refill_ = nullptr;
        self->Write();
    }
    static void TimerFired(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *userdata)
    {
        auto *self = static_cast<PulseOutput *>(userdata);
        self->CheckPlayedOut(true);
    }

    const int rate_;
    pa_stream *stream_ = nullptr;
    // All under the main loop's lock.
    OutputSource *source_ = nullptr;
    bool running_ = false;
    bool ended_ = false;
    std::uint64_t generation_ = 0; // a flush makes earlier drains and marks stale
    std::uint64_t mark_ = 0;       // the stream's frame at the last flush
    bool markPending_ = false;
    std::uint64_t written_ = 0; // frames written since the last flush
    std::uint64_t last_ = 0;    // the last position read: the clock never goes below it
    std::uint64_t snapHeard_ = 0; // frames heard when the last answer was current
    std::uint64_t startHeard_ = 0; // frames heard when the stream was last started
    pa_usec_t startAt_ = 0;        // when that was
    pa_usec_t snapAt_ = 0;        // when that was
    bool snapPlaying_ = false;    // whether the stream was playing then
    bool timingAsked_ = false;    // an answer is on its way
    bool endPending_ = false;     // the server took the last frame: the end waits for an answer
    pa_time_event *clock_ = nullptr;  // the next ask for an answer, until the stream plays
    pa_usec_t timingDue_ = 0;         // the next ask while it plays
    pa_time_event *timer_ = nullptr;  // the end, played out
    pa_time_event *refill_ = nullptr; // another look at a ring that ran dry
    pa_time_event *suspended_ = nullptr; // another look at a sink found suspended
    std::uint64_t heardAtSuspend_ = 0;    // the clock when it was found so
    std::atomic<bool> lost_{false};
    std::uint64_t frozen_ = 0;
};

void PulseLink::ContextState(pa_context *c, void *userdata)
{
    auto *self = static_cast<PulseLink *>(userdata);
    const pa_context_state_t st = pa_context_get_state(c);
    self->ready.store(st == PA_CONTEXT_READY);
    if (st == PA_CONTEXT_READY)
        self->everReady.store(true);
    if (st == PA_CONTEXT_FAILED || st == PA_CONTEXT_TERMINATED)
        for (PulseOutput *o : self->outputs)
            o->Freeze(); // before the streams fail with it and lose their timing
    pa_threaded_mainloop_signal(self->loop_, 0);
}

} // namespace

std::unique_ptr<Output> OpenPulseOutput(int rate, const std::string &title, bool wait, bool start)
{
    if (!Link().Connect(wait, start))
        return nullptr;
    auto out = std::make_unique<PulseOutput>(rate);
    if (!out->Open(title))
        return nullptr;
    return out;
}

bool PulseConnecting() { return Link().Connecting(); }
bool PulseServerLost() { return Link().everReady.load() && !Link().ready.load(); }

bool StartPulseConnection()
{
    Link().Connect(false);
    return Link().Connecting();
}

} // namespace media
