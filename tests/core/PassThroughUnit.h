#pragma once

#include <cstring>

#include "core/AUBase.h"

namespace marvex::test {

// The smallest complete unit: one input and one output bus whose audio passes through
// unchanged, formats writable while uninitialised, scheduled events applied slice by slice.
// Tests derive from it to observe or fault the steps the core calls.
class PassThroughUnit : public AUBase {
public:
    explicit PassThroughUnit(ComponentInstance instance = nullptr) : AUBase(instance, 1, 1, 0, 0) {}

    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override {
        return !IsInitialized();
    }

    // [render] Pulls input 0 and copies it to output 0.
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                    UInt32 inNumberFrames) override {
        if (!HasInput(0)) return kAudioUnitErr_NoConnection;
        AUInputElement* input = GetInput(0);
        const OSStatus pulled = input->PullInput(ioActionFlags, inTimeStamp, 0, inNumberFrames);
        if (pulled != noErr) return pulled;
        if (!mScheduledEvents.empty()) {
            const OSStatus sliced =
                ProcessForScheduledParams(mScheduledEvents, inNumberFrames, nullptr);
            if (sliced != noErr) return sliced;
        }
        input->CopyBufferContentsTo(GetOutput(0)->GetBufferList());
        return noErr;
    }

    // Exposed for tests of the pending-event bookkeeping.
    const ParameterEventList& ScheduledEvents() const { return mScheduledEvents; }
};

}  // namespace marvex::test
