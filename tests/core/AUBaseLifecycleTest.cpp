#include <gtest/gtest.h>

#include "tests/core/PropertiesTestUnit.h"
#include "tests/core/RenderHarness.h"

namespace {

using marvex::test::ListenerLog;
using marvex::test::Notification;
using marvex::test::Notifications;
using marvex::test::PassThroughUnit;
using marvex::test::StatusOf;

// Marks elements made by the subclass, so a test can tell whose CreateElement ran.
class MarkedElement : public AUElement {
public:
    using AUElement::AUElement;
};

class LifecycleUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;

    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override {
        if (scope == kAudioUnitScope_Global || scope == kAudioUnitScope_Group)
            return new MarkedElement(this);
        return AUBase::CreateElement(scope, element);
    }
    OSStatus Initialize() override {
        ++initializeCalls;
        return initializeResult;
    }
    void Cleanup() override { ++cleanupCalls; }

    int initializeCalls = 0;
    int cleanupCalls = 0;
    OSStatus initializeResult = noErr;
};

TEST(AUBaseLifecycle, GlobalElementIsTheBasesAndTheRestComeWithPostConstructor) {
    LifecycleUnit unit(nullptr, 1, 1, 2, 0);
    AUElement* global = unit.Globals();
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(dynamic_cast<MarkedElement*>(global), nullptr)
        << "the global element must be the base's, whatever the subclass makes";
    EXPECT_EQ(unit.GetElement(kAudioUnitScope_Input, 0), nullptr);
    EXPECT_EQ(StatusOf([&] { unit.GetInput(0); }), kAudioUnitErr_InvalidElement);

    unit.PostConstructor();
    unit.PostConstructor();  // idempotent
    EXPECT_EQ(unit.Inputs().GetNumberOfElements(), 1u);
    EXPECT_EQ(unit.Outputs().GetNumberOfElements(), 1u);
    EXPECT_NE(dynamic_cast<AUInputElement*>(unit.GetElement(kAudioUnitScope_Input, 0)), nullptr);
    EXPECT_NE(dynamic_cast<AUOutputElement*>(unit.GetElement(kAudioUnitScope_Output, 0)), nullptr);
    ASSERT_EQ(unit.Groups().GetNumberOfElements(), 2u);
    EXPECT_NE(dynamic_cast<MarkedElement*>(unit.GetElement(kAudioUnitScope_Group, 1)), nullptr);
}

TEST(AUBaseLifecycle, LookupsThrowTheirStatusesAndHasInputNever) {
    PassThroughUnit unit;
    unit.PostConstructor();
    EXPECT_EQ(StatusOf([&] { unit.GetScope(5); }), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(StatusOf([&] { unit.CreateElement(5, 0); }), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(unit.GetElement(kAudioUnitScope_Output, 1), nullptr);
    EXPECT_EQ(StatusOf([&] { unit.SafeGetElement(kAudioUnitScope_Output, 1); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(StatusOf([&] { unit.GetIOElement(kAudioUnitScope_Global, 0); }),
              kAudioUnitErr_InvalidElement);

    EXPECT_EQ(StatusOf([&] { unit.SetNumberOfElements(kAudioUnitScope_Global, 2); }),
              kAudioUnitErr_InvalidScope);
    AUElement* global = unit.Globals();
    unit.SetNumberOfElements(kAudioUnitScope_Global, 1);
    EXPECT_EQ(unit.Globals(), global);
    unit.SetNumberOfElements(kAudioUnitScope_Input, 3);
    EXPECT_NE(dynamic_cast<AUInputElement*>(unit.GetElement(kAudioUnitScope_Input, 2)), nullptr);

    EXPECT_FALSE(unit.HasInput(0));
    EXPECT_FALSE(unit.HasInput(9));  // no exception for a missing input
    unit.GetInput(0)->SetInputCallback(marvex::test::RampInput, nullptr);
    EXPECT_TRUE(unit.HasInput(0));
}

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
