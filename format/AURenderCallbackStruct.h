#pragma once
// Value of kAudioUnitProperty_SetRenderCallback: an input callback and its context.

#include "format/AudioUnitProperties.h"

struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AURenderCallbackStruct) == 8);
#endif
