#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "core/AUDispatch.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/CFString.h"
#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;
constexpr UInt32 kRef = sizeof(void*);

// Answers the optional hooks, so what the dispatch derives from them shows.
class RichUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    UInt32 SupportedNumChannels(const AUChannelInfo**) override { return 2; }
    UInt32 GetChannelLayoutTags(AudioUnitScope, AudioUnitElement, AudioChannelLayoutTag*) override {
        return 2;
    }
    bool BusCountWritable(AudioUnitScope scope) override { return scope == In; }
};

struct InfoRow {
    bool rich;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    OSStatus status;
    UInt32 size = 0;  // checked on success only
    bool writable = false;
};

// Scopes accepted and refused, size, writability and element validation per id, for units of
// one input and one output.
const InfoRow kInfoRows[] = {
    {0, kAudioUnitProperty_ClassInfo, G, 0, noErr, kRef, true},
    {0, kAudioUnitProperty_ClassInfo, In, 0, kAudioUnitErr_InvalidScope},
    {0, kAudioUnitProperty_ClassInfo, G, 1, kAudioUnitErr_InvalidElement},
    {0, kAudioUnitProperty_ParameterList, 4, 9, noErr, 0, false},
    {0, kAudioUnitProperty_FastDispatch, G, 99, noErr, kRef, false},
    {0, kAudioUnitProperty_StreamFormat, In, 0, noErr, 40, true},
    {1, kAudioUnitProperty_ElementCount, In, 5, noErr, 4, true},
    {0, kAudioUnitProperty_Latency, In, 0, kAudioUnitErr_InvalidScope},
    {0, kAudioUnitProperty_SupportedNumChannels, G, 0, kAudioUnitErr_InvalidProperty},
    {1, kAudioUnitProperty_SupportedNumChannels, G, 0, noErr, 8, false},
    {0, kAudioUnitProperty_AudioChannelLayout, Out, 0, kAudioUnitErr_InvalidProperty},
    {1, kAudioUnitProperty_AudioChannelLayout, Out, 0, kAudioUnitErr_InvalidPropertyValue},
    {0, kAudioUnitProperty_AudioChannelLayout, G, 0, kAudioUnitErr_InvalidElement},
    {0, kAudioUnitProperty_ElementName, Out, 3, kAudioUnitErr_InvalidElement},
    {0, 40, G, 0, kAudioUnitErr_InvalidProperty},
};

class Properties : public ::testing::Test {
protected:
    void TearDown() override {
        unit.reset();
        EXPECT_EQ(LiveValueCount(), liveBefore) << "a property-list value leaked";
    }
    OSStatus Set(AudioUnitPropertyID id, AudioUnitScope s, AudioUnitElement e, const void* value,
                 UInt32 size) {
        return StatusOf([&] { return u().DispatchSetProperty(id, s, e, value, size); });
    }
    PassThroughUnit& u() { return **unit; }
    long liveBefore = LiveValueCount();
    std::unique_ptr<OpenTestUnit<PassThroughUnit>> unit{new OpenTestUnit<PassThroughUnit>};
};

TEST_F(Properties, InfoAnswersEachIdWithItsScopesSizeAndWritability) {
    OpenTestUnit<RichUnit> rich;
    for (const InfoRow& row : kInfoRows) {
        SCOPED_TRACE(testing::Message() << "id " << row.id << " scope " << row.scope << " element "
                                        << row.element << (row.rich ? " rich" : ""));
        UInt32 size = 0;
        Boolean writable = false;
        AUBase& unit = row.rich ? *rich : u();
        EXPECT_EQ(StatusOf([&] {
                      return unit.DispatchGetPropertyInfo(row.id, row.scope, row.element, size,
                                                          writable);
                  }),
                  row.status);
        if (row.status == noErr) {
            EXPECT_EQ(std::make_pair(size, bool(writable)), std::make_pair(row.size, row.writable));
        }
    }
}

struct RefusedWrite {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    UInt32 size;
    bool initialized;
    OSStatus status;
};

