#pragma once
// Immutable strings, held as UTF-8 text.
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

enum : CFStringEncoding {
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
};

extern "C" {

CFTypeID CFStringGetTypeID(void);

// A new string from NUL-terminated text. Returns null for null text, an unknown encoding, or
// text that is not valid in the encoding (ASCII: bytes above 127; UTF-8: malformed sequences).
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding);

// Copies the text NUL-terminated into `buffer` of `bufferSize` bytes. When the text is longer,
// it is cut at the limit (on a character boundary for UTF-8) and the result is false; the
// buffer always holds a terminated string when bufferSize > 0. ASCII asked of non-ASCII text:
// empty string, false. Null or non-string: false, buffer untouched except an empty string.
Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);

// The held NUL-terminated UTF-8 text (valid while the string lives), or null when the encoding
// is not UTF-8 or ASCII-compatible with the contents.
const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding);

// Number of characters (Unicode code points).
CFIndex CFStringGetLength(CFStringRef str);

}  // extern "C"

namespace marvex {

// [control, locks] A string that lives as long as the process (retain and release do
// nothing). Equal texts give the same object.
CFStringRef ConstantString(const char* utf8);

}  // namespace marvex

// A constant string from a literal, made once per use site: the first use locks and allocates
// ([control, locks]), later ones only read a static ([any thread]).
#define CFSTR(literal)                                                                \
    ([]() -> CFStringRef {                                                            \
        static const CFStringRef marvex_cfstr = ::marvex::ConstantString("" literal); \
        return marvex_cfstr;                                                          \
    }())
