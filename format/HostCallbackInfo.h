#pragma once
// Value of kAudioUnitProperty_HostCallbacks: four pointers the unit stores and compares as
// opaque bytes.

#include "format/PlatformTypes.h"

struct HostCallbackInfo {
    void* hostUserData;
    void* beatAndTempoProc;
    void* musicalTimeLocationProc;
    void* transportStateProc;
};

static_assert(sizeof(HostCallbackInfo) == 4 * sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(HostCallbackInfo) == 16);
#endif
