#pragma once
// Base of the reference-counted property-list values: opaque references, retain and release,
// type identity, equality and hashing, and the live-value count tests check for leaks.
//
// Every value carries a reference count (an atomic word). Create and Copy operations hand the
// caller one reference; Get operations hand out a held reference without adding one. Releasing
// null is a no-op. Constant strings (CFSTR), the two booleans and bundles are immortal: retain
// and release do nothing to them and they are not counted as live. Every operation checks the
// type of what it is given and refuses (null / 0 / false / no effect) a value of another type.
//
// Threads: [control], unless a declaration says otherwise; a value shared between threads is
// only read. The same holds for every value header (CFArray.h .. CFURL.h).

#include "format/PlatformTypes.h"

typedef const void* CFTypeRef;
typedef CFTypeRef CFPropertyListRef;
typedef unsigned long CFTypeID;
typedef unsigned long CFHashCode;
typedef long CFIndex;
typedef UInt32 CFStringEncoding;
typedef const struct MarvexCFAllocator* CFAllocatorRef;

typedef const struct MarvexCFString* CFStringRef;
typedef struct MarvexCFString* CFMutableStringRef;
typedef const struct MarvexCFNumber* CFNumberRef;
typedef const struct MarvexCFBoolean* CFBooleanRef;
typedef const struct MarvexCFData* CFDataRef;
typedef struct MarvexCFData* CFMutableDataRef;
typedef const struct MarvexCFDictionary* CFDictionaryRef;
typedef struct MarvexCFDictionary* CFMutableDictionaryRef;
typedef const struct MarvexCFArray* CFArrayRef;
typedef struct MarvexCFArray* CFMutableArrayRef;
typedef const struct MarvexCFURL* CFURLRef;
typedef struct MarvexCFBundle* CFBundleRef;

// Allocators are accepted for signature compatibility; only the default one exists.
#define kCFAllocatorDefault ((CFAllocatorRef) nullptr)

extern "C" {

// [any thread] Adds a reference and returns the value. Null gives null.
CFTypeRef CFRetain(CFTypeRef value);
// [control, lock-free] Drops a reference; the value is freed at zero. Null is ignored. A release
// that cannot be the last (the caller holds another reference) is fit for any thread.
void CFRelease(CFTypeRef value);
// The reference count (1 for immortal values, 0 for null).
CFIndex CFGetRetainCount(CFTypeRef value);
// The type of a value; 0 for null or for something that is not a value.
CFTypeID CFGetTypeID(CFTypeRef value);
// Equal type and equal contents (strings by text, numbers by value, containers deeply).
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
// Hash consistent with CFEqual.
CFHashCode CFHash(CFTypeRef value);

}  // extern "C"

namespace marvex {

// [any thread] How many counted values are alive in this process (immortal ones are not
// counted). A test reads it before and after; equality proves nothing leaked.
long LiveValueCount();

}  // namespace marvex
