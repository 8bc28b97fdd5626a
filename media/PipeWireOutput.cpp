// The PipeWire server's own output: a pw_stream on a thread loop, so that no PulseAudio
// translation runs in the server for us. Chosen wherever a PipeWire server answers with an
// audio sink, unless ZOLM_AUDIO_SERVER=pulse asks for libpulse (OutputPool.cpp).
//
// One connection (core) per process for as long as the server lives, one stream per output;
// the pool keeps an idle stream inactive for the next track, so the server sees at most one
// stream of ours at a time. Threads:
//   - the thread loop's own: the connection's and the streams' events (state, drained), the
//     server's list of sinks and links and their states, the end-of-track and watch timers,
//     the drain request; it holds the loop's lock while it dispatches;
//   - the context's data thread (named zolm-pw-data at its first cycle): the stream's process
//     callback, once a graph cycle while it plays. It takes only the output's source mutex (a
//     leaf) around Pull, never the loop's lock, so the GUI thread never waits on a cycle but
//     for one Pull; it puts off the stall watch's timer each cycle (one syscall, no wake-up);
//   - the GUI thread (and the pool's, to close one): the Output calls, under the loop's lock
//     for a moment each; nothing here waits on the server but the very first connection of a
//     file's opening, and then with a bound.
//
// Buffers are sized for music: the stream asks for a latency longer than any graph allows,
// so the graph runs at its largest quantum while we alone play, and each cycle is met with
// what the converter asks for in one Pull. Pause, stop and seek deactivate and flush the
// stream, which drops what is queued at once: what was heard is at most the cycle in flight.
// The graph wakes the data thread once a cycle: at the largest quantum a server allows by
// default (2048 frames, 46 ms at 44.1 kHz) about 21 times a second, as it wakes every client
// of the graph that plays, the PulseAudio service among them.
//
// Heard. A stream to play that no active link to a running sink leaves for kUnheardUs (its
// sink removed, suspended or idle, none there, the session manager gone, a link left paused
// by a sink suspended under it), that the graph has not run for as long (the server
// stalled), or that is linked to the stand-in sink alone (at once) is heard by nobody: lost,
// at the position where that was found. The sinks, and the links out of our streams, are
// bound for their states.
//
// The rate asked for is the file's (mostly 44.1 kHz), and node.rate asks the graph to run at
// it: where the server allows that rate the graph switches and nothing is resampled anywhere;
// where it doesn't, the stream's own converter (in this process, not in the server) resamples
// once, as it would have to in any case.
#include "media/Output.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace media {

