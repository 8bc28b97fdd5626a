#pragma once
// An audio output: where an engine's decoded, gain-scaled frames go. One implementation
// per back end (the sound server's own client library, SDL), and any an OutputProvider gives.
// Every output plays 16-bit stereo at the file's rate and pulls its frames from a source,
// on a thread of its own while it plays; Start may fill the first request at once on the
// caller's thread (the server's output does) and says there when the output is lost.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace media {

// The sink a sound server makes when no real one is left (PulseAudio's module-always-sink,
// PipeWire's PulseAudio service alike): nobody hears it.
constexpr char kNoSinkName[] = "auto_null";

// What an output pulls from. Called on the output's thread, and inside Start on the
// caller's (an output its caller drives: always on the GUI thread), so none of these may block or
// take the source's locks.
class OutputSource {
public:
    virtual ~OutputSource() = default;
    // Fills `out` with up to `frames` frames and returns how many; *last is set once the
    // frames returned so far are all there will be.
    virtual std::size_t Pull(std::int16_t *out, std::size_t frames, bool *last) = 0;
    // Everything pulled before `last` has been played out.
    virtual void Drained() = 0;
    // The output stopped working (its device removed, its server gone) while pulling.
    virtual void Lost() = 0;
};

class Output {
public:
    // Manual: an output its caller drives (an OutputProvider's), pulled only by Pump.
    enum class Kind { PipeWire, Pulse, Sdl, Manual };
    virtual ~Output() = default; // closes; an SDL output may take a few periods
    virtual Kind OutputKind() const = 0;
    virtual int Rate() const = 0;
    // False once the output has been lost: it is never used again.
    virtual bool Alive() const = 0;
    // The name the sound settings show for the stream (the track's).
    virtual void SetTitle(const std::string &) {}
    // Starts pulling from `source` (which must outlive the next Pause) and playing.
    virtual void Start(OutputSource *source) = 0;
    // Stops pulling: once this returns no Pull runs and none will until the next Start.
    virtual void Pause() = 0;
    // Drops what the output still holds unplayed (silent at once) and counts frames played
    // from zero again. Only while paused.
    virtual void Flush() = 0;
    // Frames played since the last Flush: the server's count, or for SDL an estimate from
    // the buffers it took and the wall clock. Never goes back until the next Flush; frozen
    // where the sound stopped once the output has been lost.
    virtual std::uint64_t Played() = 0;
    // An output its caller drives plays up to `frames` frames at once, pulled on this
    // thread: false when it had nothing to play. The others play on their own.
    virtual bool Pump(std::size_t /*frames*/) { return false; }
};

// Where the engine takes its outputs from while one is installed, instead of the pool:
// outputs that their caller drives (Kind::Manual). A device opened then runs no decoder
// thread and no retry timer: it seeks and decodes on the GUI thread, and moves only
// inside Device::AdvanceCallerClock. The tests' manual clock is one.
class OutputProvider {
public:
    virtual ~OutputProvider() = default;
    // An output at `rate`, or null once SetOutputProblem has said why.
    virtual std::unique_ptr<Output> Acquire(int rate) = 0;
};
// Null: the pool again. Affects the devices opened afterwards.
void SetOutputProvider(OutputProvider *provider);
bool OutputsDrivenByCaller();


// The process's outputs, used again from one track to the next: a paused output handed
// back here is taken by the next engine that asks for the same kind and rate, never one of
// another rate; an idle SDL output is closed after a grace, an idle server stream stays
// (corked, it costs nothing).
// `wait`: whether a connection to the sound server being made may be waited for (opening
// a file does); without it nothing waits: a connection on its way is left to come, and
// OutputPending() says so. Null with LastOutputProblem() set when none opens.
// `only`: of that kind alone.
std::unique_ptr<Output> AcquireOutput(int rate, const std::string &title, bool wait,
                                      const Output::Kind *only = nullptr);
void ReturnOutput(std::unique_ptr<Output> output);
// Whether the last AcquireOutput that found none left a connection to a server on its way:
// asked again shortly, without waiting, it may find one.
bool OutputPending();

// The implementations' constructors, for AcquireOutput. `start`: whether a connection to
// the server is started when none is there or on its way.
std::unique_ptr<Output> OpenPipeWireOutput(int rate, const std::string &title, bool wait);
bool PipeWireServerLost();
std::unique_ptr<Output> OpenPulseOutput(int rate, const std::string &title, bool wait, bool start);
bool PulseConnecting();
// Whether the server this process played on has gone away (and none answers now): the
// PulseAudio server, the PipeWire server, or either (ServerLost).
bool PulseServerLost();
bool ServerLost();
// Starts a connection unless one is there or on its way; true when one is on its way.
bool StartPulseConnection();
std::unique_ptr<Output> OpenSdlOutput(int rate);
// What the last output that failed to open said (LastOutputProblem in Device.h).
void SetOutputProblem(const std::string &text);

} // namespace media
