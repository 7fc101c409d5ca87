// Random selector blocks against a live unit: any selector number (open and close aside, which
// the registry owns), argument words with random ids, scopes, elements, sizes and counts, and
// pointer arguments that are null or point at harness-owned blocks of the size the call
// declares. The fast paths the unit hands out are called the same way. Listeners and render
// notifications re-enter the unit while they are called.

#include <vector>

#include "format/AudioUnitCalls.h"
#include "format/AudioUnitParameterEvent.h"
#include "tests/fuzz/FuzzProperties.h"

namespace {

using namespace marvex;

struct Session {
    AudioUnitHandle unit;
    fuzz::Owned owned;
    AudioUnitHandle::FastPaths fast;
    UInt32 listenerCalls = 0;
    UInt32 notifyCalls = 0;
};

// A property listener that reads the property it hears about, as a view would.
void Listener(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
              AudioUnitElement element) {
    auto* s = static_cast<Session*>(refCon);
    if (s == nullptr || ++s->listenerCalls > 64) return;
    UInt32 size = 0;
    AudioUnitGetPropertyInfo(unit, id, scope, element, &size, nullptr);
}

// A render notification that reads a parameter through the fast path, as a meter would.
OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32,
                UInt32, AudioBufferList*) {
    auto* s = static_cast<Session*>(refCon);
    if (flags == nullptr) marvex::fuzz::Fail("render notification without flags");
    if (s != nullptr && s->fast.getParameter != nullptr) {
        ++s->notifyCalls;
        AudioUnitParameterValue v;
        s->fast.getParameter(s->fast.storage, 0, kAudioUnitScope_Global, 0, &v);
    }
    return noErr;
}

ComponentParameterWord Scalar(FuzzedDataProvider& in, UInt32 small) {
    return in.ConsumeIntegralInRange(0, 7) == 0
               ? ComponentParameterWord(in.ConsumeIntegral<UInt32>())
               : ComponentParameterWord(in.ConsumeIntegralInRange<UInt32>(0, small));
}

// Keeps the blocks pointer arguments point at alive until the call returns.
struct Blocks {
    std::vector<std::unique_ptr<UInt8[]>> blocks;
    std::vector<std::unique_ptr<fuzz::HostBufferList>> lists;
    UInt8* New(std::size_t size) {
        blocks.emplace_back(new UInt8[size == 0 ? 1 : size]());
        return blocks.back().get();
    }
};

