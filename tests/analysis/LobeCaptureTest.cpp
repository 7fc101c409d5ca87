#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tests/analysis/KernelHarness.h"
#include "tests/analysis/ReferenceTuner.h"
#include "tests/support/AllocationCounter.h"

namespace {

using namespace marvex::test;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::uint32_t bits(float x) {
    return std::bit_cast<std::uint32_t>(x);
}

void expectRecord(const Bubble& b, float area, std::uint32_t start, std::uint32_t end) {
    EXPECT_EQ(b.area, area);
    EXPECT_EQ(b.startPos, start);
    EXPECT_EQ(b.endPos, end);
}

// Separate buffers, in place, and two interleaved channels with stride 2 (each kernel touches
// only its own samples); the silence flag comes back as it went in.
TEST(LobeCapture, PassesAudioThroughBitForBit) {
    const std::vector<float> input = {0.25f,   -0.0f, kNaN,  -kInf, 1e-40f, -0.5f,   0.0f, kInf,
                                      -1e-45f, 3.0f,  -2.0f, 0.75f, 0.5f,   -0.125f, 0.0f, 1.0f};
    for (bool silence : {true, false}) {
        KernelHarness unit;
        auto left = unit.makeKernel(0, false);
        auto right = unit.makeKernel(1);
        std::vector<float> out(16, 7.0f), inPlace = input, oneChannel(16, 7.0f);
        bool flag = silence;
        left->Process(input.data(), out.data(), 16, 1, flag);
        left->Process(inPlace.data(), inPlace.data(), 8, 2, flag);
        right->Process(inPlace.data() + 1, inPlace.data() + 1, 8, 2, flag);
        right->Process(input.data() + 1, oneChannel.data() + 1, 8, 2, flag);
        EXPECT_EQ(flag, silence);
        for (std::size_t i = 0; i < 16; ++i) {
            EXPECT_EQ(bits(out[i]), bits(input[i]));
            EXPECT_EQ(bits(inPlace[i]), bits(input[i]));
            EXPECT_EQ(bits(oneChannel[i]), bits(i % 2 ? input[i] : 7.0f));
        }
    }
    // A strided channel is analysed like the same samples in a buffer of their own.
    KernelHarness a, b;
    auto plain = a.makeKernel();
    auto strided = b.makeKernel();
    const auto tone = sine(331.0, 44100.0, 4096);
    std::vector<float> interleaved(2 * tone.size(), 0.5f);
    for (std::size_t i = 0; i < tone.size(); ++i) interleaved[2 * i + 1] = tone[i];
    feed(*plain, tone, 4096);
    bool flag = false;
    strided->Process(interleaved.data() + 1, interleaved.data() + 1, 4096, 2, flag);
    EXPECT_EQ(strided->writeIndex(), plain->writeIndex());
    EXPECT_EQ(strided->bubble(5).startPos, plain->bubble(5).startPos);
    EXPECT_EQ(b.get(kParam_Frequency), a.get(kParam_Frequency));
}

// A lobe runs from the first non-negative sample after a negative one up to the next negative
// sample. 0, -0 and NaN as the previous sample are neither inside nor outside a lobe.
TEST(LobeCapture, CutsLobesAtSignChanges) {
    KernelHarness unit;
    auto fresh = unit.makeKernel();
    // Capture starts as after a 0: the first sample is not summed, and the lobe closes into a
    // record that never saw a start (position 0).
    process(*fresh, {0.5f, 0.5f, 0.5f, -1.0f});
    expectRecord(fresh->bubble(0), 1.0f, 0, 3);
    EXPECT_EQ(fresh->bubble(0).matchRatio, -1.0f);

    auto kernel = unit.makeKernel();
    // 0 after a negative starts a lobe of area 0; the sample after the 0 is not summed.
    process(*kernel, {-1.0f, 0.0f, 0.3f, 0.3f, -1.0f});
    expectRecord(kernel->bubble(0), 0.3f, 1, 4);
    // An open lobe holds its first sample and start; it carries into the next call. One whose
    // last sample is 0 never closes, and the next lobe takes its record and restarts the sum.
    process(*kernel, {0.5f, 0.0f});
    expectRecord(kernel->bubble(1), 0.5f, 5, 5);
    process(*kernel, {-1.0f, -1.0f, 0.25f, 0.25f, -1.0f});
    expectRecord(kernel->bubble(1), 0.5f, 9, 11);
    // NaN neither grows nor ends a lobe and the sample after it does nothing; -0 grows a lobe
    // by nothing without ending it, and blocks the next sample like 0.
    process(*kernel, {0.5f, kNaN, -1.0f, -1.0f, 0.5f, -0.0f, 0.5f, -1.0f});
    expectRecord(kernel->bubble(2), 0.5f, 16, 19);
    // -0 after a negative starts a lobe.
    process(*kernel, {-0.0f, 0.75f, 0.75f, -1.0f});
    expectRecord(kernel->bubble(3), 0.75f, 20, 23);
    EXPECT_EQ(kernel->writeIndex(), 4);
    EXPECT_EQ(kernel->blockCount(), 5u);
}

TEST(LobeCapture, KeepsOnlyLobesAboveTheAreaThreshold) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    process(*kernel, spikes(300, {{10, 1.0f}, {110, 1.0f}}));  // a pair: estimates publish
    // Sums of exactly 0.05 (one sample, and two halves) are dropped: area 0, the write index
    // stays and no estimate runs.
    unit.set(kParam_Frequency, -5.0f);
    process(*kernel, spikes(10, {{2, 0.05f}}));
    expectRecord(kernel->bubble(2), 0.0f, 302, 303);
    process(*kernel, {-1.0f, 0.025f, 0.025f, -1.0f});
    expectRecord(kernel->bubble(2), 0.0f, 311, 313);
    EXPECT_EQ(kernel->writeIndex(), 2);
    EXPECT_EQ(unit.get(kParam_Frequency), -5.0f);
    // Just above is kept, and the estimate runs again.
    process(*kernel, spikes(4, {{1, std::nextafter(0.05f, 1.0f)}}));
    EXPECT_EQ(kernel->writeIndex(), 3);
    EXPECT_NEAR(unit.get(kParam_Frequency), 441.0f, 1e-3f);
}

