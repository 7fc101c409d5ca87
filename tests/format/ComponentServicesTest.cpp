#include <gtest/gtest.h>

#include <vector>

#include "format/AudioUnitCalls.h"
#include "format/AudioUnitHandle.h"
#include "format/ComponentServices.h"

namespace {

using marvex::PackPointer;
using Words = std::vector<ComponentParameterWord>;

// What each call carried, as the unit's entry routine saw it.
struct Call {
    SInt16 what;
    void* storage;
    Words words;  // params[0] first
};

std::vector<Call> gCalls;
ComponentResult gOpenResult = noErr;
int gStorageObject = 0;  // what the entry stores as its "unit"

ComponentResult RecordingEntry(ComponentParameters* p, void* storage) {
    gCalls.push_back(
        {p->what, storage, Words(p->params, p->params + p->paramSize / sizeof(Words::value_type))});
    switch (p->what) {
        case kComponentOpenSelect:
            SetComponentInstanceStorage(
                marvex::UnpackPointer<ComponentInstanceRecord>(p->params[0]), &gStorageObject);
            return gOpenResult;
        case kComponentCloseSelect:
            return noErr;
        case kComponentCanDoSelect:
            return SInt32(p->params[0]) == -4 ? 1 : 0;
        default:
            return SInt32(p->what) * 10;
    }
}

void Listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        gOpenResult = noErr;
        mComponent = RegisterComponentEntry(&mDescription, RecordingEntry, "Test: Recorder", 7);
        ASSERT_NE(mComponent, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(marvex::OpenInstanceCount(), mOpenBefore);
        EXPECT_EQ(UnregisterComponent(mComponent), noErr);
    }

    ComponentDescription mDescription{marvex::FourCC("aufx"), marvex::FourCC("mrvx"),
                                      marvex::FourCC("Qlmr"), 0, 0};
    Component mComponent = nullptr;
    long mOpenBefore = marvex::OpenInstanceCount();
};

}  // namespace

TEST_F(Registry, OpenPassesTheNewHandleAndStorageFollowsEveryCall) {
    ComponentInstance unit = nullptr;
    ASSERT_EQ(OpenAComponent(mComponent, &unit), noErr);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].what, kComponentOpenSelect);
    EXPECT_EQ(gCalls[0].words, Words{PackPointer(unit)});
    EXPECT_EQ(GetComponentInstanceStorage(unit), &gStorageObject);
    EXPECT_EQ(UnregisterComponent(mComponent), paramErr);  // still open

    EXPECT_EQ(CloseComponent(unit), noErr);
    EXPECT_EQ(gCalls.back().what, kComponentCloseSelect);
    EXPECT_EQ(gCalls.back().storage, &gStorageObject);
    EXPECT_EQ(CloseComponent(unit), badComponentInstance) << "the second close is refused";
}

TEST_F(Registry, FailedOpensAndBadHandlesLeaveNoInstance) {
    gOpenResult = memFullErr;
    ComponentInstance unit = reinterpret_cast<ComponentInstance>(&gStorageObject);
    EXPECT_EQ(OpenAComponent(mComponent, &unit), memFullErr);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(gCalls.size(), 1u) << "nothing to close: the unit never came to be";
    EXPECT_EQ(AudioUnitRender(nullptr, nullptr, nullptr, 0, 0, nullptr), badComponentInstance);
    EXPECT_EQ(OpenAComponent(reinterpret_cast<Component>(&gStorageObject), &unit),
              badComponentInstance);
}

// One row per argument shape: the words reach the entry last argument first.
TEST_F(Registry, SelectorsCarryTheirArgumentsLastFirst) {
    marvex::AudioUnitHandle unit;
    ASSERT_EQ(marvex::AudioUnitHandle::Open(mComponent, unit), noErr);
    AudioUnit u = unit.Get();
    UInt32 size = 0;
    Boolean writable = 0;
    int refCon = 0;
    const ComponentParameterWord raw[] = {5, 6, 7};

    const struct {
        ComponentResult result;
        SInt16 what;
        Words words;
    } cases[] = {
        {AudioUnitGetPropertyInfo(u, 8, 2, 1, &size, &writable),
         3,
         {PackPointer(&writable), PackPointer(&size), 1, 2, 8}},
        // A float travels as its bit pattern in the low 32 bits.
        {AudioUnitSetParameter(u, 1, 0, 0, 441.5f, 64), 7, {64, 0x43DCC000, 0, 0, 1}},
        {AudioUnitAddPropertyListener(u, 22, Listener, &refCon),
         10,
         {PackPointer(&refCon), marvex::PackProc(&Listener), 22}},
        {CallComponentSelector(u, 8, raw, 3), 8, {7, 6, 5}},
    };
    ASSERT_EQ(gCalls.size(), 1 + std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(gCalls[i + 1].what, cases[i].what);
        EXPECT_EQ(cases[i].result, cases[i].what * 10);
        EXPECT_EQ(gCalls[i + 1].words, cases[i].words);
        EXPECT_EQ(gCalls[i + 1].storage, &gStorageObject);
    }
    EXPECT_EQ(CallComponentSelector(u, 8, raw, kMaxComponentCallArguments + 1), paramErr);
    // A negative asked selector stays negative in its word.
    EXPECT_EQ(unit.CanDo(kComponentVersionSelect), 1);
    EXPECT_EQ(unit.CanDo(8), 0);
}

TEST_F(Registry, FindMatchesWithWildcards) {
    ComponentDescription other = mDescription;
    other.componentSubType = marvex::FourCC("othr");
    Component second = RegisterComponentEntry(&other, RecordingEntry, nullptr, 1);

    ComponentDescription looking{marvex::FourCC("aufx"), 0, marvex::FourCC("Qlmr"), 0, 0};
    EXPECT_GE(CountComponents(&looking), 2);
    looking.componentFlagsMask = looking.componentFlags = 1;
    EXPECT_EQ(FindNextComponent(nullptr, &looking), nullptr);
    EXPECT_EQ(UnregisterComponent(second), noErr);
    EXPECT_EQ(UnregisterComponent(second), badComponentInstance);
}
