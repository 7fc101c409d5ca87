#pragma once
// The smallest owner and creator elements need: plain fields answer the owner's questions,
// and each scope gets the element kind a unit gives it.

#include "elements/AUElementCreator.h"
#include "elements/AUElementOwner.h"
#include "elements/AUInputElement.h"
#include "elements/AUOutputElement.h"

namespace marvex::test {

struct TestUnit : AUElementCreator, AUElementOwner {
    bool initialized = false;
    UInt32 maxFrames = 1156;

    bool IsInitialized() const override { return initialized; }
    UInt32 GetMaxFramesPerSlice() const override { return maxFrames; }
    UInt8 AudioUnitAPIVersion() const override { return 2; }
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement) override {
        if (scope == kAudioUnitScope_Input) return new AUInputElement(this);
        if (scope == kAudioUnitScope_Output) return new AUOutputElement(this);
        return new AUElement(this);
    }
};

// The OSStatus that `f` throws, or noErr.
template <typename F>
OSStatus ThrownStatus(F&& f) {
    try {
        f();
    } catch (OSStatus status) {
        return status;
    }
    return noErr;
}

}  // namespace marvex::test
