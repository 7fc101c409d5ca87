// The selector table of every unit, the component-level selectors and the three fast paths.
// Arguments arrive as pointer-sized words, last argument first; nothing here catches except the
// fast paths' barrier (the entry point has its own, ComponentEntryPoint.h).

#include <cstring>
#include <memory>

#include "core/AUBase.h"
#include "core/ComponentBase.h"
#include "core/ComponentEntryPoint.h"

namespace {

// Argument i counted from the end of the call: Arg(params, 0) is the last argument.
template <class T>
T Arg(const ComponentParameters* params, int fromLast) {
    const auto word = params->params[fromLast];
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(word);
    } else if constexpr (std::is_same_v<T, Float32>) {
        // A float travels as its bit pattern in the low 32 bits of its word.
        const auto bits = static_cast<std::uint32_t>(static_cast<std::uintptr_t>(word));
        Float32 value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    } else {
        return static_cast<T>(word);
    }
}

OSStatus CanDo(SInt32 selector, AUBase* unit, ComponentParameters* params) {
    switch (selector) {
        case kAudioUnitInitializeSelect:
        case kAudioUnitUninitializeSelect:
        case kAudioUnitGetPropertyInfoSelect:
        case kAudioUnitGetPropertySelect:
        case kAudioUnitSetPropertySelect:
        case kAudioUnitGetParameterSelect:
        case kAudioUnitSetParameterSelect:
        case kAudioUnitResetSelect:
        case kAudioUnitAddPropertyListenerSelect:
        case kAudioUnitRemovePropertyListenerSelect:
        case kAudioUnitRemovePropertyListenerWithUserDataSelect:
            return 1;
        case kAudioUnitRenderSelect:
        case kAudioUnitAddRenderNotifySelect:
        case kAudioUnitRemoveRenderNotifySelect:
        case kAudioUnitScheduleParametersSelect:
            return unit->AudioUnitAPIVersion() > 1 ? 1 : 0;
        default:
            return ComponentBase::ComponentEntryDispatch(params, unit);
    }
}

// Selector 4: a size query, or a read into the caller's buffer or, when that is shorter than
// the value, into a temporary one from which the caller's share is copied.
OSStatus GetPropertySelector(AUBase* unit, AudioUnitPropertyID id, AudioUnitScope scope,
                             AudioUnitElement element, void* outData, UInt32* ioDataSize) {
    if (ioDataSize == nullptr) return paramErr;
    UInt32 actualSize = 0;
    Boolean writable = false;
    if (outData == nullptr) {
        const OSStatus result =
            unit->DispatchGetPropertyInfo(id, scope, element, actualSize, writable);
        *ioDataSize = actualSize;
        return result;
    }
    const UInt32 clientSize = *ioDataSize;
    if (clientSize == 0) return paramErr;
    OSStatus result = unit->DispatchGetPropertyInfo(id, scope, element, actualSize, writable);
    if (result != noErr) return result;

    std::unique_ptr<char[]> temp;
    void* buffer = outData;
    if (clientSize < actualSize) {
        temp.reset(new char[actualSize]);
        buffer = temp.get();
    }
    result = unit->DispatchGetProperty(id, scope, element, buffer);
    if (result != noErr) {
        *ioDataSize = 0;
        return result;
    }
    if (temp) {
        std::memcpy(outData, temp.get(), clientSize);
    } else {
        *ioDataSize = actualSize;
    }
    return noErr;
}

}  // namespace

OSStatus ComponentBase::ComponentEntryDispatch(ComponentParameters* params, ComponentBase* unit) {
    if (unit == nullptr || params == nullptr) return paramErr;
    switch (params->what) {
        case kComponentCanDoSelect: {
            const auto asked = Arg<SInt32>(params, 0);
            return (asked <= kComponentOpenSelect && asked >= kComponentVersionSelect) ? 1 : 0;
        }
        case kComponentCloseSelect:
            unit->PreDestructor();
            delete unit;
            return noErr;
        case kComponentVersionSelect:
            return unit->Version();
        default:
            return badComponentSelector;
    }
}

