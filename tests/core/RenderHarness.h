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
        : mStorage((sizeof(AudioBufferList) + sizeof(AudioBuffer) * buffers) / sizeof(UInt64) + 1),
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

private:
    std::vector<UInt64> mStorage;  // the list block, 8-byte aligned like the record
    std::vector<float> mSamples;
};

inline AudioTimeStamp TimeStamp(Float64 sampleTime) {
    AudioTimeStamp ts{};
    ts.mSampleTime = sampleTime;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    return ts;
}

}  // namespace marvex::test
