#pragma once
// Value of kAudioUnitProperty_SetExternalBuffer: host memory an element renders into.

#include "format/PlatformTypes.h"

struct AudioUnitExternalBuffer {
    UInt8* buffer;
    UInt32 size;
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AudioUnitExternalBuffer) == 8);
#endif
