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

TEST(TunerParameters, TableAsPublishedAndStartValues) {
    const struct {
        const char* name;
        AudioUnitParameterUnit unit;
        float minValue, maxValue, defaultValue, start;
        UInt32 flags;
    } table[] = {
        {"Precision", kAudioUnitParameterUnit_Indexed, 0, 4, 2, 2, 0xC8000000},
        {"Pitch", kAudioUnitParameterUnit_Generic, 400, 480, 440, 440, 0xC8000000},
        {"Frequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440, 440, 0x40000000},
        {"LowerFrequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440, 440, 0x40000000},
        {"CentralFrequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440, 440, 0x40000000},
        {"UpperFrequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440, 440, 0x40000000},
        {"Note", kAudioUnitParameterUnit_Indexed, 0, 84, 48, 48, 0x40000000},
        {"Deviation", kAudioUnitParameterUnit_Generic, -1, 1, 0, 0, 0x40000000},
    };
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) {
        SCOPED_TRACE(table[id].name);
        AudioUnitParameterInfo info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_EQ(Info(unit, kAudioUnitScope_Global, id, info), noErr);
        EXPECT_STREQ(info.name, table[id].name);
        EXPECT_STREQ(CFStringGetCStringPtr(info.cfNameString, kCFStringEncodingUTF8),
                     table[id].name);
        EXPECT_EQ(info.unit, table[id].unit);
        EXPECT_EQ(info.minValue, table[id].minValue);
        EXPECT_EQ(info.maxValue, table[id].maxValue);
        EXPECT_EQ(info.defaultValue, table[id].defaultValue);
        EXPECT_EQ(info.flags, table[id].flags);
        EXPECT_EQ(info.clumpID, 0xABABABABu) << "a field the unit never writes";
        EXPECT_EQ(Parameter(unit, id), table[id].start);
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
