#pragma once

#include <array>
#include <cstdint>

#include "unit/MarvexParameters.h"

namespace marvex {

// The host's names for the tuner's eight global parameters, whose ids unit/MarvexParameters.h
// defines.
enum TunerParameter : std::uint32_t {
    kTunerPrecision = kParam_Precision,
    kTunerPitch = kParam_Pitch,
    kTunerFrequency = kParam_Frequency,
    kTunerLowerFrequency = kParam_LowerFrequency,
    kTunerCentralFrequency = kParam_CentralFrequency,
    kTunerUpperFrequency = kParam_UpperFrequency,
    kTunerNote = kParam_Note,
    kTunerDeviation = kParam_Deviation,
};
inline constexpr std::uint32_t kTunerParameterCount = kNumberOfParameters;

// What the unit publishes after one rendered block: its eight global parameters, read through
// the parameter selector after the block.
struct BlockRecord {
    std::int64_t frame = 0;    // first frame of the block
    std::uint32_t frames = 0;  // block length
    std::array<float, kTunerParameterCount> values{};

    float value(TunerParameter id) const { return values[id]; }
};

}  // namespace marvex
