// Property dispatch of AUBase: size and writability, reads, writes and removals of the
// properties the core answers itself, and the default bodies of the hooks it calls.
//
// Values cross the boundary as untyped host memory that need not be aligned for the record it
// holds, so records are copied in and out with memcpy. Sizes of records that carry pointers are
// their native sizes (a reference is sizeof(void*) wide), so 32- and 64-bit hosts both work.

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

#include "core/AUBase.h"
#include "core/AUDispatch.h"
#include "format/AURenderCallbackStruct.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/CFString.h"
#include "format/CFURL.h"

namespace {

template <typename T>
void StoreValue(void* outData, const T& value) {
    std::memcpy(outData, &value, sizeof(T));
}

template <typename T>
T LoadValue(const void* inData) {
    T value;
    std::memcpy(&value, inData, sizeof(T));
    return value;
}

bool ScopeIn(AudioUnitScope scope, std::initializer_list<AudioUnitScope> accepted) {
    return std::find(accepted.begin(), accepted.end(), scope) != accepted.end();
}

// A size that is `count` records of `recordSize` bytes, or false when it does not fit the 32-bit
// size word.
bool ArraySize(UInt64 count, UInt64 recordSize, UInt32& outSize) {
    const UInt64 bytes = count * recordSize;  // count < 2^32, record < 2^16: no wrap
    if (bytes > std::numeric_limits<UInt32>::max()) return false;
    outSize = static_cast<UInt32>(bytes);
    return true;
}

// A host may hand any property-list value where a string is expected; only a string is kept.
bool IsStringOrNull(CFStringRef value) {
    return value == nullptr || CFGetTypeID(value) == CFStringGetTypeID();
}

constexpr UInt32 kStreamFormatBytesRead = offsetof(AudioStreamBasicDescription, mReserved);

}  // namespace

