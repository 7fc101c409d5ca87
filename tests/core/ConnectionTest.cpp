#include <gtest/gtest.h>

#include <vector>

#include "core/ComponentEntryPoint.h"
#include "format/AudioUnitCalls.h"
#include "format/ComponentServices.h"
#include "tests/core/RenderHarness.h"

namespace {

using marvex::test::HostBuffers;
using marvex::test::PassThroughUnit;
using marvex::test::RampInput;
using marvex::test::TimeStamp;

ComponentResult SourceEntry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<PassThroughUnit*>(static_cast<AUBase*>(storage));
    return ComponentEntryPoint<PassThroughUnit>::Dispatch(params, unit);
}

struct Notice {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
};

void Record(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
            AudioUnitElement element) {
    static_cast<std::vector<Notice>*>(refCon)->push_back({id, scope, element});
}

CAStreamBasicDescription Format(UInt32 channels, bool interleaved, Float64 rate) {
    CAStreamBasicDescription f;
    f.SetCanonical(channels, interleaved);
    f.mSampleRate = rate;
    return f;
}

// A destination unit, and a source unit opened through the component registry as a host
// would connect two units.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ComponentDescription desc{marvex::FourCC("aufx"), marvex::FourCC("pass"),
                                        marvex::FourCC("Mrvx"), 0, 0};
        component = RegisterComponentEntry(&desc, SourceEntry, "pass-through source", 1);
        ASSERT_NE(component, nullptr);
        ASSERT_EQ(OpenAComponent(component, &sourceInstance), noErr);
        source = static_cast<AUBase*>(GetComponentInstanceStorage(sourceInstance));
        dest.PostConstructor();
        for (AudioUnitPropertyID id :
             {kAudioUnitProperty_MakeConnection, kAudioUnitProperty_StreamFormat})
            dest.AddPropertyListener(id, Record, &notices);
    }
    void TearDown() override {
        if (sourceInstance != nullptr) CloseComponent(sourceInstance);
        if (component != nullptr) UnregisterComponent(component);
    }
    OSStatus Connect(UInt32 sourceOutput, AudioUnitElement destInput = 0) {
        return dest.SetConnection(AudioUnitConnection{sourceInstance, sourceOutput, destInput});
    }

    Component component = nullptr;
    ComponentInstance sourceInstance = nullptr;
    AUBase* source = nullptr;
    PassThroughUnit dest;
    std::vector<Notice> notices;
};

TEST_F(ConnectionTest, RefusalsLeaveTheInputAsItWas) {
    const CAStreamBasicDescription before = dest.GetInput(0)->GetStreamFormat();

    EXPECT_EQ(Connect(5), kAudioUnitErr_InvalidElement) << "the source has no output 5";
    source->GetOutput(0)->SetStreamFormat(Format(2, true, 48000.0));
    EXPECT_EQ(Connect(0), kAudioUnitErr_FormatNotSupported) << "interleaved is not canonical";

    EXPECT_FALSE(dest.GetInput(0)->HasConnection());
    EXPECT_EQ(memcmp(&dest.GetInput(0)->GetStreamFormat(), &before, sizeof before), 0);
    EXPECT_TRUE(notices.empty());

    try {
        Connect(0, 1);
        ADD_FAILURE() << "a missing destination input must throw";
    } catch (OSStatus status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidElement);
    }
}

TEST_F(ConnectionTest, ConnectingTakesTheSourceFormatAndDisconnectingAnnounces) {
    source->GetOutput(0)->SetStreamFormat(Format(1, false, 48000.0));
    ASSERT_EQ(Connect(0), noErr);
    EXPECT_TRUE(dest.GetInput(0)->HasConnection());
    EXPECT_TRUE(dest.HasInput(0));
    EXPECT_EQ(dest.GetInput(0)->GetStreamFormat().mSampleRate, 48000.0);
    EXPECT_EQ(dest.GetInput(0)->GetStreamFormat().mChannelsPerFrame, 1u);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].id, kAudioUnitProperty_StreamFormat);
    EXPECT_EQ(notices[1].id, kAudioUnitProperty_MakeConnection);
    EXPECT_EQ(notices[1].scope, kAudioUnitScope_Input);
    EXPECT_EQ(notices[1].element, 0u);

    notices.clear();
    ASSERT_EQ(dest.SetConnection(AudioUnitConnection{nullptr, 0, 0}), noErr);
    EXPECT_FALSE(dest.HasInput(0));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].id, kAudioUnitProperty_MakeConnection);
}

TEST_F(ConnectionTest, RendersThroughAConnectedSource) {
    source->GetOutput(0)->SetStreamFormat(Format(1, false, 44100.0));
    source->SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, RampInput, nullptr);
    ASSERT_EQ(AudioUnitInitialize(sourceInstance), noErr);
    ASSERT_EQ(Connect(0), noErr);
    ASSERT_EQ(dest.DoInitialize(), noErr);

    HostBuffers out(2, 256);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(dest.DoRender(flags, TimeStamp(1000), 0, 256, out.get()), noErr);
    // Mono from the source, repeated into both of the destination's channels.
    for (UInt32 b = 0; b < 2; ++b) {
        EXPECT_EQ(out.samples(b)[0], 1000.0f);
        EXPECT_EQ(out.samples(b)[255], 1255.0f);
    }
}

}  // namespace
