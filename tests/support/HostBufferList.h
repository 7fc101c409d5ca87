#pragma once
// What a host hands a render call: a buffer list and a time stamp. No test framework in here.

#include <memory>
#include <vector>

#include "format/AudioBufferList.h"
#include "format/AudioTimeStamp.h"

namespace marvex::test {

// A caller-side buffer list: a block of exactly the size `count` buffers take and, per buffer, a
// separate block of `roomBytes` (or a null data pointer), so that AddressSanitizer sees the first
// byte read or written past either. The byte size a list states is what the last render wrote, so
// `statedBytes` may say anything.
class HostBufferList {
public:
    HostBufferList(UInt32 count, UInt32 roomBytes, bool withData = true)
        : HostBufferList(count, roomBytes, roomBytes, withData) {}
    HostBufferList(UInt32 count, UInt32 statedBytes, UInt32 roomBytes, bool withData)
        : mData(count) {
        std::size_t bytes = 0;
        AudioBufferListByteSize(count, bytes);
        mBlock.assign(bytes, 0);  // from operator new, aligned for the record
        get().mNumberBuffers = count;
        for (UInt32 b = 0; b < count; ++b) {
            if (withData) mData[b].reset(new UInt8[roomBytes == 0 ? 1 : roomBytes]());
            get().mBuffers[b] = {1, statedBytes, mData[b].get()};
        }
    }

    AudioBufferList& get() { return *reinterpret_cast<AudioBufferList*>(mBlock.data()); }
    AudioBuffer& operator[](UInt32 b) { return get().mBuffers[b]; }

private:
    std::vector<UInt8> mBlock;
    std::vector<std::unique_ptr<UInt8[]>> mData;
};

inline AudioTimeStamp TimeStamp(Float64 sampleTime) {
    AudioTimeStamp ts{};
    ts.mSampleTime = sampleTime;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    return ts;
}

}  // namespace marvex::test
