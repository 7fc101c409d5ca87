#include "tests/host/PassThroughUnit.h"

#include "core/ComponentEntryPoint.h"

namespace marvex::test {
namespace {

// Input 0 copied to output 0; parameters 2, 3 and 4 published after each block.
class PassThrough : public AUBase {
public:
    explicit PassThrough(ComponentInstance instance) : AUBase(instance, 1, 1) {
        Globals()->UseIndexedParameters(8);
    }
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override {
        return !IsInitialized();
    }
    bool ValidFormat(AudioUnitScope scope, AudioUnitElement element,
                     const CAStreamBasicDescription& format) override {
        return format.mChannelsPerFrame <= 8 && AUBase::ValidFormat(scope, element, format);
    }
    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& time,
                    UInt32 frames) override {
        if (!HasInput(0)) return kAudioUnitErr_NoConnection;
        const OSStatus pulled = GetInput(0)->PullInput(flags, time, 0, frames);
        if (pulled != noErr) return pulled;
        GetInput(0)->CopyBufferContentsTo(GetOutput(0)->GetBufferList());
        const AudioBufferList& buffers = GetInput(0)->GetBufferList();
        const auto* last =
            static_cast<const float*>(buffers.mBuffers[buffers.mNumberBuffers - 1].mData);
        float sum = 0.0f;
        for (UInt32 i = 0; i < frames; ++i) sum += last[i];
        Globals()->SetParameter(2, sum);
        Globals()->SetParameter(3, static_cast<float>(frames));
        Globals()->SetParameter(4, static_cast<float>(time.mSampleTime));
        return noErr;
    }
};

}  // namespace

ComponentResult PassThroughEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<PassThrough>::Dispatch(
        params, static_cast<PassThrough*>(static_cast<AUBase*>(storage)));
}

Component PassThroughComponent() {
    static const Component component = [] {
        ComponentDescription description{kAudioUnitType_Effect, FourCC("pass"), FourCC("Test"), 0,
                                         0};
        return RegisterComponentEntry(&description, PassThroughEntry, "Pass-through", 1);
    }();
    return component;
}

}  // namespace marvex::test
