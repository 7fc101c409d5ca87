#pragma once
// A preset: number (negative for user presets) and name.

#include "format/CFBase.h"

struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AUPreset) == 8);
#endif
