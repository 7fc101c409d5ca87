#pragma once

// The one place that builds a kernel's owner. Tests, benchmarks and the tone demo all get their
// kernels here, so when the owner changes only this file does. No test framework in here.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "analysis/MarvexKernel.h"
#include "analysis/MarvexParameterIDs.h"
#include "effect/AUEffectBase.h"

namespace marvex::test {

// The smallest real owner: an effect unit without a component instance, its elements created,
// the eight parameters indexed in the global element and the output format's rate settable.
class KernelOwner : public AUEffectBase {
public:
    explicit KernelOwner(double sampleRate) : AUEffectBase(nullptr, true) {
        CreateElements();
        Globals()->UseIndexedParameters(kNumberOfParameters);
        SetSampleRate(sampleRate);
    }
    void SetSampleRate(double sampleRate) {
        CAStreamBasicDescription format = GetOutput(0)->GetStreamFormat();
        format.mSampleRate = sampleRate;
        GetOutput(0)->SetStreamFormat(format);
    }
};

class KernelHarness {
public:
    // The unit's parameters at their starting values, then Pitch and Precision as given.
    explicit KernelHarness(double sampleRate = 44100.0, float pitch = 440.0f,
                           float precision = 2.0f)
        : mOwner(sampleRate) {
        const float defaults[] = {2.0f, 440.0f, 440.0f, 440.0f, 440.0f, 440.0f, 48.0f, 0.0f};
        for (std::uint32_t id = 0; id < kNumberOfParameters; ++id) set(id, defaults[id]);
        set(kParam_Pitch, pitch);
        set(kParam_Precision, precision);
    }

    float get(std::uint32_t id) const { return mOwner.GetParameter(id); }
    void set(std::uint32_t id, float value) { mOwner.SetParameter(id, value); }
    void setSampleRate(double sampleRate) { mOwner.SetSampleRate(sampleRate); }

    std::unique_ptr<MarvexKernel> makeKernel(std::uint32_t channel = 0, bool last = true) {
        auto kernel = std::make_unique<MarvexKernel>(&mOwner);
        kernel->SetChannelNum(channel);
        kernel->SetLastKernel(last);
        return kernel;
    }

private:
    // Reads go through the owner's non-const accessors.
    mutable KernelOwner mOwner;
};

// Runs `in` through the kernel in calls of `block` frames (the last call may be shorter) and
// returns what came out.
inline std::vector<float> feed(MarvexKernel& kernel, std::span<const float> in,
                               std::size_t block = 512) {
    std::vector<float> out(in.size());
    bool silence = false;
    for (std::size_t at = 0; at < in.size(); at += block) {
        const std::size_t frames = std::min(block, in.size() - at);
        kernel.Process(in.data() + at, out.data() + at, static_cast<std::uint32_t>(frames), 1,
                       silence);
    }
    return out;
}

// One call with all of `samples`, in place.
inline void process(MarvexKernel& kernel, std::vector<float> samples) {
    bool silence = false;
    kernel.Process(samples.data(), samples.data(), static_cast<std::uint32_t>(samples.size()), 1,
                   silence);
}

// -1 everywhere except one-sample lobes of the given areas at the given positions.
inline std::vector<float> spikes(std::size_t length,
                                 std::vector<std::pair<std::size_t, float>> lobes) {
    std::vector<float> out(length, -1.0f);
    for (auto [pos, area] : lobes) out[pos] = area;
    return out;
}

// A sine of `hz` at `sampleRate`, computed in double and rounded once per sample.
inline std::vector<float> sine(double hz, double sampleRate, std::size_t frames,
                               double amplitude = 0.5, double phase = 0.0) {
    std::vector<float> out(frames);
    const double step = 2.0 * std::numbers::pi * hz / sampleRate;
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(amplitude * std::sin(phase + step * static_cast<double>(i)));
    return out;
}

}  // namespace marvex::test
