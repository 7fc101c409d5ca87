#pragma once
// The harness every fuzz target shares: a hostile but honest host. Every value is chosen by the
// fuzzer, but every pointer the unit receives points at memory this harness owns and sized as the
// call says, so whatever breaks is the unit's fault. Buffers are separate heap blocks of exactly
// the size they promise, so AddressSanitizer sees the first byte read or written past.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "format/AURenderCallbackStruct.h"
#include "format/AudioBufferList.h"
#include "format/AudioStreamBasicDescription.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitHandle.h"
#include "format/AudioUnitProperties.h"
#include "format/CFBase.h"
#include "format/ComponentServices.h"
#include "tests/support/HostBufferList.h"

extern "C" ComponentResult MarvexEntry(ComponentParameters* params, void* storage);

namespace marvex::fuzz {

// Aborts with a message: libFuzzer records the input that got here.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

// Runs one input through `body`: whatever the input did, once everything the body made is gone, no
// counted property-list value may be left over or released once too often.
template <typename Body>
int RunInput(const uint8_t* data, size_t size, Body body) {
    const long before = LiveValueCount();
    FuzzedDataProvider in(data, size);
    body(in);
    if (LiveValueCount() != before) Fail("property-list values leaked or over-released");
    return 0;
}

// The tuner, registered once per process and opened through the registry like a host does.
inline AudioUnitHandle OpenUnit() {
    static const Component component = [] {
        const ComponentDescription desc{kAudioUnitType_Effect, FourCC("mrvx"), FourCC("Mrvx"), 0,
                                        0};
        return RegisterComponentEntry(&desc, &MarvexEntry, "tuner under fuzz", 1);
    }();
    AudioUnitHandle unit;
    if (AudioUnitHandle::Open(component, unit) != noErr) Fail("cannot open the unit");
    return unit;
}

// The host side of the input: a render callback that fills whatever buffers the unit hands it with
// a few normal floats.
inline OSStatus RenderInput(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                            UInt32, AudioBufferList* io) {
    static constexpr float kValues[4] = {0.5f, -0.25f, 0.75f, -1.0f};
    if (io == nullptr) Fail("input callback given a null buffer list");
    for (UInt32 b = 0; b < io->mNumberBuffers; ++b) {
        auto* bytes = static_cast<UInt8*>(io->mBuffers[b].mData);
        for (UInt32 i = 0; bytes != nullptr && i + 4 <= io->mBuffers[b].mDataByteSize; i += 4)
            std::memcpy(bytes + i, &kValues[(b + i / 4) & 3], 4);
    }
    return noErr;
}
constexpr AURenderCallbackStruct kInput{&RenderInput, nullptr};

// Whether initialising would make the unit allocate buffers a real host could back (a few hundred
// megabytes at most). Under AddressSanitizer an allocation that cannot be met aborts instead of
// throwing, so the harness does not ask for more. Computed without overflow.
inline bool BuffersFitInMemory(AudioUnitHandle& unit) {
    UInt32 maxFrames = 0;
    if (unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                         maxFrames) != noErr)
        return false;
    double total = 0;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        UInt32 count = 0;
        unit.GetProperty(kAudioUnitProperty_ElementCount, scope, 0, count);
        for (UInt32 e = 0; e < count && total <= 256.0 * 1024 * 1024; ++e) {
            AudioStreamBasicDescription f{};
            if (unit.GetProperty(kAudioUnitProperty_StreamFormat, scope, e, f) != noErr) continue;
            total += double(maxFrames) * (double(f.mBytesPerFrame) + 16.0) *
                     std::max(1.0, double(f.mChannelsPerFrame));
        }
    }
    return total <= 256.0 * 1024 * 1024;
}

}  // namespace marvex::fuzz
