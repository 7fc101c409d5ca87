#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tests/analysis/AnalysisFixtures.h"
#include "tests/analysis/ReferenceTuner.h"
#include "tests/support/AllocationCounter.h"

namespace marvex::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void expectRecord(const Bubble& b, float area, std::uint32_t start, std::uint32_t end) {
    EXPECT_EQ(b.area, area);
    EXPECT_EQ(b.startPos, start);
    EXPECT_EQ(b.endPos, end);
}

// Both results hold the same flags and, bit for bit, the same values where they are set.
void expectSameResult(const PitchResult& a, const PitchResult& b) {
    ASSERT_EQ(a.hasNote, b.hasNote);
    ASSERT_EQ(a.hasPitch, b.hasPitch);
    if (a.hasNote) {
        ASSERT_EQ(a.note, b.note);
    }
    if (!a.hasPitch) return;
    ASSERT_EQ(bits(a.frequencyHz), bits(b.frequencyHz));
    ASSERT_EQ(bits(a.centralHz), bits(b.centralHz));
    if (a.hasNote) {
        ASSERT_EQ(bits(a.lowerHz), bits(b.lowerHz));
    }
    ASSERT_EQ(bits(a.upperHz), bits(b.upperHz));
    ASSERT_EQ(bits(a.deviation), bits(b.deviation));
}

// Separate buffers, in place, and two interleaved channels with stride 2 (each analysis
// touches only its own samples).
TEST(LobeCapture, PassesAudioThroughBitForBit) {
    const std::vector<float> input = {0.25f,   -0.0f, kNaN,  -kInf, 1e-40f, -0.5f,   0.0f, kInf,
                                      -1e-45f, 3.0f,  -2.0f, 0.75f, 0.5f,   -0.125f, 0.0f, 1.0f};
    PitchAnalysis left(44100.0, 440.0f), right(44100.0, 440.0f);
    std::vector<float> out(16, 7.0f), inPlace = input, oneChannel(16, 7.0f);
    left.process(input.data(), out.data(), 16, 1, 2.0f);
    left.process(inPlace.data(), inPlace.data(), 8, 2, 2.0f);
    right.process(inPlace.data() + 1, inPlace.data() + 1, 8, 2, 2.0f);
    right.process(input.data() + 1, oneChannel.data() + 1, 8, 2, 2.0f);
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(bits(out[i]), bits(input[i]));
        EXPECT_EQ(bits(inPlace[i]), bits(input[i]));
        EXPECT_EQ(bits(oneChannel[i]), bits(i % 2 ? input[i] : 7.0f));
    }
    // A strided channel is analysed like the same samples in a buffer of their own.
    PitchAnalysis plain(44100.0, 440.0f), strided(44100.0, 440.0f);
    const auto tone = sine(331.0, 44100.0, 4096);
    std::vector<float> interleaved(2 * tone.size(), 0.5f);
    for (std::size_t i = 0; i < tone.size(); ++i) interleaved[2 * i + 1] = tone[i];
    const PitchResult alone = feed(plain, tone, 4096);
    const PitchResult fromStride =
        strided.process(interleaved.data() + 1, interleaved.data() + 1, 4096, 2, 2.0f);
    EXPECT_EQ(strided.writeIndex(), plain.writeIndex());
    EXPECT_EQ(strided.bubble(5).startPos, plain.bubble(5).startPos);
    ASSERT_TRUE(alone.hasPitch);
    expectSameResult(fromStride, alone);
}

