#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "format/AudioUnitCalls.h"
#include "format/AudioUnitHandle.h"
#include "format/ComponentServices.h"

namespace {

// A recording entry routine: what each call carried, as the unit would see it.
struct Call {
    SInt16 what;
    void* storage;
    std::vector<ComponentParameterWord> words;  // params[0] first
};

struct Recorder {
    std::vector<Call> calls;
    ComponentResult openResult = noErr;
    bool setStorage = true;
    ComponentInstance opened = nullptr;
    int closes = 0;
};

Recorder* gRecorder = nullptr;
int gStorageObject = 0;  // what the entry stores as its "unit"

ComponentResult RecordingEntry(ComponentParameters* p, void* storage) {
    Recorder& r = *gRecorder;
    Call c{p->what, storage, {}};
    const std::size_t n = p->paramSize / sizeof(ComponentParameterWord);
    c.words.assign(p->params, p->params + n);
    r.calls.push_back(c);
    switch (p->what) {
        case kComponentOpenSelect: {
            auto self = marvex::UnpackPointer<ComponentInstanceRecord>(p->params[0]);
            r.opened = self;
            if (r.setStorage) SetComponentInstanceStorage(self, &gStorageObject);
            return r.openResult;
        }
        case kComponentCloseSelect:
            ++r.closes;
            return noErr;
        case kComponentVersionSelect:
            return 0x00010500;
        case kComponentCanDoSelect:
            return SInt32(p->params[0]) == -4 ? 1 : 0;
        default:
            return SInt32(p->what) * 10;
    }
}

void Listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}
OSStatus Notify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*) {
    return noErr;
}

ComponentResult QuietEntry(ComponentParameters*, void*) {
    return noErr;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        gRecorder = &mRecorder;
        mDescription = {marvex::FourCC("aufx"), marvex::FourCC("mrvx"), marvex::FourCC("Qlmr"), 0,
                        0};
        mComponent = RegisterComponentEntry(&mDescription, RecordingEntry, "Test: Recorder", 7);
        ASSERT_NE(mComponent, nullptr);
        mOpenBefore = marvex::OpenInstanceCount();
    }
    void TearDown() override {
        EXPECT_EQ(marvex::OpenInstanceCount(), mOpenBefore);
        EXPECT_EQ(UnregisterComponent(mComponent), noErr);
        gRecorder = nullptr;
    }
    const Call& Last() const { return mRecorder.calls.back(); }

    Recorder mRecorder;
    ComponentDescription mDescription{};
    Component mComponent = nullptr;
    long mOpenBefore = 0;
};

}  // namespace

TEST_F(Registry, OpenPassesTheNewHandleAndStorageFollowsEveryCall) {
    ComponentInstance unit = nullptr;
    ASSERT_EQ(OpenAComponent(mComponent, &unit), noErr);
    ASSERT_NE(unit, nullptr);
    ASSERT_EQ(mRecorder.calls.size(), 1u);
    EXPECT_EQ(mRecorder.calls[0].what, kComponentOpenSelect);
    EXPECT_EQ(mRecorder.calls[0].storage, nullptr);
    EXPECT_EQ(mRecorder.opened, unit);
    EXPECT_EQ(GetComponentInstanceStorage(unit), &gStorageObject);
    EXPECT_EQ(marvex::OpenInstanceCount(), mOpenBefore + 1);

    EXPECT_EQ(AudioUnitInitialize(unit), 10);
    EXPECT_EQ(Last().storage, &gStorageObject);
    EXPECT_TRUE(Last().words.empty());

    ComponentDescription info{};
    EXPECT_EQ(GetComponentInfo(unit, &info, nullptr, nullptr, nullptr), noErr);
    EXPECT_EQ(std::memcmp(&info, &mDescription, sizeof info), 0);
    EXPECT_EQ(GetComponentOfInstance(unit), mComponent);
    EXPECT_EQ(UnregisterComponent(mComponent), paramErr);  // still open

    EXPECT_EQ(CloseComponent(unit), noErr);
    EXPECT_EQ(Last().what, kComponentCloseSelect);
    EXPECT_EQ(Last().storage, &gStorageObject);
    EXPECT_EQ(Last().words, std::vector<ComponentParameterWord>{marvex::PackPointer(unit)});
    EXPECT_EQ(CloseComponent(unit), badComponentInstance);  // the second close is refused
}

TEST_F(Registry, FailedOpenLeavesNoInstance) {
    mRecorder.openResult = memFullErr;
    ComponentInstance unit = reinterpret_cast<ComponentInstance>(&gStorageObject);
    EXPECT_EQ(OpenAComponent(mComponent, &unit), memFullErr);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(mRecorder.closes, 0);  // nothing to close: the unit never came to be
    EXPECT_EQ(marvex::OpenInstanceCount(), mOpenBefore);

    marvex::AudioUnitHandle handle;
    EXPECT_EQ(marvex::AudioUnitHandle::Open(mComponent, handle), memFullErr);
    EXPECT_FALSE(handle);
}

