// Random selector blocks against a live unit: any selector number (open and close aside, which the
// registry owns), argument words with random ids, scopes, elements, sizes and counts, and pointer
// arguments that are null or point at harness-owned blocks of the size the call declares. Property
// values are random bytes whose pointer fields hold harness-owned objects or null. Listeners
// re-enter the unit while they are called.

#include <vector>

#include "format/AUPreset.h"
#include "format/AudioUnitCalls.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "tests/fuzz/FuzzHarness.h"

namespace {

using namespace marvex;

// The unit under test and the objects pointer arguments may point at, alive for one input.
struct Session {
    AudioUnitHandle unit = fuzz::OpenUnit();
    AudioUnitHandle sourceUnit = fuzz::OpenUnit();  // never the unit itself: that is a cycle
    CFStringRef name = CFStringCreateWithCString(nullptr, "fuzz name", kCFStringEncodingUTF8);
    CFMutableDictionaryRef emptyDictionary = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    std::vector<UInt8> external = std::vector<UInt8>((1 << 16) + 16);  // kept until the unit closes
    UInt32 listenerCalls = 0;

    ~Session() {
        unit.Close();
        CFRelease(emptyDictionary);
        CFRelease(name);
    }
};

// A property listener that reads the property it hears about, as a view would.
void Listener(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
              AudioUnitElement element) {
    auto* s = static_cast<Session*>(refCon);
    if (s == nullptr || ++s->listenerCalls > 64) return;
    UInt32 size = 0;
    AudioUnitGetPropertyInfo(unit, id, scope, element, &size, nullptr);
}

// A render notification: the unit must hand it its flags.
OSStatus Notify(void*, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*) {
    if (flags == nullptr) fuzz::Fail("render notification without flags");
    return noErr;
}

// A scalar argument word: mostly a number up to `small`, one time in eight any number.
ComponentParameterWord Scalar(FuzzedDataProvider& in, UInt32 small) {
    return PackUInt32(in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<UInt32>()
                                                           : in.ConsumeIntegralInRange(0u, small));
}

template <typename T>
void Put(std::vector<UInt8>& value, std::size_t offset, T field) {
    if (offset + sizeof field <= value.size()) std::memcpy(&value[offset], &field, sizeof field);
}

// Replaces every pointer field of a property value by a harness object or null.
void PatchPointers(AudioUnitPropertyID id, std::vector<UInt8>& value, FuzzedDataProvider& in,
                   Session& s) {
    const bool null = in.ConsumeIntegralInRange(0, 3) == 0;
    const auto pointer = [null](auto p) { return null ? nullptr : p; };
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
            return Put(value, 0, pointer(CFTypeRef(s.emptyDictionary)));
        case kAudioUnitProperty_MakeConnection:
            return Put(value, offsetof(AudioUnitConnection, sourceAudioUnit),
                       pointer(s.sourceUnit.Get()));
        case kAudioUnitProperty_SetExternalBuffer:
            // The declared size never exceeds the session's block; the address may be misaligned.
            Put(value, offsetof(AudioUnitExternalBuffer, buffer),
                pointer(s.external.data() + in.ConsumeIntegralInRange(0, 15)));
            return Put(value, offsetof(AudioUnitExternalBuffer, size),
                       in.ConsumeIntegralInRange<UInt32>(0, 1 << 16));
        case kAudioUnitProperty_SetRenderCallback:
            return Put(value, offsetof(AURenderCallbackStruct, inputProc),
                       pointer(&fuzz::RenderInput));
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
            return Put(value, 0, pointer(s.name));
        case kAudioUnitProperty_CurrentPreset:
        case kAudioUnitProperty_PresentPreset:
            return Put(value, offsetof(AUPreset, presetName), pointer(s.name));
    }
}

// Where a property's value hands the caller a reference it must release (read such values whole),
// or -1.
int ReturnedReferenceAt(AudioUnitPropertyID id) {
    switch (id) {
        case kAudioUnitProperty_PresentPreset:
            return offsetof(AUPreset, presetName);
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ParameterValueStrings:
        case kAudioUnitProperty_FactoryPresets:
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
        case kAudioUnitProperty_IconLocation:
        case kAudioUnitProperty_CocoaUI:
            return 0;
        default:
            return -1;
    }
}