TEST(LobeCapture, RingSizeFollowsPrecisionAndWraps) {
    KernelHarness unit;
    auto kernel = unit.makeKernel();
    const std::pair<float, int> table[] = {
        {0.0f, 16},  {1.0f, 64},  {2.0f, 128},
        {3.0f, 256}, {4.0f, 512}, {1.5f, 16},
        {7.0f, 16},  {kNaN, 16},  {std::nextafter(2.0f, 3.0f), 16}};
    for (auto [precision, records] : table) {
        unit.set(kParam_Precision, precision);
        EXPECT_EQ(kernel->getMaxBubbles(), records) << precision;
    }
    // 16 records in use: the 17th lobe overwrites record 0.
    unit.set(kParam_Precision, 0.0f);
    std::vector<std::pair<std::size_t, float>> lobes;
    for (std::size_t i = 0; i < 17; ++i) lobes.push_back({10 * i + 5, 1.0f + 0.5f * i});
    process(*kernel, spikes(170, lobes));
    EXPECT_EQ(kernel->writeIndex(), 1);
    expectRecord(kernel->bubble(0), 9.0f, 165, 166);
    expectRecord(kernel->bubble(16), 0.0f, 0, 0);
    // Lowering Precision leaves the lobe in progress at the old index; the next lobe end (kept
    // or not) brings the index back into the ring.
    for (float small : {1.0f, 0.01f}) {
        unit.set(kParam_Precision, 4.0f);
        lobes.clear();
        for (std::size_t i = 0; i < 299; ++i) lobes.push_back({2 * i + 1, 1.0f});
        process(*kernel, spikes(600, lobes));
        const int at = kernel->writeIndex();
        ASSERT_GE(at, 16);
        unit.set(kParam_Precision, 0.0f);
        process(*kernel, {small});
        EXPECT_EQ(kernel->bubble(at).area, small);
        EXPECT_EQ(kernel->writeIndex(), at);
        process(*kernel, {-1.0f});
        EXPECT_EQ(kernel->writeIndex(), 0);
    }
}

