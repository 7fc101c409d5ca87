#pragma once
// A hostile but honest host for the fuzz targets: every value is chosen by the fuzzer, but
// every pointer the unit receives points at memory this harness owns and sized as the call
// says, so whatever breaks is the unit's fault. Buffers are separate heap blocks of exactly
// the size they promise, so AddressSanitizer sees the first byte read or written past them.

#include <fuzzer/FuzzedDataProvider.h>

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

namespace marvex::fuzz {

// Aborts with a message: libFuzzer records the input that got here.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

// The unit under test, registered once per process (FuzzUnit.cpp chooses which unit).
Component UnitComponent();

// Values the input callback writes: a few normal floats, so no arithmetic on the way through
// (flush-to-zero included) could change them unnoticed.
inline float Pattern(UInt32 seed, UInt32 buffer, UInt32 index) {
    static constexpr float kValues[8] = {0.5f, -0.25f, 0.75f, -1.0f, 0.125f, 1.0f, -0.5f, 0.0625f};
    return kValues[(seed + buffer * 3 + index) & 7];
}

// The host side of the input: a render callback that fills whatever buffers the unit hands it
// with Pattern() and remembers what it wrote, buffer by buffer, for the pass-through check.
struct InputSource {
    UInt32 seed = 0;
    UInt32 calls = 0;
    OSStatus result = noErr;  // what the callback answers (the fuzzer may make it fail)
    std::vector<std::vector<UInt8>> written;

    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32, AudioBufferList* io) {
        auto* self = static_cast<InputSource*>(refCon);
        ++self->calls;
        if (io == nullptr) Fail("input callback given a null buffer list");
        self->written.assign(io->mNumberBuffers, {});
        for (UInt32 b = 0; b < io->mNumberBuffers; ++b) {
            AudioBuffer& buf = io->mBuffers[b];
            if (buf.mData == nullptr) continue;
            auto* bytes = static_cast<UInt8*>(buf.mData);
            for (UInt32 i = 0; i + 4 <= buf.mDataByteSize; i += 4) {
                const float v = Pattern(self->seed, b, i / 4);
                std::memcpy(bytes + i, &v, 4);
            }
            self->written[b].assign(bytes, bytes + buf.mDataByteSize);
        }
        return self->result;
    }

    AURenderCallbackStruct Callback() { return {&InputSource::Render, this}; }
};

