#pragma once
// Value of kAudioUnitProperty_MakeConnection: a source unit's output wired to an input.

#include "format/ComponentParameters.h"

struct AudioUnitConnection {
    AudioUnit sourceAudioUnit;  // null disconnects
    UInt32 sourceOutputNumber;
    UInt32 destInputNumber;
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AudioUnitConnection) == 12);
#endif
