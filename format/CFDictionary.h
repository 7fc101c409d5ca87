#pragma once
// Dictionaries: keys to values, both retained. Keys compare by CFEqual (strings by text).
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

// Only the presence of the records matters: dictionaries always retain keys and values, which
// must be values.
struct CFDictionaryKeyCallBacks {
    CFIndex version;
    const void* retain;
    const void* release;
    const void* copyDescription;
    const void* equal;
    const void* hash;
};
struct CFDictionaryValueCallBacks {
    CFIndex version;
    const void* retain;
    const void* release;
    const void* copyDescription;
    const void* equal;
};

extern "C" {

extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

CFTypeID CFDictionaryGetTypeID(void);

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
// A new immutable dictionary of `count` pairs (a later duplicate key replaces the earlier one).
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef alloc, const void** keys, const void** values,
                                   CFIndex count, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
// A new mutable shallow copy (keys and values retained again).
CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity,
                                                     CFDictionaryRef source);

// Sets or replaces. Refused for an immutable dictionary or a key/value that is not a value.
void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value);
// Adds only when the key is absent.
void CFDictionaryAddValue(CFMutableDictionaryRef dict, const void* key, const void* value);
void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key);

// The value (not retained) or null.
const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);
Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value);
Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key);
CFIndex CFDictionaryGetCount(CFDictionaryRef dict);
// Fills `keys` and `values` (either may be null) with all pairs, in no defined order; each
// array must hold CFDictionaryGetCount entries.
void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values);

}  // extern "C"
