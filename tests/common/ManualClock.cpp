#include "media/ManualClock.h"

#include "media/Device.h"
#include "media/Output.h"

#include <cstddef>
#include <iterator>
#include <memory>
#include <utility>

namespace media {

namespace {

struct ManualState {
    bool installed = false;
    bool outputAvailable = true;
    bool capturing = false;
    std::vector<std::int16_t> captured;
};
ManualState &Manual()
{
    static ManualState s;
    return s;
}

// It plays what ManualClock::Advance tells it to, at once.
class ManualOutput final : public Output {
public:
    explicit ManualOutput(int rate) : rate_(rate) {}
    Kind OutputKind() const override { return Kind::Manual; }
    int Rate() const override { return rate_; }
    bool Alive() const override { return !lost_; }
    void Start(OutputSource *source) override
    {
        source_ = source;
        if (lost_)
            std::exchange(source_, nullptr)->Lost();
    }
    void Pause() override { source_ = nullptr; }
    void Flush() override { played_ = 0; }
    std::uint64_t Played() override { return played_; }

    bool Pump(std::size_t frames) override
    {
        if (!source_)
            return false;
        buffer_.resize(2 * frames);
        bool last = false;
        const std::size_t n = source_->Pull(buffer_.data(), frames, &last);
        if (Manual().capturing)
            Manual().captured.insert(Manual().captured.end(), buffer_.begin(), buffer_.begin() + std::ptrdiff_t(2 * n));
        played_ += n;
        if (last)
            source_->Drained(); // no output latency to wait for
        return n > 0;
    }
    // The output's clock runs on without taking audio, as a stalled device's may.
    void Stall(std::size_t frames) { played_ += frames; }
    void Lose()
    {
        lost_ = true;
        if (OutputSource *s = std::exchange(source_, nullptr))
            s->Lost();
    }

private:
    const int rate_;
    OutputSource *source_ = nullptr;
    std::uint64_t played_ = 0;
    bool lost_ = false;
    std::vector<std::int16_t> buffer_;
};

class ManualProvider final : public OutputProvider {
public:
    std::unique_ptr<Output> Acquire(int rate) override
    {
        if (!Manual().outputAvailable) {
            SetOutputProblem("the manual output is switched off");
            return nullptr;
        }
        return std::make_unique<ManualOutput>(rate);
    }
};
ManualProvider g_provider;

// Every output a device opened under the clock has is a manual one.
ManualOutput &AsManual(Output &o) { return static_cast<ManualOutput &>(o); }

} // namespace

void ManualClock::Install()
{
    Manual().installed = true;
    SetOutputProvider(&g_provider);
}

void ManualClock::Uninstall()
{
    Manual().installed = false;
    Manual().outputAvailable = true;
    SetOutputProvider(nullptr);
}

bool ManualClock::Installed() { return Manual().installed; }

void ManualClock::Advance(int ms) { Device::AdvanceCallerClock(ms); }

void ManualClock::Stall(int ms)
{
    Device::ForEachPlayingOutput([ms](Output &o) {
        AsManual(o).Stall(std::size_t(std::uint64_t(ms) * std::uint64_t(o.Rate()) / 1000));
    });
}

void ManualClock::LoseOutput()
{
    Device::ForEachPlayingOutput([](Output &o) { AsManual(o).Lose(); });
}

void ManualClock::SetOutputAvailable(bool on) { Manual().outputAvailable = on; }

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
