// The plug-in module's one exported symbol. Everything else in the module is hidden (the
// module is linked with a version script that exports MarvexEntry alone).

#include "core/ComponentEntryPoint.h"
#include "format/CFBundle.h"
#include "unit/Marvex.h"

extern "C" __attribute__((visibility("default"))) ComponentResult MarvexEntry(
    ComponentParameters* params, void* storage);

// [any thread] Hands both arguments unchanged to the dispatcher for Marvex.
ComponentResult MarvexEntry(ComponentParameters* params, void* storage) {
    // The storage word holds the unit as an AUBase pointer (see ComponentEntryPoint).
    return ComponentEntryPoint<Marvex>::Dispatch(
        params, static_cast<Marvex*>(static_cast<AUBase*>(storage)));
}

namespace {

// At load time the module registers the bundle that holds it, so that the unit finds its own
// bundle by identifier wherever it was installed, whoever loaded the module.
const CFBundleRef sOwnBundle =
    marvex::BundleContainingAddress(reinterpret_cast<const void*>(&MarvexEntry));

}  // namespace
