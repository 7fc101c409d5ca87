// Saved state of AUBase: the class-info dictionary a host stores and gives back, and the preset
// bookkeeping.
//
// Format version 0:
//   "version" 0, "type", "subtype", "manufacturer" (32-bit numbers), "data" (the parameter blob),
//   "name" (the preset name), optionally "render-quality", "cpu-load" and "element-name".
// The blob is a run of element records, every integer big-endian on every host:
//   scope (u32), element (u32), then the element's own block (count N, N pairs id/float bits).
//
// A dictionary handed to RestoreState comes from outside (often from a file), so nothing in it
// is trusted: every value is type-checked before anything is changed, and the blob walk never
// reads past the end of the data.

#include <limits>
#include <new>
#include <vector>

#include "core/AUBase.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/ComponentServices.h"

namespace {

constexpr SInt32 kCurrentSavedStateVersion = 0;
constexpr AudioUnitScope kLastSavedParameterScope = kAudioUnitScope_Output;
constexpr const char* kScopeKeys[AUBase::kNumberOfScopes] = {"0", "1", "2", "3", "4"};

// Holds the one reference a create operation handed out.
template <typename Ref>
class OwnedRef {
public:
    explicit OwnedRef(Ref ref) : mRef(ref) {
        if (mRef == nullptr) throw std::bad_alloc();
    }
    ~OwnedRef() { CFRelease(mRef); }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;

    Ref get() const { return mRef; }
    Ref release() {
        Ref ref = mRef;
        mRef = nullptr;
        return ref;
    }

private:
    Ref mRef;
};

CFMutableDictionaryRef CreateRetainingDictionary() {
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

void AddNumToDictionary(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
    OwnedRef<CFNumberRef> number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(dict, key, number.get());
}

void AppendBigEndian32(CFMutableDataRef data, UInt32 value) {
    const UInt8 bytes[4] = {UInt8(value >> 24), UInt8(value >> 16), UInt8(value >> 8),
                            UInt8(value)};
    CFDataAppendBytes(data, bytes, sizeof bytes);
}

UInt32 ReadBigEndian32(const UInt8* p) {
    return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

bool IsOfType(CFTypeRef value, CFTypeID type) {
    return value != nullptr && CFGetTypeID(value) == type;
}

// An integer-valued number, exactly.
bool GetInteger(CFTypeRef value, SInt64& out) {
    return IsOfType(value, CFNumberGetTypeID()) &&
           CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &out);
}

// Four-character codes are saved as signed 32-bit numbers; a host that rewrote one as its
// unsigned value still matches.
bool MatchesCode(CFTypeRef value, OSType code) {
    SInt64 saved = 0;
    if (!GetInteger(value, saved)) return false;
    if (saved < std::numeric_limits<SInt32>::min() || saved > std::numeric_limits<UInt32>::max())
        return false;
    return UInt32(saved) == code;
}

// A dictionary whose keys and values are all strings.
bool IsStringDictionary(CFTypeRef value) {
    if (!IsOfType(value, CFDictionaryGetTypeID())) return false;
    const auto dict = static_cast<CFDictionaryRef>(value);
    const CFIndex count = CFDictionaryGetCount(dict);
    if (count <= 0) return true;
    std::vector<const void*> keys(static_cast<std::size_t>(count));
    std::vector<const void*> values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!IsOfType(keys[i], CFStringGetTypeID()) || !IsOfType(values[i], CFStringGetTypeID()))
            return false;
    }
    return true;
}

// The element-name dictionary: whatever it holds under a scope key must be a dictionary of
// strings. Other keys are never read.
bool IsElementNameDictionary(CFTypeRef value) {
    if (!IsOfType(value, CFDictionaryGetTypeID())) return false;
    const auto names = static_cast<CFDictionaryRef>(value);
    for (const char* scopeKey : kScopeKeys) {
        const void* scopeNames = nullptr;
        if (CFDictionaryGetValueIfPresent(names, marvex::ConstantString(scopeKey), &scopeNames) &&
            !IsStringDictionary(scopeNames))
            return false;
    }
    return true;
}

}  // namespace