namespace {

constexpr char kIconName[] = "zolm-player";
constexpr char kAppName[] = "ZOLM Player";
constexpr int kConnectWaitMs = 2000;
// More than any graph allows (its quantum limit is 8192 frames at most): it gives its largest.
constexpr unsigned kLatencyFrames = 65536;
// Past the graph's own delay once the stream has drained: the end heard, not cut.
constexpr std::uint64_t kTailMarginUs = 30000;
// A stream asked to play that the graph does not run this long, or that no active link to a
// running sink leaves as long (its sink removed or suspended, the session manager gone) is
// heard by nobody: lost. Linking and
// starting take a few milliseconds, a cycle at most a few tens.
constexpr std::uint64_t kUnheardUs = 500000;

std::int64_t NowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

class PwOutput;

// A listener's table: the version of the events it was built for, and the handlers it sets.
template <typename T, typename Fill>
T Events(std::uint32_t version, Fill fill)
{
    T e{};
    e.version = version;
    fill(e);
    return e;
}

struct Conn;

// An object the server lists, bound to hear of its state: an audio sink, which suspended or
// idle plays nothing of what is linked to it, or a link out of one of our streams, which
// paused carries nothing (a sink suspended under it leaves it so).
struct Bound {
    Conn *conn;
    std::uint32_t id;
    pw_proxy *proxy;
    spa_hook listener{};
    bool known = false; // its state has been told
    bool ok = false;    // a sink that runs, a link that is active
};

// One connection to the server. Streams are destroyed before their core is let go, so a
// connection lives as long as the link or any stream still uses it.
struct Conn {
    pw_core *core = nullptr;
    spa_hook listener{};
    pw_registry *registry = nullptr;
    spa_hook registryListener{};
    std::vector<std::uint32_t> sinks;    // the audio sinks the server lists
    std::vector<std::unique_ptr<Bound>> bound; // those sinks, and our streams' links
    std::vector<std::uint32_t> standIns; // the one it makes when none is left (nobody hears it)
    struct LinkOut {
        std::uint32_t id, node, to;
    };
    std::vector<LinkOut> links; // the links it lists, by the node they leave
    // Whether the object is bound and known not to be what it should (a sink not running,
    // a link not active).
    bool Failing(std::uint32_t id) const
    {
        const auto b = std::find_if(bound.begin(), bound.end(), [id](const auto &k) { return k->id == id; });
        return b != bound.end() && (*b)->known && !(*b)->ok;
    }
    bool broken = false;
    int users = 0;
    int syncSeq = -1;
    bool synced = false; // the server has answered, its sinks listed
};

class PwLink {
public:
    // True when connected. Connects when there is no live connection; with `wait`, waits (at
    // most kConnectWaitMs) for the server's first answer. GUI thread.
    bool Connect(bool wait);
    pw_thread_loop *Loop() const { return loop_; }
    // The live connection, with a use taken. Under the lock.
    Conn *Take()
    {
        ++conn_->users;
        return conn_;
    }
    // Under the lock.
    void Release(Conn *c)
    {
        if (--c->users == 0 && c != conn_)
            Close(c);
    }
    // Whether the live connection's server has no audio sink: it serves no sound (a PipeWire
    // run for the screen alone beside PulseAudio, or every device gone). Unknown, until the
    // server has answered: no. Under the lock.
    bool NoSink() const { return conn_ && conn_->synced && conn_->sinks.empty(); }
    static void WatchLinks(Conn *c);
    std::vector<PwOutput *> outputs; // under the lock
    std::atomic<bool> everSynced{false}; // a server has answered this process
    std::atomic<bool> lost{false};       // and its connection broke since

private:
    static void Unbind(Bound &b)
    {
        spa_hook_remove(&b.listener);
        pw_proxy_destroy(b.proxy);
    }
    static void Close(Conn *c)
    {
        for (auto &b : c->bound)
            Unbind(*b);
        if (c->registry) {
            spa_hook_remove(&c->registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy *>(c->registry)); // a broken core's disconnect leaves it
        }
        spa_hook_remove(&c->listener);
        pw_core_disconnect(c->core);
        delete c;
    }
    static void CoreDone(void *data, std::uint32_t id, int seq);
    static void CoreError(void *data, std::uint32_t id, int seq, int res, const char *message);
    static void Global(void *data, std::uint32_t id, std::uint32_t permissions, const char *type,
                       std::uint32_t version, const spa_dict *props);
    static void GlobalRemoved(void *data, std::uint32_t id);
    static void Bind(Conn *c, std::uint32_t id, bool sink);
    // A sink counts while running, a link while active; each change is told to the streams.
    template <typename Info, std::uint64_t Mask, auto Good>
    static void StateInfo(void *data, const Info *info);