OSStatus AUBase::ComponentEntryDispatch(ComponentParameters* params, AUBase* This) {
    if (This == nullptr || params == nullptr) return paramErr;
    switch (params->what) {
        case kComponentCanDoSelect:
            return CanDo(Arg<SInt32>(params, 0), This, params);

        case kAudioUnitInitializeSelect:  // [control]
            return This->DoInitialize();

        case kAudioUnitUninitializeSelect:  // [control]
            This->DoCleanup();
            return noErr;

        case kAudioUnitGetPropertyInfoSelect: {  // [control]
            UInt32 dataSize = 0;
            Boolean writable = false;
            auto* outDataSize = Arg<UInt32*>(params, 1);
            auto* outWritable = Arg<Boolean*>(params, 0);
            // The out-pointers receive the locals whatever the result; a thrown status leaves
            // them as they were.
            const OSStatus result = This->DispatchGetPropertyInfo(
                Arg<AudioUnitPropertyID>(params, 4), Arg<AudioUnitScope>(params, 3),
                Arg<AudioUnitElement>(params, 2), dataSize, writable);
            if (outDataSize) *outDataSize = dataSize;
            if (outWritable) *outWritable = writable;
            return result;
        }

        case kAudioUnitGetPropertySelect:  // [control]
            return GetPropertySelector(
                This, Arg<AudioUnitPropertyID>(params, 4), Arg<AudioUnitScope>(params, 3),
                Arg<AudioUnitElement>(params, 2), Arg<void*>(params, 1), Arg<UInt32*>(params, 0));

        case kAudioUnitSetPropertySelect: {  // [control]
            const auto id = Arg<AudioUnitPropertyID>(params, 4);
            const auto scope = Arg<AudioUnitScope>(params, 3);
            const auto element = Arg<AudioUnitElement>(params, 2);
            const auto* inData = Arg<const void*>(params, 1);
            const auto inDataSize = Arg<UInt32>(params, 0);
            if (inData != nullptr && inDataSize != 0)
                return This->DispatchSetProperty(id, scope, element, inData, inDataSize);
            if (inData == nullptr && inDataSize == 0)
                return This->DispatchRemovePropertyValue(id, scope, element);
            return paramErr;
        }

        case kAudioUnitGetParameterSelect: {  // [any thread]
            auto* outValue = Arg<AudioUnitParameterValue*>(params, 0);
            if (outValue == nullptr) return paramErr;
            return This->GetParameter(Arg<AudioUnitParameterID>(params, 3),
                                      Arg<AudioUnitScope>(params, 2),
                                      Arg<AudioUnitElement>(params, 1), *outValue);
        }

        case kAudioUnitSetParameterSelect:  // [any thread]
            return This->SetParameter(
                Arg<AudioUnitParameterID>(params, 4), Arg<AudioUnitScope>(params, 3),
                Arg<AudioUnitElement>(params, 2), Arg<AudioUnitParameterValue>(params, 1),
                Arg<UInt32>(params, 0));

        case kAudioUnitResetSelect:  // [control, not rendering]
            This->mLastRenderedSampleTime = -1.0;
            return This->Reset(Arg<AudioUnitScope>(params, 1), Arg<AudioUnitElement>(params, 0));

        case kAudioUnitAddPropertyListenerSelect:  // [control]
            return This->AddPropertyListener(Arg<AudioUnitPropertyID>(params, 2),
                                             Arg<AudioUnitPropertyListenerProc>(params, 1),
                                             Arg<void*>(params, 0));

        case kAudioUnitRemovePropertyListenerSelect:  // [control]
            return This->RemovePropertyListener(Arg<AudioUnitPropertyID>(params, 1),
                                                Arg<AudioUnitPropertyListenerProc>(params, 0),
                                                nullptr, false);

        case kAudioUnitRemovePropertyListenerWithUserDataSelect:  // [control]
            return This->RemovePropertyListener(Arg<AudioUnitPropertyID>(params, 2),
                                                Arg<AudioUnitPropertyListenerProc>(params, 1),
                                                Arg<void*>(params, 0), true);

        case kAudioUnitRenderSelect: {  // [render]
            auto* ioActionFlags = Arg<AudioUnitRenderActionFlags*>(params, 4);
            const auto* timeStamp = Arg<const AudioTimeStamp*>(params, 3);
            const auto bus = Arg<UInt32>(params, 2);
            const auto frames = Arg<UInt32>(params, 1);
            auto* ioData = Arg<AudioBufferList*>(params, 0);
            if (timeStamp == nullptr || ioData == nullptr) return paramErr;
            AudioUnitRenderActionFlags localFlags = 0;
            if (ioActionFlags == nullptr) ioActionFlags = &localFlags;
            return This->DoRender(*ioActionFlags, *timeStamp, bus, frames, *ioData);
        }

        case kAudioUnitAddRenderNotifySelect:  // [control, lock-free]
            return This->SetRenderNotification(Arg<AURenderCallback>(params, 1),
                                               Arg<void*>(params, 0));

        case kAudioUnitRemoveRenderNotifySelect:  // [control, lock-free]
            return This->RemoveRenderNotification(Arg<AURenderCallback>(params, 1),
                                                  Arg<void*>(params, 0));

        case kAudioUnitScheduleParametersSelect:  // [control, not rendering]
            if (This->AudioUnitAPIVersion() <= 1) return badComponentSelector;
            return This->ScheduleParameter(Arg<const AudioUnitParameterEvent*>(params, 1),
                                           Arg<UInt32>(params, 0));

        default:
            return ComponentBase::ComponentEntryDispatch(params, This);
    }
}

// The fast paths (threads as their types are tagged): direct calls with the unit and the arguments
// in order.
OSStatus AudioUnitBaseGetParameter(void* inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                                   AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    auto* unit = static_cast<AUBase*>(inUnit);
    if (unit == nullptr || outValue == nullptr) return paramErr;
    return marvex::CallWithStatusBarrier(
        [&] { return unit->GetParameter(inID, inScope, inElement, *outValue); });
}

OSStatus AudioUnitBaseSetParameter(void* inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                                   AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                   UInt32 inBufferOffsetInFrames) {
    auto* unit = static_cast<AUBase*>(inUnit);
    if (unit == nullptr) return paramErr;
    return marvex::CallWithStatusBarrier([&] {
        return unit->SetParameter(inID, inScope, inElement, inValue, inBufferOffsetInFrames);
    });
}

OSStatus AudioUnitBaseRender(void* inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                             const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                             UInt32 inNumberFrames, AudioBufferList* ioData) {
    auto* unit = static_cast<AUBase*>(inUnit);
    if (unit == nullptr || inTimeStamp == nullptr || ioData == nullptr) return paramErr;
    AudioUnitRenderActionFlags localFlags = 0;
    if (ioActionFlags == nullptr) ioActionFlags = &localFlags;
    return marvex::CallWithStatusBarrier([&] {
        return unit->DoRender(*ioActionFlags, *inTimeStamp, inOutputBusNumber, inNumberFrames,
                              *ioData);
    });
}
