// Faults the fuzz targets found, each reproduced here without the fuzzer, through the same
// entry a host uses.

#include <gtest/gtest.h>

#include "format/AudioUnitCalls.h"
#include "tests/core/PropertiesTestUnit.h"

namespace {

using namespace marvex;

// selector_fuzzer: the schedule selector read a null event list when the count was not zero.
TEST(FuzzRegression, ScheduleSelectorRefusesANullListWithACount) {
    test::OpenTestUnit<test::PassThroughUnit> unit;
    const ComponentParameterWord nullList[] = {0, PackUInt32(3)}, empty[] = {0, PackUInt32(0)};
    EXPECT_EQ(
        CallComponentSelector(unit.Instance(), kAudioUnitScheduleParametersSelect, nullList, 2),
        paramErr);
    EXPECT_EQ(CallComponentSelector(unit.Instance(), kAudioUnitScheduleParametersSelect, empty, 2),
              noErr);
}

}  // namespace