    pw_thread_loop *loop_ = nullptr;
    pw_context *context_ = nullptr;
    Conn *conn_ = nullptr;
};

PwLink &Link()
{
    static PwLink *link = new PwLink; // never destroyed: pooled streams may outlive statics
    return *link;
}

class Locker {
public:
    Locker() { pw_thread_loop_lock(Link().Loop()); }
    ~Locker() { pw_thread_loop_unlock(Link().Loop()); }
    Locker(const Locker &) = delete;
    Locker &operator=(const Locker &) = delete;
};

// Properties from key/value pairs, without the library's variadic constructor.
pw_properties *Props(std::initializer_list<std::pair<const char *, const char *>> items)
{
    const spa_dict empty{};
    pw_properties *p = pw_properties_new_dict(&empty);
    if (p)
        for (const auto &[k, v] : items)
            pw_properties_set(p, k, v);
    return p;
}

class PwOutput final : public Output {
public:
    explicit PwOutput(int rate) : rate_(rate) {}
    ~PwOutput() override
    {
        Locker lk;
        auto &list = Link().outputs;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        pw_loop *loop = pw_thread_loop_get_loop(Link().Loop());
        for (spa_source *t : {timer_, unheard_, unlinked_})
            if (t)
                pw_loop_destroy_source(loop, t);
        if (drainAsk_)
            pw_loop_destroy_source(loop, drainAsk_);
        if (stream_)
            pw_stream_destroy(stream_);
        if (conn_)
            Link().Release(conn_);
    }

    // Creates the stream, inactive; the session manager links it to the default sink.
    bool Open(const std::string &title)
    {
        Locker lk;
        conn_ = Link().Take();
        const std::string latency = std::to_string(kLatencyFrames) + "/" + std::to_string(rate_);
        const std::string rate = "1/" + std::to_string(rate_);
        // No target named: the stream follows the default sink wherever it moves. The volume
        // is never set: the program's gain is its own.
        pw_properties *props = Props({{PW_KEY_MEDIA_TYPE, "Audio"},
                                      {PW_KEY_MEDIA_CATEGORY, "Playback"},
                                      {PW_KEY_MEDIA_ROLE, "Music"},
                                      {PW_KEY_MEDIA_NAME, title.c_str()},
                                      {PW_KEY_APP_NAME, kAppName},
                                      {PW_KEY_APP_ICON_NAME, kIconName},
                                      {PW_KEY_NODE_NAME, kAppName},
                                      {PW_KEY_NODE_LATENCY, latency.c_str()},
                                      {PW_KEY_NODE_RATE, rate.c_str()},
                                      // Unlinked, or its sink suspended, the stream must stand
                                      // still, not be run by a stand-in driver into nothing.
                                      {PW_KEY_NODE_WANT_DRIVER, "false"}});
        stream_ = pw_stream_new(conn_->core, kAppName, props); // takes the properties
        if (!stream_) {
            SetOutputProblem(std::strerror(errno));
            return false;
        }
        static const auto events = Events<pw_stream_events>(PW_VERSION_STREAM_EVENTS, [](pw_stream_events &e) {
            e.state_changed = &PwOutput::StateChanged;
            e.process = &PwOutput::Process;
            e.drained = &PwOutput::DrainedEvent;
        });
        pw_stream_add_listener(stream_, &hook_, &events, this);
        pw_loop *loop = pw_thread_loop_get_loop(Link().Loop());
        timer_ = pw_loop_add_timer(loop, &PwOutput::TimerFired, this);
        unheard_ = pw_loop_add_timer(loop, &PwOutput::UnheardFired, this);
        unlinked_ = pw_loop_add_timer(loop, &PwOutput::UnlinkedFired, this);
        drainAsk_ = pw_loop_add_event(loop, &PwOutput::DrainAsked, this);

        std::uint8_t buffer[512];
        spa_pod_builder b{};
        spa_pod_builder_init(&b, buffer, sizeof buffer);
        spa_audio_info_raw info{};
        info.format = SPA_AUDIO_FORMAT_S16;
        info.rate = static_cast<std::uint32_t>(rate_);
        info.channels = 2;
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
        const spa_pod *params[1] = {spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info)};
        const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_INACTIVE |
                                                        PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
        if (pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0) {
            SetOutputProblem("the PipeWire stream cannot be connected");
            return false;
        }
        Link().outputs.push_back(this);
        return true;
    }

