#pragma once

#include <array>
#include <cstdint>

#include "host/BlockRecord.h"
#include "host/LevelMeter.h"

namespace marvex {

// What the process callback publishes for one channel after one period: the input's level and
// the unit's eight global parameters as they stand after the period.
struct LiveReading {
    std::uint64_t period = 0;  // the client's periods, counted from 0
    std::uint32_t channel = 0;
    std::uint32_t frames = 0;
    double sampleRateHz = 0.0;  // the rate the rendering unit was prepared for
    float levelDbfs = kLevelFloorDbfs;
    bool rendered = false;  // false: the unit failed the period; `values` are not to be used
    bool sounding = false;  // the level gate was open after the period
    std::array<float, kTunerParameterCount> values{};

    float value(TunerParameter id) const { return values[id]; }
};

}  // namespace marvex
