#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "tests/analysis/KernelHarness.h"
#include "tests/analysis/ReferenceTuner.h"
#include "tests/support/AllocationCounter.h"

namespace {

using marvex::test::feed;
using marvex::test::KernelHarness;
using marvex::test::sine;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void process(MarvexKernel& kernel, std::vector<float> samples) {
    bool silence = false;
    kernel.Process(samples.data(), samples.data(), static_cast<std::uint32_t>(samples.size()), 1,
                   silence);
}

// -1 everywhere except single-sample lobes of the given areas at the given positions.
std::vector<float> spikes(std::size_t length, std::vector<std::pair<std::size_t, float>> at) {
    std::vector<float> out(length, -1.0f);
    for (auto [pos, area] : at) out[pos] = area;
    return out;
}

void expectRecord(const Bubble& b, float area, std::uint32_t start, std::uint32_t end) {
    EXPECT_EQ(b.area, area);
    EXPECT_EQ(b.startPos, start);
    EXPECT_EQ(b.endPos, end);
}

TEST(LobeCapture, PassesAudioThroughBitForBit) {
    const std::vector<float> input = {0.25f,   -0.0f, kNaN,  -kInf, 1e-40f, -0.5f,   0.0f, kInf,
                                      -1e-45f, 3.0f,  -2.0f, 0.75f, 0.5f,   -0.125f, 0.0f, 1.0f};
    for (bool silence : {true, false}) {
        // Non-interleaved, into a separate buffer.
        KernelHarness unit;
        auto kernel = unit.makeKernel();
        std::vector<float> out(input.size(), 7.0f);
        bool flag = silence;
        kernel->Process(input.data(), out.data(), 16, 1, flag);
        EXPECT_EQ(flag, silence);
        for (std::size_t i = 0; i < input.size(); ++i)
            EXPECT_EQ(std::bit_cast<std::uint32_t>(out[i]), std::bit_cast<std::uint32_t>(input[i]));

        // Interleaved pair, in place, one kernel per channel with stride 2: each touches only
        // its own channel's samples.
        std::vector<float> buffer = input;
        auto second = unit.makeKernel(1);
        kernel->Process(buffer.data(), buffer.data(), 8, 2, flag);
        second->Process(buffer.data() + 1, buffer.data() + 1, 8, 2, flag);
        EXPECT_EQ(flag, silence);
        for (std::size_t i = 0; i < input.size(); ++i)
            EXPECT_EQ(std::bit_cast<std::uint32_t>(buffer[i]),
                      std::bit_cast<std::uint32_t>(input[i]));

        // Stride 2 into a separate buffer leaves the other channel's samples alone.
        std::vector<float> other(input.size(), 7.0f);
        kernel->Process(input.data(), other.data(), 8, 2, flag);
        for (std::size_t i = 0; i < input.size(); ++i)
            EXPECT_EQ(std::bit_cast<std::uint32_t>(other[i]),
                      std::bit_cast<std::uint32_t>(i % 2 == 0 ? input[i] : 7.0f));
    }
}

TEST(LobeCapture, StridedChannelIsAnalysedLikeItsOwnBuffer) {
    const auto left = sine(440.0, 44100.0, 4096);
    const auto right = sine(331.0, 44100.0, 4096, 0.3);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < left.size(); ++i) {
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    KernelHarness plain;
    KernelHarness strided;
    auto a = plain.makeKernel();
    auto b = strided.makeKernel(1);
    feed(*a, right, 512);
    bool silence = false;
    for (std::size_t at = 0; at < right.size(); at += 512)
        b->Process(interleaved.data() + 2 * at + 1, interleaved.data() + 2 * at + 1, 512, 2,
                   silence);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(a->bubble(i).startPos, b->bubble(i).startPos);
        EXPECT_EQ(a->bubble(i).area, b->bubble(i).area);
    }
    EXPECT_EQ(plain.get(kParam_Frequency), strided.get(kParam_Frequency));
}

