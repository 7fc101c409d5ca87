#pragma once

// What the analysis tests and benchmarks share: signals and calls in blocks. No test
// framework in here.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

#include "analysis/PitchAnalysis.h"

namespace marvex::test {

inline std::uint32_t bits(float x) {
    return std::bit_cast<std::uint32_t>(x);
}

// One call with all of `samples`, in place.
inline PitchResult process(PitchAnalysis& analysis, std::vector<float> samples,
                           float precision = 2.0f) {
    return analysis.process(samples.data(), samples.data(),
                            static_cast<std::uint32_t>(samples.size()), 1, precision);
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