    Kind OutputKind() const override { return Kind::PipeWire; }
    int Rate() const override { return rate_; }
    bool Alive() const override { return !lost_.load(); }

    void SetTitle(const std::string &title) override
    {
        Locker lk;
        if (lost_.load())
            return;
        const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_MEDIA_NAME, title.c_str());
        const spa_dict dict = SPA_DICT_INIT(&item, 1);
        pw_stream_update_properties(stream_, &dict);
    }

    void Start(OutputSource *source) override
    {
        Locker lk;
        if (lost_.load()) { // failed while it stood idle: say so as if it were playing
            source->Lost();
            return;
        }
        startNs_.store(NowNs());
        ended_.store(false);
        drainedOut_ = false;
        tailArmed_ = false;
        {
            std::lock_guard sl(sourceMutex_);
            source_ = source;
        }
        wanted_ = true;
        pw_stream_set_active(stream_, true);
        Arm(unheard_, kUnheardUs); // put off by each cycle (Process)
        WatchLinks();
    }

    void Pause() override
    {
        Locker lk;
        {
            std::lock_guard sl(sourceMutex_); // waits out a Pull in flight
            source_ = nullptr;
        }
        wanted_ = false;
        Disarm();
        if (!lost_.load())
            pw_stream_set_active(stream_, false);
    }

    void Flush() override
    {
        Locker lk;
        if (!lost_.load())
            pw_stream_flush(stream_, false);
        written_.store(0);
        last_ = 0;
        startNs_.store(NowNs());
    }

    std::uint64_t Played() override
    {
        if (lost_.load())
            return frozen_;
        return PlayedNow();
    }