TEST(LobeCapture, RecordsLobeAreaAndPositions) {
    KernelHarness unit;
    auto kernel = unit.makeKernel();
    process(*kernel, {-1.0f, 0.5f, 0.25f, 0.125f, -1.0f, -1.0f});
    expectRecord(kernel->bubble(0), 0.875f, 1, 4);
    EXPECT_EQ(kernel->bubble(0).matchRatio, -1.0f);
    EXPECT_EQ(kernel->bubble(0).period, 0.0f);
    EXPECT_EQ(kernel->writeIndex(), 1);
    EXPECT_EQ(kernel->blockCount(), 1u);

    // An open lobe holds its first sample as area and its start as end; it carries into the
    // next call with its sum and start.
    process(*kernel, {0.5f, 0.5f});
    expectRecord(kernel->bubble(1), 0.5f, 6, 6);
    EXPECT_EQ(kernel->bubble(1).matchRatio, -1.0f);
    process(*kernel, {0.5f, -0.5f});
    expectRecord(kernel->bubble(1), 1.5f, 6, 9);
    EXPECT_EQ(kernel->writeIndex(), 2);
    EXPECT_EQ(kernel->currentArea(), 0.0f);
}

TEST(LobeCapture, ZeroAndNaNSamplesAreNeitherInsideNorOutside) {
    KernelHarness unit;
    // Capture starts as if after a 0: a signal already positive is not summed until its second
    // sample, and its lobe closes into a record that never saw a start (position 0).
    auto fresh = unit.makeKernel();
    process(*fresh, {0.5f, 0.5f, 0.5f, -1.0f});
    expectRecord(fresh->bubble(0), 1.0f, 0, 3);
    EXPECT_EQ(fresh->bubble(0).matchRatio, -1.0f);

    // 0 after a negative starts a lobe of area 0; the sample after the 0 is not summed.
    auto kernel = unit.makeKernel();
    process(*kernel, {-1.0f, 0.0f, 0.3f, 0.3f, -1.0f});
    expectRecord(kernel->bubble(0), 0.3f, 1, 4);
    EXPECT_EQ(kernel->writeIndex(), 1);

    // A lobe whose last sample is 0 never closes; the next lobe overwrites its record and its
    // running sum.
    process(*kernel, {0.5f, 0.0f, -1.0f, -1.0f, 0.25f, 0.25f, -1.0f});
    EXPECT_EQ(kernel->writeIndex(), 2);
    expectRecord(kernel->bubble(1), 0.5f, 9, 11);

    // A NaN neither grows nor ends a lobe, and the sample after it does nothing. -0 is not
    // negative: it grows a lobe (by nothing) without ending it, and like 0 it blocks the next
    // sample.
    process(*kernel, {0.5f, kNaN, -1.0f, -1.0f, 0.5f, -0.0f, 0.5f, -1.0f});
    EXPECT_EQ(kernel->writeIndex(), 3);
    expectRecord(kernel->bubble(2), 0.5f, 16, 19);
    // -0 after a negative starts a lobe.
    process(*kernel, {-0.0f, 0.75f, 0.75f, -1.0f});
    expectRecord(kernel->bubble(3), 0.75f, 20, 23);
}

TEST(LobeCapture, KeepsOnlyLobesAboveTheAreaThreshold) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    // Two equal lobes make a pair, so every later estimate publishes.
    process(*kernel, spikes(300, {{10, 1.0f}, {110, 1.0f}}));
    ASSERT_EQ(kernel->writeIndex(), 2);
    ASSERT_GT(kernel->bubble(0).matchRatio, 0.9f);

    // Sums of exactly 0.05 (one sample, and two halves) are dropped: the record gets area 0,
    // the write index stays and no estimate runs.
    unit.set(kParam_Frequency, -5.0f);
    process(*kernel, spikes(10, {{2, 0.05f}}));
    expectRecord(kernel->bubble(2), 0.0f, 302, 303);
    process(*kernel, {-1.0f, 0.025f, 0.025f, -1.0f});
    expectRecord(kernel->bubble(2), 0.0f, 311, 313);
    EXPECT_EQ(kernel->writeIndex(), 2);
    EXPECT_EQ(unit.get(kParam_Frequency), -5.0f);

    // Just above it is kept, and the estimate runs again.
    process(*kernel, spikes(4, {{1, std::nextafter(0.05f, 1.0f)}}));
    EXPECT_EQ(kernel->writeIndex(), 3);
    EXPECT_EQ(kernel->bubble(2).area, std::nextafter(0.05f, 1.0f));
    EXPECT_NEAR(unit.get(kParam_Frequency), 441.0f, 1e-3f);
}

