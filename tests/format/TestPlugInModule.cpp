// A minimal plug-in module for the bundle tests: one entry routine, plus a way for the test
// to ask which bundle the module found for itself at load time.

#include "format/CFBundle.h"
#include "format/ComponentParameters.h"

namespace {

CFBundleRef gOwnBundle = nullptr;

ComponentResult Entry(ComponentParameters* params, void*) {
    return params->what == kComponentVersionSelect ? 0x00020000 : 0;
}

// Found when the module is loaded, the way a real plug-in does.
struct FindOwnBundle {
    FindOwnBundle() { gOwnBundle = marvex::BundleContainingAddress(&gOwnBundle); }
} gFindOwnBundle;

}  // namespace

extern "C" __attribute__((visibility("default"))) ComponentResult TestPlugInEntry(
    ComponentParameters* params, void* storage) {
    return Entry(params, storage);
}

extern "C" __attribute__((visibility("default"))) CFBundleRef TestPlugInOwnBundle() {
    return gOwnBundle;
}
