#include "elements/AUBufferList.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::align_val_t kStreamAlignment{16};

constexpr UInt64 RoundUp16(UInt64 bytes) {
    return (bytes + 15) & ~UInt64(15);
}

// Bytes of one buffer holding nFrames frames; throws when it does not fit the 32-bit size
// field of a descriptor.
UInt32 BufferBytes(const CAStreamBasicDescription& format, UInt32 nFrames) {
    const UInt64 bytes = UInt64(nFrames) * format.mBytesPerFrame;
    if (bytes > UINT32_MAX) throw OSStatus(kAudioUnitErr_TooManyFramesToProcess);
    return static_cast<UInt32>(bytes);
}

}  // namespace

AUBufferList::~AUBufferList() {
    Deallocate();
    ::operator delete(mPtrs);
}

void AUBufferList::Allocate(const CAStreamBasicDescription& format, UInt32 nFrames) {
    const UInt32 streams = format.NumberChannelStreams();

    // Work out every size before changing anything, so a refusal leaves the list as it was.
    const UInt64 bytesPerStream = RoundUp16(UInt64(nFrames) * format.mBytesPerFrame);
    if (bytesPerStream != 0 && streams > UINT32_MAX / bytesPerStream) throw std::bad_alloc();
    const auto total = static_cast<UInt32>(streams * bytesPerStream);

    if (mPtrs == nullptr || mListCapacity < streams) {
        std::size_t listBytes = 0;
        if (!marvex::AudioBufferListByteSize(streams, listBytes)) throw std::bad_alloc();
        auto* block = static_cast<AudioBufferList*>(::operator new(listBytes));
        std::memset(block, 0, listBytes);
        ::operator delete(mPtrs);
        mPtrs = block;
        mListCapacity = std::max<UInt32>(streams, 1);
    }
    mAllocatedStreams = std::max(mAllocatedStreams, streams);

    if (mAllocatedBytes < total) {
        auto* memory = static_cast<UInt8*>(::operator new(total, kStreamAlignment));
        std::memset(memory, 0, total);
        FreeMemory();
        mMemory = memory;
        mAllocatedBytes = total;
    }
    mAllocatedFrames = nFrames;
    mPtrState = kPtrsInvalid;
}

void AUBufferList::FreeMemory() {
    if (mExternalMemory) {
        mExternalMemory = false;  // the host's; never ours to free
    } else if (mMemory != nullptr) {
        ::operator delete(mMemory, kStreamAlignment);
    }
    mMemory = nullptr;
}

void AUBufferList::Deallocate() {
    mAllocatedStreams = 0;
    mAllocatedFrames = 0;
    mAllocatedBytes = 0;
    FreeMemory();
    mPtrState = kPtrsInvalid;
}

AudioBufferList& AUBufferList::PrepareDescriptors(const CAStreamBasicDescription& format,
                                                  UInt32 nFrames, UInt8* memory, UInt32 stride) {
    const bool interleaved = format.IsInterleaved();
    const UInt32 buffers = interleaved ? 1 : format.mChannelsPerFrame;
    const UInt32 channelsPerBuffer = interleaved ? format.mChannelsPerFrame : 1;
    const UInt32 byteSize = BufferBytes(format, nFrames);
    mPtrs->mNumberBuffers = buffers;
    for (UInt32 i = 0; i < buffers; ++i) {
        AudioBuffer& buffer = mPtrs->mBuffers[i];
        buffer.mNumberChannels = channelsPerBuffer;
        buffer.mDataByteSize = byteSize;
        buffer.mData = memory != nullptr ? memory + std::size_t(i) * stride : nullptr;
    }
    return *mPtrs;
}

AudioBufferList& AUBufferList::PrepareBuffer(const CAStreamBasicDescription& format,
                                             UInt32 nFrames) {
    const UInt32 buffers = format.NumberChannelStreams();
    // An interleaved list needs a list block as much as a non-interleaved one.
    if (mPtrs == nullptr || mAllocatedStreams < buffers) {
        throw OSStatus(kAudioUnitErr_FormatNotSupported);
    }
    // Each stream starts on a 16-byte boundary after the previous one's allocated frames.
    const UInt64 stride = RoundUp16(UInt64(mAllocatedFrames) * format.mBytesPerFrame);
    if (UInt64(buffers) * stride > mAllocatedBytes) {
        throw OSStatus(kAudioUnitErr_TooManyFramesToProcess);
    }
    // A buffer may not claim more than its stream's share of the memory.
    if (BufferBytes(format, nFrames) > stride) throw OSStatus(kAudioUnitErr_TooManyFramesToProcess);
    PrepareDescriptors(format, nFrames, mMemory, static_cast<UInt32>(stride));
    mPtrState = kPtrsToMyMemory;
    return *mPtrs;
}

