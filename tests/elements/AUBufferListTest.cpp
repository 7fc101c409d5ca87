#include "elements/AUBufferList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "tests/elements/TestUnit.h"

namespace {

using marvex::test::ThrownStatus;

CAStreamBasicDescription Float(UInt32 channels, bool interleaved = false) {
    CAStreamBasicDescription format;
    format.SetCanonical(channels, interleaved);
    return format;
}

// A host's list with room for up to four buffers.
struct HostList {
    HostList(UInt32 buffers, UInt32 bytes = 0, float* a = nullptr, float* b = nullptr) {
        list.mNumberBuffers = buffers;
        list.mBuffers[0] = {1, bytes, a};
        more[0] = {1, bytes, b};
    }
    AudioBufferList list;
    AudioBuffer more[3];
};

const CAStreamBasicDescription kStereo = Float(2);

TEST(BufferList, StreamsShareOneBlockOn16ByteBoundariesAndNeverOverrunIt) {
    AUBufferList buffers;
    EXPECT_EQ(ThrownStatus([&] { buffers.GetBufferList(); }), -1);

    buffers.Allocate(kStereo, 5);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);  // 20 bytes per stream rounded up to 32
    const UInt8* memory = buffers.GetMemory();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % 16, 0u);
    AudioBufferList& list = buffers.PrepareBuffer(kStereo, 3);
    ASSERT_EQ(list.mNumberBuffers, 2u);
    EXPECT_EQ(list.mBuffers[1].mData, memory + 32);
    EXPECT_EQ(list.mBuffers[1].mDataByteSize, 12u);

    // More streams than allocated, or frames that would spill past a stream's share.
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(Float(4), 3); }),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(buffers.PrepareBuffer(kStereo, 8).mBuffers[0].mDataByteSize, 32u);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(kStereo, 9); }),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(buffers.PrepareBuffer(Float(2, true), 5).mBuffers[0].mDataByteSize, 40u);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(Float(2, true), 512); }),
              kAudioUnitErr_TooManyFramesToProcess);
    AudioBufferList& null = buffers.PrepareNullBuffer(kStereo, 256);
    EXPECT_EQ(null.mBuffers[1].mDataByteSize, 1024u);
    EXPECT_EQ(null.mBuffers[1].mData, nullptr);

    // Memory only grows, and a size that does not fit 32 bits changes nothing.
    buffers.Allocate(Float(1), 3);
    EXPECT_EQ(buffers.GetMemory(), memory);
    EXPECT_THROW(buffers.Allocate(Float(8), 0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);
    EXPECT_EQ(buffers.GetAllocatedStreams(), 2u);
}

TEST(BufferList, ListsMoveInAndOutOnlyWithinTheirRoom) {
    AUBufferList buffers;
    buffers.Allocate(kStereo, 4);
    float left[4] = {}, right[4] = {};
    HostList host(2, 16, left, right), one(1), three(3);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferListTo(host.list); }), -1);  // nothing set
    EXPECT_EQ(buffers.SetBufferList(host.list).mBuffers[1].mData, right);
    EXPECT_EQ(ThrownStatus([&] { buffers.SetBufferList(three.list); }), -1);
    buffers.PrepareBuffer(kStereo, 4);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferListTo(one.list); }), -1);
    buffers.CopyBufferListTo(three.list);
    EXPECT_EQ(three.list.mNumberBuffers, 2u);
    EXPECT_EQ(three.more[0].mData, buffers.GetMemory() + 16);
}

TEST(BufferList, ContentsCopyFeedsSurplusBuffersFromTheLastAndSetsTheirSizes) {
    AUBufferList buffers;
    buffers.Allocate(Float(1), 4);
    const float samples[4] = {0.5f, -1.0f, 0.25f, 2.0f};
    std::memcpy(buffers.PrepareBuffer(Float(1), 4).mBuffers[0].mData, samples, sizeof samples);
    float left[4] = {}, right[4] = {};
    // The stated sizes (left by an earlier, shorter copy) are outputs, not limits.
    HostList host(2, 8, left, right), noData(1, 16);
    buffers.CopyBufferContentsTo(host.list);
    EXPECT_EQ(std::memcmp(left, samples, 16), 0);
    EXPECT_EQ(std::memcmp(right, samples, 16), 0);
    EXPECT_EQ(host.more[0].mDataByteSize, 16u);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferContentsTo(noData.list); }), -1);
}

TEST(BufferList, AdoptedCallerBuffersAreDescribedByTheFormat) {
    AUBufferList buffers;
    buffers.Allocate(kStereo, 8);
    float left[8], right[8];
    HostList host(2, 4, left, right), one(1, 32, left), gap(2, 32, left);
    ASSERT_EQ(buffers.AdoptCallerBuffers(kStereo, 8, host.list), noErr);
    const AudioBufferList& adopted = buffers.GetBufferList();
    EXPECT_EQ(adopted.mBuffers[1].mData, right);
    EXPECT_EQ(adopted.mBuffers[1].mDataByteSize, 32u);
    EXPECT_EQ(buffers.AdoptCallerBuffers(kStereo, 8, one.list), paramErr);
    EXPECT_EQ(buffers.AdoptCallerBuffers(kStereo, 8, gap.list), paramErr);
    EXPECT_EQ(buffers.AdoptCallerBuffers(Float(3), 8, host.list), kAudioUnitErr_FormatNotSupported);
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
    EXPECT_EQ(buffers.GetAllocatedFrames(), 8u);
    EXPECT_EQ(buffers.PrepareBuffer(kStereo, 8).mBuffers[1].mData, host + 32);
    // Outgrowing it leaves the host's memory alone (freeing it would trip the sanitizer).
    buffers.Allocate(kStereo, 64);
    EXPECT_NE(buffers.GetMemory(), host);
}

}  // namespace
