// The process's idle outputs: kept from one track to the next, handed out again, and
// closed off the GUI thread once they are no longer worth keeping.
//
// Threads. The GUI thread hands outputs in (ReturnOutput), takes them out (AcquireOutput)
// and waits for the pool to empty (OpenOutputs). The pool's own thread, started with the
// first output handed in and joined when the process ends, closes the outputs that are
// due. Closing an SDL output joins SDL's thread, which first sleeps out its period and then
// two more "for the audio to drain"; on the GUI thread that would make every pause and stop
// wait three periods.
//
// Invariants.
//   1. Only paused outputs come in: no Pull runs on an output the pool holds, so the pool
//      never touches an engine.
//   2. An output is held by one engine or by the pool, never by both: Take removes it under
//      the pool's mutex before handing it out, and hands out only a live one not yet due.
//   3. When an output is due: a lost one at once; an idle SDL output after kReleaseGrace (its
//      thread wakes every period even when paused); an idle server stream never (corked, it
//      costs nothing). Before a new server stream is opened, the idle ones are closed on the
//      GUI thread (closing one only sends a request, handled in order): at most one stream of
//      ours on the server.
//   4. pending_ counts the outputs handed in and not yet taken or closed; Drain returns once
//      it is zero. g_openOutputs counts the open outputs: raised by the GUI thread as one
//      opens, lowered by whoever closes one.
//   5. The pool's mutex is a leaf: taken with nothing else held, and let go before an output
//      is closed. Its thread sleeps on its condition with no timeout while nothing is due.
#include "media/Device.h"
#include "media/Output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace media {

namespace {

constexpr std::chrono::milliseconds kReleaseGrace{1000};

std::string g_outputProblem;
bool g_outputPending = false;
std::atomic<int> g_openOutputs{0};

bool IsServerStream(Output::Kind k) { return k == Output::Kind::PipeWire || k == Output::Kind::Pulse; }

// Idle outputs, waiting to be taken again or closed.
class Pool {
    using Clock = std::chrono::steady_clock;
    struct Entry {
        std::unique_ptr<Output> output;
        Clock::time_point due;
    };

public:
    ~Pool()
    {
        {
            std::lock_guard lk(m_);
            quit_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable())
            thread_.join(); // closes whatever is still held first
    }
    // The output must be paused already: no Pull runs on a paused output.
    void Put(std::unique_ptr<Output> out)
    {
        const bool keep = out->Alive();
        const auto due = !keep ? Clock::now()
                         : out->OutputKind() == Output::Kind::Sdl ? Clock::now() + kReleaseGrace
                                                                  : Clock::time_point::max();
        std::lock_guard lk(m_);
        queue_.push_back({std::move(out), due});
        ++pending_;
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
        cv_.notify_all();
    }
    // A live idle output of that kind and rate, or null.
    std::unique_ptr<Output> Take(Output::Kind kind, int rate)
    {
        std::lock_guard lk(m_);
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (it->output && it->output->OutputKind() == kind && it->output->Rate() == rate &&
                it->output->Alive() && it->due > Clock::now()) {
                std::unique_ptr<Output> out = std::move(it->output);
                queue_.erase(it);
                --pending_;
                cv_.notify_all();
                return out;
            }
        }
        return nullptr;
    }
    // Closes the idle server streams now, on this thread, before a new one is made: closing
    // one only sends a request, and the server handles requests in order, so it never holds
    // two of ours.
    void RetireStreams()
    {
        std::vector<std::unique_ptr<Output>> gone;
        {
            std::lock_guard lk(m_);
            for (auto it = queue_.begin(); it != queue_.end();) {
                if (it->output && IsServerStream(it->output->OutputKind())) {
                    gone.push_back(std::move(it->output));
                    it = queue_.erase(it);
                    --pending_;
                } else {
                    ++it;
                }
            }
            cv_.notify_all();
        }
        g_openOutputs.fetch_sub(int(gone.size()));
    }
    // Closes everything held without waiting out the grace; returns once done.
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
                if (next->due == Clock::time_point::max())
                    cv_.wait(lk);
                else
                    cv_.wait_until(lk, next->due); // or until anything changes; then look again
                continue;
            }
            std::unique_ptr<Output> out = std::move(next->output);
            queue_.erase(next);
            lk.unlock();
            out.reset();
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
Pool &Outputs()
{
    static Pool p;
    return p;
}

