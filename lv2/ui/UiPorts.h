#pragma once

#include <cstdint>

namespace marvex {

// The plug-ins' control ports, in the order both plug-ins declare them (audio ports follow).
enum UiPort : std::uint32_t {
    kPortPitch = 0,
    kPortPrecision = 1,
    kPortFrequency = 2,
    kPortLower = 3,
    kPortCentral = 4,
    kPortUpper = 5,
    kPortNote = 6,
    kPortDeviation = 7,
    kPortLevel = 8,
};

}  // namespace marvex
