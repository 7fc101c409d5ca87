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

// Mostly a value in [low, high], one time in eight any value of its type.
template <typename T>
T Near(FuzzedDataProvider& in, T low, T high) {
    return in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<T>()
                                                : in.ConsumeIntegralInRange<T>(low, high);
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
// a few normal floats (no arithmetic on the way could change them unnoticed) and remembers what it
// wrote, buffer by buffer, for the pass-through check.
struct InputSource {
    UInt32 seed = 0;
    UInt32 calls = 0;
    OSStatus result = noErr;  // what the callback answers (the fuzzer may make it fail)
    std::vector<std::vector<UInt8>> written;

    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32, AudioBufferList* io) {
        static constexpr float kValues[8] = {0.5f,   -0.25f, 0.75f, -1.0f,
                                             0.125f, 1.0f,   -0.5f, 0.0625f};
        auto* self = static_cast<InputSource*>(refCon);
        ++self->calls;
        if (io == nullptr) Fail("input callback given a null buffer list");
        self->written.assign(io->mNumberBuffers, {});
        for (UInt32 b = 0; b < io->mNumberBuffers; ++b) {
            auto* bytes = static_cast<UInt8*>(io->mBuffers[b].mData);
            if (bytes == nullptr) continue;
            for (UInt32 i = 0; i + 4 <= io->mBuffers[b].mDataByteSize; i += 4)
                std::memcpy(bytes + i, &kValues[(self->seed + b * 3 + i / 4) & 7], 4);
            self->written[b].assign(bytes, bytes + io->mBuffers[b].mDataByteSize);
        }
        return self->result;
    }
    AURenderCallbackStruct Callback() { return {&InputSource::Render, this}; }
};

// A caller-side buffer list: a list block sized for `count` buffers and, per buffer, a separate
// block of exactly `roomBytes` (or a null data pointer). A render's caller promises room for the
// frames it asks for; the byte sizes it states are outputs of the last render, so `statedSizes` may
// say anything.
class HostBufferList {
public:
    HostBufferList(UInt32 count, const std::vector<UInt32>& statedSizes, bool null,
                   UInt32 roomBytes)
        : mData(count) {
        std::size_t bytes = 0;
        if (!AudioBufferListByteSize(count, bytes)) Fail("buffer list size");
        mBlock.reset(static_cast<AudioBufferList*>(std::calloc(1, bytes)));
        mBlock->mNumberBuffers = count;
        for (UInt32 b = 0; b < count; ++b) {
            mBlock->mBuffers[b] = {1, b < statedSizes.size() ? statedSizes[b] : 0, nullptr};
            if (null) continue;
            mData[b].reset(new UInt8[roomBytes == 0 ? 1 : roomBytes]());
            mBlock->mBuffers[b].mData = mData[b].get();
        }
    }
    AudioBufferList* Get() { return mBlock.get(); }

private:
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };
    std::unique_ptr<AudioBufferList, FreeDeleter> mBlock;
    std::vector<std::unique_ptr<UInt8[]>> mData;
};

// Renders `frames` frames of bus 0 into `out` with `source` as the input, through the unit's fast
// path when asked. A successful render of non-interleaved float audio hands every output buffer all
// the frames asked for, says so in its byte size, and holds exactly what the callback wrote (the
// unit passes audio through unchanged).
inline OSStatus RenderChecked(AudioUnitHandle& unit, InputSource& source, Float64 sampleTime,
                              UInt32 frames, AudioBufferList& out, bool fastPath = false) {
    AudioTimeStamp ts{};
    ts.mSampleTime = sampleTime;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    source.calls = 0;
    ++source.seed;
    AudioUnitHandle::FastPaths fast;
    if (fastPath) unit.GetFastPaths(fast);
    const OSStatus err = fast.render != nullptr
                             ? fast.render(fast.storage, &flags, &ts, 0, frames, &out)
                             : unit.Render(&flags, ts, 0, frames, &out);
    if (err != noErr || source.calls == 0 || source.result != noErr) return err;
    const std::size_t n = std::size_t(frames) * 4;
    for (UInt32 b = 0; b < out.mNumberBuffers && b < source.written.size(); ++b) {
        const AudioBuffer& buf = out.mBuffers[b];
        if (buf.mData == nullptr) Fail("render succeeded but left a null output buffer");
        if (buf.mDataByteSize != n) Fail("render succeeded but sized a buffer wrongly");
        if (source.written[b].size() < n) Fail("render succeeded with fewer frames pulled");
        if (n > 0 && std::memcmp(buf.mData, source.written[b].data(), n) != 0)
            Fail("rendered audio differs from the input");
    }
    return err;
}

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