TEST(LobeCapture, RingSizeFollowsPrecisionExactly) {
    KernelHarness unit;
    auto kernel = unit.makeKernel();
    const std::pair<float, int> table[] = {
        {0.0f, 16}, {1.0f, 64}, {2.0f, 128}, {3.0f, 256}, {4.0f, 512},
        {1.5f, 16}, {7.0f, 16}, {-1.0f, 16}, {kNaN, 16},  {std::nextafter(2.0f, 3.0f), 16}};
    for (auto [precision, records] : table) {
        unit.set(kParam_Precision, precision);
        EXPECT_EQ(kernel->getMaxBubbles(), records) << precision;
    }
}

TEST(LobeCapture, WriteIndexWrapsAtTheRecordsInUse) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    std::vector<std::pair<std::size_t, float>> lobes;
    for (std::size_t i = 0; i < 17; ++i) lobes.push_back({10 * i + 5, 1.0f + 0.5f * i});
    process(*kernel, spikes(170, lobes));
    // 16 records in use: the 17th lobe overwrote record 0.
    EXPECT_EQ(kernel->writeIndex(), 1);
    expectRecord(kernel->bubble(0), 9.0f, 165, 166);
    expectRecord(kernel->bubble(16), 0.0f, 0, 0);

    // Lowering Precision leaves the lobe in progress at the old index; the next lobe end (even
    // one too small to keep) brings the index back inside the ring.
    unit.set(kParam_Precision, 4.0f);
    lobes.clear();
    for (std::size_t i = 0; i < 299; ++i) lobes.push_back({2 * i + 1, 1.0f});
    process(*kernel, spikes(600, lobes));
    ASSERT_EQ(kernel->writeIndex(), 300);
    process(*kernel, {0.5f, 0.5f});
    unit.set(kParam_Precision, 0.0f);
    process(*kernel, {0.5f});
    expectRecord(kernel->bubble(300), 0.5f, 770, 770);
    EXPECT_EQ(kernel->writeIndex(), 300);
    process(*kernel, {-1.0f});
    expectRecord(kernel->bubble(300), 1.5f, 770, 773);
    EXPECT_EQ(kernel->writeIndex(), 0);

    unit.set(kParam_Precision, 4.0f);
    process(*kernel, spikes(600, lobes));
    unit.set(kParam_Precision, 0.0f);
    process(*kernel, {0.01f, -1.0f});
    EXPECT_EQ(kernel->writeIndex(), 0);
}

TEST(LobeCapture, PositionsRunOnAcrossCallsOfAnyLength) {
    KernelHarness unit;
    auto kernel = unit.makeKernel();
    std::vector<float> block(512, -1.0f);
    for (int call = 0; call < 3; ++call) process(*kernel, block);
    process(*kernel, {});  // counts as a call, moves no position
    EXPECT_EQ(kernel->blockCount(), 4u);
    EXPECT_EQ(kernel->nextPosition(), 1536u);
    // A shorter call continues where the last one ended rather than at 4 x 256.
    std::vector<float> shorter(256, -1.0f);
    shorter[0] = 1.0f;
    process(*kernel, shorter);
    expectRecord(kernel->bubble(0), 1.0f, 1536, 1537);
    EXPECT_EQ(kernel->blockCount(), 5u);
    EXPECT_EQ(kernel->nextPosition(), 1792u);
}

TEST(LobeCapture, ResetKeepsAllState) {
    KernelHarness unit;
    auto kernel = unit.makeKernel();
    process(*kernel, {-1.0f, 0.5f, -1.0f, 0.75f});
    kernel->Reset();
    EXPECT_EQ(kernel->writeIndex(), 1);
    EXPECT_EQ(kernel->blockCount(), 1u);
    EXPECT_EQ(kernel->nextPosition(), 4u);
    EXPECT_EQ(kernel->previousSample(), 0.75f);
    EXPECT_EQ(kernel->currentArea(), 0.75f);
    expectRecord(kernel->bubble(0), 0.5f, 1, 2);
}

