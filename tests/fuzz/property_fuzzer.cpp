// Property calls of a hostile host: writes of random bytes and sizes, reads into buffers of any
// size, removals and info queries, for every property id in any scope and element, in any
// order and in either state of the unit, followed by a render. Fields that hold pointers get
// harness-owned objects (or null), because a host that passes wild pointers is not a host.

#include "tests/fuzz/FuzzProperties.h"

namespace {

using namespace marvex;
using fuzz::Owned;

AudioUnitPropertyID PickProperty(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) return in.ConsumeIntegral<UInt32>();
    return in.ConsumeIntegralInRange<UInt32>(0, 64);
}

AudioUnitScope PickScope(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegral<UInt32>()
                                                 : in.ConsumeIntegralInRange<UInt32>(0, 5);
}

AudioUnitElement PickElement(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegral<UInt32>()
                                                 : in.ConsumeIntegralInRange<UInt32>(0, 3);
}

void OneCall(FuzzedDataProvider& in, AudioUnitHandle& unit, Owned& owned) {
    const AudioUnitPropertyID id = PickProperty(in);
    const AudioUnitScope scope = PickScope(in);
    const AudioUnitElement element = PickElement(in);
    switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: {
            UInt32 size = 0;
            Boolean writable = false;
            unit.GetPropertyInfo(id, scope, element, in.ConsumeBool() ? &size : nullptr,
                                 in.ConsumeBool() ? &writable : nullptr);
            break;
        }
        case 1:
        case 2: {
            UInt32 needed = 0;
            const OSStatus info = unit.GetPropertyInfo(id, scope, element, &needed, nullptr);
            UInt32 size = in.ConsumeIntegralInRange<UInt32>(0, 128);
            if (fuzz::ReturnsReferences(id)) size = info == noErr ? needed : 0;
            std::vector<UInt8> value(size);
            UInt32 ioSize = size;
            const OSStatus err =
                unit.GetProperty(id, scope, element, size ? value.data() : nullptr, &ioSize);
            if (ioSize > size && size != 0) fuzz::Fail("a read reported more than the buffer");
            if (err == noErr && size != 0 && fuzz::ReturnsReferences(id))
                fuzz::ReleaseReturned(id, value);
            break;
        }
        case 3:
            unit.SetProperty(id, scope, element, nullptr, 0);  // removal
            break;
        case 4:
            if (in.ConsumeBool())
                unit.Initialize();
            else
                unit.Uninitialize();
            break;
        default: {
            // A write; sizes cluster around the sizes of real values.
            static constexpr UInt32 kSizes[] = {1, 4, 8, 12, 16, 24, 32, 36, 40, 84, 104};
            const UInt32 size = in.ConsumeBool() ? in.PickValueInArray(kSizes)
                                                 : in.ConsumeIntegralInRange<UInt32>(0, 300);
            std::vector<UInt8> value = in.ConsumeBytes<UInt8>(size);
            value.resize(size);
            fuzz::PatchPointers(id, value, in, owned);
            // A separate block of exactly `size` bytes, so reading past it is caught.
            std::unique_ptr<UInt8[]> block(new UInt8[size == 0 ? 1 : size]);
            if (size != 0) std::memcpy(block.get(), value.data(), size);
            unit.SetProperty(id, scope, element,
                             in.ConsumeIntegralInRange(0, 31) ? block.get() : nullptr, size);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fuzz::ValueLeakCheck leaks;
    {
        Owned owned;
        owned.sourceUnit = fuzz::OpenUnit();
        AudioUnitHandle unit = fuzz::OpenUnit();
        owned.sourceUnit.GetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                     owned.savedState);
        for (int calls = 0; calls < 48 && in.remaining_bytes() > 0; ++calls)
            OneCall(in, unit, owned);
        unit.Uninitialize();
        fuzz::InitialiseAndRender(unit, owned.source, 2);
        unit.Close();
    }
    leaks.Verify();
    return 0;
}