private:
    // What the graph has played of what was written since the last flush: the frames written,
    // less those still queued, buffered in the converter, and on their way to the device, by
    // the graph's last report moved on by the time since (at most to the frames written).
    std::uint64_t PlayedNow()
    {
        pw_time t{};
        const std::uint64_t written = written_.load(std::memory_order_acquire);
        if (pw_stream_get_time_n(stream_, &t, sizeof t) < 0 || t.now <= startNs_.load() || t.rate.denom == 0)
            return std::min(last_.load(), written);
        const double delay = double(t.delay) * t.rate.num * rate_ / t.rate.denom;
        double played = double(written) - double(t.queued) - double(t.buffered) - delay;
        if (active_.load())
            played += double(std::max<std::int64_t>(0, NowNs() - t.now)) * rate_ / 1e9;
        const auto p = static_cast<std::uint64_t>(std::clamp(played, 0.0, double(written)));
        const std::uint64_t out = std::max(p, std::min(last_.load(), written));
        last_.store(out);
        return out;
    }

    void Disarm()
    {
        Arm(timer_, 0);
        Arm(unheard_, 0);
        Arm(unlinked_, 0);
        unlinkedArmed_ = false;
    }
    // Zero disarms.
    static void Arm(spa_source *timer, std::uint64_t usec)
    {
        pw_loop *loop = pw_thread_loop_get_loop(Link().Loop());
        timespec in{};
        in.tv_sec = static_cast<time_t>(usec / 1000000);
        in.tv_nsec = static_cast<long>(usec % 1000000) * 1000 + (usec ? 1 : 0);
        pw_loop_update_timer(loop, timer, &in, nullptr, false);
    }

  public:
    std::uint32_t NodeId() const { return pw_stream_get_node_id(stream_); }
    // Whether the server lists a link out of the stream's node, active, to a sink that runs:
    // unlinked, its sink suspended or a link of it paused, the graph may still run the stream
    // (a stand-in driver), into nothing. A link to anything but a sink (a filter's input)
    // counts as heard. Watched while it is to play. Under the lock.
    void WatchLinks()
    {
        if (!wanted_ || lost_.load() || ended_.load())
            return;
        const std::uint32_t node = NodeId();
        bool linked = false, unheard = false, broken = false;
        for (const Conn::LinkOut &l : conn_->links)
            if (l.node == node) {
                const auto &s = conn_->standIns;
                if (std::find(s.begin(), s.end(), l.to) != s.end())
                    unheard = true;
                else if (conn_->Failing(l.id) || conn_->Failing(l.to))
                    broken = true;
                else
                    linked = true;
            }
        linked = linked && !broken;
        if (unheard && !linked) { // it plays on there at once, so at once
            Lose(unlinkedArmed_ ? std::min(heardWhenUnlinked_, PlayedNow()) : PlayedNow());
            return;
        }
        if (linked)
            Arm(unlinked_, 0);
        else if (!unlinkedArmed_) {
            heardWhenUnlinked_ = PlayedNow(); // the sound stopped here, if no link comes
            Arm(unlinked_, kUnheardUs);
        }
        unlinkedArmed_ = !linked;
    }

  private:
    // No graph cycle, or no link, for kUnheardUs while the stream is to play: nobody hears it.
    // Loop thread.
    static void UnheardFired(void *data, std::uint64_t)
    {
        auto *self = static_cast<PwOutput *>(data);
        if (self->wanted_ && !self->ended_.load())
            self->Lose();
    }
    static void UnlinkedFired(void *data, std::uint64_t)
    {
        auto *self = static_cast<PwOutput *>(data);
        if (self->wanted_ && !self->ended_.load() && self->unlinkedArmed_)
            self->Lose(std::min(self->heardWhenUnlinked_, self->PlayedNow()));
    }

  public:
    // The connection broke or the stream failed: keep the position it had reached and tell
    // the source. Loop thread.
    void Lose() { Lose(PlayedNow()); }
    void Lose(std::uint64_t heard)
    {
        if (lost_.load())
            return;
        frozen_ = heard;
        lost_.store(true);
        Disarm();
        OutputSource *source = nullptr;
        {
            std::lock_guard sl(sourceMutex_);
            source = std::exchange(source_, nullptr);
        }
        if (source)
            source->Lost();
    }
    Conn *Connection() const { return conn_; }

  private:
    // Everything the graph had queued has gone out; the device's own delay still plays. Waits
    // that out by the stream's clock, so that the end reported is the end heard. Loop thread.
    void CheckPlayedOut(bool waited)
    {
        OutputSource *source = nullptr;
        {
            std::lock_guard sl(sourceMutex_);
            source = source_;
        }
        if (!source || drainedOut_ || (tailArmed_ && !waited))
            return; // drained comes again each cycle until the stream stops: the tail is timed once
        if (waited) {
            drainedOut_ = true;
            source->Drained();
            return;
        }
        // What the graph still holds, by its last report, and a margin for the cycle in
        // flight, which the report does not count.
        pw_time t{};
        std::uint64_t usec = kTailMarginUs;
        if (pw_stream_get_time_n(stream_, &t, sizeof t) == 0 && t.rate.denom != 0 && t.delay > 0)
            usec += std::uint64_t(t.delay) * t.rate.num * 1000000 / t.rate.denom;
        tailArmed_ = true;
        Arm(timer_, usec);
    }

    static void StateChanged(void *data, pw_stream_state, pw_stream_state state, const char *)
    {
        auto *self = static_cast<PwOutput *>(data);
        self->active_.store(state == PW_STREAM_STATE_STREAMING);
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
            self->Lose();
        else
            self->WatchLinks(); // the node's id is known from its first state on
    }
    // Data thread: one cycle's audio, as much as the converter asks for.
    static void Process(void *data)
    {
        static thread_local bool named = false; // the library's thread: named once, for top and the bench
        if (!std::exchange(named, true))
            pthread_setname_np(pthread_self(), "zolm-pw-data");
        auto *self = static_cast<PwOutput *>(data);
        pw_buffer *b = pw_stream_dequeue_buffer(self->stream_);
        if (!b)
            return;
        spa_data &d = b->buffer->datas[0];
        std::size_t frames = d.maxsize / 4;
        if (b->requested)
            frames = std::min<std::size_t>(frames, b->requested);
        std::size_t n = 0;
        bool last = false;
        if (d.data && !self->ended_.load(std::memory_order_relaxed)) {
            std::lock_guard sl(self->sourceMutex_);
            if (self->source_)
                n = self->source_->Pull(static_cast<std::int16_t *>(d.data), frames, &last);
        }
        // The converter keeps a cycle short of its quantum until more comes, which after the
        // last frames nothing does: the end goes out padded with silence to what was asked.
        std::size_t out = n;
        if (last && d.data && n < frames) {
            std::memset(static_cast<std::int16_t *>(d.data) + 2 * n, 0, (frames - n) * 4);
            out = frames;
        }
        d.chunk->offset = 0;
        d.chunk->stride = 4;
        d.chunk->size = static_cast<std::uint32_t>(out * 4);
        b->size = out;
        self->written_.fetch_add(n, std::memory_order_release);
        if (!last) // the graph runs the stream: the watch is put off (rearming a timer is one syscall)
            Arm(self->unheard_, kUnheardUs);
        pw_stream_queue_buffer(self->stream_, b);
        if (last && !self->ended_.exchange(true))
            pw_loop_signal_event(pw_thread_loop_get_loop(Link().Loop()), self->drainAsk_);
    }
    static void DrainAsked(void *data, std::uint64_t)
    {
        auto *self = static_cast<PwOutput *>(data);
        if (!self->lost_.load() && self->ended_.load())
            pw_stream_flush(self->stream_, true);
    }
    static void DrainedEvent(void *data) { static_cast<PwOutput *>(data)->CheckPlayedOut(false); }
    static void TimerFired(void *data, std::uint64_t) { static_cast<PwOutput *>(data)->CheckPlayedOut(true); }

    const int rate_;
    Conn *conn_ = nullptr;
    pw_stream *stream_ = nullptr;
    spa_hook hook_{};
    spa_source *timer_ = nullptr;    // the end, played out
    spa_source *unheard_ = nullptr;  // the end of a stall's grace
    spa_source *unlinked_ = nullptr; // the end of an unlinked stream's grace
    bool unlinkedArmed_ = false;
    std::uint64_t heardWhenUnlinked_ = 0;
    spa_source *drainAsk_ = nullptr; // the data thread's word that the last frames are written
    std::mutex sourceMutex_;         // a leaf: guards source_ against the data thread
    OutputSource *source_ = nullptr;
    std::atomic<std::uint64_t> written_{0}; // frames written since the last flush
    std::atomic<std::uint64_t> last_{0};    // the last position read
    std::atomic<std::int64_t> startNs_{0};  // the graph's reports from before are stale
    std::atomic<bool> ended_{false}, active_{false}, lost_{false};
    bool drainedOut_ = false; // under the lock
    bool tailArmed_ = false;
    bool wanted_ = false;     // started and not paused since; under the lock
    std::uint64_t frozen_ = 0;
};