// ---- Property information ---------------------------------------------------------------------

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, UInt32& outDataSize,
                                         Boolean& outWritable) {
    OSStatus result = noErr;
    bool validateElement = true;
    constexpr auto G = kAudioUnitScope_Global;
    constexpr auto I = kAudioUnitScope_Input;

    switch (inID) {
        case kAudioUnitProperty_ClassInfo:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(CFPropertyListRef);
            outWritable = true;
            break;

        case kAudioUnitProperty_MakeConnection:
            if (!ScopeIn(inScope, {G, I})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AudioUnitConnection);
            outWritable = true;
            break;

        case kAudioUnitProperty_SampleRate:
            outDataSize = sizeof(Float64);
            outWritable = IsStreamFormatWritable(inScope, inElement);
            break;

        case kAudioUnitProperty_ParameterList: {
            UInt32 count = 0;
            result = GetParameterList(inScope, nullptr, count);
            if (result == noErr && !ArraySize(count, sizeof(AudioUnitParameterID), outDataSize))
                result = kAudioUnitErr_InvalidPropertyValue;
            outWritable = false;
            validateElement = false;
            break;
        }

        case kAudioUnitProperty_ParameterInfo:
            outDataSize = sizeof(AudioUnitParameterInfo);
            outWritable = false;
            validateElement = false;
            break;

        case kAudioUnitProperty_FastDispatch:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AudioUnitRenderProc);
            outWritable = false;
            validateElement = false;
            break;

        case kAudioUnitProperty_StreamFormat:
            outDataSize = sizeof(AudioStreamBasicDescription);
            outWritable = IsStreamFormatWritable(inScope, inElement);
            break;

        case kAudioUnitProperty_ElementCount:
            outDataSize = sizeof(UInt32);
            outWritable = BusCountWritable(inScope);
            validateElement = false;
            break;

        case kAudioUnitProperty_Latency:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(Float64);
            outWritable = false;
            break;

        case kAudioUnitProperty_SupportedNumChannels: {
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            const UInt32 num = SupportedNumChannels(nullptr);
            if (num == 0) return kAudioUnitErr_InvalidProperty;
            if (!ArraySize(num, sizeof(AUChannelInfo), outDataSize))
                return kAudioUnitErr_InvalidPropertyValue;
            outWritable = false;
            break;
        }

        case kAudioUnitProperty_MaximumFramesPerSlice:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(UInt32);
            outWritable = true;
            break;

        case kAudioUnitProperty_ParameterValueStrings:
            result = GetParameterValueStrings(inScope, inElement, nullptr);
            if (result == noErr) {
                outDataSize = sizeof(CFArrayRef);
                outWritable = false;
            }
            validateElement = false;
            break;

        case kAudioUnitProperty_GetUIComponentList: {
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            const int num = GetNumCustomUIComponents();
            if (num <= 0) return kAudioUnitErr_InvalidProperty;
            if (!ArraySize(UInt32(num), sizeof(ComponentDescription), outDataSize))
                return kAudioUnitErr_InvalidPropertyValue;
            outWritable = false;
            break;
        }

        case kAudioUnitProperty_AudioChannelLayout:
            outWritable = false;
            outDataSize = GetAudioChannelLayout(inScope, inElement, nullptr, outWritable);
            if (outDataSize == 0) {
                result = GetChannelLayoutTags(inScope, inElement, nullptr) != 0
                             ? kAudioUnitErr_InvalidPropertyValue
                             : kAudioUnitErr_InvalidProperty;
            }
            validateElement = false;
            break;

        case kAudioUnitProperty_TailTime:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
            outDataSize = sizeof(Float64);
            outWritable = false;
            break;

        case kAudioUnitProperty_LastRenderError:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(OSStatus);
            outWritable = false;
            break;

        case kAudioUnitProperty_SetRenderCallback:
            if (AudioUnitAPIVersion() < 2) return kAudioUnitErr_InvalidProperty;
            if (!ScopeIn(inScope, {G, I})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AURenderCallbackStruct);
            outWritable = true;
            break;

        case kAudioUnitProperty_FactoryPresets:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            result = GetPresets(nullptr);
            if (result == noErr) {
                outDataSize = sizeof(CFArrayRef);
                outWritable = false;
            }
            break;

        case kAudioUnitProperty_ContextName:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(CFStringRef);
            outWritable = true;
            break;

        case kAudioUnitProperty_HostCallbacks:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(HostCallbackInfo);
            outWritable = true;
            break;

        case kAudioUnitProperty_CurrentPreset:
        case kAudioUnitProperty_PresentPreset:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AUPreset);
            outWritable = true;
            break;

        case kAudioUnitProperty_ElementName:
            outDataSize = sizeof(CFStringRef);
            outWritable = true;
            break;

        case kAudioUnitProperty_SupportedChannelLayoutTags: {
            const UInt32 num = GetChannelLayoutTags(inScope, inElement, nullptr);
            if (num == 0) return kAudioUnitErr_InvalidProperty;
            if (!ArraySize(num, sizeof(AudioChannelLayoutTag), outDataSize))
                return kAudioUnitErr_InvalidPropertyValue;
            outWritable = false;
            validateElement = false;
            break;
        }

        case kAudioUnitProperty_IconLocation:
            if (!ScopeIn(inScope, {G})) return kAudioUnitErr_InvalidScope;
            if (!HasIcon()) return kAudioUnitErr_InvalidProperty;
            outDataSize = sizeof(CFURLRef);
            outWritable = false;
            break;

        default:
            return GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
    }

    if (result == noErr && validateElement && GetElement(inScope, inElement) == nullptr)
        result = kAudioUnitErr_InvalidElement;
    return result;
}

// ---- Reading ----------------------------------------------------------------------------------

