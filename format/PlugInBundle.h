#pragma once
// Loading a plug-in bundle: read its Info.plist, load its module, find the exported entry
// named by "entry" and register one component per entry of "components" (type, subtype and
// manufacturer as four-character strings, "name" string, "version" integer).

#include "format/CFBase.h"
#include "format/ComponentParameters.h"
#include "format/OSStatus.h"

extern "C" {

// [control, locks] Loads the bundle in `directory` and registers its components; *outBundle (may be
// null) receives the bundle (immortal). Loading the same bundle again registers nothing new.
// Fails with fnfErr when the directory, Info.plist, module or entry symbol is missing and
// paramErr when Info.plist is malformed; marvex::LastBundleError() then says why.
OSStatus RegisterComponentsInBundle(const char* directory, CFBundleRef* outBundle);

}  // extern "C"
