#include "elements/AUInputElement.h"

#include <gtest/gtest.h>

#include <vector>

#include "format/AudioUnitHandle.h"
#include "tests/elements/TestUnit.h"

namespace {

using marvex::UnpackPointer;
using marvex::UnpackUInt32;

// A source unit reached only through the component services. It renders into its own buffers,
// may offer a direct render entry, and may disconnect its consumer in the middle of a render.
struct Source {
    bool offerDirectEntry = true;
    int renders = 0;
    UInt32 lastBus = ~0u;
    AUInputElement* disconnectDuringRender = nullptr;
    std::vector<float> memory = std::vector<float>(2 * 64, 0.5f);

    OSStatus Render(UInt32 bus, AudioBufferList* io) {
        ++renders;
        lastBus = bus;
        for (UInt32 i = 0; i < io->mNumberBuffers; ++i) io->mBuffers[i].mData = &memory[i * 64];
        if (disconnectDuringRender != nullptr) disconnectDuringRender->Disconnect();
        return noErr;
    }
};

Source* gOpening = nullptr;

OSStatus DirectRender(void* storage, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 bus,
                      UInt32, AudioBufferList* io) {
    return static_cast<Source*>(storage)->Render(bus, io);
}

ComponentResult SourceEntry(ComponentParameters* block, void* storage) {
    auto* source = static_cast<Source*>(storage);
    const ComponentParameterWord* p = block->params;  // p[0] is the last argument
    switch (block->what) {
        case kComponentOpenSelect:
            SetComponentInstanceStorage(UnpackPointer<ComponentInstanceRecord>(p[0]), gOpening);
            return noErr;
        case kComponentCloseSelect:
            return noErr;
        case kAudioUnitGetPropertySelect:  // id, scope, element, outData, ioDataSize
            if (UnpackUInt32(p[4]) != kAudioUnitProperty_FastDispatch ||
                UnpackUInt32(p[2]) != kAudioUnitRenderSelect || !source->offerDirectEntry)
                return kAudioUnitErr_InvalidProperty;
            *UnpackPointer<AudioUnitRenderProc>(p[1]) = DirectRender;
            return noErr;
        case kAudioUnitRenderSelect:  // flags, time stamp, bus, frames, list
            return source->Render(UnpackUInt32(p[2]), UnpackPointer<AudioBufferList>(p[0]));
        default:
            return badComponentSelector;
    }
}

// Writes the last sample of the second buffer (which must be writable) and may disconnect.
struct CallbackLog {
    UInt32 element = 0;
    AudioBufferList* list = nullptr;
    OSStatus result = noErr;
    AUInputElement* disconnect = nullptr;
};

OSStatus Callback(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 element,
                  UInt32 frames, AudioBufferList* list) {
    auto* log = static_cast<CallbackLog*>(refCon);
    log->element = element;
    log->list = list;
    static_cast<float*>(list->mBuffers[1].mData)[frames - 1] = 0.25f;
    if (log->disconnect != nullptr) log->disconnect->Disconnect();
    return log->result;
}

class InputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const ComponentDescription description{kAudioUnitType_Effect, marvex::FourCC("tsrc"),
                                               marvex::FourCC("Test"), 0, 0};
        sComponent = RegisterComponentEntry(&description, SourceEntry, "test source", 1);
    }
    static void TearDownTestSuite() { UnregisterComponent(sComponent); }
    void SetUp() override {
        unit.initialized = true;
        unit.maxFrames = 64;
        gOpening = &source;
        ASSERT_EQ(marvex::AudioUnitHandle::Open(sComponent, sourceUnit), noErr);
    }
    OSStatus Pull(UInt32 frames, AudioUnitElement element = 0) {
        AudioUnitRenderActionFlags flags = 0;
        return input.PullInput(flags, AudioTimeStamp{}, element, frames);
    }

    static inline Component sComponent = nullptr;
    marvex::test::TestUnit unit;
    Source source;
    marvex::AudioUnitHandle sourceUnit;
    AUInputElement input{&unit};
};

TEST_F(InputTest, ConnectionPullsTheSourceDirectlyOrThroughTheServices) {
    EXPECT_EQ(Pull(16), kAudioUnitErr_NoConnection);
    for (bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "through the services");
        source.offerDirectEntry = direct;
        input.SetConnection({sourceUnit.Get(), 3, 0});
        EXPECT_EQ(input.HasDirectRenderEntry(), direct);
        EXPECT_EQ(input.GetAUBufferList().GetAllocatedBytes(), 0u);  // the source's buffers
        EXPECT_EQ(Pull(16), noErr);
        EXPECT_EQ(source.lastBus, 3u);
        EXPECT_EQ(input.GetBufferList().mBuffers[1].mData, &source.memory[64]);
        EXPECT_EQ(input.GetBufferList().mBuffers[1].mDataByteSize, 64u);
        // Disconnected while the source renders: the result is no longer this input's.
        source.disconnectDuringRender = &input;
        EXPECT_EQ(Pull(16), kAudioUnitErr_NoConnection);
        source.disconnectDuringRender = nullptr;
        EXPECT_EQ(Pull(16), kAudioUnitErr_NoConnection);
    }
    EXPECT_EQ(source.renders, 4);
}

TEST_F(InputTest, CallbackFillsTheInputsOwnMemory) {
    CallbackLog log;
    input.SetInputCallback(Callback, &log);
    EXPECT_EQ(Pull(32, 5), noErr);
    EXPECT_EQ(log.element, 5u);
    EXPECT_EQ(log.list, &input.GetBufferList());
    EXPECT_EQ(log.list->mBuffers[0].mData, input.GetAUBufferList().GetMemory());
    log.result = -4;
    EXPECT_EQ(Pull(32), -4);
    log.result = noErr;
    EXPECT_EQ(Pull(100), noErr);  // longer than allocated: grows instead of overrunning
    EXPECT_EQ(input.GetAUBufferList().GetAllocatedFrames(), 100u);
    log.disconnect = &input;
    EXPECT_EQ(Pull(16), kAudioUnitErr_NoConnection);
}

TEST(IOElement, InputWithoutCallbackGetsNoSampleMemoryAndOldInterfaceInterleaves) {
    marvex::test::TestUnit unit;
    unit.initialized = true;
    AUInputElement input(&unit);
    input.AllocateBuffer();  // it renders into its source's buffers: a list block only
    EXPECT_EQ(input.GetAUBufferList().GetAllocatedStreams(), 2u);
    EXPECT_EQ(input.GetAUBufferList().GetAllocatedBytes(), 0u);
    input.SetInputCallback(Callback, nullptr);
    EXPECT_EQ(input.GetAUBufferList().GetAllocatedBytes(), 2u * 4 * unit.maxFrames);
    unit.apiVersion = 1;
    EXPECT_TRUE(AUInputElement(&unit).GetStreamFormat().IsInterleaved());
}

}  // namespace
