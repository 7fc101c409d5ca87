// The host library against a minimal unit: blocks go in from the caller's buffers, come out
// unchanged, parameters read back; the level meter; and a newly prepared unit handed to a render
// thread that keeps rendering. Rendering allocates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "host/BlockRenderer.h"
#include "host/HostedUnit.h"
#include "host/LevelMeter.h"
#include "host/PreparedTuner.h"
#include "host/PreparedUnitSwap.h"
#include "tests/host/PassThroughUnit.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

using namespace marvex;

namespace {

// The pass-through unit prepared for one channel at `pitchHz`.
std::unique_ptr<PreparedTuner> prepared(float pitchHz) {
    const TunerSetup setup{
        .sampleRateHz = 48000.0, .channels = 1, .maxFrames = 128, .pitchHz = pitchHz};
    return std::make_unique<PreparedTuner>(test::PassThroughComponent(), setup);
}

}  // namespace

// Blocks go to the unit from the caller's buffers and come back unchanged, a shorter last block
// whole at the next sample time; a block longer than prepared for is refused.
TEST(BlockRenderer, FeedsTheCallersBlocksAndAdvancesTimeWithoutAllocating) {
    HostedUnit unit = HostedUnit::open(test::PassThroughComponent());
    unit.setStreamFormat(48000.0, 2);
    unit.setMaximumFramesPerSlice(256);
    BlockRenderer renderer(unit, 2, 256);
    unit.initialize();
    std::vector<float> left(257, 0.5f), right(257);
    for (std::size_t i = 0; i < right.size(); ++i) right[i] = static_cast<float>(i);
    const std::array<const float*, 2> channels{left.data(), right.data()};
    EXPECT_EQ(renderer.render(channels, 257), paramErr);
    ASSERT_EQ(renderer.render(channels, 256), noErr);
    test::CountAllocations allocations;  // once warm, rendering allocates nothing
    ASSERT_EQ(renderer.render(channels, 100), noErr);
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_EQ(renderer.output(0)[99], 0.5f);
    EXPECT_TRUE(std::equal(right.begin(), right.begin() + 100, renderer.output(1)));
    EXPECT_EQ(unit.parameter(4), 256.0f);  // the time the unit was given
    EXPECT_EQ(renderer.sampleTime(), 356.0);
}

// A broken input's non-finite samples are left out of the mean power.
TEST(LevelMeter, LeavesNonFiniteSamplesOutOfTheMean) {
    EXPECT_NEAR(channelLevelDbfs(std::vector<float>{0.5f, NAN, -0.5f, INFINITY}), -6.0206f, 1e-3f);
}

// A control thread prepares units for new pitches while the render thread keeps rendering: every
// block renders and passes its audio through, the render thread never allocates, locks or frees,
// and the last one offered ends up current.
TEST(PreparedUnitSwap, HandsPreparedUnitsToARenderingThreadWithoutAGap) {
    PreparedUnitSwap<PreparedTuner> swap(prepared(440.0f));
    constexpr int kOffers = 20;
    std::atomic<bool> offering{true};
    std::thread control([&] {
        for (int i = 1; i <= kOffers; ++i) {
            swap.offer(prepared(440.0f + i));
            swap.releaseRetired();
        }
        offering = false;
        while (swap.hasWaiting()) swap.releaseRetired();
    });

    std::vector<float> input(128);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<float>(i) + 1.0f;
    const float* channels[] = {input.data()};
    test::CountAllocations allocations;
    test::CountLocks locks;
    std::size_t badBlocks = 0;
    while (offering || swap.hasWaiting()) {
        PreparedTuner& tuner = swap.current();
        const OSStatus status = tuner.render(channels, 128);
        float published[4] = {};
        // The unit publishes the sum of the block it was given: all of it, every time.
        badBlocks += status != noErr || tuner.readParameters(published) != noErr ||
                     published[2] != 8256.0f || published[3] != 128.0f;
    }
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_EQ(locks.count(), 0u);
    EXPECT_EQ(badBlocks, 0u);
    control.join();
    swap.releaseRetired();
    EXPECT_EQ(swap.current().setup().pitchHz, 440.0f + kOffers);
    EXPECT_EQ(swap.current().unit().parameter(1), 440.0f + kOffers);
}
