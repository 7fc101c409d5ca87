// The entry point and its selector table, driven as a host drives them: the tuner through
// MarvexEntry, and a unit built to fail on demand through an entry routine of its own.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "effect/AUEffectBase.h"
#include "format/AudioUnitParameterInfo.h"
#include "format/CFString.h"
#include "tests/core/PropertiesTestUnit.h"
#include "tests/unit/TunerHost.h"

namespace marvex::test {
namespace {

// Called without a unit (or without a block), the entry refuses instead of crashing.
TEST(Dispatch, CallsWithoutAUnitAreRefused) {
    CFBundleRef bundle = nullptr;
    ASSERT_EQ(RegisterComponentsInBundle(MARVEX_TEST_BUNDLE_DIR, &bundle), noErr);
    auto entry = reinterpret_cast<ComponentRoutineProcPtr>(
        CFBundleGetFunctionPointerForName(bundle, CFSTR("MarvexEntry")));
    ASSERT_NE(entry, nullptr);
    ComponentParameters params{};
    params.what = kAudioUnitInitializeSelect;
    EXPECT_EQ(entry(&params, nullptr), paramErr);
    EXPECT_EQ(entry(nullptr, nullptr), paramErr);
}

// Past the table, or outside the global scope, the info is refused and leaves only the flags
// word.
TEST(TunerParameters, InfoRefusals) {
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    for (const auto& [scope, id] : {std::pair{kAudioUnitScope_Global, kNumberOfParameters},
                                    {kAudioUnitScope_Input, kParam_Pitch}}) {
        AudioUnitParameterInfo info{};
        EXPECT_EQ(unit.GetProperty(kAudioUnitProperty_ParameterInfo, scope, id, info),
                  kAudioUnitErr_InvalidParameter);
        EXPECT_EQ(info.flags, 0xC0000000u);
    }
}

bool gFailPostConstructor = false;  // what the next failing unit does when opened
int gDestroyed = 0;                 // failing units destroyed so far

class FailingUnit : public AUEffectBase {
public:
    explicit FailingUnit(ComponentInstance instance) : AUEffectBase(instance) {}
    ~FailingUnit() override { ++gDestroyed; }
    void PostConstructor() override {
        AUEffectBase::PostConstructor();
        if (gFailPostConstructor) throw OSStatus(-12345);
    }
    // The parameter id chooses what escapes.
    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                          AudioUnitParameterValue&) override {
        if (id == 0) throw std::bad_alloc();
        if (id == 1) throw OSStatus(-4321);
        throw std::runtime_error("unexpected");
    }
};

// What escapes a unit becomes a status; a unit whose opening fails is destroyed, not leaked.
TEST(EntryBarrier, MapsWhatEscapesToStatusesAndLeavesNothingBehind) {
    const ComponentDescription description{kAudioUnitType_Effect, FourCC("fail"), FourCC("Test"), 0,
                                           0};
    const Component failing =
        RegisterComponentEntry(&description, &TestUnitEntry<FailingUnit>, "failing unit", 1);
    const long before = OpenInstanceCount();
    gFailPostConstructor = true;
    gDestroyed = 0;
    AudioUnitHandle unit;
    EXPECT_EQ(AudioUnitHandle::Open(failing, unit), -12345);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(OpenInstanceCount(), before);
    gFailPostConstructor = false;

    ASSERT_EQ(AudioUnitHandle::Open(failing, unit), noErr);
    const OSStatus expected[] = {memFullErr, -4321, -1};
    for (AudioUnitParameterID id = 0; id < 3; ++id) {
        AudioUnitParameterValue value = 0;
        EXPECT_EQ(unit.GetParameter(id, 0, 0, value), expected[id]) << "id " << id;
    }
    gDestroyed = 0;
    EXPECT_EQ(unit.Close(), noErr);
    EXPECT_EQ(gDestroyed, 1);
}

}  // namespace
}  // namespace marvex::test
