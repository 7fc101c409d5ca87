#pragma once
// File-system URLs: a path and whether it names a directory.
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

typedef CFIndex CFURLPathStyle;
enum : CFURLPathStyle { kCFURLPOSIXPathStyle = 0 };

extern "C" {

CFTypeID CFURLGetTypeID(void);
// A new URL for `length` bytes of path. Null for null/empty paths or embedded NUL bytes.
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const UInt8* buffer,
                                                 CFIndex length, Boolean isDirectory);
// Copies the path NUL-terminated into `buffer`; false (buffer untouched) when it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen);
// A new string holding the path.
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style);
Boolean CFURLHasDirectoryPath(CFURLRef url);

}  // extern "C"
