#include "elements/AUInputElement.h"

#include <gtest/gtest.h>

#include "tests/elements/TestUnit.h"

namespace {

// Writes the last sample of the second buffer (which must be writable) and may disconnect.
struct CallbackLog {
    AudioBufferList* list = nullptr;
    OSStatus result = noErr;
    AUInputElement* disconnect = nullptr;
};

OSStatus Callback(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                  UInt32 frames, AudioBufferList* list) {
    auto* log = static_cast<CallbackLog*>(refCon);
    log->list = list;
    static_cast<float*>(list->mBuffers[1].mData)[frames - 1] = 0.25f;
    if (log->disconnect != nullptr) log->disconnect->Disconnect();
    return log->result;
}

TEST(InputElement, CallbackFillsTheInputsOwnMemoryThatGrowsToTheRequest) {
    marvex::test::TestUnit unit;
    unit.initialized = true;
    unit.maxFrames = 64;
    AUInputElement input(&unit);
    AudioUnitRenderActionFlags flags = 0;
    auto pull = [&](UInt32 frames) { return input.PullInput(flags, AudioTimeStamp{}, 0, frames); };
    EXPECT_EQ(pull(16), kAudioUnitErr_NoConnection);

    CallbackLog log;
    input.SetInputCallback(Callback, &log);
    EXPECT_EQ(pull(32), noErr);
    EXPECT_EQ(log.list->mBuffers[0].mData, input.GetAUBufferList().GetMemory());
    log.result = -4;
    EXPECT_EQ(pull(32), -4);
    log.result = noErr;
    EXPECT_EQ(pull(100), noErr);  // longer than allocated: grows instead of overrunning
    EXPECT_EQ(input.GetAUBufferList().GetAllocatedFrames(), 100u);
    // Disconnected while it is pulled: the result is no longer this input's.
    log.disconnect = &input;
    EXPECT_EQ(pull(16), kAudioUnitErr_NoConnection);
}

}  // namespace
