// The host library against a minimal unit: blocks go in from the caller's buffers, come out
// unchanged, parameters read back, refusals become messages, and rendering allocates nothing.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "host/BlockRenderer.h"
#include "host/HostedUnit.h"
#include "tests/host/PassThroughUnit.h"
#include "tests/support/AllocationCounter.h"

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

HostedUnit openStereo(std::uint32_t maxFrames) {
    HostedUnit unit = HostedUnit::open(test::PassThroughComponent());
    unit.setStreamFormat(48000.0, 2);
    unit.setMaximumFramesPerSlice(maxFrames);
    return unit;
}

}  // namespace

TEST(BlockRenderer, FeedsTheCallersBlocksAndAdvancesTimeWithoutAllocating) {
    HostedUnit unit = openStereo(256);
    BlockRenderer renderer(unit, 2, 256);
    unit.initialize();

    const Stereo first = ramp(256, 1.0f);
    auto firstPointers = first.pointers();
    ASSERT_EQ(renderer.render(firstPointers, 256), noErr);
    EXPECT_EQ(std::vector<float>(renderer.output(0), renderer.output(0) + 256), first.left);
    EXPECT_EQ(std::vector<float>(renderer.output(1), renderer.output(1) + 256), first.right);
    EXPECT_EQ(unit.parameter(2), std::accumulate(first.left.begin(), first.left.end(), 0.0f));
    EXPECT_EQ(unit.parameter(4), 0.0f);

    // A shorter last block: the unit sees only its frames, at the next sample time.
    const Stereo last = ramp(100, 1000.0f);
    auto lastPointers = last.pointers();
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

TEST(BlockRenderer, RefusesBlocksItWasNotPreparedFor) {
    HostedUnit unit = openStereo(64);
    BlockRenderer renderer(unit, 2, 64);
    unit.initialize();
    const Stereo block = ramp(65, 0.0f);
    auto pointers = block.pointers();
    EXPECT_EQ(renderer.render(pointers, 65), paramErr);
    std::array<const float*, 1> mono{block.left.data()};
    EXPECT_EQ(renderer.render(mono, 8), paramErr);
    EXPECT_EQ(renderer.sampleTime(), 0.0);
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
