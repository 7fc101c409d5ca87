// Faults the fuzz targets found, each reproduced here without the fuzzer, through the same
// entry a host uses.

#include <gtest/gtest.h>

#include "core/ComponentEntryPoint.h"
#include "format/AudioUnitCalls.h"
#include "format/AudioUnitHandle.h"
#include "format/AudioUnitParameterEvent.h"
#include "tests/core/PassThroughUnit.h"

namespace {

using namespace marvex;

ComponentResult PassThroughEntry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<test::PassThroughUnit*>(static_cast<AUBase*>(storage));
    return ComponentEntryPoint<test::PassThroughUnit>::Dispatch(params, unit);
}

AudioUnitHandle OpenPassThrough() {
    static const Component component = [] {
        const ComponentDescription desc{kAudioUnitType_Effect, FourCC("regr"), FourCC("Mrvx"), 0,
                                        0};
        return RegisterComponentEntry(&desc, &PassThroughEntry, "regression unit", 1);
    }();
    AudioUnitHandle unit;
    EXPECT_EQ(AudioUnitHandle::Open(component, unit), noErr);
    return unit;
}

// selector_fuzzer: the schedule selector read a null event list when the count was not zero.
TEST(FuzzRegression, ScheduleSelectorRefusesANullListWithACount) {
    AudioUnitHandle unit = OpenPassThrough();
    const ComponentParameterWord nullList[] = {0, PackUInt32(3)};
    EXPECT_EQ(CallComponentSelector(unit.Get(), kAudioUnitScheduleParametersSelect, nullList, 2),
              paramErr);
    const ComponentParameterWord empty[] = {0, PackUInt32(0)};
    EXPECT_EQ(CallComponentSelector(unit.Get(), kAudioUnitScheduleParametersSelect, empty, 2),
              noErr);
}

}  // namespace
