#pragma once

#include <cstddef>
#include <vector>

#include "format/AudioBufferList.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitProperties.h"
#include "tests/core/PassThroughUnit.h"

namespace marvex::test {

// A caller-side buffer list of `buffers` buffers of `frames` float samples each (or with null
// data pointers), laid out as a host would pass it to a render call.
class HostBuffers {
public:
    HostBuffers(UInt32 buffers, UInt32 frames, bool withData = true)
        : mFrames(frames),
          mStorage((sizeof(AudioBufferList) + sizeof(AudioBuffer) * buffers) / sizeof(UInt64) + 1),
          mSamples(withData ? std::size_t(buffers) * frames : 0, -1.0f) {
        AudioBufferList& list = get();
        list.mNumberBuffers = buffers;
        for (UInt32 i = 0; i < buffers; ++i) {
            list.mBuffers[i].mNumberChannels = 1;
            list.mBuffers[i].mDataByteSize = frames * UInt32(sizeof(float));
            list.mBuffers[i].mData = withData ? &mSamples[std::size_t(i) * frames] : nullptr;
        }
    }

    AudioBufferList& get() { return *reinterpret_cast<AudioBufferList*>(mStorage.data()); }
    const float* samples(UInt32 buffer) const { return &mSamples[std::size_t(buffer) * mFrames]; }

private:
    UInt32 mFrames;
    std::vector<UInt64> mStorage;  // the list block, 8-byte aligned like the record
    std::vector<float> mSamples;
};

// An input callback that writes frame index + 1000 × channel into every buffer it is given.
inline OSStatus RampInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* ts,
                          UInt32, UInt32 frames, AudioBufferList* io) {
    if (refCon != nullptr) ++*static_cast<int*>(refCon);
    for (UInt32 b = 0; b < io->mNumberBuffers; ++b) {
        auto* data = static_cast<float*>(io->mBuffers[b].mData);
        for (UInt32 i = 0; i < frames; ++i)
            data[i] = float(ts->mSampleTime) + float(i) + 1000.0f * float(b);
    }
    return noErr;
}

inline AudioTimeStamp TimeStamp(Float64 sampleTime) {
    AudioTimeStamp ts{};
    ts.mSampleTime = sampleTime;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    return ts;
}

}  // namespace marvex::test