// Positions come from a running counter, not block number x frames: calls of any length,
// including 0, keep them consistent, and a 0-frame call still counts as a block.
TEST(LobeCapture, PositionsRunOnAcrossCallsOfAnyLength) {
    KernelHarness unit;
    auto kernel = unit.makeKernel();
    for (int call = 0; call < 3; ++call) process(*kernel, std::vector<float>(512, -1.0f));
    process(*kernel, {});
    EXPECT_EQ(kernel->blockCount(), 4u);
    process(*kernel, spikes(256, {{0, 1.0f}}));
    expectRecord(kernel->bubble(0), 1.0f, 1536, 1537);  // not 4 x 256
    EXPECT_EQ(kernel->nextPosition(), 1792u);

    // A steady tone cut into calls of varying length leaves the same ring and, estimated once
    // more, the same results as calls of 512.
    const auto tone = sine(440.0, 44100.0, 40000, 0.6, 0.3);
    KernelHarness fixedUnit, variableUnit;
    auto fixed = fixedUnit.makeKernel();
    auto variable = variableUnit.makeKernel();
    feed(*fixed, tone, 512);
    const std::size_t sizes[] = {512, 37, 1000, 0, 255, 1, 700, 128};
    bool silence = false;
    std::vector<float> out(tone.size());
    for (std::size_t at = 0, call = 0; at < tone.size(); ++call) {
        const std::size_t frames = std::min(sizes[call % 8], tone.size() - at);
        variable->Process(tone.data() + at, out.data() + at, static_cast<std::uint32_t>(frames), 1,
                          silence);
        at += frames;
    }
    fixed->updateFrequency();
    variable->updateFrequency();
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(fixed->bubble(i).startPos, variable->bubble(i).startPos) << i;
        EXPECT_EQ(fixed->bubble(i).period, variable->bubble(i).period) << i;
    }
    for (std::uint32_t id = kParam_Frequency; id <= kParam_Deviation; ++id)
        EXPECT_EQ(fixedUnit.get(id), variableUnit.get(id)) << id;
    EXPECT_NEAR(variableUnit.get(kParam_Frequency), 440.0f, 0.05f);
}

TEST(LobeCapture, ProcessAllocatesNothing) {
    KernelHarness unit(48000.0, 440.0f, 4.0f);
    auto kernel = unit.makeKernel();
    const auto tone = sine(523.0, 48000.0, 48000);
    std::vector<float> out(tone.size());
    bool silence = false;
    CountAllocations allocations;
    for (std::size_t at = 0; at + 512 <= tone.size(); at += 512)
        kernel->Process(tone.data() + at, out.data() + at, 512, 1, silence);
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_NEAR(unit.get(kParam_Frequency), 523.0f, 0.5f);
}

// The fast paths (pairing without division, cached bins, bisection) against the plain
// arithmetic, bit for bit, on hostile material: noise with zeros, -0, NaN, infinities and
// subnormals, tones, silence, calls of random length, Precision changing between calls, and
// Pitch values that make the tone tables meaningless.
TEST(LobeCapture, MatchesThePlainArithmeticBitForBit) {
    std::mt19937 random(2026);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 99);
    const float specials[] = {0.0f, -0.0f, kNaN, kInf, 1e-41f, -1e-41f, 0.05f, 1e30f};
    std::vector<float> signal;
    for (int part = 0; part < 4; ++part) {
        const auto tone = sine(97.0 * (part + 1), 44100.0, 5000, 0.02 + 0.3 * part);
        signal.insert(signal.end(), tone.begin(), tone.end());
        for (int i = 0; i < 5000; ++i) {
            const int p = pick(random);
            signal.push_back(p < 3 ? specials[pick(random) % 8] : uniform(random) * (p % 7));
        }
        signal.insert(signal.end(), 300, 0.0f);
    }
    const float precisions[] = {2.0f, 0.0f, 4.0f, 1.5f, 3.0f, 1.0f, 4.0f, 0.0f};
    for (float pitch : {452.0f, 0.0f, -440.0f, kNaN, 1e38f}) {
        KernelHarness unit(48000.0, pitch, 2.0f);
        auto kernel = unit.makeKernel();
        ReferenceTuner reference;
        for (std::uint32_t id = 0; id < 8; ++id) reference.params[id] = unit.get(id);
        bool silence = false;
        std::vector<float> out(signal.size());
        for (std::size_t at = 0, call = 0; at < signal.size(); ++call) {
            if (call % 17 == 0) unit.set(kParam_Precision, precisions[(call / 17) % 8]);
            const std::size_t frames = std::min<std::size_t>(pick(random) * 9, signal.size() - at);
            kernel->Process(signal.data() + at, out.data() + at, static_cast<std::uint32_t>(frames),
                            1, silence);
            reference.process({signal.data() + at, frames}, unit.get(kParam_Precision), 48000.0f,
                              kernel->upperPeriods(), kernel->centralPeriods());
            at += frames;
            ASSERT_EQ(kernel->writeIndex(), reference.writeIndex) << pitch << " call " << call;
            for (std::uint32_t id = 2; id < 8; ++id)
                ASSERT_EQ(bits(unit.get(id)), bits(reference.params[id]))
                    << pitch << " call " << call << ", parameter " << id;
        }
        for (int i = 0; i < 512; ++i) {
            const Bubble& a = kernel->bubble(i);
            const Bubble& b = reference.ring[i];
            ASSERT_TRUE(bits(a.area) == bits(b.area) && a.startPos == b.startPos &&
                        a.endPos == b.endPos && a.matchRatio == b.matchRatio &&
                        a.period == b.period && a.noteIndex == b.noteIndex)
                << pitch << " record " << i;
        }
    }
}

}  // namespace