bool PwLink::Connect(bool wait)
{
    if (!loop_) {
        pw_init(nullptr, nullptr);
        loop_ = pw_thread_loop_new("zolm-pipewire", nullptr);
        pw_properties *props = loop_ ? Props({{PW_KEY_APP_NAME, kAppName}, {PW_KEY_APP_ICON_NAME, kIconName}})
                                     : nullptr;
        context_ = loop_ ? pw_context_new(pw_thread_loop_get_loop(loop_), props, 0) : nullptr;
        if (!context_ || pw_thread_loop_start(loop_) < 0) {
            SetOutputProblem("the PipeWire client library cannot be used");
            if (context_)
                pw_context_destroy(context_);
            if (loop_)
                pw_thread_loop_destroy(loop_);
            context_ = nullptr;
            loop_ = nullptr;
            return false;
        }
    }
    Locker lk;
    if (conn_ && conn_->broken) {
        Conn *old = std::exchange(conn_, nullptr);
        if (old->users == 0)
            Close(old);
    }
    if (!conn_) {
        // No server, no connection: the socket is not there or nobody listens on it.
        pw_core *core = pw_context_connect(
            context_, Props({{PW_KEY_APP_NAME, kAppName}, {PW_KEY_APP_ICON_NAME, kIconName}}), 0);
        if (!core) {
            SetOutputProblem(std::string("no PipeWire server: ") + std::strerror(errno));
            return false;
        }
        conn_ = new Conn;
        conn_->core = core;
        static const auto events = Events<pw_core_events>(PW_VERSION_CORE_EVENTS, [](pw_core_events &e) {
            e.done = &PwLink::CoreDone;
            e.error = &PwLink::CoreError;
        });
        pw_core_add_listener(core, &conn_->listener, &events, conn_);
        static const auto registryEvents =
            Events<pw_registry_events>(PW_VERSION_REGISTRY_EVENTS, [](pw_registry_events &e) {
                e.global = &PwLink::Global;
                e.global_remove = &PwLink::GlobalRemoved;
            });
        conn_->registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
        if (conn_->registry)
            pw_registry_add_listener(conn_->registry, &conn_->registryListener, &registryEvents, conn_);
        // Answered once the server has listed what it holds.
        conn_->syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
    }
    if (wait && !conn_->synced && !conn_->broken) {
        timespec until{};
        pw_thread_loop_get_time(loop_, &until, std::int64_t(kConnectWaitMs) * 1000000);
        while (!conn_->synced && !conn_->broken)
            if (pw_thread_loop_timed_wait_full(loop_, &until) != 0)
                break;
        if (!conn_->synced) {
            SetOutputProblem("the PipeWire server does not answer");
            return false;
        }
    }
    return !conn_->broken;
}