// A lobe runs from the first non-negative sample after a negative one up to the next negative
// sample. 0, -0 and NaN as the previous sample are neither inside nor outside a lobe.
TEST(LobeCapture, CutsLobesAtSignChanges) {
    PitchAnalysis fresh(44100.0, 440.0f);
    // Capture starts as after a 0: the first sample is not summed, and the lobe closes into a
    // record that never saw a start (position 0).
    process(fresh, {0.5f, 0.5f, 0.5f, -1.0f});
    expectRecord(fresh.bubble(0), 1.0f, 0, 3);
    EXPECT_EQ(fresh.bubble(0).matchRatio, -1.0f);

    PitchAnalysis analysis(44100.0, 440.0f);
    // 0 after a negative starts a lobe of area 0; the sample after the 0 is not summed.
    process(analysis, {-1.0f, 0.0f, 0.3f, 0.3f, -1.0f});
    expectRecord(analysis.bubble(0), 0.3f, 1, 4);
    // An open lobe holds its first sample and start; it carries into the next call. One whose
    // last sample is 0 never closes, and the next lobe takes its record and restarts the sum.
    process(analysis, {0.5f, 0.0f});
    expectRecord(analysis.bubble(1), 0.5f, 5, 5);
    process(analysis, {-1.0f, -1.0f, 0.25f, 0.25f, -1.0f});
    expectRecord(analysis.bubble(1), 0.5f, 9, 11);
    // NaN neither grows nor ends a lobe and the sample after it does nothing; -0 grows a lobe
    // by nothing without ending it, and blocks the next sample like 0.
    process(analysis, {0.5f, kNaN, -1.0f, -1.0f, 0.5f, -0.0f, 0.5f, -1.0f});
    expectRecord(analysis.bubble(2), 0.5f, 16, 19);
    // -0 after a negative starts a lobe.
    process(analysis, {-0.0f, 0.75f, 0.75f, -1.0f});
    expectRecord(analysis.bubble(3), 0.75f, 20, 23);
    EXPECT_EQ(analysis.writeIndex(), 4);
}

TEST(LobeCapture, KeepsOnlyLobesAboveTheAreaThreshold) {
    PitchAnalysis analysis(44100.0, 440.0f);
    // A pair: the estimate finds it.
    EXPECT_TRUE(process(analysis, spikes(300, {{10, 1.0f}, {110, 1.0f}}), 0.0f).hasPitch);
    // Sums of exactly 0.05 (one sample, and two halves) are dropped: area 0, the write index
    // stays and no estimate runs.
    EXPECT_FALSE(process(analysis, spikes(10, {{2, 0.05f}}), 0.0f).hasPitch);
    expectRecord(analysis.bubble(2), 0.0f, 302, 303);
    EXPECT_FALSE(process(analysis, {-1.0f, 0.025f, 0.025f, -1.0f}, 0.0f).hasPitch);
    expectRecord(analysis.bubble(2), 0.0f, 311, 313);
    EXPECT_EQ(analysis.writeIndex(), 2);
    // Just above is kept, and the estimate runs again.
    const PitchResult again =
        process(analysis, spikes(4, {{1, std::nextafter(0.05f, 1.0f)}}), 0.0f);
    EXPECT_EQ(analysis.writeIndex(), 3);
    EXPECT_NEAR(again.frequencyHz, 441.0f, 1e-3f);
}

TEST(LobeCapture, RingSizeFollowsPrecisionAndWraps) {
    const std::pair<float, int> table[] = {
        {0.0f, 16},  {1.0f, 64},  {2.0f, 128},
        {3.0f, 256}, {4.0f, 512}, {1.5f, 16},
        {7.0f, 16},  {kNaN, 16},  {std::nextafter(2.0f, 3.0f), 16}};
    for (auto [precision, records] : table)
        EXPECT_EQ(PitchAnalysis::recordsFor(precision), records) << precision;
    // 16 records in use: the 17th lobe overwrites record 0.
    PitchAnalysis analysis(44100.0, 440.0f);
    std::vector<std::pair<std::size_t, float>> lobes;
    for (std::size_t i = 0; i < 17; ++i) lobes.push_back({10 * i + 5, 1.0f + 0.5f * i});
    process(analysis, spikes(170, lobes), 0.0f);
    EXPECT_EQ(analysis.writeIndex(), 1);
    expectRecord(analysis.bubble(0), 9.0f, 165, 166);
    expectRecord(analysis.bubble(16), 0.0f, 0, 0);
    // Lowering Precision leaves the lobe in progress at the old index; the next lobe end (kept
    // or not) brings the index back into the ring.
    for (float small : {1.0f, 0.01f}) {
        lobes.clear();
        for (std::size_t i = 0; i < 299; ++i) lobes.push_back({2 * i + 1, 1.0f});
        process(analysis, spikes(600, lobes), 4.0f);
        const int at = analysis.writeIndex();
        ASSERT_GE(at, 16);
        process(analysis, {small}, 0.0f);
        EXPECT_EQ(analysis.bubble(at).area, small);
        EXPECT_EQ(analysis.writeIndex(), at);
        process(analysis, {-1.0f}, 0.0f);
        EXPECT_EQ(analysis.writeIndex(), 0);
    }
}

