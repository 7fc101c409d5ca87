#pragma once
// Value of kAudioUnitProperty_CocoaUI: where the view factory lives and its class name.

#include "format/CFBase.h"

struct AudioUnitViewInfo {
    CFURLRef mViewBundleLocation;  // a new reference: the caller releases it
    CFStringRef mViewClass[1];     // the factory's class name; not retained for the caller
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AudioUnitViewInfo) == 8);
#endif