void OneSelector(FuzzedDataProvider& in, Session& s) {
    static constexpr SInt16 kSelectors[] = {-4, -3, 0,  1,  2,  3,  4,  5,  6,  7,  8,
                                            9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    SInt16 what = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<SInt16>()
                                                       : in.PickValueInArray(kSelectors);
    if (what == kComponentOpenSelect || what == kComponentCloseSelect)
        what = kComponentVersionSelect;
    Blocks b;
    std::vector<ComponentParameterWord> args;
    const bool null = in.ConsumeIntegralInRange(0, 7) == 0;
    const AudioUnitPropertyID id = UInt32(Scalar(in, 40));
    switch (what) {
        case kAudioUnitGetPropertyInfoSelect: {
            args = {PackUInt32(id), Scalar(in, 5), Scalar(in, 3),
                    in.ConsumeBool() ? PackPointer(b.New(4)) : 0,
                    in.ConsumeBool() ? PackPointer(b.New(1)) : 0};
            break;
        }
        case kAudioUnitGetPropertySelect: {
            const AudioUnitScope scope = UInt32(Scalar(in, 5));
            const AudioUnitElement element = UInt32(Scalar(in, 3));
            UInt32 size = in.ConsumeIntegralInRange<UInt32>(0, 128);
            if (fuzz::ReturnsReferences(id)) {
                UInt32 needed = 0;
                if (s.unit.GetPropertyInfo(id, scope, element, &needed, nullptr) != noErr) break;
                size = needed;  // references handed out must be received whole and released
            }
            UInt8* out = b.New(size);
            auto* ioSize = reinterpret_cast<UInt32*>(b.New(4));
            *ioSize = size;
            args = {PackUInt32(id), PackUInt32(scope), PackUInt32(element),
                    null && !fuzz::ReturnsReferences(id) ? 0 : PackPointer(out),
                    in.ConsumeIntegralInRange(0, 15) == 0 ? 0 : PackPointer(ioSize)};
            const ComponentResult err =
                CallComponentSelector(s.unit.Get(), what, args.data(), UInt32(args.size()));
            if (err == noErr && args[3] != 0 && fuzz::ReturnsReferences(id))
                fuzz::ReleaseReturned(id, std::vector<UInt8>(out, out + size));
            return;
        }
        case kAudioUnitSetPropertySelect: {
            const UInt32 size = in.ConsumeIntegralInRange<UInt32>(0, 120);
            std::vector<UInt8> value = in.ConsumeBytes<UInt8>(size);
            value.resize(size);
            fuzz::PatchPointers(id, value, in, s.owned);
            UInt8* block = b.New(size);
            std::copy(value.begin(), value.end(), block);
            args = {PackUInt32(id), Scalar(in, 5), Scalar(in, 3), null ? 0 : PackPointer(block),
                    PackUInt32(in.ConsumeBool() ? size : 0)};
            break;
        }
        case kAudioUnitGetParameterSelect:
            args = {Scalar(in, 9), Scalar(in, 5), Scalar(in, 3), null ? 0 : PackPointer(b.New(4))};
            break;
        case kAudioUnitSetParameterSelect:
            args = {Scalar(in, 9), Scalar(in, 5), Scalar(in, 3),
                    PackUInt32(in.ConsumeIntegral<UInt32>()), Scalar(in, 4096)};
            break;
        case kAudioUnitResetSelect:
            args = {Scalar(in, 5), Scalar(in, 3)};
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
            auto* events = reinterpret_cast<AudioUnitParameterEvent*>(
                b.New(count * sizeof(AudioUnitParameterEvent)));
            for (UInt32 i = 0; i < count; ++i) {
                const std::vector<UInt8> bytes = in.ConsumeBytes<UInt8>(sizeof *events);
                std::copy(bytes.begin(), bytes.end(), reinterpret_cast<UInt8*>(&events[i]));
            }
            args = {null ? 0 : PackPointer(events), PackUInt32(count)};
            break;
        }
        case kAudioUnitRenderSelect: {
            // An honest host has room for the frames it asks for when they are within the
            // unit's slice; it asks for no more than 65536 of them, so buffers stay small.
            UInt32 frames = UInt32(Scalar(in, 1024));
            UInt32 maxFrames = 0;
            s.unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                               maxFrames);
            if (frames <= maxFrames && frames > 65536) frames = 65536;
            const UInt32 room = frames <= maxFrames ? frames * 4 : 4096;
            const UInt32 buffers = in.ConsumeIntegralInRange<UInt32>(0, 3);
            b.lists.emplace_back(
                new fuzz::HostBufferList(buffers, std::vector<UInt32>(buffers, room),
                                         std::vector<bool>(buffers, in.ConsumeBool()), 1, room));
            auto* ts = reinterpret_cast<AudioTimeStamp*>(b.New(sizeof(AudioTimeStamp)));
            ts->mSampleTime = Float64(in.ConsumeIntegralInRange<SInt32>(-1, 1 << 20));
            args = {in.ConsumeBool() ? PackPointer(b.New(4)) : 0, null ? 0 : PackPointer(ts),
                    Scalar(in, 1), PackUInt32(frames),
                    in.ConsumeIntegralInRange(0, 7) == 0 ? 0 : PackPointer(b.lists.back()->Get())};
            break;
        }
        case kAudioUnitInitializeSelect:
            if (!fuzz::BuffersFitInMemory(s.unit)) return;
            break;
        default: {
            // Selectors without pointer arguments, or unknown ones: scalar words only.
            for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n)
                args.push_back(Scalar(in, 20));
            break;
        }
    }
    CallComponentSelector(s.unit.Get(), what, args.data(), UInt32(args.size()));
}

void OneFastPath(FuzzedDataProvider& in, Session& s) {
    const auto id = UInt32(Scalar(in, 9));
    const auto scope = UInt32(Scalar(in, 5));
    const auto element = UInt32(Scalar(in, 3));
    if (in.ConsumeBool() && s.fast.getParameter != nullptr) {
        AudioUnitParameterValue v;
        s.fast.getParameter(s.fast.storage, id, scope, element, in.ConsumeBool() ? &v : nullptr);
    } else if (s.fast.setParameter != nullptr) {
        s.fast.setParameter(s.fast.storage, id, scope, element, in.ConsumeFloatingPoint<float>(),
                            UInt32(Scalar(in, 512)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fuzz::ValueLeakCheck leaks;
    {
        Session s;
        s.owned.sourceUnit = fuzz::OpenUnit();
        s.unit = fuzz::OpenUnit();
        s.unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                           s.owned.source.Callback());
        s.unit.GetFastPaths(s.fast);
        for (int calls = 0; calls < 64 && in.remaining_bytes() > 0; ++calls) {
            if (in.ConsumeIntegralInRange(0, 5) == 0)
                OneFastPath(in, s);
            else
                OneSelector(in, s);
        }
        s.unit.Close();
    }
    leaks.Verify();
    return 0;
}