// Positions come from a running counter, not call number x frames: calls of any length,
// including 0, keep them consistent.
TEST(LobeCapture, PositionsRunOnAcrossCallsOfAnyLength) {
    PitchAnalysis analysis(44100.0, 440.0f);
    for (int call = 0; call < 3; ++call) process(analysis, std::vector<float>(512, -1.0f));
    process(analysis, {});
    process(analysis, spikes(256, {{0, 1.0f}}));
    expectRecord(analysis.bubble(0), 1.0f, 1536, 1537);  // not 4 x 256
    EXPECT_EQ(analysis.nextPosition(), 1792u);

    // A steady tone cut into calls of varying length leaves the same ring and, estimated once
    // more, the same results as calls of 512.
    const auto tone = sine(440.0, 44100.0, 40000, 0.6, 0.3);
    PitchAnalysis fixed(44100.0, 440.0f), variable(44100.0, 440.0f);
    feed(fixed, tone, 512);
    const std::size_t sizes[] = {512, 37, 1000, 0, 255, 1, 700, 128};
    std::vector<float> out(tone.size());
    for (std::size_t at = 0, call = 0; at < tone.size(); ++call) {
        const std::size_t frames = std::min(sizes[call % 8], tone.size() - at);
        variable.process(tone.data() + at, out.data() + at, static_cast<std::uint32_t>(frames), 1,
                         2.0f);
        at += frames;
    }
    const PitchResult fromFixed = fixed.estimate(2.0f);
    const PitchResult fromVariable = variable.estimate(2.0f);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(fixed.bubble(i).startPos, variable.bubble(i).startPos) << i;
        EXPECT_EQ(fixed.bubble(i).period, variable.bubble(i).period) << i;
    }
    expectSameResult(fromFixed, fromVariable);
    EXPECT_NEAR(fromVariable.frequencyHz, 440.0f, 0.05f);
}

TEST(LobeCapture, ProcessAllocatesNothing) {
    PitchAnalysis analysis(48000.0, 440.0f);
    const auto tone = sine(523.0, 48000.0, 48000);
    std::vector<float> out(tone.size());
    PitchResult last;
    CountAllocations allocations;
    for (std::size_t at = 0; at + 512 <= tone.size(); at += 512)
        last = analysis.process(tone.data() + at, out.data() + at, 512, 1, 4.0f);
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_NEAR(last.frequencyHz, 523.0f, 0.5f);
}

// The fast paths (pairing without division, cached bins, bisection, carried tallies, both
// capture loops) against the plain arithmetic, bit for bit, on hostile material: noise with
// zeros, -0, NaN, infinities and subnormals, tones, silence, calls of random length,
// Precision changing between calls, and Pitch values that make the tone tables meaningless.
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
        PitchAnalysis analysis(48000.0, pitch);
        ReferenceTuner reference;
        std::vector<float> out(signal.size());
        float precision = 2.0f;
        for (std::size_t at = 0, call = 0; at < signal.size(); ++call) {
            if (call % 17 == 0) precision = precisions[(call / 17) % 8];
            const std::size_t frames = std::min<std::size_t>(pick(random) * 9, signal.size() - at);
            const PitchResult fast =
                analysis.process(signal.data() + at, out.data() + at,
                                 static_cast<std::uint32_t>(frames), 1, precision);
            const PitchResult plain =
                reference.process({signal.data() + at, frames}, precision, 48000.0f,
                                  analysis.grid().upperPeriods(), analysis.grid().centralPeriods());
            at += frames;
            SCOPED_TRACE(testing::Message() << "pitch " << pitch << ", call " << call);
            ASSERT_EQ(analysis.writeIndex(), reference.writeIndex);
            ASSERT_NO_FATAL_FAILURE(expectSameResult(fast, plain));
        }
        for (int i = 0; i < 512; ++i) {
            const Bubble& a = analysis.bubble(i);
            const Bubble& b = reference.ring[i];
            ASSERT_TRUE(bits(a.area) == bits(b.area) && a.startPos == b.startPos &&
                        a.endPos == b.endPos && a.matchRatio == b.matchRatio &&
                        a.period == b.period && a.noteIndex == b.noteIndex)
                << pitch << " record " << i;
        }
    }
}

}  // namespace
}  // namespace marvex::test