TEST_F(Registry, SelectorsCarryTheirArgumentsLastFirst) {
    marvex::AudioUnitHandle unit;
    ASSERT_EQ(marvex::AudioUnitHandle::Open(mComponent, unit), noErr);
    AudioUnit u = unit.Get();
    using marvex::PackPointer;
    using W = std::vector<ComponentParameterWord>;
    UInt32 size = 0;
    Boolean writable = 0;
    Float32 value = 0;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp ts{};
    AudioBufferList list{};
    AudioUnitParameterEvent events[2]{};
    AudioUnitPropertyListenerProc listener = Listener;
    AURenderCallback notify = Notify;
    int refCon = 0;

    struct Expect {
        ComponentResult result;
        SInt16 what;
        W words;
    };
    const Expect cases[] = {
        {AudioUnitUninitialize(u), 2, {}},
        {AudioUnitGetPropertyInfo(u, 8, 2, 1, &size, &writable),
         3,
         {PackPointer(&writable), PackPointer(&size), 1, 2, 8}},
        {AudioUnitGetProperty(u, 8, 1, 0, &value, &size),
         4,
         {PackPointer(&size), PackPointer(&value), 0, 1, 8}},
        {AudioUnitSetProperty(u, 30, 2, 3, &value, 4), 5, {4, PackPointer(&value), 3, 2, 30}},
        {AudioUnitGetParameter(u, 7, 0, 0, &value), 6, {PackPointer(&value), 0, 0, 7}},
        // A float travels as its bit pattern in the low 32 bits.
        {AudioUnitSetParameter(u, 1, 0, 0, 441.5f, 64), 7, {64, 0x43DCC000, 0, 0, 1}},
        {AudioUnitReset(u, 0, 0), 9, {0, 0}},
        {AudioUnitAddPropertyListener(u, 22, listener, &refCon),
         10,
         {PackPointer(&refCon), marvex::PackProc(listener), 22}},
        {AudioUnitRemovePropertyListener(u, 22, listener), 11, {marvex::PackProc(listener), 22}},
        {AudioUnitRender(u, &flags, &ts, 0, 512, &list),
         14,
         {PackPointer(&list), 512, 0, PackPointer(&ts), PackPointer(&flags)}},
        {AudioUnitAddRenderNotify(u, notify, &refCon),
         15,
         {PackPointer(&refCon), marvex::PackProc(notify)}},
        {AudioUnitRemoveRenderNotify(u, notify, nullptr), 16, {0, marvex::PackProc(notify)}},
        {AudioUnitScheduleParameters(u, events, 2), 17, {2, PackPointer(events)}},
        {AudioUnitRemovePropertyListenerWithUserData(u, 22, listener, &refCon),
         18,
         {PackPointer(&refCon), marvex::PackProc(listener), 22}},
    };
    // Calls ran in order after the open and a first check that each produced a record.
    ASSERT_EQ(mRecorder.calls.size(), 1 + std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Call& c = mRecorder.calls[i + 1];
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(c.what, cases[i].what);
        EXPECT_EQ(cases[i].result, cases[i].what * 10);
        EXPECT_EQ(c.words, cases[i].words);
        EXPECT_EQ(c.storage, &gStorageObject);
    }
    EXPECT_EQ(marvex::UnpackFloat32(mRecorder.calls[6].words[1]), 441.5f);

    // Base selectors: a negative asked selector stays negative in its word.
    EXPECT_EQ(unit.CanDo(kComponentVersionSelect), 1);
    EXPECT_EQ(unit.CanDo(8), 0);
    EXPECT_EQ(unit.Version(), 0x00010500);
    const ComponentParameterWord raw[] = {5, 6, 7};
    EXPECT_EQ(CallComponentSelector(u, 8, raw, 3), 80);
    EXPECT_EQ(Last().words, (W{7, 6, 5}));
    EXPECT_EQ(CallComponentSelector(u, 8, raw, kMaxComponentCallArguments + 1), paramErr);
}

TEST_F(Registry, ClosedOrNullHandlesAreRefused) {
    EXPECT_EQ(AudioUnitInitialize(nullptr), badComponentInstance);
    EXPECT_EQ(AudioUnitRender(nullptr, nullptr, nullptr, 0, 0, nullptr), badComponentInstance);
    EXPECT_EQ(GetComponentInstanceStorage(nullptr), nullptr);
    EXPECT_EQ(CloseComponent(nullptr), badComponentInstance);
    EXPECT_EQ(OpenAComponent(nullptr, nullptr), paramErr);
    ComponentInstance out;
    EXPECT_EQ(OpenAComponent(reinterpret_cast<Component>(&gStorageObject), &out),
              badComponentInstance);
    ComponentDescription d;
    EXPECT_EQ(GetComponentInfo(nullptr, &d, nullptr, nullptr, nullptr), badComponentInstance);
    EXPECT_EQ(RegisterComponentEntry(nullptr, RecordingEntry, nullptr, 0), nullptr);
    EXPECT_EQ(RegisterComponentEntry(&d, nullptr, nullptr, 0), nullptr);
}

TEST_F(Registry, FindMatchesWithWildcards) {
    ComponentDescription other = mDescription;
    other.componentSubType = marvex::FourCC("othr");
    Component second = RegisterComponentEntry(&other, QuietEntry, nullptr, 1);

    ComponentDescription looking{marvex::FourCC("aufx"), 0, marvex::FourCC("Qlmr"), 0, 0};
    EXPECT_GE(CountComponents(&looking), 2);
    looking.componentSubType = marvex::FourCC("mrvx");
    EXPECT_EQ(FindNextComponent(nullptr, &looking), mComponent);
    EXPECT_EQ(FindNextComponent(mComponent, &looking), nullptr);
    EXPECT_STREQ(GetComponentName(mComponent), "Test: Recorder");
    EXPECT_STREQ(GetComponentName(second), "");
    EXPECT_EQ(GetComponentVersionNumber(mComponent), 7u);
    looking.componentFlagsMask = 1;
    looking.componentFlags = 1;
    EXPECT_EQ(FindNextComponent(nullptr, &looking), nullptr);
    EXPECT_EQ(UnregisterComponent(second), noErr);
    EXPECT_EQ(UnregisterComponent(second), badComponentInstance);
}