// A caller-side buffer list: a list block sized for `count` buffers and, per buffer, a
// separate block of exactly `roomBytes` (or a null data pointer). A render's caller promises
// room for the frames it asks for; the byte sizes it states are outputs of the last render,
// so `statedSizes` may say anything.
class HostBufferList {
public:
    HostBufferList(UInt32 count, const std::vector<UInt32>& statedSizes,
                   const std::vector<bool>& null, UInt32 channelsPerBuffer, UInt32 roomBytes) {
        std::size_t bytes = 0;
        if (!AudioBufferListByteSize(count, bytes)) Fail("buffer list size");
        mBlock.reset(static_cast<AudioBufferList*>(std::calloc(1, bytes)));
        mBlock->mNumberBuffers = count;
        mData.resize(count);
        for (UInt32 b = 0; b < count; ++b) {
            const bool isNull = b < null.size() && null[b];
            mBlock->mBuffers[b].mNumberChannels = channelsPerBuffer;
            mBlock->mBuffers[b].mDataByteSize = b < statedSizes.size() ? statedSizes[b] : 0;
            if (!isNull) {
                mData[b].reset(new UInt8[roomBytes == 0 ? 1 : roomBytes]());
                mBlock->mBuffers[b].mData = mData[b].get();
            }
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

// After a successful render of non-interleaved float audio pulled from `source`: every output
// buffer was handed all the frames asked for, says so in its byte size, and holds exactly what
// the callback wrote into the matching input buffer (the unit passes audio through unchanged).
inline void CheckPassedThrough(const InputSource& source, const AudioBufferList& out,
                               UInt32 frames) {
    if (source.calls == 0) return;
    for (UInt32 b = 0; b < out.mNumberBuffers && b < source.written.size(); ++b) {
        const AudioBuffer& buf = out.mBuffers[b];
        if (buf.mData == nullptr) Fail("render succeeded but left a null output buffer");
        const std::size_t n = std::size_t(frames) * 4;
        if (buf.mDataByteSize != n) Fail("render succeeded but sized a buffer wrongly");
        if (source.written[b].size() < n) Fail("render succeeded with fewer frames pulled");
        if (n > 0 && std::memcmp(buf.mData, source.written[b].data(), n) != 0)
            Fail("rendered audio differs from the input");
    }
}

// A canonical non-interleaved float format for `channels` channels at `rate`.
inline AudioStreamBasicDescription FloatFormat(Float64 rate, UInt32 channels) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = 4;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    return f;
}

// Counts counted property-list values around one fuzz input: whatever the input did, closing
// the unit and releasing what the harness was handed must bring the count back.
class ValueLeakCheck {
public:
    ValueLeakCheck() : mBefore(LiveValueCount()) {}
    void Verify() const {
        if (LiveValueCount() != mBefore) Fail("property-list values leaked or over-released");
    }

private:
    long mBefore;
};

// Opens the unit under test; aborts when it cannot (that is a harness failure, not a finding).
inline AudioUnitHandle OpenUnit() {
    AudioUnitHandle unit;
    if (AudioUnitHandle::Open(UnitComponent(), unit) != noErr) Fail("cannot open the unit");
    return unit;
}

// Renders `frames` frames from output bus 0 into a fresh non-interleaved list of `channels`
// buffers (null data pointers when `unitBuffers`), with `source` as the input. Returns the
// render's status; a successful render must have passed the audio through.
inline OSStatus RenderOnce(AudioUnitHandle& unit, InputSource& source, Float64 sampleTime,
                           UInt32 frames, UInt32 channels, bool unitBuffers) {
    std::vector<UInt32> sizes(channels, frames * 4);
    std::vector<bool> null(channels, unitBuffers);
    HostBufferList out(channels, sizes, null, 1, frames * 4);
    AudioTimeStamp ts{};
    ts.mSampleTime = sampleTime;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    source.calls = 0;
    ++source.seed;
    const OSStatus err = unit.Render(&flags, ts, 0, frames, out.Get());
    if (err == noErr && source.result == noErr) CheckPassedThrough(source, *out.Get(), frames);
    return err;
}

// Whether initialising would make the unit allocate buffers a real host could back (a few
// hundred megabytes at most). A host that asks for more gets what it asked for or -108, and
// under AddressSanitizer an allocation that cannot be met aborts instead of throwing, so the
// harness does not ask. Sizes are computed here without overflow.
inline bool BuffersFitInMemory(AudioUnitHandle& unit) {
    constexpr double kLimitBytes = 256.0 * 1024 * 1024;
    UInt32 maxFrames = 0;
    if (unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                         maxFrames) != noErr)
        return false;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        UInt32 count = 0;
        unit.GetProperty(kAudioUnitProperty_ElementCount, scope, 0, count);
        double total = 0;
        for (UInt32 e = 0; e < count; ++e) {
            AudioStreamBasicDescription f{};
            if (unit.GetProperty(kAudioUnitProperty_StreamFormat, scope, e, f) != noErr) continue;
            const double channels = f.mChannelsPerFrame == 0 ? 1.0 : double(f.mChannelsPerFrame);
            total += double(maxFrames) * (double(f.mBytesPerFrame) + 16.0) * channels;
            if (total > kLimitBytes) return false;
        }
    }
    return true;
}

// Wires `source` as the unit's input, initialises it and renders a few blocks: state that a
// host managed to put into the unit must not break the render.
inline void InitialiseAndRender(AudioUnitHandle& unit, InputSource& source, UInt32 blocks) {
    const AURenderCallbackStruct callback = source.Callback();
    unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, callback);
    if (!BuffersFitInMemory(unit) || unit.Initialize() != noErr) return;
    AudioStreamBasicDescription format{};
    UInt32 channels = 1;
    if (unit.GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, format) ==
            noErr &&
        format.mChannelsPerFrame >= 1 && format.mChannelsPerFrame <= 64)
        channels = format.mChannelsPerFrame;
    for (UInt32 i = 0; i < blocks; ++i) RenderOnce(unit, source, 512.0 * i, 512, channels, i & 1);
    unit.Uninitialize();
}

}  // namespace marvex::fuzz
