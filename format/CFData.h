#pragma once
// Byte strings; mutable ones grow as bytes are appended.
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

extern "C" {

CFTypeID CFDataGetTypeID(void);

// A new immutable copy of `length` bytes. Null for a negative length or null bytes with a
// positive length.
CFDataRef CFDataCreate(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length);
// A new empty growable data value; `capacity` 0 means unlimited, otherwise appends beyond it
// are refused.
CFMutableDataRef CFDataCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
// Appends bytes in order. Refused (nothing appended) for an immutable value, a negative length,
// null bytes with a positive length, or growth beyond the capacity or memory.
void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length);
// The contiguous bytes (null when empty or not data) and their count (0 when not data).
const UInt8* CFDataGetBytePtr(CFDataRef data);
UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data);
CFIndex CFDataGetLength(CFDataRef data);

}  // extern "C"
