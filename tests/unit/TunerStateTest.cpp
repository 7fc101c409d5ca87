// The tuner's parameter table and its saved state, as a host reads and keeps them.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "format/AudioUnitParameterInfo.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "format/PropertyListFile.h"
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
    UInt32 size = 0;
    for (AudioUnitParameterID id : {kParam_Precision, kParam_Note}) {
        EXPECT_EQ(
            unit.GetPropertyInfo(kAudioUnitProperty_ParameterValueStrings, 0, id, &size, nullptr),
            kAudioUnitErr_InvalidProperty);
    }
}

TEST(TunerState, PropertyListFileRestoresAFreshUnit) {
    const long liveBefore = LiveValueCount();
    const auto file = std::filesystem::path(testing::TempDir()) / "marvex-state.plist";
    std::vector<float> saved;
    {
        AudioUnitHandle unit = OpenTuner();
        ASSERT_TRUE(unit);
        ASSERT_EQ(unit.SetParameter(kParam_Pitch, kAudioUnitScope_Global, 0, 432.0f), noErr);
        ASSERT_EQ(unit.SetParameter(kParam_Precision, kAudioUnitScope_Global, 0, 4.0f), noErr);
        ASSERT_EQ(unit.SetParameter(kParam_Deviation, kAudioUnitScope_Global, 0, -0.125f), noErr);
        for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id)
            saved.push_back(Parameter(unit, id));
        CFPropertyListRef state = nullptr;
        ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_ClassInfo, 0, 0, state), noErr);
        std::string error;
        ASSERT_TRUE(WritePropertyListFile(file.c_str(), state, &error)) << error;
        CFRelease(state);
    }
    std::string error;
    CFPropertyListRef fromFile = ReadPropertyListFile(file.c_str(), &error);
    ASSERT_NE(fromFile, nullptr) << error;
    std::filesystem::remove(file);

    AudioUnitHandle fresh = OpenTuner();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh.SetProperty(kAudioUnitProperty_ClassInfo, 0, 0, fromFile), noErr);
    for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id)
        EXPECT_EQ(Parameter(fresh, id), saved[id]) << "parameter " << id;
    // Saved again, the same blob and name; the tuner has no render quality or CPU load.
    CFPropertyListRef again = nullptr;
    ASSERT_EQ(fresh.GetProperty(kAudioUnitProperty_ClassInfo, 0, 0, again), noErr);
    const auto before = static_cast<CFDictionaryRef>(fromFile);
    const auto after = static_cast<CFDictionaryRef>(again);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(before, CFSTR("data")),
                        CFDictionaryGetValue(after, CFSTR("data"))));
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(before, CFSTR("name")),
                        CFDictionaryGetValue(after, CFSTR("name"))));
    EXPECT_FALSE(CFDictionaryContainsKey(after, CFSTR("render-quality")));
    EXPECT_FALSE(CFDictionaryContainsKey(after, CFSTR("cpu-load")));
    CFRelease(again);
    CFRelease(fromFile);
    fresh.Close();
    EXPECT_EQ(LiveValueCount(), liveBefore) << "a property-list value leaked";
}

}  // namespace
}  // namespace marvex::test
