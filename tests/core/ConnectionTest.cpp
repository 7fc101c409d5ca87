#include <gtest/gtest.h>

#include <cstring>

#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

CAStreamBasicDescription Format(UInt32 channels, bool interleaved) {
    CAStreamBasicDescription f;
    f.SetCanonical(channels, interleaved);
    f.mSampleRate = 48000.0;
    return f;
}

// A destination unit, and a source unit opened through the component registry as a host
// would connect two units.
class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest() { dest.PostConstructor(); }
    OSStatus Connect(UInt32 sourceOutput, AudioUnitElement destInput = 0) {
        return dest.SetConnection(AudioUnitConnection{source.Instance(), sourceOutput, destInput});
    }
    OpenTestUnit<PassThroughUnit> source;
    PassThroughUnit dest;
    ListenerLog log{dest};
};

TEST_F(ConnectionTest, RefusalsLeaveTheInputAsItWas) {
    const CAStreamBasicDescription before = dest.GetInput(0)->GetStreamFormat();
    EXPECT_EQ(Connect(5), kAudioUnitErr_InvalidElement) << "the source has no output 5";
    source->GetOutput(0)->SetStreamFormat(Format(2, true));
    EXPECT_EQ(Connect(0), kAudioUnitErr_FormatNotSupported) << "interleaved is not canonical";
    EXPECT_EQ(StatusOf([&] { return Connect(0, 1); }), kAudioUnitErr_InvalidElement);

    EXPECT_FALSE(dest.GetInput(0)->HasConnection());
    EXPECT_EQ(std::memcmp(&dest.GetInput(0)->GetStreamFormat(), &before, sizeof before), 0);
    EXPECT_TRUE(log.events.empty());
}

TEST_F(ConnectionTest, ConnectingTakesTheSourceFormatAndDisconnectingAnnounces) {
    source->GetOutput(0)->SetStreamFormat(Format(1, false));
    ASSERT_EQ(Connect(0), noErr);
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
}  // namespace marvex::test
