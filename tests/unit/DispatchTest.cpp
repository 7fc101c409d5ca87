// The entry point and its selector table, driven as a host drives them: the tuner through
// MarvexEntry, and a unit built to fail on demand through an entry routine of its own.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <new>
#include <stdexcept>

#include "core/ComponentEntryPoint.h"
#include "effect/AUEffectBase.h"
#include "format/CFString.h"
#include "tests/unit/TunerHost.h"

namespace marvex::test {
namespace {

ComponentResult Call(AudioUnitHandle& unit, SInt16 what,
                     std::initializer_list<ComponentParameterWord> args) {
    return CallComponentSelector(unit.Get(), what, std::data(args), UInt32(args.size()));
}

TEST(Dispatch, OpenCloseAndEverySelectorsAnswer) {
    const long before = OpenInstanceCount();
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit) << "the tuner could not be opened from " MARVEX_TEST_BUNDLE_DIR;
    EXPECT_EQ(OpenInstanceCount(), before + 1);
    EXPECT_EQ(unit.Version(), 0x00010500);

    // Can-do, selectors -6 to 18: 1 where handled (render-side ones need API version 2).
    const std::array<int, 25> canDo = {0, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1,
                                       1, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1};
    for (int selector = -6; selector <= 18; ++selector)
        EXPECT_EQ(unit.CanDo(SInt16(selector)), canDo[selector + 6]) << "selector " << selector;
    // The asked selector is a 32-bit word: 0x10001 is not selector 1.
    EXPECT_EQ(Call(unit, kComponentCanDoSelect, {0x10001}), 0);
    for (SInt16 selector : {0, 8, 12, 13, 19, -5})
        EXPECT_EQ(Call(unit, selector, {0, 0, 0}), badComponentSelector) << selector;

    unit.Close();
    EXPECT_EQ(OpenInstanceCount(), before);

    // Called without a unit (or without a block), the entry refuses instead of crashing.
    CFBundleRef bundle = nullptr;
    ASSERT_EQ(RegisterComponentsInBundle(MARVEX_TEST_BUNDLE_DIR, &bundle), noErr);
    auto entry = reinterpret_cast<ComponentRoutineProcPtr>(
        CFBundleGetFunctionPointerForName(bundle, CFSTR("MarvexEntry")));
    ASSERT_NE(entry, nullptr);
    ComponentParameters params{};
    for (SInt16 what : {SInt16(kAudioUnitInitializeSelect), SInt16(kComponentCloseSelect)}) {
        params.what = what;
        EXPECT_EQ(entry(&params, nullptr), paramErr);
    }
    EXPECT_EQ(entry(nullptr, nullptr), paramErr);
}

// Null arguments are refused at the entry and the fast paths; a short read gets the leading bytes
// and never more; a size query stores the size whatever the result.
TEST(Dispatch, NullArgumentsShortReadsAndFastPaths) {
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    CAStreamBasicDescription full;
    UInt32 size = 0;
    AudioTimeStamp time{};
    BufferList list(2);
    EXPECT_EQ(AudioUnitGetParameter(unit.Get(), 0, kAudioUnitScope_Global, 0, nullptr), paramErr);
    EXPECT_EQ(unit.GetProperty(kAudioUnitProperty_StreamFormat, 2, 0, &full, nullptr), paramErr);
    EXPECT_EQ(unit.SetProperty(kAudioUnitProperty_StreamFormat, 2, 0, nullptr, 40), paramErr);
    EXPECT_EQ(AudioUnitRender(unit.Get(), nullptr, nullptr, 0, 512, list.list()), paramErr);
    EXPECT_EQ(AudioUnitRender(unit.Get(), nullptr, &time, 0, 512, list.list()),
              kAudioUnitErr_Uninitialized)
        << "null flags render with flags 0";
    Boolean writable = 1;
    EXPECT_EQ(unit.GetPropertyInfo(4321, kAudioUnitScope_Global, 0, &size, &writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(std::make_pair(size, bool(writable)), std::make_pair(0u, false));

    size = sizeof full;
    ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_StreamFormat, 2, 0, &full, &size), noErr);
    std::array<unsigned char, 24> part;
    part.fill(0xEE);
    size = 16;
    ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_StreamFormat, 2, 0, part.data(), &size), noErr);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(std::memcmp(part.data(), &full, 16), 0);
    EXPECT_EQ(part[16], 0xEE) << "written past the caller's size";

    AudioUnitHandle::FastPaths fast;
    ASSERT_EQ(unit.GetFastPaths(fast), noErr);
    EXPECT_EQ(fast.setParameter(fast.storage, kParam_Pitch, 0, 0, 432.0f, 0), noErr);
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(fast.getParameter(fast.storage, kParam_Pitch, 0, 0, &value), noErr);
    EXPECT_EQ(value, 432.0f);
    EXPECT_EQ(fast.getParameter(nullptr, 0, 0, 0, &value), paramErr);
    EXPECT_EQ(fast.getParameter(fast.storage, 0, 0, 0, nullptr), paramErr);
    EXPECT_EQ(fast.getParameter(fast.storage, 0, 7, 0, &value), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(fast.render(fast.storage, nullptr, nullptr, 0, 512, list.list()), paramErr);
}

