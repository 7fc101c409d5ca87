#pragma once
// Ordered arrays of values.
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

// Only the presence of the callback record matters: with kCFTypeArrayCallBacks the array
// retains its elements and they must be values; with null it holds raw pointers it neither
// retains nor inspects.
struct CFArrayCallBacks {
    CFIndex version;
    const void* retain;
    const void* release;
    const void* copyDescription;
    const void* equal;
};

extern "C" {

extern const CFArrayCallBacks kCFTypeArrayCallBacks;

CFTypeID CFArrayGetTypeID(void);
CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks);
// Refused for an immutable array, or a non-value in a retaining array.
void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
CFIndex CFArrayGetCount(CFArrayRef array);
// Null for an index out of range.
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

}  // extern "C"
