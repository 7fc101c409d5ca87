// Saved state a host hands back: class-info dictionaries built from the input, with the keys a
// unit looks for holding values of any type, parameter blobs both random and nearly valid, and
// element-name dictionaries with hostile keys. Whatever the unit accepted, it must then save a
// dictionary that restores cleanly and saves again to the same thing, and still render.

#include <string>

#include "format/CFArray.h"
#include "format/CFBoolean.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "tests/fuzz/FuzzHost.h"

namespace {

using namespace marvex;

CFMutableDictionaryRef NewDictionary() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// A string of the text, or of its bytes spelled in hex when it is not valid UTF-8.
CFStringRef NewString(const std::string& text) {
    if (CFStringRef s = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8))
        return s;
    std::string hex;
    for (unsigned char c : text)
        hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    return CFStringCreateWithCString(nullptr, hex.c_str(), kCFStringEncodingUTF8);
}

CFTypeRef NewNumber(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            const SInt32 v = in.ConsumeIntegral<SInt32>();
            return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
        }
        case 1: {
            const SInt64 v = in.ConsumeIntegral<SInt64>();
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
        }
        case 2: {
            const Float32 v = in.ConsumeFloatingPoint<Float32>();
            return CFNumberCreate(nullptr, kCFNumberFloat32Type, &v);
        }
        default: {
            const Float64 v = in.ConsumeFloatingPoint<Float64>();
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
        }
    }
}

// Any value at all, nested up to `depth`.
CFTypeRef NewAnyValue(FuzzedDataProvider& in, int depth) {
    switch (in.ConsumeIntegralInRange(0, depth > 0 ? 5 : 3)) {
        case 0:
            return NewNumber(in);
        case 1:
            return NewString(in.ConsumeRandomLengthString(40));
        case 2: {
            const std::string bytes = in.ConsumeRandomLengthString(64);
            return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                CFIndex(bytes.size()));
        }
        case 3:
            return CFRetain(in.ConsumeBool() ? kCFBooleanTrue : kCFBooleanFalse);
        case 4: {
            CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
            for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
                CFTypeRef v = NewAnyValue(in, depth - 1);
                CFArrayAppendValue(array, v);
                CFRelease(v);
            }
            return array;
        }
        default: {
            CFMutableDictionaryRef dict = NewDictionary();
            for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
                CFStringRef key = NewString(in.ConsumeRandomLengthString(8));
                CFTypeRef v = NewAnyValue(in, depth - 1);
                CFDictionarySetValue(dict, key, v);
                CFRelease(key);
                CFRelease(v);
            }
            return dict;
        }
    }
}

void AppendU32(std::string& blob, UInt32 v) {
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    blob.append(bytes, 4);
}

// A parameter blob: element records of scope, element, count and (id, value) pairs, all
// big-endian, with every field drawn near the values a unit has and sometimes far off.
std::string NearlyValidBlob(FuzzedDataProvider& in) {
    std::string blob;
    for (int records = in.ConsumeIntegralInRange(0, 4); records > 0; --records) {
        AppendU32(blob, in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, 5)
                                         : in.ConsumeIntegral<UInt32>());
        AppendU32(blob, in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, 2)
                                         : in.ConsumeIntegral<UInt32>());
        const UInt32 pairs = in.ConsumeIntegralInRange<UInt32>(0, 9);
        AppendU32(blob, in.ConsumeBool() ? pairs : in.ConsumeIntegral<UInt32>());
        for (UInt32 i = 0; i < pairs; ++i) {
            AppendU32(blob, in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, 8)
                                             : in.ConsumeIntegral<UInt32>());
            AppendU32(blob, in.ConsumeIntegral<UInt32>());  // any float bit pattern
        }
    }
    if (in.ConsumeBool()) blob.resize(blob.size() - std::min<std::size_t>(blob.size(), 3));
    return blob;
}

// Element names: scope keys "0" to "4" (or anything), element keys small, huge, negative or
// not numbers at all, values mostly strings.
CFTypeRef NewElementNames(FuzzedDataProvider& in) {
    CFMutableDictionaryRef names = NewDictionary();
    for (int scopes = in.ConsumeIntegralInRange(0, 4); scopes > 0; --scopes) {
        const std::string scopeKey = in.ConsumeBool()
                                         ? std::to_string(in.ConsumeIntegralInRange(0, 5))
                                         : in.ConsumeRandomLengthString(12);
        CFTypeRef scopeValue;
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            scopeValue = NewAnyValue(in, 1);
        } else {
            CFMutableDictionaryRef elements = NewDictionary();
            for (int n = in.ConsumeIntegralInRange(0, 5); n > 0; --n) {
                std::string key;
                switch (in.ConsumeIntegralInRange(0, 3)) {
                    case 0:
                        key = std::to_string(in.ConsumeIntegralInRange(0, 8));
                        break;
                    case 1:
                        key = std::to_string(in.ConsumeIntegral<UInt32>());
                        break;
                    case 2:
                        key = std::to_string(in.ConsumeIntegral<SInt64>());
                        break;
                    default:
                        key = in.ConsumeRandomLengthString(40);
                        break;
                }
                CFStringRef k = NewString(key);
                CFTypeRef v = in.ConsumeIntegralInRange(0, 5) == 0
                                  ? NewAnyValue(in, 0)
                                  : NewString(in.ConsumeRandomLengthString(20));
                CFDictionarySetValue(elements, k, v);
                CFRelease(k);
                CFRelease(v);
            }
            scopeValue = elements;
        }
        CFStringRef k = NewString(scopeKey);
        CFDictionarySetValue(names, k, scopeValue);
        CFRelease(k);
        CFRelease(scopeValue);
    }
    return names;
}