// ---- Saving -----------------------------------------------------------------------------------

OSStatus AUBase::SaveState(CFPropertyListRef* outData) {
    ComponentDescription desc{};
    const OSStatus infoResult =
        GetComponentInfo(GetComponentInstance(), &desc, nullptr, nullptr, nullptr);
    if (infoResult != noErr) return infoResult;

    OwnedRef<CFMutableDictionaryRef> dict(CreateRetainingDictionary());
    AddNumToDictionary(dict.get(), kVersionString, kCurrentSavedStateVersion);
    AddNumToDictionary(dict.get(), kTypeString, SInt32(desc.componentType));
    AddNumToDictionary(dict.get(), kSubtypeString, SInt32(desc.componentSubType));
    AddNumToDictionary(dict.get(), kManufacturerString, SInt32(desc.componentManufacturer));

    {
        OwnedRef<CFMutableDataRef> data(CFDataCreateMutable(kCFAllocatorDefault, 0));
        // Group and part parameters are not saved.
        for (AudioUnitScope s = kAudioUnitScope_Global; s <= kLastSavedParameterScope; ++s) {
            const AUScope& scope = GetScope(s);
            for (UInt32 e = 0; e < scope.GetNumberOfElements(); ++e) {
                const AUElement* element = scope.GetElement(e);
                if (element == nullptr || element->GetNumberOfParameters() == 0) continue;
                AppendBigEndian32(data.get(), s);
                AppendBigEndian32(data.get(), e);
                element->SaveState(data.get());
            }
        }
        CFDictionarySetValue(dict.get(), kDataString, data.get());
    }

    CFDictionarySetValue(dict.get(), kNameString, mCurrentPreset.presetName);

    UInt32 renderQuality = 0;
    if (DispatchGetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0,
                            &renderQuality) == noErr)
        AddNumToDictionary(dict.get(), kRenderQualityString, SInt32(renderQuality));

    Float32 cpuLoad = 0.0f;
    if (DispatchGetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &cpuLoad) ==
        noErr) {
        OwnedRef<CFNumberRef> number(
            CFNumberCreate(kCFAllocatorDefault, kCFNumberFloatType, &cpuLoad));
        CFDictionarySetValue(dict.get(), kCPULoadString, number.get());
    }

    bool anyNamed = false;
    for (AudioUnitScope s = 0; s < kNumberOfScopes && !anyNamed; ++s)
        anyNamed = GetScope(s).HasElementWithName();
    if (anyNamed) {
        OwnedRef<CFMutableDictionaryRef> names(CreateRetainingDictionary());
        CFMutableDictionaryRef namesRef = names.get();
        for (AudioUnitScope s = 0; s < kNumberOfScopes; ++s)
            GetScope(s).AddElementNamesToDict(namesRef);
        CFDictionarySetValue(dict.get(), kElementNameString, names.get());
    }

    *outData = dict.release();
    return noErr;
}

// ---- Restoring --------------------------------------------------------------------------------

