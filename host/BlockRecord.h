#pragma once

#include <array>
#include <cstdint>

namespace marvex {

// The tuner's eight global parameters, by id.
enum TunerParameter : std::uint32_t {
    kTunerPrecision = 0,
    kTunerPitch = 1,
    kTunerFrequency = 2,
    kTunerLowerFrequency = 3,
    kTunerCentralFrequency = 4,
    kTunerUpperFrequency = 5,
    kTunerNote = 6,
    kTunerDeviation = 7,
};
inline constexpr std::uint32_t kTunerParameterCount = 8;

// What the unit publishes after one rendered block: its eight global parameters, read through
// the parameter selector after the block.
struct BlockRecord {
    std::int64_t frame = 0;    // first frame of the block
    std::uint32_t frames = 0;  // block length
    std::array<float, kTunerParameterCount> values{};

    float value(TunerParameter id) const { return values[id]; }
};

}  // namespace marvex