// SDL's dummy driver is asked for by name: it plays nothing, at real-time pace.
bool SdlOnly()
{
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "dummy") == 0;
}

} // namespace

void SetOutputProblem(const std::string &text) { g_outputProblem = text; }
bool OutputPending() { return g_outputPending; }
bool ServerLost() { return PulseServerLost() || PipeWireServerLost(); }
const std::string &LastOutputProblem() { return g_outputProblem; }
int OpenOutputs()
{
    Outputs().Drain();
    return g_openOutputs.load();
}

// The server's own output whenever a server answers; SDL where none does, or when its dummy
// driver is asked for. `only` restricts the choice to one kind (a reconnection).
// The native PipeWire output comes first wherever a PipeWire server answers with an audio
// sink: no PulseAudio translation then runs in the server for us. A PipeWire run for the
// screen alone beside PulseAudio lists no sink, and PulseAudio is reached through libpulse.
// ZOLM_AUDIO_SERVER=pulse leaves the native output out (PipeWire is then reached through its
// PulseAudio service).
// Without `wait`, a connection to the server on its way is left to come (no SDL meanwhile,
// which would take the place of a server about to answer); where there is none, SDL is
// tried first, then a new connection started.
std::unique_ptr<Output> AcquireOutput(int rate, const std::string &title, bool wait, const Output::Kind *only)
{
    const auto allowed = [only](Output::Kind k) { return !only || *only == k; };
    const char *asked = std::getenv("ZOLM_AUDIO_SERVER");
    const bool pulseOnly = asked && std::strcmp(asked, "pulse") == 0;
    if (!SdlOnly() && allowed(Output::Kind::PipeWire) && !pulseOnly) {
        if (auto out = Outputs().Take(Output::Kind::PipeWire, rate)) {
            out->SetTitle(title);
            return out;
        }
        Outputs().RetireStreams(); // one stream of ours on the server at a time
        if (auto out = OpenPipeWireOutput(rate, title, wait)) {
            g_outputProblem.clear();
            g_openOutputs.fetch_add(1);
            return out;
        }
    }
    const bool server = !SdlOnly() && allowed(Output::Kind::Pulse);
    g_outputPending = false;
    if (server) {
        if (auto out = Outputs().Take(Output::Kind::Pulse, rate)) {
            out->SetTitle(title);
            return out;
        }
        Outputs().RetireStreams(); // one stream of ours on the server at a time
        if (auto out = OpenPulseOutput(rate, title, wait, wait)) {
            g_outputProblem.clear();
            g_openOutputs.fetch_add(1);
            return out;
        }
        if (!wait && PulseConnecting()) {
            g_outputPending = true;
            return nullptr;
        }
    }
    const auto later = [&] {
        g_outputPending = server && !wait && StartPulseConnection();
        return nullptr;
    };
    if (!allowed(Output::Kind::Sdl))
        return later();
    if (auto out = Outputs().Take(Output::Kind::Sdl, rate))
        return out;
    auto out = OpenSdlOutput(rate);
    if (!out && Outputs().Busy()) { // perhaps a driver that opens one device at a time
        Outputs().Drain();
        out = OpenSdlOutput(rate);
    }
    if (!out)
        return later();
    g_outputProblem.clear();
    g_openOutputs.fetch_add(1);
    return out;
}

void ReturnOutput(std::unique_ptr<Output> output)
{
    if (output && output->OutputKind() != Output::Kind::Manual)
        Outputs().Put(std::move(output));
}

} // namespace media
