#include <gtest/gtest.h>

#include <cmath>

#include "tests/analysis/AnalysisFixtures.h"

namespace marvex::test {
namespace {

// The comparison with the plain arithmetic (LobeCaptureTest) covers pairing, voting and the
// result's fields on noise and tones, and ToneGridTest the bins; noise never meets an area ratio
// of exactly 0.9 or a tie, so those are set up here (a pitch in bin 0 is the unit tests').

// Exactly 0.9f apart does not pair, one float closer does; from either side and at a large
// scale (powers of two keep the ratios exact).
TEST(PitchEstimate, RatioMustExceedTheSinglePrecisionThreshold) {
    const float justAbove = std::nextafter(0.9f, 1.0f);
    const float scale = 0x1p100f;
    for (bool smallerFirst : {false, true}) {
        for (float ratio : {0.9f, justAbove}) {
            PitchAnalysis analysis(44100.0, 440.0f);
            const float first = (smallerFirst ? ratio : 1.0f) * scale;
            const float second = (smallerFirst ? 1.0f : ratio) * scale;
            const PitchResult result =
                process(analysis, spikes(100, {{10, first}, {20, second}, {30, first}}), 0.0f);
            SCOPED_TRACE(testing::Message() << smallerFirst << " " << ratio);
            const bool pairs = ratio != 0.9f;
            // Otherwise the scan passes over the second lobe to the next equal one.
            EXPECT_EQ(analysis.bubble(0).matchRatio, pairs ? justAbove : 1.0f);
            EXPECT_EQ(analysis.bubble(0).period, pairs ? 10.0f : 20.0f);
            EXPECT_EQ(analysis.bubble(1).matchRatio, pairs ? justAbove : -1.0f);
            // Pairs just above the threshold weigh almost nothing, yet average right.
            EXPECT_TRUE(!pairs || std::abs(result.frequencyHz - 4410.0f) < 0.01f);
        }
    }
}

TEST(PitchEstimate, TiedVotesGoToTheLowerBinAndOnlyItsLobesAreAveraged) {
    PitchAnalysis analysis(44100.0, 440.0f);
    // Lobes of area 1 pair 200 samples apart (220.5 Hz, bin 36), lobes of area 2 pair 100
    // apart (441 Hz, bin 48): one vote each.
    const PitchResult tie =
        process(analysis, spikes(230, {{10, 1.0f}, {120, 2.0f}, {210, 1.0f}, {220, 2.0f}}), 0.0f);
    EXPECT_EQ(analysis.bubble(1).noteIndex, 48);
    EXPECT_EQ(tie.note, 36);
    EXPECT_NEAR(tie.frequencyHz, 220.5f, 1e-3f);
    // One more area-2 pair breaks the tie.
    const PitchResult broken = process(analysis, spikes(100, {{90, 2.0f}}), 0.0f);
    EXPECT_EQ(broken.note, 48);
    EXPECT_NEAR(broken.frequencyHz, 441.0f, 1e-3f);
}

}  // namespace
}  // namespace marvex::test