void SetKey(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFStringRef k = NewString(key);
    CFDictionarySetValue(dict, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFTypeRef NumberOrAny(FuzzedDataProvider& in, SInt32 right) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0:
            return NewAnyValue(in, 1);
        case 1:
            return NewNumber(in);
        default:
            return CFNumberCreate(nullptr, kCFNumberSInt32Type, &right);
    }
}

// A dictionary shaped like saved state, each key present or not and right or wrong.
CFTypeRef NewClassInfo(FuzzedDataProvider& in, const ComponentDescription& desc) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) return NewAnyValue(in, 2);
    CFMutableDictionaryRef dict = NewDictionary();
    if (in.ConsumeIntegralInRange(0, 7) != 0) SetKey(dict, "version", NumberOrAny(in, 0));
    if (in.ConsumeBool()) SetKey(dict, "type", NumberOrAny(in, SInt32(desc.componentType)));
    if (in.ConsumeIntegralInRange(0, 7) != 0)
        SetKey(dict, "subtype", NumberOrAny(in, SInt32(desc.componentSubType)));
    if (in.ConsumeIntegralInRange(0, 7) != 0)
        SetKey(dict, "manufacturer", NumberOrAny(in, SInt32(desc.componentManufacturer)));
    if (in.ConsumeIntegralInRange(0, 3) != 0) {
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            SetKey(dict, "data", NewAnyValue(in, 1));
        } else {
            const std::string blob =
                in.ConsumeBool() ? NearlyValidBlob(in) : in.ConsumeRandomLengthString(200);
            SetKey(dict, "data",
                   CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(blob.data()),
                                CFIndex(blob.size())));
        }
    }
    if (in.ConsumeBool())
        SetKey(dict, "name",
               in.ConsumeIntegralInRange(0, 5) == 0 ? NewAnyValue(in, 1)
                                                    : NewString(in.ConsumeRandomLengthString(60)));
    if (in.ConsumeIntegralInRange(0, 3) == 0) SetKey(dict, "render-quality", NewAnyValue(in, 0));
    if (in.ConsumeIntegralInRange(0, 3) == 0) SetKey(dict, "cpu-load", NewAnyValue(in, 0));
    if (in.ConsumeBool())
        SetKey(dict, "element-name",
               in.ConsumeIntegralInRange(0, 7) == 0 ? NewAnyValue(in, 1) : NewElementNames(in));
    if (in.ConsumeIntegralInRange(0, 31) == 0) SetKey(dict, "part", NewAnyValue(in, 0));
    return dict;
}

CFPropertyListRef Save(AudioUnitHandle& unit) {
    CFPropertyListRef saved = nullptr;
    if (unit.GetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, saved) != noErr ||
        saved == nullptr)
        fuzz::Fail("the unit cannot save its state");
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fuzz::ValueLeakCheck leaks;
    {
        ComponentDescription desc{};
        GetComponentDescription(fuzz::UnitComponent(), &desc);
        CFTypeRef classInfo = NewClassInfo(in, desc);
        AudioUnitHandle unit = fuzz::OpenUnit();
        const AudioUnitScope scope =
            in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegral<UInt32>() : 0;
        if (in.ConsumeBool()) unit.Initialize();
        unit.SetProperty(kAudioUnitProperty_ClassInfo, scope, 0, classInfo);
        CFRelease(classInfo);

        // What the unit saves now is its own state: it must restore and save the same again.
        CFPropertyListRef saved = Save(unit);
        if (unit.SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, saved) !=
            noErr)
            fuzz::Fail("the unit refused the state it saved");
        CFPropertyListRef again = Save(unit);
        if (!CFEqual(saved, again)) fuzz::Fail("saved state changed across a restore");
        CFRelease(again);
        CFRelease(saved);

        unit.Uninitialize();
        fuzz::InputSource source;
        fuzz::InitialiseAndRender(unit, source, 2);
    }
    leaks.Verify();
    return 0;
}
