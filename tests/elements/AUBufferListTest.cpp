#include "elements/AUBufferList.h"

#include <gtest/gtest.h>

#include <new>

#include "tests/elements/TestUnit.h"
#include "tests/support/HostBufferList.h"

namespace {

using marvex::test::HostBufferList;
using marvex::test::ThrownStatus;

CAStreamBasicDescription Float(UInt32 channels) {
    CAStreamBasicDescription format;
    format.SetCanonical(channels, false);
    return format;
}

const CAStreamBasicDescription kStereo = Float(2);

TEST(BufferList, StreamsShareOneBlockOn16ByteBoundariesOwnOrTheHosts) {
    AUBufferList buffers;
    buffers.Allocate(kStereo, 5);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);  // 20 bytes per stream rounded up to 32
    const UInt8* memory = buffers.GetMemory();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % 16, 0u);

    // More streams than allocated, or frames that would spill past a stream's share.
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(Float(4), 3); }),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(kStereo, 9); }),
              kAudioUnitErr_TooManyFramesToProcess);

    // Memory only grows, and a size that does not fit 32 bits changes nothing.
    buffers.Allocate(Float(1), 3);
    EXPECT_EQ(buffers.GetMemory(), memory);
    EXPECT_THROW(buffers.Allocate(Float(8), 0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 64u);

    // A host's block is taken only when large enough, and never freed.
    alignas(16) UInt8 host[96];
    buffers.UseExternalBuffer(kStereo, {host, 60});  // 48 usable < 64
    EXPECT_FALSE(buffers.UsesExternalMemory());
    buffers.UseExternalBuffer(kStereo, {host, 72});
    EXPECT_EQ(buffers.GetMemory(), host);
    EXPECT_EQ(buffers.PrepareBuffer(kStereo, 8).mBuffers[1].mData, host + 32);
    // Outgrowing it leaves the host's memory alone (freeing it would trip the sanitizer).
    buffers.Allocate(kStereo, 64);
    EXPECT_NE(buffers.GetMemory(), host);
}

TEST(BufferList, ListsMoveInAndOutOnlyWithinTheirRoom) {
    AUBufferList buffers;
    buffers.Allocate(kStereo, 4);
    HostBufferList host(2, 16), one(1, 0, false), three(3, 0, false);
    EXPECT_EQ(buffers.SetBufferList(host.get()).mBuffers[1].mData, host[1].mData);
    buffers.PrepareBuffer(kStereo, 4);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferListTo(one.get()); }), -1);
    buffers.CopyBufferListTo(three.get());
    EXPECT_EQ(three.get().mNumberBuffers, 2u);
    EXPECT_EQ(three[1].mData, buffers.GetMemory() + 16);
}

}  // namespace
