// The unit the fuzz targets drive, opened through the component registry like any host would.
// With the tuner built (MARVEX_FUZZ_TUNER) it is the tuner behind MarvexEntry; otherwise the
// pass-through unit of the core tests, given a few parameters so that saved state, parameter
// calls and scheduled events have something to act on.

#include "core/ComponentEntryPoint.h"
#include "tests/fuzz/FuzzHost.h"

#ifdef MARVEX_FUZZ_TUNER
extern "C" ComponentResult MarvexEntry(ComponentParameters* params, void* storage);
#else
#include "tests/core/PassThroughUnit.h"
#endif

namespace marvex::fuzz {
namespace {

#ifndef MARVEX_FUZZ_TUNER
class ParameterisedPassThrough : public test::PassThroughUnit {
public:
    explicit ParameterisedPassThrough(ComponentInstance instance) : PassThroughUnit(instance) {}

    void PostConstructor() override {
        PassThroughUnit::PostConstructor();
        Globals()->SetParameter(0, 0.5f);
        Globals()->SetParameter(1, 440.0f);
        Globals()->SetParameter(7, -3.0f);
        GetInput(0)->SetParameter(2, 1.0f);
        GetOutput(0)->SetParameter(3, 0.0f);
    }
};

ComponentResult Entry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<ParameterisedPassThrough*>(static_cast<AUBase*>(storage));
    return ComponentEntryPoint<ParameterisedPassThrough>::Dispatch(params, unit);
}
#endif

}  // namespace

Component UnitComponent() {
    static const Component component = [] {
        const ComponentDescription desc{kAudioUnitType_Effect, FourCC("fuzz"), FourCC("Mrvx"), 0,
                                        0};
#ifdef MARVEX_FUZZ_TUNER
        return RegisterComponentEntry(&desc, &MarvexEntry, "tuner under fuzz", 1);
#else
        return RegisterComponentEntry(&desc, &Entry, "pass-through under fuzz", 1);
#endif
    }();
    return component;
}

}  // namespace marvex::fuzz
