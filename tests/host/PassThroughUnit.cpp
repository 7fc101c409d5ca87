#include "tests/host/PassThroughUnit.h"

#include <array>
#include <cstring>
#include <vector>

#include "format/AURenderCallbackStruct.h"
#include "format/AudioStreamBasicDescription.h"
#include "format/AudioUnitFastDispatch.h"

namespace marvex::test {
namespace {

struct PassThrough {
    UInt32 channels = 2;
    UInt32 maxFrames = 1156;
    bool initialized = false;
    AURenderCallbackStruct input{};
    std::vector<float> inputMemory;
    std::array<float, 8> parameters{};
};

OSStatus getParameter(void* storage, AudioUnitParameterID id, AudioUnitScope scope,
                      AudioUnitElement, AudioUnitParameterValue* out) {
    auto* unit = static_cast<PassThrough*>(storage);
    if (unit == nullptr || out == nullptr) return paramErr;
    if (scope != kAudioUnitScope_Global || id >= unit->parameters.size())
        return kAudioUnitErr_InvalidParameter;
    *out = unit->parameters[id];
    return noErr;
}

OSStatus setParameter(void* storage, AudioUnitParameterID id, AudioUnitScope scope,
                      AudioUnitElement, AudioUnitParameterValue value, UInt32) {
    auto* unit = static_cast<PassThrough*>(storage);
    if (unit == nullptr) return paramErr;
    if (scope != kAudioUnitScope_Global || id >= unit->parameters.size())
        return kAudioUnitErr_InvalidParameter;
    unit->parameters[id] = value;
    return noErr;
}

OSStatus render(void* storage, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                UInt32, UInt32 frames, AudioBufferList* ioData) {
    auto* unit = static_cast<PassThrough*>(storage);
    if (!unit->initialized) return kAudioUnitErr_Uninitialized;
    if (frames > unit->maxFrames) return kAudioUnitErr_TooManyFramesToProcess;
    if (ioData->mNumberBuffers != unit->channels) return paramErr;
    if (unit->input.inputProc == nullptr) return kAudioUnitErr_NoConnection;
    // The pulled list points into the unit's own memory, as a real unit's input bus does.
    alignas(
        AudioBufferList) unsigned char listBytes[sizeof(AudioBufferList) + 8 * sizeof(AudioBuffer)];
    auto* pulled = reinterpret_cast<AudioBufferList*>(listBytes);
    pulled->mNumberBuffers = unit->channels;
    for (UInt32 c = 0; c < unit->channels; ++c) {
        pulled->mBuffers[c] = {1, frames * UInt32(sizeof(float)),
                               unit->inputMemory.data() + std::size_t{c} * unit->maxFrames};
    }
    const OSStatus status =
        unit->input.inputProc(unit->input.inputProcRefCon, flags, timeStamp, 0, frames, pulled);
    if (status != noErr) return status;
    float sum = 0.0f;
    for (UInt32 c = 0; c < unit->channels; ++c) {
        const auto* in = static_cast<const float*>(pulled->mBuffers[c].mData);
        std::memcpy(ioData->mBuffers[c].mData, in, frames * sizeof(float));
        if (c == 0)
            for (UInt32 i = 0; i < frames; ++i) sum += in[i];
    }
    unit->parameters[2] = sum;
    unit->parameters[3] = static_cast<float>(frames);
    unit->parameters[4] = static_cast<float>(timeStamp->mSampleTime);
    return noErr;
}

template <typename T>
T* argument(ComponentParameters* params, int fromLast) {
    return UnpackPointer<T>(params->params[fromLast]);
}

}  // namespace

ComponentResult PassThroughEntry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<PassThrough*>(storage);
    switch (params->what) {
        case kComponentOpenSelect: {
            auto instance = argument<ComponentInstanceRecord>(params, 0);
            SetComponentInstanceStorage(instance, new PassThrough);
            return noErr;
        }
        case kComponentCloseSelect:
            delete unit;
            return noErr;
        case kAudioUnitInitializeSelect:
            unit->inputMemory.assign(std::size_t{unit->channels} * unit->maxFrames, 0.0f);
            unit->initialized = true;
            return noErr;
        case kAudioUnitUninitializeSelect:
            unit->initialized = false;
            return noErr;
        case kAudioUnitGetPropertySelect: {
            const UInt32 id = UnpackUInt32(params->params[4]);
            const UInt32 element = UnpackUInt32(params->params[2]);
            auto* out = argument<void>(params, 1);
            auto* size = argument<UInt32>(params, 0);
            if (id != kAudioUnitProperty_FastDispatch) return kAudioUnitErr_InvalidProperty;
            if (element == kAudioUnitGetParameterSelect) {
                auto proc = &getParameter;
                std::memcpy(out, &proc, sizeof proc);
            } else if (element == kAudioUnitSetParameterSelect) {
                auto proc = &setParameter;
                std::memcpy(out, &proc, sizeof proc);
            } else if (element == kAudioUnitRenderSelect) {
                auto proc = &render;
                std::memcpy(out, &proc, sizeof proc);
            } else {
                return kAudioUnitErr_InvalidElement;
            }
            *size = sizeof(void*);
            return noErr;
        }
        case kAudioUnitSetPropertySelect: {
            const UInt32 id = UnpackUInt32(params->params[4]);
            const auto* data = argument<const unsigned char>(params, 1);
            if (id == kAudioUnitProperty_StreamFormat) {
                AudioStreamBasicDescription format;
                std::memcpy(&format, data, sizeof format);
                if (format.mChannelsPerFrame == 0 || format.mChannelsPerFrame > 8)
                    return kAudioUnitErr_FormatNotSupported;
                if (unit->initialized) return kAudioUnitErr_PropertyNotWritable;
                unit->channels = format.mChannelsPerFrame;
                return noErr;
            }
            if (id == kAudioUnitProperty_MaximumFramesPerSlice) {
                if (unit->initialized) return kAudioUnitErr_Initialized;
                std::memcpy(&unit->maxFrames, data, sizeof unit->maxFrames);
                return noErr;
            }
            if (id == kAudioUnitProperty_SetRenderCallback) {
                std::memcpy(&unit->input, data, sizeof unit->input);
                return noErr;
            }
            return kAudioUnitErr_InvalidProperty;
        }
        default:
            return badComponentSelector;
    }
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
