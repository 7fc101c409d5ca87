// The host library against a minimal unit: blocks go in from the caller's buffers, come out
// unchanged, parameters read back, refusals become messages; the block level meter; and a newly
// prepared unit handed to a render thread that keeps rendering. Rendering allocates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
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

struct Stereo {
    std::vector<float> left, right;
    std::array<const float*, 2> pointers() const { return {left.data(), right.data()}; }
};

Stereo ramp(std::size_t frames, float start) {
    Stereo s;
    for (std::size_t i = 0; i < frames; ++i) {
        s.left.push_back(start + static_cast<float>(i));
        s.right.push_back(-start - static_cast<float>(i));
    }
    return s;
}

std::vector<float> tone(std::size_t frames, float amplitude, bool square) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double phase = 2.0 * M_PI * 441.0 * static_cast<double>(i) / 44100.0;
        samples[i] = static_cast<float>(
            amplitude * (square ? (std::sin(phase) >= 0 ? 1.0 : -1.0) : std::sin(phase)));
    }
    return samples;
}

// The pass-through unit prepared for one channel at `pitchHz`.
std::unique_ptr<PreparedTuner> prepared(float pitchHz) {
    const TunerSetup setup{
        .sampleRateHz = 48000.0, .channels = 1, .maxFrames = 128, .pitchHz = pitchHz};
    return std::make_unique<PreparedTuner>(test::PassThroughComponent(), setup);
}

}  // namespace

// Blocks go to the unit from the caller's buffers and come back unchanged, a shorter last block
// whole at the next sample time; blocks it was not prepared for are refused.
TEST(BlockRenderer, FeedsTheCallersBlocksAndAdvancesTimeWithoutAllocating) {
    HostedUnit unit = HostedUnit::open(test::PassThroughComponent());
    unit.setStreamFormat(48000.0, 2);
    unit.setMaximumFramesPerSlice(256);
    BlockRenderer renderer(unit, 2, 256);
    unit.initialize();
    const Stereo first = ramp(257, 1.0f), last = ramp(100, 1000.0f);
    auto firstPointers = first.pointers(), lastPointers = last.pointers();
    EXPECT_EQ(renderer.render(firstPointers, 257), paramErr);
    std::array<const float*, 1> mono{first.left.data()};
    EXPECT_EQ(renderer.render(mono, 8), paramErr);
    EXPECT_EQ(renderer.sampleTime(), 0.0);

    ASSERT_EQ(renderer.render(firstPointers, 256), noErr);
    EXPECT_TRUE(std::equal(first.left.begin(), first.left.end() - 1, renderer.output(0)));
    EXPECT_TRUE(std::equal(first.right.begin(), first.right.end() - 1, renderer.output(1)));
    EXPECT_EQ(unit.parameter(2), std::accumulate(first.left.begin(), first.left.end() - 1, 0.0f));
    ASSERT_EQ(renderer.render(lastPointers, 100), noErr);
    EXPECT_EQ(renderer.output(1)[99], -1099.0f);
    std::array<float, 5> values{};
    ASSERT_EQ(unit.readParameters(values), noErr);
    EXPECT_EQ(values[3], 100.0f);
    EXPECT_EQ(values[4], 256.0f);
    EXPECT_EQ(renderer.sampleTime(), 356.0);

    // Once warm, rendering and reading back allocate nothing.
    test::CountAllocations allocations;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(renderer.render(firstPointers, 256), noErr);
        ASSERT_EQ(unit.readParameters(values), noErr);
    }
    EXPECT_EQ(allocations.count(), 0u);
}

TEST(HostedUnit, RefusalsBecomeMessagesWithTheStatusInWords) {
    HostedUnit unit = HostedUnit::open(test::PassThroughComponent());
    try {
        unit.setStreamFormat(44100.0, 9);
        FAIL() << "nine channels were accepted";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), HostErrorKind::Refused);
        EXPECT_NE(std::string(e.what()).find("9 channels at 44100 Hz"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("-10868"), std::string::npos);
    }
    unit.initialize();
    EXPECT_THROW(unit.setMaximumFramesPerSlice(128), HostError);
    EXPECT_THROW(unit.parameter(8), HostError);
}

TEST(LevelMeter, ReadsRmsAgainstFullScale) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<float> samples;
        float dbfs;
        float tolerance;
    } cases[] = {
        {"full-scale square", tone(4400, 1.0f, true), 0.0f, 1e-4f},
        {"full-scale sine", tone(4400, 1.0f, false), -3.0103f, 1e-3f},
        {"square at 0.1", tone(4400, 0.1f, true), -20.0f, 1e-3f},
        {"silence", std::vector<float>(64, 0.0f), kLevelFloorDbfs, 0.0f},
        {"below the floor", std::vector<float>(64, 1e-7f), kLevelFloorDbfs, 0.0f},
        {"no samples", {}, kLevelFloorDbfs, 0.0f},
        {"non-finite samples left out", {0.5f, nan, -0.5f, INFINITY}, -6.0206f, 1e-3f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(channelLevelDbfs(c.samples), c.dbfs, c.tolerance) << c.what;
}

TEST(LevelMeter, MeasuresEachChannelAndAllTogetherWithoutAllocating) {
    const std::vector<float> loud = tone(512, 1.0f, true);
    const std::vector<float> quiet(512, 0.0f);
    const float* channels[] = {loud.data(), quiet.data(), nullptr};
    float perChannel[3] = {1.0f, 1.0f, 1.0f};
    test::CountAllocations allocations;
    const float overall = blockLevelDbfs(channels, 512, perChannel);
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_NEAR(perChannel[0], 0.0f, 1e-4f);
    EXPECT_EQ(perChannel[1], kLevelFloorDbfs);
    EXPECT_EQ(perChannel[2], kLevelFloorDbfs);
    // One full-scale channel in two: half the power.
    EXPECT_NEAR(overall, -3.0103f, 1e-3f);
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
    std::size_t allocations = 0, locks = 0, badBlocks = 0;
    {
        test::CountAllocations allocationCount;
        test::CountLocks lockCount;
        while (offering || swap.hasWaiting()) {
            PreparedTuner& tuner = swap.current();
            const OSStatus status = tuner.render(channels, 128);
            float published[4] = {};
            // The unit publishes the sum of the block it was given: all of it, every time.
            badBlocks += status != noErr || tuner.readParameters(published) != noErr ||
                         published[2] != 8256.0f || published[3] != 128.0f;
        }
        allocations = allocationCount.count();
        locks = lockCount.count();
    }
    control.join();
    swap.releaseRetired();
    EXPECT_EQ(badBlocks, 0u);
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(locks, 0u);
    EXPECT_EQ(swap.current().setup().pitchHz, 440.0f + kOffers);
    EXPECT_EQ(swap.current().unit().parameter(1), 440.0f + kOffers);
}

TEST(PreparedUnitSwap, TakesUpOnlyTheLatestOfferAndWaitsForTheRetiredSlot) {
    PreparedUnitSwap<PreparedTuner> swap(prepared(440.0f));
    swap.offer(prepared(441.0f));
    swap.offer(prepared(442.0f));
    EXPECT_EQ(swap.current().setup().pitchHz, 442.0f);
    // The replaced unit is still held: the next offer waits until it is released.
    swap.offer(prepared(443.0f));
    EXPECT_EQ(swap.current().setup().pitchHz, 442.0f);
    EXPECT_TRUE(swap.releaseRetired());
    EXPECT_EQ(swap.current().setup().pitchHz, 443.0f);
    EXPECT_TRUE(swap.releaseRetired());
    EXPECT_FALSE(swap.releaseRetired());
}