void PwLink::CoreDone(void *data, std::uint32_t id, int seq)
{
    auto *c = static_cast<Conn *>(data);
    if (id == PW_ID_CORE && seq == c->syncSeq) {
        c->synced = true;
        Link().everSynced.store(true);
        Link().lost.store(false);
        pw_thread_loop_signal(Link().Loop(), false);
    }
}

// An error on the core itself is the connection's end (the server went away).
void PwLink::CoreError(void *data, std::uint32_t id, int, int, const char *)
{
    auto *c = static_cast<Conn *>(data);
    if (id != PW_ID_CORE)
        return;
    c->broken = true;
    Link().lost.store(true);
    for (PwOutput *o : Link().outputs)
        if (o->Connection() == c)
            o->Lose();
    pw_thread_loop_signal(Link().Loop(), false);
}

void PwLink::Global(void *data, std::uint32_t id, std::uint32_t, const char *type, std::uint32_t,
                    const spa_dict *props)
{
    auto *c = static_cast<Conn *>(data);
    const char *kind = props ? spa_dict_lookup(props, PW_KEY_MEDIA_CLASS) : nullptr;
    const char *name = props ? spa_dict_lookup(props, PW_KEY_NODE_NAME) : nullptr;
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0 && kind && std::strcmp(kind, "Audio/Sink") == 0) {
        const bool standIn = name && std::strcmp(name, kNoSinkName) == 0;
        (standIn ? c->standIns : c->sinks).push_back(id);
        if (!standIn)
            Bind(c, id, true);
    }
    const char *from = props ? spa_dict_lookup(props, PW_KEY_LINK_OUTPUT_NODE) : nullptr;
    if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0 && from) {
        const char *to = spa_dict_lookup(props, PW_KEY_LINK_INPUT_NODE);
        const auto node = static_cast<std::uint32_t>(std::strtoul(from, nullptr, 10));
        c->links.push_back({id, node, to ? static_cast<std::uint32_t>(std::strtoul(to, nullptr, 10)) : SPA_ID_INVALID});
        for (PwOutput *o : Link().outputs)
            if (o->Connection() == c && o->NodeId() == node) {
                Bind(c, id, false);
                break;
            }
        WatchLinks(c);
    }
}

