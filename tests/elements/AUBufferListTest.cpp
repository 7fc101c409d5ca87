#include "elements/AUBufferList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "tests/elements/TestUnit.h"

namespace {

using marvex::test::ThrownStatus;

CAStreamBasicDescription FloatFormat(UInt32 channels, bool interleaved) {
    CAStreamBasicDescription format;
    format.SetCanonical(channels, interleaved);
    return format;
}

// A list with room for up to four buffers, as a host declares one.
struct HostList {
    HostList(UInt32 buffers, UInt32 bytes = 0, float* a = nullptr, float* b = nullptr) {
        list.mNumberBuffers = buffers;
        list.mBuffers[0] = {1, bytes, a};
        more[0] = {1, bytes, b};
    }
    AudioBufferList list;
    AudioBuffer more[3];
};

const CAStreamBasicDescription kStereo = FloatFormat(2, false);

TEST(BufferList, StreamsShareOneBlockOn16ByteBoundariesAndNeverOverrunIt) {
    AUBufferList buffers;
    EXPECT_EQ(ThrownStatus([&] { buffers.GetBufferList(); }), -1);
    // Nothing allocated: even an interleaved list has no block to describe it.
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareNullBuffer(FloatFormat(2, true), 1); }),
              kAudioUnitErr_FormatNotSupported);

    buffers.Allocate(kStereo, 5);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);  // 20 bytes per stream rounded up to 32
    const UInt8* memory = buffers.GetMemory();
    AudioBufferList& list = buffers.PrepareBuffer(kStereo, 3);
    ASSERT_EQ(list.mNumberBuffers, 2u);
    EXPECT_EQ(list.mBuffers[0].mData, memory);
    EXPECT_EQ(list.mBuffers[1].mData, memory + 32);
    EXPECT_EQ(list.mBuffers[1].mDataByteSize, 12u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % 16, 0u);
    EXPECT_EQ(&buffers.GetBufferList(), &list);
    buffers.InvalidateBufferList();
    EXPECT_EQ(ThrownStatus([&] { buffers.GetBufferList(); }), -1);

    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(FloatFormat(4, false), 3); }),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(buffers.PrepareBuffer(FloatFormat(2, true), 5).mBuffers[0].mDataByteSize, 40u);
    // Frames beyond a stream's share would spill into the next stream or past the block.
    EXPECT_EQ(buffers.PrepareBuffer(kStereo, 8).mBuffers[0].mDataByteSize, 32u);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(kStereo, 9); }),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(FloatFormat(2, true), 512); }),
              kAudioUnitErr_TooManyFramesToProcess);

    AudioBufferList& null = buffers.PrepareNullBuffer(kStereo, 256);
    EXPECT_EQ(null.mBuffers[1].mDataByteSize, 1024u);
    EXPECT_EQ(null.mBuffers[1].mData, nullptr);

    // Memory only grows, and a size that does not fit 32 bits changes nothing.
    buffers.Allocate(FloatFormat(1, false), 3);
    EXPECT_EQ(buffers.GetMemory(), memory);
    EXPECT_THROW(buffers.Allocate(FloatFormat(8, false), 0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);
    EXPECT_EQ(buffers.GetAllocatedStreams(), 2u);
}

TEST(BufferList, ListsAreAdoptedAndHandedOutOnlyWithinTheirRoom) {
    AUBufferList buffers;
    buffers.Allocate(kStereo, 4);
    float left[4] = {}, right[4] = {};
    HostList host(2, 16, left, right);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferListTo(host.list); }), -1);
    EXPECT_EQ(buffers.SetBufferList(host.list).mBuffers[1].mData, right);
    EXPECT_EQ(ThrownStatus([&] { buffers.SetBufferList(HostList(3).list); }), -1);

    buffers.PrepareBuffer(kStereo, 4);
    HostList one(1), three(3);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferListTo(one.list); }), -1);
    buffers.CopyBufferListTo(three.list);
    EXPECT_EQ(three.list.mNumberBuffers, 2u);
    EXPECT_EQ(three.more[0].mData, buffers.GetMemory() + 16);
}

TEST(BufferList, ContentsCopyFeedsSurplusBuffersFromTheLastAndRespectsTheirSize) {
    AUBufferList buffers;
    const auto mono = FloatFormat(1, false);
    buffers.Allocate(mono, 4);
    const float samples[4] = {0.5f, -1.0f, 0.25f, 2.0f};
    std::memcpy(buffers.PrepareBuffer(mono, 4).mBuffers[0].mData, samples, sizeof samples);

    float left[4] = {}, right[4] = {};
    HostList host(2, 16, left, right);
    buffers.CopyBufferContentsTo(host.list);
    EXPECT_EQ(std::memcmp(left, samples, 16), 0);
    EXPECT_EQ(std::memcmp(right, samples, 16), 0);

    float small[4] = {9, 9, 9, 9};
    HostList shortList(1, 8, small);
    buffers.CopyBufferContentsTo(shortList.list);
    EXPECT_EQ(small[1], -1.0f);
    EXPECT_EQ(small[2], 9.0f);
    EXPECT_EQ(shortList.list.mBuffers[0].mDataByteSize, 8u);

    HostList noData(1, 16);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferContentsTo(noData.list); }), -1);
    AUBufferList::ZeroBuffer(host.list);
    EXPECT_EQ(right[3], 0.0f);
}

TEST(BufferList, HostBufferIsTakenOnlyWhenLargeEnoughAndNeverFreed) {
    AUBufferList buffers;
    alignas(16) UInt8 host[96];
    buffers.UseExternalBuffer(kStereo, {host, sizeof host});  // nothing allocated yet
    buffers.Allocate(kStereo, 5);
    buffers.UseExternalBuffer(kStereo, {host, 60});                     // 48 usable < 64
    buffers.UseExternalBuffer(CAStreamBasicDescription(), {host, 72});  // no frame size
    EXPECT_FALSE(buffers.UsesExternalMemory());

    buffers.UseExternalBuffer(kStereo, {host, 72});
    EXPECT_EQ(buffers.GetMemory(), host);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);
    EXPECT_EQ(buffers.GetAllocatedFrames(), 8u);
    EXPECT_EQ(buffers.PrepareBuffer(kStereo, 8).mBuffers[1].mData, host + 32);

    // Outgrowing it leaves the host's memory alone (freeing it would trip the sanitizer).
    buffers.Allocate(kStereo, 64);
    EXPECT_FALSE(buffers.UsesExternalMemory());
    EXPECT_NE(buffers.GetMemory(), host);
}

}  // namespace
