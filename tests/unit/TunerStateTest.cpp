// The tuner's parameter table as a host reads it.

#include <gtest/gtest.h>

#include <cstring>

#include "format/AudioUnitParameterInfo.h"
#include "format/CFString.h"
#include "tests/unit/TunerHost.h"

namespace marvex::test {
namespace {

OSStatus Info(AudioUnitHandle& unit, AudioUnitScope scope, AudioUnitParameterID id,
              AudioUnitParameterInfo& info) {
    UInt32 size = sizeof info;
    return unit.GetProperty(kAudioUnitProperty_ParameterInfo, scope, id, &info, &size);
}

// Through the entry point, each parameter's info is its row of the public table; settings are
// writable, results only readable, and every parameter starts at its default.
TEST(TunerParameters, TableAsPublishedAndStartValues) {
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) {
        const MarvexParameterInfo& row = kMarvexParameters[id];
        SCOPED_TRACE(row.name);
        AudioUnitParameterInfo info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_EQ(Info(unit, kAudioUnitScope_Global, id, info), noErr);
        EXPECT_STREQ(info.name, row.name);
        EXPECT_STREQ(CFStringGetCStringPtr(info.cfNameString, kCFStringEncodingUTF8), row.name);
        EXPECT_EQ(info.unit, row.unit);
        EXPECT_EQ(info.minValue, row.minValue);
        EXPECT_EQ(info.maxValue, row.maxValue);
        EXPECT_EQ(info.defaultValue, row.defaultValue);
        EXPECT_EQ(info.flags, id < kFirstResultParameter ? 0xC8000000u : 0x40000000u);
        EXPECT_EQ(info.clumpID, 0xABABABABu) << "a field the unit never writes";
        EXPECT_EQ(Parameter(unit, id), row.defaultValue);
    }
}

TEST(TunerParameters, RefusalsLeaveOnlyTheFlagsWord) {
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    // A full-size buffer is read into directly, so what a refusal leaves in it shows.
    const std::pair<AudioUnitScope, AudioUnitParameterID> refused[] = {
        {kAudioUnitScope_Global, kNumberOfParameters},
        {kAudioUnitScope_Input, kParam_Pitch},
        {kAudioUnitScope_Output, kParam_Precision}};
    for (const auto& [scope, id] : refused) {
        AudioUnitParameterInfo info{};
        EXPECT_EQ(Info(unit, scope, id, info), kAudioUnitErr_InvalidParameter);
        EXPECT_EQ(info.flags, 0xC0000000u);
        EXPECT_EQ(info.cfNameString, nullptr);
    }
}

}  // namespace
}  // namespace marvex::test
