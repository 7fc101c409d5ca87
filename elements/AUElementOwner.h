#pragma once
// The few questions an element asks of the unit that owns it. The unit (AUBase) implements
// them; tests use a small stand-in. Elements hold the owner by pointer and never own it.

#include "format/PlatformTypes.h"

namespace marvex {

class AUElementOwner {
public:
    virtual ~AUElementOwner() = default;

    // [any thread] Buses allocate sample memory only while their unit is initialised.
    virtual bool IsInitialized() const = 0;
    // [render] The slice length that buses allocate for when asked for no particular count.
    virtual UInt32 GetMaxFramesPerSlice() const = 0;
    // [control] 1 makes a bus's default format interleaved; every unit of this system answers 2.
    virtual UInt8 AudioUnitAPIVersion() const = 0;
};

}  // namespace marvex
