#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "tests/analysis/AnalysisFixtures.h"
#include "tests/analysis/ReferenceTuner.h"

namespace marvex::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A result's flags and, bit for bit, its values where they are set.
auto Fields(const PitchResult& r) {
    const auto set = [](bool is, float value) { return is ? bits(value) : 0u; };
    return std::tuple(r.hasNote, r.hasPitch, r.hasNote ? r.note : 0, set(r.hasPitch, r.frequencyHz),
                      set(r.hasPitch, r.centralHz), set(r.hasPitch, r.upperHz),
                      set(r.hasPitch, r.deviation), set(r.hasPitch && r.hasNote, r.lowerHz));
}

// What the comparison below cannot meet in noise: a lobe of exactly the area threshold, and the
// Precision values between the supported ones.
TEST(LobeCapture, ThresholdAreaAndRingSizes) {
    PitchAnalysis analysis(44100.0, 440.0f);
    // A sum of exactly 0.05 (two halves) is dropped: area 0 and the write index stays.
    EXPECT_FALSE(process(analysis, {-1.0f, 0.025f, 0.025f, -1.0f}, 0.0f).hasPitch);
    EXPECT_EQ(analysis.bubble(0).area, 0.0f);
    EXPECT_EQ(analysis.bubble(0).endPos, 3u);
    EXPECT_EQ(analysis.writeIndex(), 0);
    process(analysis, {std::nextafter(0.05f, 1.0f), -1.0f}, 0.0f);
    EXPECT_EQ(analysis.writeIndex(), 1);
    for (float precision : {kNaN, std::nextafter(2.0f, 3.0f)})
        EXPECT_EQ(PitchAnalysis::recordsFor(precision), 16) << precision;
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
            ASSERT_EQ(Fields(fast), Fields(plain));
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