// Refusals (-10851) all happen before the first change. Once parameters are being applied, a
// scope number above 4 or an unknown parameter of an indexed element throws and ends the
// restore with the records before it applied; a record for a missing element, or one cut short
// by the end of the data, ends the walk quietly.
OSStatus AUBase::RestoreState(CFPropertyListRef inData) {
    if (!IsOfType(inData, CFDictionaryGetTypeID())) return kAudioUnitErr_InvalidPropertyValue;
    const auto dict = static_cast<CFDictionaryRef>(inData);

    ComponentDescription desc{};
    const OSStatus infoResult =
        GetComponentInfo(GetComponentInstance(), &desc, nullptr, nullptr, nullptr);
    if (infoResult != noErr) return infoResult;

    // A per-part dictionary is not ours to apply.
    if (CFDictionaryContainsKey(dict, kPartString)) return kAudioUnitErr_InvalidPropertyValue;

    SInt64 version = -1;
    if (!GetInteger(CFDictionaryGetValue(dict, kVersionString), version) ||
        version != kCurrentSavedStateVersion)
        return kAudioUnitErr_InvalidPropertyValue;
    // The type is saved but not compared, so state moves between units of different types.
    if (!MatchesCode(CFDictionaryGetValue(dict, kSubtypeString), desc.componentSubType))
        return kAudioUnitErr_InvalidPropertyValue;
    if (!MatchesCode(CFDictionaryGetValue(dict, kManufacturerString), desc.componentManufacturer))
        return kAudioUnitErr_InvalidPropertyValue;

    const void* data = nullptr;
    const void* name = nullptr;
    const void* renderQuality = nullptr;
    const void* cpuLoad = nullptr;
    const void* elementNames = nullptr;
    const bool hasData = CFDictionaryGetValueIfPresent(dict, kDataString, &data);
    const bool hasName = CFDictionaryGetValueIfPresent(dict, kNameString, &name);
    const bool hasQuality =
        CFDictionaryGetValueIfPresent(dict, kRenderQualityString, &renderQuality);
    const bool hasLoad = CFDictionaryGetValueIfPresent(dict, kCPULoadString, &cpuLoad);
    const bool hasNames = CFDictionaryGetValueIfPresent(dict, kElementNameString, &elementNames);
    if ((hasData && !IsOfType(data, CFDataGetTypeID())) ||
        (hasName && !IsOfType(name, CFStringGetTypeID())) ||
        (hasQuality && !IsOfType(renderQuality, CFNumberGetTypeID())) ||
        (hasLoad && !IsOfType(cpuLoad, CFNumberGetTypeID())) ||
        (hasNames && !IsElementNameDictionary(elementNames)))
        return kAudioUnitErr_InvalidPropertyValue;

    if (hasData) {
        const auto blob = static_cast<CFDataRef>(data);
        const UInt8* p = CFDataGetBytePtr(blob);
        const UInt8* const end = p + CFDataGetLength(blob);
        constexpr std::ptrdiff_t kRecordHeaderBytes = 8;
        while (p != nullptr && end - p >= kRecordHeaderBytes) {
            const AudioUnitScope scope = ReadBigEndian32(p);
            const AudioUnitElement elementNumber = ReadBigEndian32(p + 4);
            p += kRecordHeaderBytes;
            AUElement* element = GetScope(scope).GetElement(elementNumber);
            if (element == nullptr) break;
            p = element->RestoreState(p, end);  // null when the block runs past the end
        }
    }

    CFStringRef presetName = hasName ? static_cast<CFStringRef>(name) : kUntitledString;
    CFRetain(presetName);
    CFRelease(mCurrentPreset.presetName);
    mCurrentPreset.presetNumber = -1;  // a restored preset is always a user preset
    mCurrentPreset.presetName = presetName;
    PropertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
    PropertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);

    // The unit may not support these; their results do not matter.
    if (hasQuality) {
        SInt32 value = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(renderQuality), kCFNumberSInt32Type, &value);
        DispatchSetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0, &value,
                            sizeof value);
    }
    if (hasLoad) {
        Float32 value = 0.0f;
        CFNumberGetValue(static_cast<CFNumberRef>(cpuLoad), kCFNumberFloatType, &value);
        DispatchSetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &value,
                            sizeof value);
    }

    if (hasNames) {
        const auto names = static_cast<CFDictionaryRef>(elementNames);
        for (AudioUnitScope s = 0; s < kNumberOfScopes; ++s) {
            const void* scopeNames = nullptr;
            if (!CFDictionaryGetValueIfPresent(names, marvex::ConstantString(kScopeKeys[s]),
                                               &scopeNames))
                continue;
            auto scopeDict = static_cast<CFDictionaryRef>(scopeNames);
            if (GetScope(s).RestoreElementNames(scopeDict))
                PropertyChanged(kAudioUnitProperty_ElementCount, s, 0);
        }
    }
    return noErr;
}

// ---- Presets ----------------------------------------------------------------------------------

OSStatus AUBase::GetPresets(CFArrayRef*) const {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) {
    return kAudioUnitErr_InvalidProperty;
}