// The first failing check of each write decides, and nothing is announced.
const RefusedWrite kRefusedWrites[] = {
    {kAudioUnitProperty_ClassInfo, In, 0, kRef, 0, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_SampleRate, Out, 9, 8, 0, kAudioUnitErr_InvalidElement},
    {kAudioUnitProperty_StreamFormat, Out, 0, 32, 0, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_StreamFormat, 7, 0, 36, 0, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_ElementCount, Out, 0, 4, 0, kAudioUnitErr_PropertyNotWritable},
    {kAudioUnitProperty_MaximumFramesPerSlice, G, 0, 4, 1, kAudioUnitErr_Initialized},
    {kAudioUnitProperty_SetExternalBuffer, Out, 0, sizeof(AudioUnitExternalBuffer), 0,
     kAudioUnitErr_Uninitialized},
    {kAudioUnitProperty_SetExternalBuffer, Out, 0, sizeof(AudioUnitExternalBuffer), 1, paramErr},
    {kAudioUnitProperty_AudioChannelLayout, Out, 0, 12, 0, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_CurrentPreset, G, 0, sizeof(AUPreset), 0, kAudioUnitErr_InvalidProperty},
    {kAudioUnitProperty_ElementName, In, 0, 1, 0, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_ParameterList, G, 0, 4, 0, kAudioUnitErr_InvalidProperty},
};

TEST_F(Properties, RefusedWritesFollowTheCheckOrderAndAnnounceNothing) {
    // Words of 0x08 (a buffer at 8 modulo 16, a factory preset number) and a huge description
    // count for the layout rows.
    std::array<UInt8, 64> value;
    value.fill(0x08);
    std::memset(&value[8], 0xFF, 4);
    for (const RefusedWrite& row : kRefusedWrites) {
        OpenTestUnit<PassThroughUnit> fresh;
        if (row.initialized) fresh->DoInitialize();
        ListenerLog log(*fresh);
        EXPECT_EQ(StatusOf([&] {
                      return fresh->DispatchSetProperty(row.id, row.scope, row.element,
                                                        value.data(), row.size);
                  }),
                  row.status)
            << "id " << row.id << " size " << row.size;
        EXPECT_TRUE(log.events.empty()) << "id " << row.id;
    }
}

TEST_F(Properties, FormatWritesValidateBeforeWritabilityAndAnnounceOnlyChanges) {
    ListenerLog log(u());
    Float64 rate = 44100.0;
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, Out, 0, &rate, 8), noErr);
    EXPECT_TRUE(log.events.empty()) << "the same rate changes nothing";
    rate = 48000.0;
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, G, 0, &rate, 8), noErr);
    EXPECT_EQ(u().GetStreamFormat(Out, 0).mSampleRate, 48000.0);
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_StreamFormat, G, 0}}));

    CAStreamBasicDescription format = u().GetStreamFormat(In, 0);
    format.mChannelsPerFrame = 1;
    format.mReserved = 77;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 36), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 40), noErr);
    EXPECT_EQ(u().GetStreamFormat(In, 0).mChannelsPerFrame, 1u);
    EXPECT_EQ(u().GetStreamFormat(In, 0).mReserved, 0u) << "never taken from the host";

    // Not writable once initialised, but an equal value is still accepted, and a refused
    // format is refused as such before writability is asked.
    ASSERT_EQ(u().DoInitialize(), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 40), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, G, 0, &rate, 8), noErr);
    format.mChannelsPerFrame = 2;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 40),
              kAudioUnitErr_PropertyNotWritable);
    format.mBitsPerChannel = 24;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 40),
              kAudioUnitErr_FormatNotSupported);
}

TEST_F(Properties, WritesReachTheirTargetAndAreAnnouncedOnce) {
    ListenerLog log(u());
    UInt32 frames = 512;
    EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, G, 0, &frames, 4), noErr);
    EXPECT_EQ(u().GetMaxFramesPerSlice(), 512u);
    CFStringRef name = CFStringCreateWithCString(nullptr, "Stage", kCFStringEncodingASCII);
    EXPECT_EQ(Set(kAudioUnitProperty_ContextName, G, 0, &name, kRef), noErr);
    CFRelease(name);
    ASSERT_EQ(u().DoInitialize(), noErr);
    alignas(16) static UInt8 memory[2 * 512 * 4];
    const AudioUnitExternalBuffer buffer{memory, sizeof memory};
    EXPECT_EQ(Set(kAudioUnitProperty_SetExternalBuffer, Out, 0, &buffer, sizeof buffer), noErr);
    EXPECT_TRUE(u().GetOutput(0)->GetAUBufferList().UsesExternalMemory());
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_MaximumFramesPerSlice, G, 0},
                                         {kAudioUnitProperty_ContextName, G, 0}}));
}

}  // namespace
}  // namespace marvex::test