// What the next failing unit does when opened, and what happened to the units.
struct Faults {
    static inline bool failConstruction = false;
    static inline bool failPostConstructor = false;
    static inline int destroyed = 0;
    static inline int cleanups = 0;
};

class FailingUnit : public AUEffectBase {
public:
    explicit FailingUnit(ComponentInstance instance) : AUEffectBase(instance) {
        if (Faults::failConstruction) throw std::bad_alloc();
    }
    ~FailingUnit() override { ++Faults::destroyed; }
    void PostConstructor() override {
        AUEffectBase::PostConstructor();
        if (Faults::failPostConstructor) throw OSStatus(-12345);
    }
    // Only the close's uninitialise reaches this override (the base destructor's clean-up
    // runs after this class is gone).
    void Cleanup() override {
        ++Faults::cleanups;
        AUEffectBase::Cleanup();
    }
    // The parameter id chooses what escapes.
    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                          AudioUnitParameterValue&) override {
        if (id == 0) throw std::bad_alloc();
        if (id == 1) throw OSStatus(-4321);
        if (id == 2) throw OSErr(-17);
        if (id == 3) throw std::runtime_error("unexpected");
        throw 2.5;
    }
};

ComponentResult FailingEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<FailingUnit>::Dispatch(
        params, static_cast<FailingUnit*>(static_cast<AUBase*>(storage)));
}

Component FailingComponent() {
    static const ComponentDescription description{kAudioUnitType_Effect, FourCC("fail"),
                                                  FourCC("Test"), 0, 0};
    static const Component component =
        RegisterComponentEntry(&description, &FailingEntry, "failing unit", 1);
    return component;
}

TEST(EntryBarrier, MapsWhatEscapesToStatuses) {
    AudioUnitHandle unit;
    ASSERT_EQ(AudioUnitHandle::Open(FailingComponent(), unit), noErr);
    AudioUnitHandle::FastPaths fast;
    ASSERT_EQ(unit.GetFastPaths(fast), noErr);
    const OSStatus expected[] = {memFullErr, -4321, -17, -1, -1};
    for (AudioUnitParameterID id = 0; id < 5; ++id) {
        AudioUnitParameterValue value = 0;
        EXPECT_EQ(unit.GetParameter(id, 0, 0, value), expected[id]) << "selector, id " << id;
        EXPECT_EQ(fast.getParameter(fast.storage, id, 0, 0, &value), expected[id])
            << "fast path, id " << id;
    }
    Faults::cleanups = Faults::destroyed = 0;
    ASSERT_EQ(unit.Initialize(), noErr);
    EXPECT_EQ(unit.Close(), noErr);
    EXPECT_EQ(Faults::cleanups, 1) << "close uninitialises before destroying";
    EXPECT_EQ(Faults::destroyed, 1);
}

TEST(EntryBarrier, FailedOpenLeavesNothingBehind) {
    const long before = OpenInstanceCount();
    for (bool inConstructor : {true, false}) {
        Faults::failConstruction = inConstructor;
        Faults::failPostConstructor = !inConstructor;
        Faults::destroyed = 0;
        AudioUnitHandle unit;
        EXPECT_EQ(AudioUnitHandle::Open(FailingComponent(), unit),
                  inConstructor ? memFullErr : -12345);
        EXPECT_FALSE(unit);
        EXPECT_EQ(OpenInstanceCount(), before);
        // A unit whose post-construction step failed is destroyed, not leaked.
        EXPECT_EQ(Faults::destroyed, inConstructor ? 0 : 1);
    }
    Faults::failConstruction = Faults::failPostConstructor = false;
}

}  // namespace
}  // namespace marvex::test
