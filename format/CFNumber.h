#pragma once
// Numbers: an integer or a floating-point value, with the type it was created with.
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

typedef CFIndex CFNumberType;

enum : CFNumberType {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,  // 32-bit float
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
};

extern "C" {

CFTypeID CFNumberGetTypeID(void);

// A new number read from *valuePtr as `type`. Null for a null pointer or an unknown type.
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType type, const void* valuePtr);

// Writes the value converted to `type`. Returns true when the conversion is exact; false when
// it lost information (out of range, a fraction, a float narrowed inexactly) — the converted
// value is still written — and false with nothing written for null, a non-number or an
// unknown type.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);

// The type the number was created with.
CFNumberType CFNumberGetType(CFNumberRef number);
// Whether the number holds a floating-point value.
Boolean CFNumberIsFloatType(CFNumberRef number);

}  // extern "C"
