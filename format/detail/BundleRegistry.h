#pragma once
// Internal bundle helpers shared by the bundle values and the plug-in loader.

#include <string>

#include "format/CFBase.h"

namespace marvex::detail {

// [control] Records why the last bundle operation on this thread failed.
void SetBundleError(std::string text);

// [control, locks] Loads the bundle's module if not yet loaded; false with the error set when it
// fails.
bool LoadBundleModule(CFBundleRef bundle);

// [control, locks] Marks the bundle's components as registered; returns false when they already
// were.
bool ClaimComponentRegistration(CFBundleRef bundle);

}  // namespace marvex::detail
