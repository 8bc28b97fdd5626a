#pragma once
// An audio output: where an engine's decoded, gain-scaled frames go. One implementation
// per back end (the sound server's own client library, SDL, the tests' manual clock).
// Every output plays 16-bit stereo at the file's rate and pulls its frames from a source
// on a thread of its own.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace media {

// What an output pulls from. Called on the output's thread, never on the GUI thread
// (the manual output excepted), so none of these may block or take the source's locks.
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
    // Frames played since the last Flush, as the device or server reports them. Frozen
    // where the sound stopped once the output has been lost.
    virtual std::uint64_t Played() = 0;
};

// The process's outputs, used again from one track to the next: a paused output handed
// back here is taken by the next engine that asks for the same kind and rate; an idle SDL
// output is closed after a grace, an idle server stream stays (corked, it costs nothing).
// `wait`: whether a first connection to the sound server may be waited for (opening a
// file); reconnecting never waits. Null with LastOutputProblem() set when none opens.
// `only`: of that kind alone.
std::unique_ptr<Output> AcquireOutput(int rate, const std::string &title, bool wait,
                                      const Output::Kind *only = nullptr);
void ReturnOutput(std::unique_ptr<Output> output);

// The implementations' constructors, for AcquireOutput.
std::unique_ptr<Output> OpenPipeWireOutput(int rate, const std::string &title, bool wait);
std::unique_ptr<Output> OpenPulseOutput(int rate, const std::string &title, bool wait);
std::unique_ptr<Output> OpenSdlOutput(int rate);
// What the last output that failed to open said (LastOutputProblem in Device.h).
void SetOutputProblem(const std::string &text);

} // namespace media
