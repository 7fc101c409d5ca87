#pragma once
// Property values as a hostile host writes them: random bytes, but every pointer field holds a
// harness-owned object or null.

#include <cstring>
#include <memory>
#include <vector>

#include "format/AUPreset.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "tests/fuzz/FuzzHost.h"

namespace marvex::fuzz {

// Objects a value's pointer fields may point at, alive for one fuzz input.
struct Owned {
    InputSource source;
    AudioUnitHandle sourceUnit;
    CFStringRef name = nullptr;
    CFMutableDictionaryRef emptyDictionary = nullptr;
    CFPropertyListRef savedState = nullptr;
    std::vector<std::unique_ptr<UInt8[]>> externalBuffers;  // kept until the unit is closed

    Owned() {
        name = CFStringCreateWithCString(nullptr, "fuzz name", kCFStringEncodingUTF8);
        emptyDictionary = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks);
    }
    ~Owned() {
        CFRelease(name);
        CFRelease(emptyDictionary);
        if (savedState != nullptr) CFRelease(savedState);
    }
};

// True when bytes [offset, offset + width) of a value of `size` bytes exist.
inline bool Covers(UInt32 size, std::size_t offset, std::size_t width) {
    return offset + width <= size;
}

template <typename T>
inline void Put(std::vector<UInt8>& value, std::size_t offset, T field) {
    if (Covers(UInt32(value.size()), offset, sizeof field))
        std::memcpy(value.data() + offset, &field, sizeof field);
}

// Replaces every pointer field of a property value by a harness object or null.
inline void PatchPointers(AudioUnitPropertyID id, std::vector<UInt8>& value, FuzzedDataProvider& in,
                          Owned& owned) {
    const bool null = in.ConsumeIntegralInRange(0, 3) == 0;
    switch (id) {
        case kAudioUnitProperty_ClassInfo: {
            CFTypeRef dict = null ? nullptr
                             : in.ConsumeBool() && owned.savedState != nullptr
                                 ? owned.savedState
                                 : CFTypeRef(owned.emptyDictionary);
            Put(value, 0, dict);
            break;
        }
        case kAudioUnitProperty_MakeConnection: {
            // Never the unit itself: a host that wires a unit to its own input builds a cycle.
            Put(value, offsetof(AudioUnitConnection, sourceAudioUnit),
                null ? nullptr : owned.sourceUnit.Get());
            break;
        }
        case kAudioUnitProperty_SetExternalBuffer: {
            // A block the harness keeps; the declared size never exceeds it, the address may be
            // misaligned.
            const UInt32 bytes = in.ConsumeIntegralInRange<UInt32>(0, 1 << 16);
            const UInt32 misalign = in.ConsumeIntegralInRange<UInt32>(0, 15);
            owned.externalBuffers.emplace_back(new UInt8[bytes + 32]());
            auto addr = reinterpret_cast<std::uintptr_t>(owned.externalBuffers.back().get());
            UInt8* start = reinterpret_cast<UInt8*>(((addr + 15) & ~std::uintptr_t(15)) + misalign);
            Put(value, offsetof(AudioUnitExternalBuffer, buffer), null ? nullptr : start);
            Put(value, offsetof(AudioUnitExternalBuffer, size),
                in.ConsumeIntegralInRange<UInt32>(0, bytes));
            break;
        }
        case kAudioUnitProperty_SetRenderCallback: {
            const AURenderCallbackStruct cb = owned.source.Callback();
            Put(value, offsetof(AURenderCallbackStruct, inputProc),
                null ? AURenderCallback(nullptr) : cb.inputProc);
            Put(value, offsetof(AURenderCallbackStruct, inputProcRefCon), cb.inputProcRefCon);
            break;
        }
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
            Put(value, 0, null ? nullptr : owned.name);
            break;
        case kAudioUnitProperty_CurrentPreset:
        case kAudioUnitProperty_PresentPreset:
            Put(value, offsetof(AUPreset, presetName), null ? nullptr : owned.name);
            break;
        default:
            break;
    }
}

// Properties whose value hands the caller references it must release: read them whole.
inline bool ReturnsReferences(AudioUnitPropertyID id) {
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ParameterValueStrings:
        case kAudioUnitProperty_FactoryPresets:
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
        case kAudioUnitProperty_PresentPreset:
        case kAudioUnitProperty_IconLocation:
        case kAudioUnitProperty_CocoaUI:
            return true;
        default:
            return false;
    }
}

inline void ReleaseReturned(AudioUnitPropertyID id, const std::vector<UInt8>& value) {
    CFTypeRef ref = nullptr;
    const std::size_t at =
        id == kAudioUnitProperty_PresentPreset ? offsetof(AUPreset, presetName) : 0;
    if (value.size() < at + sizeof ref) return;
    std::memcpy(&ref, value.data() + at, sizeof ref);
    if (ref != nullptr) CFRelease(ref);
}

}  // namespace marvex::fuzz
