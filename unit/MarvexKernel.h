#pragma once

#include <cstdint>

#include "analysis/PitchAnalysis.h"
#include "effect/AUKernelBase.h"
#include "unit/Marvex.h"

// The tuner's per-channel kernel: the pitch analysis of one channel, fed the unit's settings and
// publishing what it finds in the unit's global parameters. Every channel publishes in the
// same parameters, so after a render they hold the last channel's latest results.
//
// Process allocates nothing and takes no lock.
class Marvex::MarvexKernel final : public AUKernelBase {
public:
    // [control] Builds the tone grid from the owner's output sample rate and Pitch, read now:
    // the rate cannot change while the unit is initialised, and a Pitch set later reaches only
    // kernels built afterwards (at the next initialisation).
    explicit MarvexKernel(AUEffectBase* owner);

    // Reset is the base's: the analysis keeps everything (ring, counters, previous sample).

    // [render] Copies the samples to inDestP (which may equal inSourceP) and analyses them at
    // the Precision of the moment; publishes Note, Frequency, CentralFrequency,
    // LowerFrequency, UpperFrequency and Deviation, in that order, those the estimate found.
    // ioSilence is neither read nor written.
    void Process(const float* inSourceP, float* inDestP, std::uint32_t inFramesToProcess,
                 std::uint32_t inNumChannels, bool& ioSilence) override;

private:
    marvex::PitchAnalysis mAnalysis;
};