void PwLink::GlobalRemoved(void *data, std::uint32_t id)
{
    auto *c = static_cast<Conn *>(data);
    for (auto *list : {&c->sinks, &c->standIns})
        list->erase(std::remove(list->begin(), list->end(), id), list->end());
    auto &b = c->bound;
    const auto it = std::find_if(b.begin(), b.end(), [id](const auto &k) { return k->id == id; });
    if (it != b.end()) {
        Unbind(**it);
        b.erase(it);
    }
    const auto gone = std::remove_if(c->links.begin(), c->links.end(), [id](const Conn::LinkOut &l) { return l.id == id; });
    if (gone != c->links.end()) {
        c->links.erase(gone, c->links.end());
        WatchLinks(c);
    }
}

void PwLink::Bind(Conn *c, std::uint32_t id, bool sink)
{
    auto *proxy = static_cast<pw_proxy *>(pw_registry_bind(c->registry, id, sink ? PW_TYPE_INTERFACE_Node : PW_TYPE_INTERFACE_Link,
                                                           sink ? PW_VERSION_NODE : PW_VERSION_LINK, 0));
    if (!proxy)
        return;
    c->bound.push_back(std::make_unique<Bound>(Bound{c, id, proxy}));
    Bound *b = c->bound.back().get();
    if (sink) {
        static const auto events = Events<pw_node_events>(PW_VERSION_NODE_EVENTS, [](pw_node_events &e) {
            e.info = &PwLink::StateInfo<pw_node_info, PW_NODE_CHANGE_MASK_STATE, PW_NODE_STATE_RUNNING>;
        });
        pw_node_add_listener(reinterpret_cast<pw_node *>(proxy), &b->listener, &events, b);
    } else {
        static const auto events = Events<pw_link_events>(PW_VERSION_LINK_EVENTS, [](pw_link_events &e) {
            e.info = &PwLink::StateInfo<pw_link_info, PW_LINK_CHANGE_MASK_STATE, PW_LINK_STATE_ACTIVE>;
        });
        pw_link_add_listener(reinterpret_cast<pw_link *>(proxy), &b->listener, &events, b);
    }
}

template <typename Info, std::uint64_t Mask, auto Good>
void PwLink::StateInfo(void *data, const Info *info)
{
    auto *b = static_cast<Bound *>(data);
    if (!(info->change_mask & Mask) && b->known)
        return;
    b->known = true;
    b->ok = info->state == Good;
    WatchLinks(b->conn);
}

void PwLink::WatchLinks(Conn *c)
{
    for (PwOutput *o : Link().outputs)
        if (o->Connection() == c)
            o->WatchLinks();
}

// Where the server listens, as the library looks for it; without that socket there is no
// server, and the library is not even loaded.
bool SocketThere()
{
    const char *remote = std::getenv("PIPEWIRE_REMOTE");
    std::string path = remote && *remote ? remote : "pipewire-0";
    if (path[0] != '/') {
        const char *dir = std::getenv("XDG_RUNTIME_DIR");
        if (!dir || !*dir)
            return false;
        path = std::string(dir) + "/" + path;
    }
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

std::unique_ptr<Output> OpenPipeWireOutput(int rate, const std::string &title, bool wait)
{
    if (!SocketThere()) {
        SetOutputProblem("no PipeWire server");
        return nullptr;
    }
    if (!Link().Connect(wait))
        return nullptr;
    {
        Locker lk;
        if (Link().NoSink()) { // nothing to play into: not this server's output
            SetOutputProblem("the PipeWire server has no audio output");
            return nullptr;
        }
    }
    auto out = std::make_unique<PwOutput>(rate);
    if (!out->Open(title))
        return nullptr;
    return out;
}

bool PipeWireServerLost() { return Link().everSynced.load() && Link().lost.load(); }

} // namespace media