AudioBufferList& AUBufferList::PrepareNullBuffer(const CAStreamBasicDescription& format,
                                                 UInt32 nFrames) {
    if (mPtrs == nullptr || mAllocatedStreams < format.NumberChannelStreams()) {
        throw OSStatus(kAudioUnitErr_FormatNotSupported);
    }
    PrepareDescriptors(format, nFrames, nullptr, 0);
    mPtrState = kPtrsToExternalMemory;
    return *mPtrs;
}

AudioBufferList& AUBufferList::SetBufferList(const AudioBufferList& abl) {
    if (mPtrs == nullptr || mAllocatedStreams < abl.mNumberBuffers) throw OSStatus(-1);
    mPtrState = kPtrsToExternalMemory;
    mPtrs->mNumberBuffers = abl.mNumberBuffers;
    std::copy_n(abl.mBuffers, abl.mNumberBuffers, mPtrs->mBuffers);
    return *mPtrs;
}

OSStatus AUBufferList::AdoptCallerBuffers(const CAStreamBasicDescription& format, UInt32 nFrames,
                                          const AudioBufferList& abl) {
    const UInt32 buffers = format.NumberChannelStreams();
    if (mPtrs == nullptr || mAllocatedStreams < buffers) return kAudioUnitErr_FormatNotSupported;
    if (abl.mNumberBuffers < buffers) return paramErr;
    for (UInt32 i = 0; i < buffers; ++i) {
        if (abl.mBuffers[i].mData == nullptr) return paramErr;
    }
    if (UInt64(nFrames) * format.mBytesPerFrame > UINT32_MAX)
        return kAudioUnitErr_TooManyFramesToProcess;
    PrepareDescriptors(format, nFrames, nullptr, 0);
    for (UInt32 i = 0; i < buffers; ++i) mPtrs->mBuffers[i].mData = abl.mBuffers[i].mData;
    mPtrState = kPtrsToExternalMemory;
    return noErr;
}

AudioBufferList& AUBufferList::GetBufferList() const {
    if (mPtrState == kPtrsInvalid) throw OSStatus(-1);
    return *mPtrs;
}

void AUBufferList::CopyBufferListTo(AudioBufferList& abl) const {
    if (mPtrState == kPtrsInvalid) throw OSStatus(-1);
    // The destination says by its count how many descriptors it has room for.
    const UInt32 count = mPtrs->mNumberBuffers;
    if (abl.mNumberBuffers < count) throw OSStatus(-1);
    abl.mNumberBuffers = count;
    std::copy_n(mPtrs->mBuffers, count, abl.mBuffers);
}

void AUBufferList::CopyBufferContentsTo(AudioBufferList& abl) const {
    if (mPtrState == kPtrsInvalid) throw OSStatus(-1);
    const UInt32 count = mPtrs->mNumberBuffers;
    if (abl.mNumberBuffers == 0) return;
    if (count == 0) throw OSStatus(-1);
    auto sourceFor = [&](UInt32 i) -> const AudioBuffer& {
        return mPtrs->mBuffers[std::min(i, count - 1)];
    };
    // Check every pair first so a refusal writes nothing.
    for (UInt32 i = 0; i < abl.mNumberBuffers; ++i) {
        const AudioBuffer& src = sourceFor(i);
        const AudioBuffer& dst = abl.mBuffers[i];
        if (dst.mData != src.mData && (src.mData == nullptr || dst.mData == nullptr)) {
            throw OSStatus(-1);
        }
    }
    for (UInt32 i = 0; i < abl.mNumberBuffers; ++i) {
        const AudioBuffer& src = sourceFor(i);
        AudioBuffer& dst = abl.mBuffers[i];
        if (dst.mData == src.mData) {
            dst.mDataByteSize = src.mDataByteSize;
            continue;
        }
        std::memmove(dst.mData, src.mData, src.mDataByteSize);
        dst.mDataByteSize = src.mDataByteSize;
    }
}

void AUBufferList::ZeroBuffer(AudioBufferList& abl) {
    for (UInt32 i = 0; i < abl.mNumberBuffers; ++i) {
        AudioBuffer& buffer = abl.mBuffers[i];
        if (buffer.mData != nullptr) std::memset(buffer.mData, 0, buffer.mDataByteSize);
    }
}

void AUBufferList::UseExternalBuffer(const CAStreamBasicDescription& format,
                                     const AudioUnitExternalBuffer& buf) {
    const UInt32 usable = buf.size & ~UInt32(15);
    if (mMemory == nullptr || buf.buffer == nullptr || usable < mAllocatedBytes) return;
    const UInt64 bytesPerFrame = UInt64(format.NumberChannelStreams()) * format.mBytesPerFrame;
    if (bytesPerFrame == 0) return;  // no frame size to count frames by
    FreeMemory();
    mMemory = buf.buffer;
    mExternalMemory = true;
    mAllocatedBytes = usable;
    mAllocatedFrames = static_cast<UInt32>(usable / bytesPerFrame);
}
