#pragma once
// Status codes returned across the host boundary: signed 32-bit, 0 for success.

#include "format/PlatformTypes.h"

typedef SInt32 OSStatus;
typedef SInt16 OSErr;

enum : OSStatus {
    noErr = 0,
    fnfErr = -43,
    paramErr = -50,
    memFullErr = -108,
    kAudioUnitErr_Initialized = -10849,
    kAudioUnitErr_InvalidPropertyValue = -10851,
    kAudioUnitErr_PropertyNotWritable = -10865,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidProperty = -10879,
};

// Component registry results (bit patterns, negative as OSStatus).
constexpr OSStatus badComponentInstance = OSStatus(0x80008001u);  // handle not open / null
constexpr OSStatus badComponentSelector = OSStatus(0x80008002u);  // selector not handled

namespace marvex {

// [any thread] A short English name of a status for messages ("kAudioUnitErr_InvalidScope"),
// or null when the code is not one of ours.
const char* StatusName(OSStatus status);

// [any thread] A one-line explanation of a status ("scope not accepted"); never null.
const char* StatusText(OSStatus status);

}  // namespace marvex
