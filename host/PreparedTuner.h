#pragma once

#include <cstdint>
#include <span>

#include "host/BlockRenderer.h"
#include "host/HostedUnit.h"

namespace marvex {

// What a tuner is prepared for: the stream, the longest block it will be given, and the two
// settings. The reference pitch is taken when the unit initialises, so a new one needs a newly
// prepared unit; Precision is read on every block.
struct TunerSetup {
    double sampleRateHz = 48000.0;
    std::uint32_t channels = 1;
    std::uint32_t maxFrames = 4096;
    float pitchHz = 440.0f;
    float precision = 2.0f;
};

// A unit opened, set up and initialised on a control thread, ready for a render thread to render
// from the caller's buffers (see PreparedUnitSwap for handing a new one over while rendering).
// The constructor allocates everything; render() and readParameters() allocate nothing and take
// no lock.
class PreparedTuner {
public:
    // [control] Throws HostError when the unit refuses the setup.
    PreparedTuner(Component component, const TunerSetup& setup);
    PreparedTuner(const PreparedTuner&) = delete;
    PreparedTuner& operator=(const PreparedTuner&) = delete;

    const TunerSetup& setup() const { return mSetup; }
    HostedUnit& unit() { return mUnit; }

    // [render] Renders one block of at most setup().maxFrames frames, one pointer per channel.
    OSStatus render(std::span<const float* const> input, std::uint32_t frames) noexcept {
        return mRenderer.render(input, frames);
    }
    // [render] Sets Precision on the running unit (it takes effect from the next block).
    OSStatus setPrecision(float precision) noexcept;
    // [render] The unit's global parameters 0..out.size()-1.
    OSStatus readParameters(std::span<float> out) const noexcept {
        return mUnit.readParameters(out);
    }

private:
    TunerSetup mSetup;
    HostedUnit mUnit;
    BlockRenderer mRenderer;
};

}  // namespace marvex
