#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "core/AUDispatch.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/CFString.h"
#include "tests/core/PropertiesTestUnit.h"
#include "tests/support/NoValueLeaks.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;

class Properties : public NoValueLeaks {
protected:
    void TearDown() override {
        unit.reset();
        NoValueLeaks::TearDown();
    }
    OSStatus Set(AudioUnitPropertyID id, AudioUnitScope s, AudioUnitElement e, const void* value,
                 UInt32 size) {
        return StatusOf([&] { return u().DispatchSetProperty(id, s, e, value, size); });
    }
    PassThroughUnit& u() { return **unit; }
    std::unique_ptr<OpenTestUnit<PassThroughUnit>> unit{new OpenTestUnit<PassThroughUnit>};
};

struct RefusedWrite {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    UInt32 size;
    bool initialized;
    OSStatus status;
};

// Each refused write says why and announces nothing.
const RefusedWrite kRefusedWrites[] = {
    {kAudioUnitProperty_StreamFormat, Out, 32, 0, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_MaximumFramesPerSlice, G, 4, 1, kAudioUnitErr_Initialized},
    {kAudioUnitProperty_SetExternalBuffer, Out, sizeof(AudioUnitExternalBuffer), 1, paramErr},
    {kAudioUnitProperty_AudioChannelLayout, Out, 12, 0, kAudioUnitErr_InvalidPropertyValue},
};

TEST_F(Properties, RefusedWritesSayWhyAndAnnounceNothing) {
    // Words of 0x08 (a buffer at 8 modulo 16) and a huge description count for the layout row.
    std::array<UInt8, 64> value;
    value.fill(0x08);
    std::memset(&value[8], 0xFF, 4);
    for (const RefusedWrite& row : kRefusedWrites) {
        OpenTestUnit<PassThroughUnit> fresh;
        if (row.initialized) fresh->DoInitialize();
        ListenerLog log(*fresh);
        EXPECT_EQ(StatusOf([&] {
                      return fresh->DispatchSetProperty(row.id, row.scope, 0, value.data(),
                                                        row.size);
                  }),
                  row.status)
            << "id " << row.id << " size " << row.size;
        EXPECT_TRUE(log.events.empty()) << "id " << row.id;
    }
}

TEST_F(Properties, FormatWritesTakeEffectAndAnnounceOnlyChanges) {
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
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 36), noErr);
    EXPECT_EQ(u().GetStreamFormat(In, 0).mChannelsPerFrame, 1u);

    // Not writable once initialised, but an equal value is still accepted.
    ASSERT_EQ(u().DoInitialize(), noErr);
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 40), noErr);
    format.mChannelsPerFrame = 2;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, In, 0, &format, 40),
              kAudioUnitErr_PropertyNotWritable);
}

TEST_F(Properties, AContextNameIsAnnouncedAndAnExternalBufferTakenSilently) {
    ListenerLog log(u());
    CFStringRef name = Str("Stage");
    EXPECT_EQ(Set(kAudioUnitProperty_ContextName, G, 0, &name, sizeof name), noErr);
    CFRelease(name);
    ASSERT_EQ(u().DoInitialize(), noErr);
    alignas(16) static UInt8 memory[2 * 4096 * 4];  // room for the largest slice
    const AudioUnitExternalBuffer buffer{memory, sizeof memory};
    EXPECT_EQ(Set(kAudioUnitProperty_SetExternalBuffer, Out, 0, &buffer, sizeof buffer), noErr);
    EXPECT_TRUE(u().GetOutput(0)->GetAUBufferList().UsesExternalMemory());
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_ContextName, G, 0}}));
}

}  // namespace
}  // namespace marvex::test