// The caller has asked DispatchGetPropertyInfo first and passes a buffer of the size it gave, so
// scopes and elements are not checked again here.
OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, void* outData) {
    switch (inID) {
        case kAudioUnitProperty_ClassInfo: {
            CFPropertyListRef state = nullptr;
            StoreValue(outData, state);
            const OSStatus result = SaveState(&state);
            StoreValue(outData, state);
            return result;
        }

        case kAudioUnitProperty_SampleRate:
            StoreValue(outData, GetStreamFormat(inScope, inElement).mSampleRate);
            return noErr;

        case kAudioUnitProperty_ParameterList: {
            UInt32 count = 0;
            return GetParameterList(inScope, static_cast<AudioUnitParameterID*>(outData), count);
        }

        case kAudioUnitProperty_ParameterInfo:
            // The element number carries the parameter id.
            return GetParameterInfo(inScope, inElement,
                                    *static_cast<AudioUnitParameterInfo*>(outData));

        case kAudioUnitProperty_FastDispatch:
            switch (inElement) {
                case kAudioUnitGetParameterSelect:
                    StoreValue(outData, AudioUnitGetParameterProc(&AudioUnitBaseGetParameter));
                    return noErr;
                case kAudioUnitSetParameterSelect:
                    StoreValue(outData, AudioUnitSetParameterProc(&AudioUnitBaseSetParameter));
                    return noErr;
                case kAudioUnitRenderSelect:
                    if (AudioUnitAPIVersion() <= 1) return kAudioUnitErr_InvalidElement;
                    StoreValue(outData, AudioUnitRenderProc(&AudioUnitBaseRender));
                    return noErr;
                default:
                    return GetProperty(inID, inScope, inElement, outData);
            }

        case kAudioUnitProperty_StreamFormat:
            std::memcpy(outData, &GetStreamFormat(inScope, inElement),
                        sizeof(AudioStreamBasicDescription));
            return noErr;

        case kAudioUnitProperty_ElementCount:
            StoreValue(outData, GetScope(inScope).GetNumberOfElements());
            return noErr;

        case kAudioUnitProperty_Latency:
            StoreValue(outData, GetLatency());
            return noErr;

        case kAudioUnitProperty_SupportedNumChannels: {
            const AUChannelInfo* table = nullptr;
            const UInt32 num = SupportedNumChannels(&table);
            if (num != 0 && table != nullptr)
                std::memcpy(outData, table, std::size_t(num) * sizeof(AUChannelInfo));
            return noErr;
        }

        case kAudioUnitProperty_MaximumFramesPerSlice:
            StoreValue(outData, mMaxFramesPerSlice);
            return noErr;

        case kAudioUnitProperty_ParameterValueStrings: {
            CFArrayRef strings = nullptr;
            const OSStatus result = GetParameterValueStrings(inScope, inElement, &strings);
            if (result == noErr) StoreValue(outData, strings);
            return result;
        }

        case kAudioUnitProperty_GetUIComponentList:
            GetUIComponentDescs(static_cast<ComponentDescription*>(outData));
            return noErr;

        case kAudioUnitProperty_AudioChannelLayout: {
            Boolean writable = false;
            const UInt32 size = GetAudioChannelLayout(
                inScope, inElement, static_cast<AudioChannelLayout*>(outData), writable);
            return size == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
        }

        case kAudioUnitProperty_TailTime:
            if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
            StoreValue(outData, GetTailTime());
            return noErr;

        case kAudioUnitProperty_LastRenderError:
            // One exchange, so an error the render thread stores meanwhile is never lost.
            StoreValue(outData, TakeLastRenderError());
            return noErr;

        case kAudioUnitProperty_FactoryPresets: {
            CFArrayRef presets = nullptr;
            StoreValue(outData, presets);
            const OSStatus result = GetPresets(&presets);
            StoreValue(outData, presets);
            return result;
        }

        case kAudioUnitProperty_ContextName:
            StoreValue(outData, CFStringRef(CFRetain(mContextName)));
            return mContextName == nullptr ? OSStatus(kAudioUnitErr_InvalidPropertyValue)
                                           : OSStatus(noErr);

        case kAudioUnitProperty_HostCallbacks:
            StoreValue(outData, mHostCallbackInfo);
            return noErr;

        case kAudioUnitProperty_CurrentPreset:
            StoreValue(outData, mCurrentPreset);
            return noErr;

        case kAudioUnitProperty_PresentPreset: {
            // The caller owns a reference to the name it gets here.
            AUPreset preset = mCurrentPreset;
            if (preset.presetName != nullptr) CFRetain(preset.presetName);
            StoreValue(outData, preset);
            return noErr;
        }

        case kAudioUnitProperty_ElementName: {
            const AUElement* element = GetElement(inScope, inElement);
            if (element == nullptr) return kAudioUnitErr_InvalidElement;
            if (!element->HasName()) return kAudioUnitErr_InvalidPropertyValue;
            StoreValue(outData, CFStringRef(CFRetain(element->GetName())));
            return noErr;
        }

        case kAudioUnitProperty_SupportedChannelLayoutTags: {
            const UInt32 num = GetChannelLayoutTags(inScope, inElement,
                                                    static_cast<AudioChannelLayoutTag*>(outData));
            return num == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
        }

        case kAudioUnitProperty_IconLocation: {
            CFURLRef icon = CopyIconLocation();
            if (icon == nullptr) return kAudioUnitErr_InvalidProperty;
            StoreValue(outData, icon);
            return noErr;
        }

        default:
            return GetProperty(inID, inScope, inElement, outData);
    }
}