void OneSelector(FuzzedDataProvider& in, Session& s) {
    SInt16 what = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<SInt16>()
                                                       : in.ConsumeIntegralInRange<SInt16>(-4, 19);
    if (what == kComponentOpenSelect || what == kComponentCloseSelect)
        what = kComponentVersionSelect;
    // Blocks pointer arguments point at, alive until the call returns.
    std::vector<std::unique_ptr<UInt8[]>> blocks;
    const auto block = [&](std::size_t size) {
        blocks.emplace_back(new UInt8[size == 0 ? 1 : size]());
        return blocks.back().get();
    };
    std::unique_ptr<test::HostBufferList> list;
    std::vector<ComponentParameterWord> args;
    const bool null = in.ConsumeIntegralInRange(0, 7) == 0;
    const AudioUnitPropertyID id = UInt32(Scalar(in, 40));
    const int reference = ReturnedReferenceAt(id);
    switch (what) {
        case kAudioUnitGetPropertyInfoSelect:
            args = {PackUInt32(id), Scalar(in, 5), Scalar(in, 3),
                    in.ConsumeBool() ? PackPointer(block(4)) : 0,
                    in.ConsumeBool() ? PackPointer(block(1)) : 0};
            break;
        case kAudioUnitGetPropertySelect: {
            const auto scope = UInt32(Scalar(in, 5)), element = UInt32(Scalar(in, 3));
            UInt32 size = in.ConsumeIntegralInRange<UInt32>(0, 128);
            // References handed out must be received whole and released.
            if (reference >= 0 &&
                s.unit.GetPropertyInfo(id, scope, element, &size, nullptr) != noErr)
                return;
            UInt8* out = block(size);
            auto* ioSize = reinterpret_cast<UInt32*>(block(4));
            *ioSize = size;
            args = {PackUInt32(id), PackUInt32(scope), PackUInt32(element),
                    null && reference < 0 ? 0 : PackPointer(out),
                    in.ConsumeIntegralInRange(0, 15) == 0 ? 0 : PackPointer(ioSize)};
            CFTypeRef ref = nullptr;
            if (CallComponentSelector(s.unit.Get(), what, args.data(), 5) == noErr &&
                args[3] != 0 && reference >= 0 && reference + sizeof ref <= size) {
                std::memcpy(&ref, out + reference, sizeof ref);
                if (ref != nullptr) CFRelease(ref);
            }
            return;
        }
        case kAudioUnitSetPropertySelect: {
            const UInt32 size = in.ConsumeIntegralInRange<UInt32>(0, 120);
            std::vector<UInt8> value = in.ConsumeBytes<UInt8>(size);
            value.resize(size);
            PatchPointers(id, value, in, s);
            UInt8* bytes = block(size);
            std::copy(value.begin(), value.end(), bytes);
            args = {PackUInt32(id), Scalar(in, 5), Scalar(in, 3), null ? 0 : PackPointer(bytes),
                    PackUInt32(in.ConsumeBool() ? size : 0)};
            break;
        }
        case kAudioUnitGetParameterSelect:
            args = {Scalar(in, 9), Scalar(in, 5), Scalar(in, 3), null ? 0 : PackPointer(block(4))};
            break;
        case kAudioUnitSetParameterSelect:
            args = {Scalar(in, 9), Scalar(in, 5), Scalar(in, 3),
                    PackUInt32(in.ConsumeIntegral<UInt32>()), Scalar(in, 4096)};
            break;
        case kAudioUnitAddPropertyListenerSelect:
        case kAudioUnitRemovePropertyListenerWithUserDataSelect:
            args = {PackUInt32(id), null ? 0 : PackProc(&Listener),
                    in.ConsumeBool() ? PackPointer(&s) : 0};
            break;
        case kAudioUnitRemovePropertyListenerSelect:
            args = {PackUInt32(id), null ? 0 : PackProc(&Listener)};
            break;
        case kAudioUnitAddRenderNotifySelect:
        case kAudioUnitRemoveRenderNotifySelect:
            args = {null ? 0 : PackProc(&Notify), in.ConsumeBool() ? PackPointer(&s) : 0};
            break;
        case kAudioUnitScheduleParametersSelect: {
            const UInt32 count = in.ConsumeIntegralInRange<UInt32>(0, 6);
            UInt8* events = block(count * sizeof(AudioUnitParameterEvent));
            const std::vector<UInt8> bytes =
                in.ConsumeBytes<UInt8>(count * sizeof(AudioUnitParameterEvent));
            std::copy(bytes.begin(), bytes.end(), events);
            args = {null ? 0 : PackPointer(events), PackUInt32(count)};
            break;
        }
        case kAudioUnitRenderSelect: {
            // An honest host has room for the frames it asks for when they are within the unit's
            // slice; it asks for no more than 65536 of them, so buffers stay small.
            UInt32 frames = UInt32(Scalar(in, 1024)), maxFrames = 0;
            s.unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                               maxFrames);
            if (frames <= maxFrames) frames = std::min<UInt32>(frames, 65536);
            const UInt32 room = frames <= maxFrames ? frames * 4 : 4096;
            const UInt32 buffers = in.ConsumeIntegralInRange<UInt32>(0, 3);
            // The sizes a list states are what the last render wrote: any number.
            const UInt32 stated = in.ConsumeIntegralInRange<UInt32>(0, room + 8);
            list = std::make_unique<test::HostBufferList>(buffers, stated, room, !in.ConsumeBool());
            auto* ts = reinterpret_cast<AudioTimeStamp*>(block(sizeof(AudioTimeStamp)));
            ts->mSampleTime = Float64(in.ConsumeIntegralInRange<SInt32>(-1, 1 << 20));
            args = {in.ConsumeBool() ? PackPointer(block(4)) : 0, null ? 0 : PackPointer(ts),
                    Scalar(in, 1), PackUInt32(frames),
                    in.ConsumeIntegralInRange(0, 7) == 0 ? 0 : PackPointer(&list->get())};
            break;
        }
        case kAudioUnitInitializeSelect:
            if (!fuzz::BuffersFitInMemory(s.unit)) return;
            break;
        default:
            // Selectors without pointer arguments, or unknown ones: scalar words only.
            for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n)
                args.push_back(Scalar(in, 20));
            break;
    }
    CallComponentSelector(s.unit.Get(), what, args.data(), UInt32(args.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::RunInput(data, size, [](FuzzedDataProvider& in) {
        Session s;
        s.unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                           fuzz::kInput);
        for (int calls = 0; calls < 64 && in.remaining_bytes() > 0; ++calls) OneSelector(in, s);
    });
}
