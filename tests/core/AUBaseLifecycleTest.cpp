#include <gtest/gtest.h>

#include "tests/core/PropertiesTestUnit.h"

namespace {

using marvex::test::ListenerLog;
using marvex::test::Notification;
using marvex::test::Notifications;
using marvex::test::PassThroughUnit;

class LifecycleUnit : public PassThroughUnit {
public:
    LifecycleUnit() { PostConstructor(); }
    OSStatus Initialize() override { return ++initializeCalls, initializeResult; }
    void Cleanup() override { ++cleanupCalls; }
    int initializeCalls = 0, cleanupCalls = 0;
    OSStatus initializeResult = kAudioUnitErr_FormatNotSupported;
};

UInt32 AllocatedFrames(AUBase& unit) {
    return unit.GetOutput(0)->GetAUBufferList().GetAllocatedFrames();
}

TEST(AUBaseLifecycle, InitializeAndCleanupRunTheirHooksOncePerChange) {
    LifecycleUnit unit;
    unit.DoCleanup();
    EXPECT_EQ(unit.cleanupCalls, 0) << "cleanup of an uninitialised unit";
    EXPECT_EQ(unit.DoInitialize(), kAudioUnitErr_FormatNotSupported);
    EXPECT_FALSE(unit.IsInitialized());
    EXPECT_EQ(AllocatedFrames(unit), 0u) << "a failed initialise allocates nothing";

    unit.initializeResult = noErr;
    EXPECT_EQ(unit.DoInitialize(), noErr);
    EXPECT_EQ(unit.DoInitialize(), noErr);
    EXPECT_EQ(unit.initializeCalls, 2);
    EXPECT_TRUE(unit.IsInitialized());
    unit.DoCleanup();
    EXPECT_EQ(unit.cleanupCalls, 1);
    EXPECT_FALSE(unit.IsInitialized());
    unit.DoInitialize();
    unit.PreDestructor();
    EXPECT_EQ(unit.cleanupCalls, 2) << "closing an initialised unit cleans it up";
}

TEST(AUBaseLifecycle, MaxFramesPerSliceReallocatesOnlyWhileInitialised) {
    PassThroughUnit unit;
    unit.PostConstructor();
    ListenerLog log(unit);
    unit.SetMaxFramesPerSlice(512);
    EXPECT_EQ(AllocatedFrames(unit), 0u);
    ASSERT_EQ(unit.DoInitialize(), noErr);
    EXPECT_EQ(unit.CanSetMaxFrames(), kAudioUnitErr_Initialized);
    EXPECT_EQ(AllocatedFrames(unit), 512u);

    // Buffers stay allocated across a clean-up; a new size is taken at the next initialise.
    unit.DoCleanup();
    EXPECT_EQ(unit.CanSetMaxFrames(), noErr);
    unit.SetMaxFramesPerSlice(2048);
    EXPECT_EQ(AllocatedFrames(unit), 512u);
    unit.DoInitialize();
    EXPECT_EQ(AllocatedFrames(unit), 2048u);
    const Notification changed{kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0};
    EXPECT_EQ(log.events, (Notifications{changed, changed}));
}

}  // namespace
