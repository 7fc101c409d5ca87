#include <gtest/gtest.h>

#include "core/ComponentEntryPoint.h"
#include "format/ComponentServices.h"
#include "tests/core/PropertiesTestUnit.h"

namespace {

using marvex::test::ListenerLog;
using marvex::test::Notification;
using marvex::test::Notifications;
using marvex::test::PassThroughUnit;

ComponentResult SourceEntry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<PassThroughUnit*>(static_cast<AUBase*>(storage));
    return ComponentEntryPoint<PassThroughUnit>::Dispatch(params, unit);
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
    ListenerLog log{dest};
};

TEST_F(ConnectionTest, RefusalsLeaveTheInputAsItWas) {
    const CAStreamBasicDescription before = dest.GetInput(0)->GetStreamFormat();

    EXPECT_EQ(Connect(5), kAudioUnitErr_InvalidElement) << "the source has no output 5";
    source->GetOutput(0)->SetStreamFormat(Format(2, true, 48000.0));
    EXPECT_EQ(Connect(0), kAudioUnitErr_FormatNotSupported) << "interleaved is not canonical";

    EXPECT_FALSE(dest.GetInput(0)->HasConnection());
    EXPECT_EQ(memcmp(&dest.GetInput(0)->GetStreamFormat(), &before, sizeof before), 0);
    EXPECT_TRUE(log.events.empty());

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
    const Notification connection{kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0};
    EXPECT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events.back(), connection) << "after the format change";

    log.events.clear();
    ASSERT_EQ(dest.SetConnection(AudioUnitConnection{nullptr, 0, 0}), noErr);
    EXPECT_FALSE(dest.HasInput(0));
    EXPECT_EQ(log.events, (Notifications{connection}));
}

}  // namespace