// Scheduled parameter events and hosts cut slices of any length; the analysis must not
// depend on where the cuts fall.
TEST(LobeCapture, VariableBlockSizesGiveTheSameAnalysis) {
    const auto tone = sine(440.0, 44100.0, 40000, 0.6, 0.3);
    KernelHarness fixedUnit;
    KernelHarness variableUnit;
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
    // Estimate once more on both, over the same ring.
    fixed->updateFrequency();
    variable->updateFrequency();
    for (int i = 0; i < 128; ++i) {
        const Bubble& a = fixed->bubble(i);
        const Bubble& b = variable->bubble(i);
        EXPECT_EQ(a.startPos, b.startPos) << i;
        EXPECT_EQ(a.endPos, b.endPos) << i;
        EXPECT_EQ(a.area, b.area) << i;
        EXPECT_EQ(a.matchRatio, b.matchRatio) << i;
        EXPECT_EQ(a.period, b.period) << i;
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
    marvex::test::CountAllocations allocations;
    for (std::size_t at = 0; at + 512 <= tone.size(); at += 512)
        kernel->Process(tone.data() + at, out.data() + at, 512, 1, silence);
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_NEAR(unit.get(kParam_Frequency), 523.0f, 0.5f);
}

// The kernel's fast paths (division-free pairing, cached bins, bisection) against the plain
// arithmetic, bit for bit, on hostile material: noise with zeros, -0, NaN, infinities and
// subnormals, tones, silence, calls of random length and Precision changing between calls.
TEST(LobeCapture, MatchesThePlainArithmeticBitForBit) {
    std::mt19937 random(2026);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 99);
    const float specials[] = {0.0f, -0.0f, kNaN, kInf, 1e-41f, -1e-41f, 0.05f, 1e30f};
    std::vector<float> signal;
    for (int part = 0; part < 6; ++part) {
        const auto tone = sine(97.0 * (part + 1), 44100.0, 6000, 0.02 + 0.3 * part);
        signal.insert(signal.end(), tone.begin(), tone.end());
        for (int i = 0; i < 6000; ++i) {
            const int p = pick(random);
            signal.push_back(p < 3 ? specials[pick(random) % 8] : uniform(random) * (p % 7));
        }
        signal.insert(signal.end(), 300, 0.0f);
    }
    KernelHarness unit(48000.0, 452.0f, 2.0f);
    auto kernel = unit.makeKernel();
    marvex::test::ReferenceTuner reference;
    for (std::uint32_t id = 0; id < 8; ++id) reference.params[id] = unit.get(id);
    const float precisions[] = {2.0f, 0.0f, 4.0f, 1.5f, 3.0f, 1.0f, 4.0f, 0.0f};
    bool silence = false;
    std::vector<float> out(signal.size());
    for (std::size_t at = 0, call = 0; at < signal.size(); ++call) {
        if (call % 17 == 0) unit.set(kParam_Precision, precisions[(call / 17) % 8]);
        const std::size_t frames = std::min<std::size_t>(pick(random) * 9, signal.size() - at);
        const std::span<const float> slice(signal.data() + at, frames);
        kernel->Process(slice.data(), out.data() + at, static_cast<std::uint32_t>(frames), 1,
                        silence);
        reference.process(slice, unit.get(kParam_Precision), 48000.0f, kernel->upperPeriods(),
                          kernel->centralPeriods());
        at += frames;
        ASSERT_EQ(kernel->writeIndex(), reference.writeIndex) << "call " << call;
        for (std::uint32_t id = 2; id < 8; ++id)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(unit.get(id)),
                      std::bit_cast<std::uint32_t>(reference.params[id]))
                << "call " << call << ", parameter " << id;
    }
    for (int i = 0; i < 512; ++i) {
        const Bubble& a = kernel->bubble(i);
        const Bubble& b = reference.ring[i];
        EXPECT_EQ(std::bit_cast<std::uint32_t>(a.area), std::bit_cast<std::uint32_t>(b.area));
        EXPECT_EQ(a.startPos, b.startPos);
        EXPECT_EQ(a.endPos, b.endPos);
        EXPECT_EQ(a.matchRatio, b.matchRatio);
        EXPECT_EQ(a.period, b.period);
        EXPECT_EQ(a.noteIndex, b.noteIndex);
    }
}

}  // namespace
