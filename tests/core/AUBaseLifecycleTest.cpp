#include <gtest/gtest.h>

#include "tests/core/PropertiesTestUnit.h"
#include "tests/core/RenderHarness.h"

namespace {

using marvex::test::ListenerLog;
using marvex::test::Notification;
using marvex::test::Notifications;
using marvex::test::PassThroughUnit;
using marvex::test::StatusOf;

class LifecycleUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;

    OSStatus Initialize() override {
        ++initializeCalls;
        return initializeResult;
    }
    void Cleanup() override { ++cleanupCalls; }

    int initializeCalls = 0;
    int cleanupCalls = 0;
    OSStatus initializeResult = noErr;
};

TEST(AUBaseLifecycle, InitializeAndCleanupRunTheirHooksOncePerChange) {
    LifecycleUnit unit;
    unit.PostConstructor();

    unit.DoCleanup();
    EXPECT_EQ(unit.cleanupCalls, 0) << "cleanup of an uninitialised unit";

    unit.initializeResult = kAudioUnitErr_FormatNotSupported;
    EXPECT_EQ(unit.DoInitialize(), kAudioUnitErr_FormatNotSupported);
    EXPECT_FALSE(unit.IsInitialized());
    EXPECT_EQ(unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames(), 0u)
        << "a failed initialise allocates nothing";

    unit.initializeResult = noErr;
    EXPECT_EQ(unit.DoInitialize(), noErr);
    EXPECT_EQ(unit.DoInitialize(), noErr);
    EXPECT_EQ(unit.initializeCalls, 2);
    EXPECT_TRUE(unit.IsInitialized());
    EXPECT_EQ(unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames(), 1156u);

    unit.DoCleanup();
    EXPECT_EQ(unit.cleanupCalls, 1);
    EXPECT_FALSE(unit.IsInitialized());

    unit.DoInitialize();
    unit.PreDestructor();
    EXPECT_EQ(unit.cleanupCalls, 2) << "closing an initialised unit cleans it up";
}

TEST(AUBaseLifecycle, MaxFramesPerSliceReallocatesOnlyOnceBuffersExist) {
    PassThroughUnit unit;
    unit.PostConstructor();
    ListenerLog log(unit);

    EXPECT_EQ(unit.CanSetMaxFrames(), noErr);
    unit.SetMaxFramesPerSlice(512);
    EXPECT_EQ(unit.GetMaxFramesPerSlice(), 512u);
    EXPECT_EQ(unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames(), 0u);

    ASSERT_EQ(unit.DoInitialize(), noErr);
    EXPECT_EQ(unit.CanSetMaxFrames(), kAudioUnitErr_Initialized);
    EXPECT_EQ(unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames(), 512u);

    // Buffers stay allocated across a clean-up, so a change then reallocates at once.
    unit.DoCleanup();
    EXPECT_EQ(unit.CanSetMaxFrames(), noErr);
    unit.SetMaxFramesPerSlice(2048);
    EXPECT_EQ(unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames(), 512u)
        << "buses allocate only while the unit is initialised";
    unit.DoInitialize();
    EXPECT_EQ(unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames(), 2048u);

    const Notification changed{kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0};
    EXPECT_EQ(log.events, (Notifications{changed, changed}));
}

}  // namespace