// ---- Writing ----------------------------------------------------------------------------------

// Every check of an id comes before its change, so a refused write leaves the unit as it was.
OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, const void* inData,
                                     UInt32 inDataSize) {
    OSStatus result = noErr;
    bool notify = true;

    switch (inID) {
        case kAudioUnitProperty_ClassInfo:
            if (inDataSize != sizeof(CFPropertyListRef)) return kAudioUnitErr_InvalidPropertyValue;
            if (inScope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            // Restoring announces the changes it makes itself.
            return RestoreState(LoadValue<CFPropertyListRef>(inData));

        case kAudioUnitProperty_MakeConnection:
            if (inDataSize < sizeof(AudioUnitConnection)) return kAudioUnitErr_InvalidPropertyValue;
            return SetConnection(LoadValue<AudioUnitConnection>(inData));

        case kAudioUnitProperty_SampleRate: {
            if (inDataSize != sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
            if (GetElement(inScope, inElement) == nullptr) return kAudioUnitErr_InvalidElement;
            const CAStreamBasicDescription oldFormat = GetStreamFormat(inScope, inElement);
            CAStreamBasicDescription newFormat = oldFormat;
            newFormat.mSampleRate = LoadValue<Float64>(inData);
            if (!ValidFormat(inScope, inElement, newFormat))
                return kAudioUnitErr_FormatNotSupported;
            if (oldFormat == newFormat) return noErr;
            if (!IsStreamFormatWritable(inScope, inElement))
                return kAudioUnitErr_PropertyNotWritable;
            return ChangeStreamFormat(inScope, inElement, oldFormat, newFormat);
        }

        case kAudioUnitProperty_StreamFormat: {
            if (inDataSize < kStreamFormatBytesRead) return kAudioUnitErr_InvalidPropertyValue;
            if (GetElement(inScope, inElement) == nullptr) return kAudioUnitErr_InvalidElement;
            // mReserved is never taken from the host.
            CAStreamBasicDescription newFormat;
            std::memcpy(static_cast<AudioStreamBasicDescription*>(&newFormat), inData,
                        kStreamFormatBytesRead);
            if (!ValidFormat(inScope, inElement, newFormat))
                return kAudioUnitErr_FormatNotSupported;
            const CAStreamBasicDescription oldFormat = GetStreamFormat(inScope, inElement);
            if (oldFormat == newFormat) return noErr;
            if (!IsStreamFormatWritable(inScope, inElement))
                return kAudioUnitErr_PropertyNotWritable;
            return ChangeStreamFormat(inScope, inElement, oldFormat, newFormat);
        }

        case kAudioUnitProperty_ElementCount:
            if (inDataSize != sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
            if (!BusCountWritable(inScope)) return kAudioUnitErr_PropertyNotWritable;
            result = SetBusCount(inScope, LoadValue<UInt32>(inData));
            break;

        case kAudioUnitProperty_MaximumFramesPerSlice: {
            if (inDataSize != sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
            const OSStatus allowed = CanSetMaxFrames();
            if (allowed != noErr) return allowed;
            SetMaxFramesPerSlice(LoadValue<UInt32>(inData));  // announces the change itself
            return noErr;
        }

        case kAudioUnitProperty_SetExternalBuffer: {
            if (inDataSize < sizeof(AudioUnitExternalBuffer))
                return kAudioUnitErr_InvalidPropertyValue;
            if (!IsInitialized()) return kAudioUnitErr_Uninitialized;
            const auto buffer = LoadValue<AudioUnitExternalBuffer>(inData);
            // A null buffer would pass the alignment test and leave the bus without memory.
            if (buffer.buffer == nullptr ||
                reinterpret_cast<std::uintptr_t>(buffer.buffer) % 16 != 0)
                return paramErr;
            AUIOElement* io = inScope == kAudioUnitScope_Input
                                  ? static_cast<AUIOElement*>(GetInput(inElement))
                                  : static_cast<AUIOElement*>(GetOutput(inElement));
            io->UseExternalBuffer(buffer);
            return noErr;
        }

        case kAudioUnitProperty_AudioChannelLayout: {
            constexpr UInt32 kHeaderBytes = offsetof(AudioChannelLayout, mChannelDescriptions);
            if (inDataSize < kHeaderBytes) return kAudioUnitErr_InvalidPropertyValue;
            const UInt32 descriptions =
                LoadValue<UInt32>(static_cast<const UInt8*>(inData) +
                                  offsetof(AudioChannelLayout, mNumberChannelDescriptions));
            if (inDataSize < marvex::AudioChannelLayoutByteSize(descriptions))
                return kAudioUnitErr_InvalidPropertyValue;
            // An aligned copy, at least one whole record long, so the layout can be read as one.
            std::vector<AudioChannelLayout> layout(
                (std::max<std::size_t>(inDataSize, sizeof(AudioChannelLayout)) +
                 sizeof(AudioChannelLayout) - 1) /
                sizeof(AudioChannelLayout));
            std::memcpy(layout.data(), inData, inDataSize);
            result = SetAudioChannelLayout(inScope, inElement, layout.data());
            break;
        }

        case kAudioUnitProperty_SetRenderCallback: {
            if (inDataSize < sizeof(AURenderCallbackStruct))
                return kAudioUnitErr_InvalidPropertyValue;
            if (AudioUnitAPIVersion() < 2) return kAudioUnitErr_InvalidProperty;
            const auto callback = LoadValue<AURenderCallbackStruct>(inData);
            // The callback code announces the change with scope Input.
            return SetInputCallback(kAudioUnitProperty_SetRenderCallback, inElement,
                                    callback.inputProc, callback.inputProcRefCon);
        }

        case kAudioUnitProperty_ContextName: {
            if (inDataSize != sizeof(CFStringRef)) return kAudioUnitErr_InvalidPropertyValue;
            if (inScope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            const auto name = LoadValue<CFStringRef>(inData);
            if (!IsStringOrNull(name)) return kAudioUnitErr_InvalidPropertyValue;
            if (name != nullptr) CFRetain(name);
            if (mContextName != nullptr) CFRelease(mContextName);
            mContextName = name;
            break;
        }

        case kAudioUnitProperty_HostCallbacks: {
            if (inScope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            const std::size_t n = std::min<std::size_t>(inDataSize, sizeof(HostCallbackInfo));
            notify = std::memcmp(&mHostCallbackInfo, inData, n) != 0;
            std::memset(&mHostCallbackInfo, 0, sizeof(HostCallbackInfo));
            std::memcpy(&mHostCallbackInfo, inData, n);
            break;
        }

        case kAudioUnitProperty_CurrentPreset:
        case kAudioUnitProperty_PresentPreset: {
            if (inDataSize != sizeof(AUPreset)) return kAudioUnitErr_InvalidPropertyValue;
            if (inScope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            const auto preset = LoadValue<AUPreset>(inData);
            if (preset.presetNumber >= 0) {
                result = NewFactoryPresetSet(preset);
            } else {
                // A user preset: the stored name is never null and always a string.
                if (preset.presetName == nullptr || !IsStringOrNull(preset.presetName))
                    return kAudioUnitErr_InvalidPropertyValue;
                CFRetain(preset.presetName);
                CFRelease(mCurrentPreset.presetName);
                mCurrentPreset = preset;
            }
            break;
        }

        case kAudioUnitProperty_ElementName: {
            AUElement* element = GetElement(inScope, inElement);
            if (element == nullptr) return kAudioUnitErr_InvalidElement;
            if (inDataSize != sizeof(CFStringRef)) return kAudioUnitErr_InvalidPropertyValue;
            const auto name = LoadValue<CFStringRef>(inData);
            if (!IsStringOrNull(name)) return kAudioUnitErr_InvalidPropertyValue;
            element->SetName(name);
            break;
        }

        default:
            result = SetProperty(inID, inScope, inElement, inData, inDataSize);
            break;
    }

    if (result == noErr && notify) PropertyChanged(inID, inScope, inElement);
    return result;
}

// ---- Removing ---------------------------------------------------------------------------------

OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                             AudioUnitElement inElement) {
    switch (inID) {
        case kAudioUnitProperty_ContextName:
            if (mContextName != nullptr) CFRelease(mContextName);
            mContextName = nullptr;
            return noErr;

        case kAudioUnitProperty_HostCallbacks: {
            if (inScope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            static constexpr HostCallbackInfo kCleared{};
            if (std::memcmp(&mHostCallbackInfo, &kCleared, sizeof(HostCallbackInfo)) != 0) {
                mHostCallbackInfo = kCleared;
                PropertyChanged(inID, inScope, inElement);
            }
            return noErr;
        }

        case kAudioUnitProperty_AudioChannelLayout: {
            const OSStatus result = RemoveAudioChannelLayout(inScope, inElement);
            if (result == noErr) PropertyChanged(inID, inScope, inElement);
            return result;
        }

        default:
            return RemovePropertyValue(inID, inScope, inElement);
    }
}

// ---- Default hooks ----------------------------------------------------------------------------

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&,
                                 Boolean&) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void*,
                             UInt32) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::RemovePropertyValue(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    return kAudioUnitErr_InvalidPropertyValue;
}

// The scope's list is that of its element with the most parameters; the first of equals wins.
OSStatus AUBase::GetParameterList(AudioUnitScope inScope, AudioUnitParameterID* outParameterList,
                                  UInt32& outNumParameters) {
    AUScope& scope = GetScope(inScope);
    const AUElement* widest = nullptr;
    UInt32 most = 0;
    for (UInt32 i = 0; i < scope.GetNumberOfElements(); ++i) {
        const AUElement* element = scope.GetElement(i);
        if (element == nullptr) continue;
        const UInt32 count = element->GetNumberOfParameters();
        if (count > most) {
            most = count;
            widest = element;
        }
    }
    if (outParameterList != nullptr && widest != nullptr)
        widest->GetParameterList(outParameterList);
    outNumParameters = most;
    return noErr;
}

OSStatus AUBase::GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo&) {
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

int AUBase::GetNumCustomUIComponents() {
    return 0;
}

void AUBase::GetUIComponentDescs(ComponentDescription*) {}

CFURLRef AUBase::CopyIconLocation() {
    return nullptr;
}

Float64 AUBase::GetLatency() {
    return 0.0;
}

Float64 AUBase::GetTailTime() {
    return 0.0;
}

bool AUBase::SupportsTail() {
    return false;
}

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo**) {
    return 0;
}

bool AUBase::BusCountWritable(AudioUnitScope) {
    return false;
}

// Goes through AUBase::SetNumberOfElements so that the global scope keeps its one element
// whatever a subclass lets the host write.
OSStatus AUBase::SetBusCount(AudioUnitScope inScope, UInt32 inCount) {
    if (IsInitialized()) return kAudioUnitErr_Initialized;
    SetNumberOfElements(inScope, inCount);
    return noErr;
}

// ---- Helpers for subclasses -------------------------------------------------------------------

bool AUBase::HasIcon() {
    CFURLRef icon = CopyIconLocation();
    if (icon == nullptr) return false;
    CFRelease(icon);
    return true;
}

void AUBase::FillInParameterName(AudioUnitParameterInfo& ioInfo, CFStringRef inName,
                                 bool inShouldRelease) {
    ioInfo.cfNameString = inName;
    ioInfo.flags |= kAudioUnitParameterFlag_HasCFNameString;
    if (inShouldRelease) ioInfo.flags |= kAudioUnitParameterFlag_CFNameRelease;
    CFStringGetCString(inName, ioInfo.name, sizeof(ioInfo.name), kCFStringEncodingUTF8);
}
