#pragma once
// Bundles: a bundle is a directory holding Info.plist (an XML property list with at least an
// "identifier" string), optionally a module named by its "module" string, and Resources/.
// Bundles are immortal and registered by identifier once opened.
//
// Threads: [control, locks] throughout: the bundle registry and each module load take a lock.

#include "format/CFBase.h"

extern "C" {

CFTypeID CFBundleGetTypeID(void);

// Opens the bundle in the directory the URL names (reads its Info.plist) and registers its
// identifier; the module is not loaded. Opening a directory already open gives the same
// bundle. When another directory already registered the identifier, the new bundle is still
// opened, but identifier lookups keep finding the first. Null when the directory or its
// Info.plist is missing or unreadable, or the identifier is absent.
CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL);

// The registered bundle with this identifier (not retained), or null.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
// The parsed Info.plist (held by the bundle, not retained).
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
// A new URL of the bundle directory.
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);

// A new URL of <bundle>/Resources/[<subDir>/]<name>[.<type>] when that file or directory
// exists, else null. Names containing "/" or equal to ".." are refused.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName);

// Loads the module named by the "module" string (dlopen); true when it is loaded.
Boolean CFBundleLoadExecutable(CFBundleRef bundle);
// Loads the module if needed and finds an exported symbol; null when either fails.
void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);

}  // extern "C"

namespace marvex {

// The bundle whose directory holds the module containing `address` (dladdr), opened and
// registered as by CFBundleCreate; null when that directory is not a bundle. A module calls it
// with one of its own symbols to find its bundle, wherever the bundle was installed.
CFBundleRef BundleContainingAddress(const void* address);

// The last reason CFBundleCreate or a module load failed on this thread (empty when none).
const char* LastBundleError();

}  // namespace marvex
