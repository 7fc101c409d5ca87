#pragma once
// Buffer lists: a count followed by that many buffers. Interleaved audio uses one buffer for
// all channels; non-interleaved audio one buffer per channel.

#include <cstddef>

#include "format/PlatformTypes.h"

struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

// Declared with one buffer; a list of n buffers needs AudioBufferListByteSize(n) bytes.
struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AudioBuffer) == 12);
static_assert(sizeof(AudioBufferList) == 16);
#endif

namespace marvex {

// Bytes needed for a list of `buffers` buffers (never less than sizeof(AudioBufferList)).
// Returns false when the size does not fit in size_t.
constexpr bool AudioBufferListByteSize(UInt32 buffers, std::size_t& outBytes) {
    const std::size_t head = offsetof(AudioBufferList, mBuffers);
    const std::size_t n = buffers == 0 ? 1 : buffers;
    if (n > (SIZE_MAX - head) / sizeof(AudioBuffer)) return false;
    outBytes = head + n * sizeof(AudioBuffer);
    return true;
}

}  // namespace marvex
